// Transactions against the scripted reader: acknowledgement, retries, SYDN,
// BUSY, reassembly, the duplicate filter, the NAK reasons and reply kinds.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <numeric>

#include "protocol.h"
#include "recording_host.h"
#include "scripted_reader.h"

namespace lx2d::testing {
namespace {

constexpr uint8_t kLF = kFlagLast | kFlagFirst;  // a single-frame message

std::vector<uint8_t> Bytes(size_t count, uint8_t first) {
  std::vector<uint8_t> bytes(count);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

const std::vector<uint8_t> kRequest = {0x42, 0x01, 0x00};

class TransactionTest : public ::testing::Test {
 protected:
  TransactionTest() { engine.SetReplyTimeout(100); }

  // Runs the script, then one transaction; checks the peer saw what it expected.
  int Run(std::vector<PeerStep> script, uint8_t kind = kKindSr,
          std::span<const uint8_t> payload = kRequest) {
    peer.Start(std::move(script));
    const int result = engine.Transact(kind, payload, kNoExtension, kNoExtension);
    EXPECT_TRUE(peer.WaitDone(30000));  // a bound for a loaded machine, not a speed check
    EXPECT_TRUE(peer.Errors().empty()) << peer.Errors().front();
    return result;
  }

  // A first transaction that clears R and leaves both sequences at 1.
  void Warmup() {
    ASSERT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlAck)),
                   Send(FrameBytes(kKindSrp, kRequest, kLF | 0)), Expect({kCtlAck})}),
              kTransactOk);
  }

  // Frames of one kind the host wrote.
  std::vector<VscpFrame> WrittenOf(uint8_t kind) {
    std::vector<VscpFrame> out;
    for (const VscpFrame& frame : peer.Written()) {
      if (frame.kind == kind) out.push_back(frame);
    }
    return out;
  }

  CScriptedReader peer;
  CRecordingHost host;
  CProtocol engine{peer, host};
};

TEST_F(TransactionTest, SingleFrameReply_ReturnsPayloadAndAdvancesSequences) {
  const std::vector<uint8_t> reply = {0x00};
  EXPECT_EQ(Run({Expect({kKindSw, 0x68, 1}, ControlBytes(kCtlAck, 1)),
                 Send(FrameBytes(kKindRslt, reply, kLF | 5, 9)), Expect({kCtlAck, -1, 9, 0})},
                kKindSw),
            kTransactOk);
  EXPECT_EQ(engine.Reply().kind, kKindRslt);
  EXPECT_EQ(engine.Reply().payload, reply);
  EXPECT_EQ(engine.Reply().length, 1u);
  EXPECT_EQ(engine.TxSequence(), 1);
  EXPECT_EQ(engine.ExpectedRxSequence(), 6);
  EXPECT_FALSE(engine.RFlag());
  EXPECT_FALSE(engine.EFlag());
}

TEST_F(TransactionTest, NoAck_SentThreeTimesThenResult3AndNextRequestCarriesE) {
  EXPECT_EQ(Run({Expect({kKindSr}), Expect({kKindSr}), Expect({kKindSr})}), kTransactNoAnswer);
  const std::vector<VscpFrame> sent = WrittenOf(kKindSr);
  ASSERT_EQ(sent.size(), 3u);
  for (const VscpFrame& frame : sent) {
    EXPECT_EQ(frame.number, 1);
    EXPECT_EQ(frame.flags, 0x68);
  }
  EXPECT_TRUE(engine.EFlag());

  // The next request: new frame number, next sequence, E and still R.
  EXPECT_EQ(Run({Expect({kKindSr, 0x60 | kFlagError | kFlagRestart | 1, 2}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, kRequest, kLF)), Expect({kCtlAck})}),
            kTransactOk);
  EXPECT_FALSE(engine.EFlag());
}

TEST_F(TransactionTest, SydnThenAck_SentTwiceResult12AndLowLevelPosted) {
  engine.SetHostTarget(0x10001, 0x5A);
  EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlSydn, 0, 0x07)),
                 Expect({kKindSr, 0x68, 1}, ControlBytes(kCtlAck))}),
            kTransactRefused);
  EXPECT_EQ(WrittenOf(kKindSr).size(), 2u);
  EXPECT_TRUE(engine.EFlag());
  const std::vector<PostedMessage> low = host.PostsOf(kMsgLowLevel);
  ASSERT_EQ(low.size(), 1u);
  EXPECT_EQ(low[0].window, 0x10001u);
  EXPECT_EQ(low[0].wParam, kCtlSydn);
  EXPECT_EQ(low[0].lParam, 0x5A000007);
}

TEST_F(TransactionTest, RepeatedSydn_GivesUpAfterThreeResends) {
  std::vector<PeerStep> script;
  for (int i = 0; i < 4; ++i) script.push_back(Expect({kKindSr}, ControlBytes(kCtlSydn)));
  EXPECT_EQ(Run(std::move(script)), kTransactRefused);
  EXPECT_EQ(WrittenOf(kKindSr).size(), 4u);
}

TEST_F(TransactionTest, NakAnswer_CountsAsFailedAttempt) {
  EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlNak)), Expect({kKindSr}),
                 Expect({kKindSr}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, kRequest, kLF)), Expect({kCtlAck})}),
            kTransactOk);
  EXPECT_EQ(WrittenOf(kKindSr).size(), 3u);
}

TEST_F(TransactionTest, BusyWithoutPriority_ResendsAfterDeliveringPendingReport) {
  const std::vector<uint8_t> barcode = {0x00, 0x03, 'a', 'b', 'c'};
  EXPECT_EQ(Run({Expect({kKindSr, 0x68, 1}, ControlBytes(kCtlBusy)),
                 Expect({kCtlRsnd, -1, 0, 0}, FrameBytes(kKindBcd, barcode, kLF, 0x33)),
                 Expect({kCtlAck, -1, 0x33}), Expect({kKindSr, 0x68, 1}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, kRequest, kLF | 1)), Expect({kCtlAck})}),
            kTransactOk);
  std::lock_guard<CCommandMutex> lock(engine.CommandMutex());
  const TStructVscpBuffer* record = engine.Messages().FindFirst(kKindBcd);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->data, barcode);
  EXPECT_EQ(host.PostsOf(kMsgVscpFrame).size(), 1u);
}

TEST_F(TransactionTest, BusyWithPriority_AbortsAndRestartsRxSequence) {
  Warmup();
  engine.SetHostPriority(true);
  // ABT goes out with the counter after the request's own increment.
  EXPECT_EQ(Run({Expect({kKindSr, 0x61, 2}, ControlBytes(kCtlBusy)),
                 Expect({kCtlAbt, -1, 3, 0}, ControlBytes(kCtlAbdn)),
                 Expect({kKindSr, 0x61, 2}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, kRequest, kLF | 0, 1)), Expect({kCtlAck})}),
            kTransactOk);
  EXPECT_EQ(engine.ExpectedRxSequence(), 1);
}

TEST_F(TransactionTest, BusyForever_FailsAfterEightRounds) {
  engine.SetHostPriority(true);
  std::vector<PeerStep> script;
  for (int round = 0; round < kMaxBusyRounds; ++round) {
    script.push_back(Expect({kKindSr}, ControlBytes(kCtlBusy)));
    script.push_back(Expect({kCtlAbt}));  // no ABDN: ignored
  }
  script.push_back(Expect({kKindSr}, ControlBytes(kCtlBusy)));
  EXPECT_EQ(Run(std::move(script)), kTransactNoAnswer);
  EXPECT_EQ(WrittenOf(kKindSr).size(), size_t{kMaxBusyRounds} + 1);
  EXPECT_TRUE(engine.EFlag());
}

TEST_F(TransactionTest, ThreeFrameReply_JoinedWithTwoProgressMessages) {
  const std::vector<uint8_t> a = Bytes(10, 0x20), b = Bytes(20, 0x40), c = Bytes(30, 0x60);
  EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, a, kFlagFirst | 0, 1)), Expect({kCtlAck, -1, 1}),
                 Send(FrameBytes(kKindSrp, b, 1, 2)), Expect({kCtlAck, -1, 2}),
                 Send(FrameBytes(kKindSrp, c, kFlagLast | 2, 3)), Expect({kCtlAck, -1, 3})}),
            kTransactOk);
  std::vector<uint8_t> joined = a;
  joined.insert(joined.end(), b.begin(), b.end());
  joined.insert(joined.end(), c.begin(), c.end());
  EXPECT_EQ(engine.Reply().payload, joined);
  EXPECT_EQ(engine.Reply().length, 60u);
  const std::vector<PostedMessage> progress = host.PostsOf(kMsgMultiframe);
  ASSERT_EQ(progress.size(), 2u);
  EXPECT_EQ(progress[0].window, kHostBroadcast);
  EXPECT_EQ(progress[0].wParam, kKindSrp);
  EXPECT_EQ(progress[0].lParam, 20);
  EXPECT_EQ(progress[1].wParam, 0x100u + kKindSrp);
  EXPECT_EQ(progress[1].lParam, 50);
}

TEST_F(TransactionTest, RepeatedFrame_AcknowledgedTwiceStoredOnce) {
  const std::vector<uint8_t> a = Bytes(8, 1), b = Bytes(4, 0x30);
  EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, a, kFlagFirst | 0, 1)), Expect({kCtlAck, -1, 1}),
                 Send(FrameBytes(kKindSrp, a, kFlagFirst | 0, 1)), Expect({kCtlAck, -1, 1}),
                 Send(FrameBytes(kKindSrp, b, kFlagLast | 1, 2)), Expect({kCtlAck, -1, 2})}),
            kTransactOk);
  std::vector<uint8_t> joined = a;
  joined.insert(joined.end(), b.begin(), b.end());
  EXPECT_EQ(engine.Reply().payload, joined);
}

TEST_F(TransactionTest, CorruptReplyFrame_DroppedSilentlyAndWaitGoesOn) {
  EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlAck)),
                 Send(CorruptFrameBytes(kKindSrp, kRequest, kLF, 1)),
                 Send(FrameBytes(kKindSrp, kRequest, kLF, 2), 30), Expect({kCtlAck, -1, 2})}),
            kTransactOk);
  EXPECT_EQ(WrittenOf(kCtlAck).size(), 1u);
}

TEST_F(TransactionTest, FirstFrameWithoutF_RefusedWithNak20) {
  EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, kRequest, kFlagLast, 4)),
                 Expect({kCtlNak, -1, 4, kNakStart})}),
            kTransactNakStart);
}

TEST_F(TransactionTest, WrongSequence_RefusedWithNak30UnlessRequestCarriedR) {
  // The very first request carries R: any sequence is taken.
  EXPECT_EQ(Run({Expect({kKindSr, 0x68}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, kRequest, kLF | 5)), Expect({kCtlAck})}),
            kTransactOk);
  EXPECT_EQ(engine.ExpectedRxSequence(), 6);
  // Now R is clear and 6 is due.
  EXPECT_EQ(Run({Expect({kKindSr, 0x61}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, kRequest, kLF | 2, 7)),
                 Expect({kCtlNak, -1, 7, kNakSequence})}),
            kTransactNakSequence);
  // A reply frame carrying R or E is taken whatever its sequence.
  EXPECT_EQ(Run({Expect({kKindSr, 0x62}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, kRequest, kLF | kFlagRestart | 3)), Expect({kCtlAck})}),
            kTransactOk);
}

TEST_F(TransactionTest, RsltInsteadOfReply_EndsWithItsStatus) {
  struct Case {
    uint8_t status;
    int result;
  };
  for (const Case& c : {Case{1, kTransactResult1}, Case{3, kTransactResult3}}) {
    const std::vector<uint8_t> status = {c.status};
    EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlAck)),
                   Send(FrameBytes(kKindRslt, status, kLF | engine.ExpectedRxSequence(), 8)),
                   Expect({kCtlAck, -1, 8})}),
              c.result)
        << "status " << int{c.status};
  }
}

TEST_F(TransactionTest, OtherReplyKind_IgnoredWithoutAnswer) {
  EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlAck)), Send(FrameBytes(0x53, kRequest, kLF, 1)),
                 Send(FrameBytes(kKindSrp, kRequest, kLF, 2), 30), Expect({kCtlAck, -1, 2})}),
            kTransactOk);
  EXPECT_EQ(WrittenOf(kCtlAck).size(), 1u);
}

TEST_F(TransactionTest, ReportDuringTransaction_StoredAndPostedBeforeReturn) {
  const std::vector<uint8_t> barcode = {0x00, 0x05, '1', '2', '3', '4', '5'};
  EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindBcd, barcode, kLF | 0, 0x21)), Expect({kCtlAck, -1, 0x21}),
                 Send(FrameBytes(kKindSrp, kRequest, kLF | 1, 0x22)), Expect({kCtlAck, -1, 0x22})}),
            kTransactOk);
  {
    std::lock_guard<CCommandMutex> lock(engine.CommandMutex());
    ASSERT_EQ(engine.Messages().Records().size(), 1u);
    const TStructVscpBuffer& record = engine.Messages().Records().front();
    EXPECT_EQ(record.kind, kKindBcd);
    EXPECT_EQ(record.length, 7);
    EXPECT_EQ(record.data, barcode);
  }
  const std::vector<PostedMessage> posts = host.PostsOf(kMsgVscpFrame);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].wParam, kKindBcd);
  EXPECT_EQ(posts[0].lParam, 7);
  EXPECT_EQ(engine.Reply().payload, kRequest);
}

TEST_F(TransactionTest, ReplyTimeout_Result3WithRawBytesInRecord) {
  // A two-frame reply first, so the engine has seen frames before.
  EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, kRequest, kFlagFirst | 0, 1)), Expect({kCtlAck}),
                 Send(FrameBytes(kKindSrp, kRequest, kFlagLast | 1, 2)), Expect({kCtlAck})}),
            kTransactOk);
  const std::vector<uint8_t> text = {'N', 'O', 'I', 'S', 'E'};
  EXPECT_EQ(Run({Expect({kKindSr}, Join({ControlBytes(kCtlAck), text}))}), kTransactNoAnswer);
  EXPECT_EQ(engine.Reply().payload, text);
  EXPECT_EQ(engine.Reply().length, text.size());
  // Only the raw bytes: no header of an earlier frame.
  EXPECT_EQ(engine.Reply().kind, 0);
  EXPECT_EQ(engine.Reply().number, 0);
  EXPECT_EQ(engine.Reply().flags, 0);
  EXPECT_EQ(engine.Reply().checksum, 0);
  EXPECT_FALSE(engine.EFlag());
}

TEST_F(TransactionTest, GirpReply_WaitsAtLeastOneSecond) {
  engine.SetReplyTimeout(200);
  std::vector<uint8_t> girp;
  const std::vector<uint8_t> data = {0x11, 0x22};
  EncodeFrame(1, kKindGirp, 0x01, 0x02, data, kLF, girp);
  const std::vector<uint8_t> request = {0x01, 0x02};
  EXPECT_EQ(Run({Expect({kKindGirq}, ControlBytes(kCtlAck)), Send(girp, 600), Expect({kCtlAck})},
                kKindGirq, request),
            kTransactOk);
  EXPECT_EQ(engine.Reply().payload, data);
  // The same delay is too long for an ordinary reply.
  EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, kRequest, kLF | 1), 600)}),
            kTransactNoAnswer);
}

TEST_F(TransactionTest, RequestKindWithoutReply_RefusedBeforeSending) {
  for (uint8_t kind : {uint8_t{0x99}, kKindSrp, kKindBcd}) {
    EXPECT_EQ(engine.Transact(kind, kRequest, kNoExtension, kNoExtension), kTransactRefused);
  }
  EXPECT_TRUE(peer.Written().empty());
}

TEST_F(TransactionTest, ContentionWaitWithoutInput_Result256WithoutSending) {
  engine.SetContentionWait(true, 50);
  EXPECT_EQ(engine.Transact(kKindSr, kRequest, kNoExtension, kNoExtension), kTransactNoInput);
  EXPECT_TRUE(peer.Written().empty());
}

TEST_F(TransactionTest, ReplyPastMessageLimit_AcknowledgedToTheEndAndFailed) {
  // Nine frames of the largest payload: 645057 bytes in all. Under a
  // sanitizer on a loaded machine one such frame can take longer than the
  // fixture's short time-out to arrive, which is not what this test is about.
  engine.SetReplyTimeout(3000);
  const size_t largest = kMaxFrameBytes - kFullFrameOverhead;
  const std::vector<uint8_t> chunk(largest, 0x55);
  std::vector<PeerStep> script = {Expect({kKindSr}, ControlBytes(kCtlAck))};
  for (uint8_t i = 0; i < 9; ++i) {
    const uint8_t flags =
        static_cast<uint8_t>((i == 0 ? kFlagFirst : 0) | (i == 8 ? kFlagLast : 0) | (i & 7));
    script.push_back(Send(FrameBytes(kKindSrp, chunk, flags, i)));
    script.push_back(Expect({kCtlAck, -1, i}));
  }
  EXPECT_EQ(Run(std::move(script)), kTransactOverflow);
  EXPECT_EQ(engine.Reply().length, 0u);
  const std::vector<ShownBox> boxes = host.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Buffer overflow");
  EXPECT_EQ(boxes[0].caption, "ERROR");
}

TEST_F(TransactionTest, ControlExchange_AnswersWhetherTheExpectedCodeCame) {
  peer.Start({Expect({kCtlSync, -1, 1, 0}, ControlBytes(kCtlSydn)), Expect({kCtlSync, -1, 2})});
  EXPECT_EQ(engine.ControlExchange(kCtlSync, 0, kCtlSydn), 0);
  EXPECT_EQ(engine.ControlExchange(kCtlSync, 0, kCtlSydn), 1);
  EXPECT_TRUE(peer.WaitDone(5000));
  EXPECT_TRUE(peer.Errors().empty());
}

TEST_F(TransactionTest, RawBytesInsteadOfControlAnswer_DeliveredAsRawData) {
  // Raw text where the ACK should be: the wait ends, the request goes out
  // again, and the text reaches the raw buffer.
  const std::vector<uint8_t> text = {'h', 'i', '\r', '\n'};
  EXPECT_EQ(Run({Expect({kKindSr}, text), Expect({kKindSr}, ControlBytes(kCtlAck)),
                 Send(FrameBytes(kKindSrp, kRequest, kLF)), Expect({kCtlAck})}),
            kTransactOk);
  // The same in a control exchange.
  const std::vector<uint8_t> more = {'x', '\n'};
  peer.Start({Expect({kCtlSync}, more)});
  EXPECT_EQ(engine.ControlExchange(kCtlSync, 0, kCtlSydn), 1);
  EXPECT_TRUE(peer.WaitDone(5000));
  EXPECT_EQ(engine.RawData(), Join({text, more}));
  const std::vector<PostedMessage> posts = host.PostsOf(kMsgRawData);
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[0].lParam, 4);
  EXPECT_EQ(posts[1].lParam, 2);
}

// Nothing at all in answer: a control exchange expecting code 0 still fails.
TEST_F(TransactionTest, ControlExchangeWithoutAnswer_FailsWhateverCodeExpected) {
  EXPECT_EQ(engine.ControlExchange(kCtlSync, 0, 0), 1);
}

TEST_F(TransactionTest, RawBytesEndingInLineFeed_EndReceiveAtOnce) {
  const std::vector<uint8_t> text = {'A', 'B', '\r', '\n'};
  peer.Start({Send(Join({text, {'Z'}}))});
  VscpFrame record;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(engine.ReceiveFrame(kAcceptFull, record, 5000), kReceiveTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_EQ(record.payload, text);
  EXPECT_EQ(record.length, 4u);
  EXPECT_EQ(peer.Pending(), 1u);
}

// A clock that moves 10 ms each time it is read.
class CSteppingClock final : public ILinkClock {
 public:
  uint64_t NowMs() override { return now += 10; }
  uint64_t now = 0;
};

TEST(RawChunkTest, BytesWithoutPause_ChunkEndsFiftyMillisecondsAfterStart) {
  CScriptedReader peer;
  CRecordingHost host;
  CSteppingClock clock;
  CProtocol engine(peer, host, nullptr, &clock);
  peer.Start({Send(std::vector<uint8_t>(20, 'r'))});
  ASSERT_TRUE(peer.WaitDone(5000));
  VscpFrame record;
  EXPECT_EQ(engine.ReceiveFrame(kAcceptFull, record, 5000), kReceiveTimeout);
  // Start at 10 ms; the sixth byte reads 70 ms: 60 ms have passed.
  EXPECT_EQ(record.length, 6u);
  EXPECT_EQ(peer.Pending(), 14u);
}

// Records what the engine reports for the spy window and the event log.
class CRecordingObserver final : public ILinkObserver {
 public:
  bool Tracing() const override { return true; }
  void Trace(std::string_view line, uint32_t colour) override {
    lines.emplace_back(line);
    colours.push_back(colour);
  }
  void LogDump(uint32_t recordId, std::string_view title, std::span<const uint8_t> data) override {
    dumps.push_back({recordId, std::string(title), {data.begin(), data.end()}});
  }
  struct Dump {
    uint32_t recordId;
    std::string title;
    std::vector<uint8_t> data;
  };
  std::vector<std::string> lines;
  std::vector<uint32_t> colours;
  std::vector<Dump> dumps;
};

TEST_F(TransactionTest, Diagnostics_TraceEveryFrameAndDumpReceivedOnes) {
  CRecordingObserver observer;
  engine.SetObserver(&observer);
  const std::vector<uint8_t> request = {0x02, 0x10};
  const std::vector<uint8_t> reply = FrameBytes(kKindSrp, std::vector<uint8_t>{0x00}, kLF, 7);
  const std::vector<uint8_t> corrupt =
      CorruptFrameBytes(kKindSrp, std::vector<uint8_t>{0x00}, kLF, 6);
  EXPECT_EQ(Run({Expect({kKindSr}, ControlBytes(kCtlAck, 1)), Send(Join({corrupt, reply})),
                 Expect({kCtlAck})},
                kKindSr, request),
            kTransactOk);
  engine.SetObserver(nullptr);
  const std::vector<std::string> expected = {
      "LF.R0 Tx: (SR  ) 02 01 40 02 10 68 01 93 03",
      "      Rx: (ACK ) 02 01 06 00 03",
      "LF..0 Rx: (SRP ) 02 07 50 00 60 01 6C 03",
      "      Tx: (ACK ) 02 07 06 00 03",
  };
  EXPECT_EQ(observer.lines, expected);
  // Every frame that reached its ETX is dumped, the refused one included;
  // only accepted frames are traced.
  ASSERT_EQ(observer.dumps.size(), 3u);
  for (const CRecordingObserver::Dump& dump : observer.dumps) {
    EXPECT_EQ(dump.title, "RX frame: ");
    EXPECT_EQ(dump.recordId, kLogIdFrameDump);
  }
  EXPECT_EQ(observer.dumps[0].data, ControlBytes(kCtlAck, 1));
  EXPECT_EQ(observer.dumps[1].data, corrupt);
  EXPECT_EQ(observer.dumps[2].data, reply);
}

// A transport whose device is closed: every read fails at once.
class CClosedTransport final : public ITransport {
 public:
  int WriteReports(std::span<const uint8_t>, uint32_t) override { return 0; }
  uint32_t ReadByte(uint8_t&, uint32_t) override { return kTransportNotOpen; }
  bool PollInput(uint32_t) override { return false; }
  bool WaitForInput(uint32_t) override { return false; }
};

// A transport whose read runs out of memory, as growing a frame buffer would.
class CNoMemoryTransport final : public ITransport {
 public:
  int WriteReports(std::span<const uint8_t>, uint32_t) override { return 0; }
  uint32_t ReadByte(uint8_t&, uint32_t) override { throw std::bad_alloc(); }
  bool PollInput(uint32_t) override { return true; }
  bool WaitForInput(uint32_t) override { return true; }
};

// Shows message boxes on standard error, where a death test can see them.
class CStderrHost final : public IHostMessaging {
 public:
  uint32_t RegisterMessage(std::string_view) override { return 0xC000; }
  bool PostMessage(HostWindow, uint32_t, uint64_t, int64_t) override { return true; }
  void MessageBox(std::string_view text, std::string_view caption, uint32_t) override {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
  }
};

TEST(AllocationDeathTest, NoMemoryForReceivedFrame_BoxThenProcessEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  CNoMemoryTransport transport;
  CStderrHost host;
  CProtocol engine(transport, host);
  EXPECT_EXIT(engine.ReceiveAndDispatch(), ::testing::ExitedWithCode(EXIT_FAILURE),
              "Allocation error");
  EXPECT_EXIT(engine.Transact(kKindSr, kRequest, kNoExtension, kNoExtension),
              ::testing::ExitedWithCode(EXIT_FAILURE), "Allocation error");
}

TEST(ClosedTransportTest, Request_FailsWithoutWaitingOutTheTimeouts) {
  CClosedTransport transport;
  CRecordingHost host;
  CProtocol engine(transport, host);
  engine.SetReplyTimeout(2000);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(engine.Transact(kKindSr, kRequest, kNoExtension, kNoExtension), kTransactNoAnswer);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace lx2d::testing

#include "reader_link.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

namespace lx2d::sim {
namespace {

class CRecordingOutput final : public ILinkOutput {
 public:
  void Send(std::span<const uint8_t> bytes) override {
    sent.emplace_back(bytes.begin(), bytes.end());
  }
  void Pause(uint32_t ms) override { paused += ms; }

  // Every frame sent, decoded.
  std::vector<VscpFrame> Frames() const {
    std::vector<VscpFrame> frames;
    CFrameDecoder decoder(kAcceptBoth);
    for (const auto& bytes : sent) {
      for (uint8_t byte : bytes) {
        const DecodeStatus status = decoder.Feed(byte);
        if (status == DecodeStatus::kFrameAccepted || status == DecodeStatus::kControlAccepted) {
          frames.push_back(decoder.Frame());
        }
      }
    }
    return frames;
  }

  std::vector<std::vector<uint8_t>> sent;
  uint32_t paused = 0;
};

std::vector<uint8_t> Request(uint8_t kind, std::vector<uint8_t> payload, uint8_t number = 7) {
  std::vector<uint8_t> wire;
  EncodeFrame(number, kind, kNoExtension, kNoExtension, payload, 0x68, wire);
  return wire;
}

std::vector<uint8_t> Control(uint8_t code, uint8_t number = 9) {
  std::vector<uint8_t> wire;
  EncodeControl(number, code, 0, wire);
  return wire;
}

std::vector<uint8_t> Payload(const VscpFrame& frame) {
  return {frame.payload.begin(), frame.payload.begin() + frame.length};
}

TEST(ReaderLink, Sync_AnsweredWithSydn) {
  CRecordingOutput output;
  CReaderLink link(output, {}, nullptr);
  link.Receive(Control(kCtlSync, 0x11));
  const auto frames = output.Frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].kind, kCtlSydn);
  EXPECT_EQ(frames[0].number, 0x11);
}

TEST(ReaderLink, AnswerAfter_DeafUntilTheTimeThenAnswers) {
  CRecordingOutput output;
  LinkFaults faults;
  faults.answerAfterMs = 100;
  CReaderLink link(output, faults, nullptr);
  link.Receive(Control(kCtlSync, 0x11));
  link.Receive(Request(kKindSw, {0x42, 0x01, 0x01}));
  EXPECT_TRUE(output.sent.empty());
  EXPECT_EQ(link.RequestsSeen(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  link.Receive(Control(kCtlSync, 0x12));
  const auto frames = output.Frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].kind, kCtlSydn);
  EXPECT_EQ(frames[0].number, 0x12);
}

TEST(ReaderLink, SyncIgnored_NothingSent) {
  CRecordingOutput output;
  CReaderLink link(output, {.ignoreSync = true}, nullptr);
  link.Receive(Control(kCtlSync, 0x11));
  EXPECT_TRUE(output.Frames().empty());
}

TEST(ReaderLink, SetupWriteThenRead_AckAndRepliesWithStoredValues) {
  CRecordingOutput output;
  CReaderLink link(output, {}, nullptr);
  // A one-byte, a two-byte and a length-prefixed record, back to back.
  link.Receive(Request(
      kKindSw, {0x42, 0x41, 0x01, 0x7C, 0x81, 0x80, 0x05, 0x60, 0xC0, 0x00, 0x02, 'A', 'B'}));
  link.Receive(Request(kKindSr, {0x7C, 0x81, 0x60, 0xC0, 0x99, 0x99}, 8));
  const auto frames = output.Frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[0].kind, kCtlAck);
  EXPECT_EQ(frames[0].number, 7);
  EXPECT_EQ(frames[1].kind, kKindRslt);
  EXPECT_EQ(frames[1].number, 7);
  EXPECT_EQ(frames[1].flags, kFlagFirst | kFlagLast | 0);
  EXPECT_EQ(Payload(frames[1]), std::vector<uint8_t>{0});
  EXPECT_EQ(frames[3].kind, kKindSrp);
  EXPECT_EQ(frames[3].flags, kFlagFirst | kFlagLast | 1);  // the reader's sequence advanced
  EXPECT_EQ(Payload(frames[3]),
            (std::vector<uint8_t>{0x7C, 0x81, 0x80, 0x05, 0x60, 0xC0, 0x00, 0x02, 'A', 'B'}));
  EXPECT_EQ(link.Parameters().Values().at({0x42, 0x41}), std::vector<uint8_t>{1});
}

TEST(ReaderLink, MalformedWrite_RefusedAndNothingStored) {
  CRecordingOutput output;
  CReaderLink link(output, {}, nullptr);
  link.Receive(Request(kKindSw, {0x42, 0x41, 0x01, 0x7C, 0x81, 0x80}));
  const auto frames = output.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(Payload(frames[1]), std::vector<uint8_t>{2});
  EXPECT_EQ(link.Parameters().Values().count({0x42, 0x41}), 0u);
}

TEST(ReaderLink, ControlCommand4002_RestoresFactoryDefaults) {
  CRecordingOutput output;
  CReaderLink link(output, {}, nullptr);
  link.Receive(Request(kKindSw, {0x42, 0x40, 0x00, 0x55, 0x40, 0x01}));
  EXPECT_EQ(link.Parameters().Values().at({0x42, 0x40}), std::vector<uint8_t>{0});
  link.Receive(Request(kKindCcmd, {0x40, 0x02}));
  EXPECT_EQ(link.Parameters().Values().at({0x42, 0x40}), std::vector<uint8_t>{1});
  EXPECT_EQ(link.Parameters().Values().count({0x55, 0x40}), 0u);
  EXPECT_EQ(Payload(output.Frames().back()), std::vector<uint8_t>{0});
}

TEST(ReaderLink, Faults_AnswerRequestsInTurn) {
  const struct {
    const char* name;
    LinkFaults faults;
    std::vector<uint8_t> firstAnswer;  // kinds sent for the first request
  } kCases[] = {
      {"busy", {.busy = 1}, {kCtlBusy}},
      {"sydn", {.sydn = 1}, {kCtlSydn}},
      {"nak", {.nak = 1}, {kCtlNak}},
      {"dropped ack", {.dropAcks = 1}, {}},
      {"duplicate", {.duplicateReplies = true}, {kCtlAck, kKindRslt, kKindRslt}},
  };
  for (const auto& c : kCases) {
    CRecordingOutput output;
    CReaderLink link(output, c.faults, nullptr);
    link.Receive(Request(kKindCcmd, {0x01, 0x02}));
    std::vector<uint8_t> kinds;
    for (const VscpFrame& frame : output.Frames()) kinds.push_back(frame.kind);
    EXPECT_EQ(kinds, c.firstAnswer) << c.name;
    // The fault is used up: the same request is answered normally.
    const size_t before = output.Frames().size();
    link.Receive(Request(kKindCcmd, {0x01, 0x02}));
    const auto frames = output.Frames();
    ASSERT_GE(frames.size(), before + 2) << c.name;
    EXPECT_EQ(frames[before].kind, kCtlAck) << c.name;
    EXPECT_EQ(frames[before + 1].kind, kKindRslt) << c.name;
  }
}

TEST(ReaderLink, Busy_RsndDeliversTheWaitingReport_AbtAnsweredWithAbdn) {
  CRecordingOutput output;
  CReaderLink link(output, {.busy = 2}, nullptr);
  link.Receive(Request(kKindSr, {0x42, 0x40}));
  link.Receive(Control(kCtlRsnd, 0));
  auto frames = output.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].kind, kKindBcd);
  EXPECT_EQ(Payload(frames[1]),
            (std::vector<uint8_t>{0, 9, 'B', 'U', 'S', 'Y', '-', 'D', 'A', 'T', 'A'}));
  link.Receive(Request(kKindSr, {0x42, 0x40}));
  link.Receive(Control(kCtlAbt, 0x22));
  frames = output.Frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[3].kind, kCtlAbdn);
  EXPECT_EQ(frames[3].number, 0x22);
  link.Receive(Request(kKindSr, {0x42, 0x40}));
  EXPECT_EQ(output.Frames().back().flags & kFlagSequence, 0);  // counting starts again after ABT
}

TEST(ReaderLink, Split_ReplyInFramesWithFirstAndLastMarks) {
  CRecordingOutput output;
  CReaderLink link(output, {.replyFrameBytes = 4}, nullptr);
  link.Receive(Request(kKindStr, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  const auto frames = output.Frames();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(frames[1].flags, kFlagFirst | 0);
  EXPECT_EQ(frames[2].flags, 1);
  EXPECT_EQ(frames[3].flags, kFlagLast | 2);
  EXPECT_EQ(Payload(frames[3]), (std::vector<uint8_t>{9, 10}));
}

TEST(ReaderLink, Delays_PausedBeforeAckAndReply) {
  CRecordingOutput output;
  CReaderLink link(output, {.ackDelayMs = 30, .replyDelayMs = 70}, nullptr);
  link.Receive(Request(kKindCcmd, {1, 2}));
  EXPECT_EQ(output.paused, 100u);
}

TEST(ReaderLink, Girq_GirpEchoesTheExtensionBytes) {
  CRecordingOutput output;
  CReaderLink link(output, {}, nullptr);
  std::vector<uint8_t> wire;
  EncodeFrame(3, kKindGirq, 0x12, 0x34, std::vector<uint8_t>{0xAA}, 0x68, wire);
  link.Receive(wire);
  ASSERT_EQ(output.sent.size(), 2u);
  std::vector<uint8_t> expected;
  EncodeFrame(3, kKindGirp, 0x12, 0x34, std::vector<uint8_t>{0xAA}, kFlagFirst | kFlagLast,
              expected);
  EXPECT_EQ(output.sent[1], expected);
}

TEST(ReaderLink, Record_OneJsonObjectPerRequest) {
  CRecordingOutput output;
  std::ostringstream record;
  CReaderLink link(output, {}, &record);
  link.Receive(Request(kKindSw, {0x42, 0x40, 0x01}, 5));
  link.Receive(Control(kCtlAck));
  const std::string line = record.str();
  EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
  EXPECT_EQ(line.rfind("{\"time\":\"", 0), 0u);
  EXPECT_NE(line.find("\",\"kind\":\"SW\",\"number\":5,\"flags\":104,\"payload\":\"424001\"}"),
            std::string::npos)
      << line;
}

TEST(ReaderLink, Unsolicited_BarcodeEventAndRaw) {
  CRecordingOutput output;
  CReaderLink link(output, {}, nullptr);
  link.SendBarcode(kKindBcd, "4711");
  link.SendReport(kKindEvt, std::vector<uint8_t>{0x01, 0x02});
  link.SendRaw(std::vector<uint8_t>{'h', 'i', '\n'});
  const auto frames = output.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].kind, kKindBcd);
  EXPECT_EQ(Payload(frames[0]), (std::vector<uint8_t>{0, 4, '4', '7', '1', '1'}));
  EXPECT_EQ(frames[1].kind, kKindEvt);
  EXPECT_EQ(output.sent.back(), (std::vector<uint8_t>{'h', 'i', '\n'}));
}

}  // namespace
}  // namespace lx2d::sim

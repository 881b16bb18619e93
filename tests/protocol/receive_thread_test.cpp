// The receive thread and the delivery of reports and raw data to the host.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "protocol.h"
#include "recording_host.h"
#include "scripted_reader.h"

namespace lx2d::testing {
namespace {

constexpr uint8_t kLF = kFlagLast | kFlagFirst;
constexpr int kWaitMs = 5000;

// What the data capture callback was handed.
std::mutex capturedMutex;
std::vector<std::vector<uint8_t>> captured;

int32_t Capture(uint8_t* data, uint32_t length) {
  std::lock_guard<std::mutex> lock(capturedMutex);
  captured.emplace_back(data, data + length);
  return 0;
}

std::vector<std::vector<uint8_t>> Captured() {
  std::lock_guard<std::mutex> lock(capturedMutex);
  return captured;
}

class ReceiveThreadTest : public ::testing::Test {
 protected:
  ReceiveThreadTest() {
    engine.SetReplyTimeout(100);
    std::lock_guard<std::mutex> lock(capturedMutex);
    captured.clear();
  }

  // Starts the thread and lets the peer send `script`; waits for it to end.
  void Deliver(std::vector<PeerStep> script) {
    ASSERT_TRUE(engine.StartReceiveThread());
    peer.Start(std::move(script));
    ASSERT_TRUE(peer.WaitDone(kWaitMs));
    ASSERT_TRUE(peer.Errors().empty()) << peer.Errors().front();
    // The thread holds the lock for a whole receive-and-deliver: once the
    // lock is ours, what the peer sent has been dealt with.
    std::lock_guard<CCommandMutex> lock(engine.CommandMutex());
  }

  std::vector<TStructVscpBuffer> Records() {
    std::lock_guard<CCommandMutex> lock(engine.CommandMutex());
    return {engine.Messages().Records().begin(), engine.Messages().Records().end()};
  }

  std::vector<uint8_t> Raw() {
    std::lock_guard<CCommandMutex> lock(engine.CommandMutex());
    return engine.RawData();
  }

  CScriptedReader peer;
  CRecordingHost host;
  CProtocol engine{peer, host};
};

TEST_F(ReceiveThreadTest, ReportWithoutWindow_BroadcastUntilWindowNamed) {
  const std::vector<uint8_t> barcode = {0x00, 0x05, 'A', 'B', 'C', 'D', 'E'};
  Deliver({Send(FrameBytes(kKindBcd, barcode, kLF, 1)), Expect({kCtlAck, -1, 1})});
  ASSERT_TRUE(host.WaitForPosts(kMsgVscpFrame, 1, kWaitMs));
  PostedMessage first = host.PostsOf(kMsgVscpFrame)[0];
  EXPECT_EQ(first.window, kHostBroadcast);
  EXPECT_EQ(first.wParam, kKindBcd);
  EXPECT_EQ(first.lParam, 7);
  EXPECT_EQ(engine.HostTarget(), kHostBroadcast);
  const std::vector<TStructVscpBuffer> records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].kind, kKindBcd);
  EXPECT_EQ(records[0].length, 7);
  EXPECT_EQ(records[0].data, barcode);

  engine.SetHostTarget(0x10001, 0x5A);
  peer.Start({Send(FrameBytes(kKindBcd, barcode, kLF | 1, 2)), Expect({kCtlAck, -1, 2})});
  ASSERT_TRUE(host.WaitForPosts(kMsgVscpFrame, 2, kWaitMs));
  PostedMessage second = host.PostsOf(kMsgVscpFrame)[1];
  EXPECT_EQ(second.window, 0x10001u);
  EXPECT_EQ(second.lParam, 0x5A000007);
}

TEST_F(ReceiveThreadTest, SeveralReports_ListedInOrderOfArrival) {
  const std::vector<uint8_t> one = {0x00, 0x01, '1'}, two = {0x00, 0x01, '2'};
  const std::vector<uint8_t> event = {0x10, 0x00, 0x11, 0x40, 0x07};  // 2-byte and 3-byte elements
  Deliver({Send(Join({FrameBytes(kKindBcd, one, kLF | 0, 1), FrameBytes(kKindBcd, two, kLF | 1, 2),
                      FrameBytes(kKindEvt, event, kLF | 2, 3)})),
           Expect({kCtlAck, -1, 1}), Expect({kCtlAck, -1, 2}), Expect({kCtlAck, -1, 3})});
  ASSERT_TRUE(host.WaitForPosts(kMsgVscpFrame, 3, kWaitMs));
  const std::vector<TStructVscpBuffer> records = Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].data, one);
  EXPECT_EQ(records[1].data, two);
  EXPECT_EQ(records[2].kind, kKindEvt);
  std::lock_guard<CCommandMutex> lock(engine.CommandMutex());
  EXPECT_EQ(engine.Messages().FindFirst(kKindBcd)->data, one);
}

TEST_F(ReceiveThreadTest, RawLineEndingInLineFeed_BufferedAndAnnounced) {
  engine.SetDataCapture(true, Capture);
  const std::vector<uint8_t> text = {'s', 'c', 'a', 'n', '\r', '\n'};
  Deliver({Send(text)});
  ASSERT_TRUE(host.WaitForPosts(kMsgRawData, 1, kWaitMs));
  const PostedMessage post = host.PostsOf(kMsgRawData)[0];
  EXPECT_EQ(post.wParam, 0u);
  EXPECT_EQ(post.lParam, 6);
  EXPECT_EQ(Raw(), text);
  EXPECT_EQ(Captured(), std::vector<std::vector<uint8_t>>{text});
}

TEST_F(ReceiveThreadTest, BrokenEvt_DeliveredAsRawData) {
  const std::vector<uint8_t> event = {0x01, 0x02, 0x03};  // one byte left at an element start
  Deliver({Send(FrameBytes(kKindEvt, event, kLF, 1)), Expect({kCtlAck, -1, 1})});
  ASSERT_TRUE(host.WaitForPosts(kMsgRawData, 1, kWaitMs));
  EXPECT_EQ(host.PostsOf(kMsgRawData)[0].lParam, 3);
  EXPECT_EQ(Raw(), event);
  EXPECT_TRUE(Records().empty());
  EXPECT_TRUE(host.PostsOf(kMsgVscpFrame).empty());
}

TEST_F(ReceiveThreadTest, BadReportLayout_BoxUnlessCapturingThenDelivered) {
  struct Case {
    uint8_t kind;
    std::vector<uint8_t> payload;
    bool capture;
    const char* box;  // nullptr: none
  };
  const std::vector<uint8_t> shortBcd = {0x00, 0x09, 'x'};
  std::vector<uint8_t> badBcdex(13 + 2, 0);
  badBcdex[4] = 3;  // first length 3, but only 2 data bytes follow
  const Case cases[] = {
      {kKindBcd, shortBcd, false, "size parameter of the BCD frame does not correspond with data"},
      {kKindSbcd, shortBcd, false, "size parameter of the BCD frame does not correspond with data"},
      {kKindBcd, shortBcd, true, nullptr},
      {kKindBcdex, badBcdex, false, "Invalid fields in BCDEX frame"},
      {kKindBcdex, badBcdex, true, "Invalid fields in BCDEX frame"},
  };
  ASSERT_TRUE(engine.StartReceiveThread());
  size_t posts = 0;
  for (const Case& c : cases) {
    engine.SetDataCapture(c.capture, c.capture ? Capture : nullptr);
    const size_t boxesBefore = host.Boxes().size();
    peer.Start({Send(FrameBytes(c.kind, c.payload, kLF, static_cast<uint8_t>(posts + 1))),
                Expect({kCtlAck})});
    ASSERT_TRUE(host.WaitForPosts(kMsgVscpFrame, ++posts, kWaitMs));
    const std::vector<ShownBox> boxes = host.Boxes();
    if (c.box == nullptr) {
      EXPECT_EQ(boxes.size(), boxesBefore);
      EXPECT_EQ(Captured().back(), c.payload);
    } else {
      ASSERT_EQ(boxes.size(), boxesBefore + 1);
      EXPECT_EQ(boxes.back().text, c.box);
      EXPECT_EQ(boxes.back().style, kBoxSetForeground);
    }
  }
  EXPECT_EQ(Records().size(), std::size(cases));
}

TEST_F(ReceiveThreadTest, ReplyKindWithoutTransaction_AcknowledgedAndDropped) {
  const std::vector<uint8_t> payload = {0x01, 0x02};
  Deliver({Send(FrameBytes(kKindSrp, payload, kLF, 4)), Expect({kCtlAck, -1, 4})});
  EXPECT_TRUE(Records().empty());
  EXPECT_TRUE(Raw().empty());
  EXPECT_TRUE(host.Posts().empty());
}

TEST_F(ReceiveThreadTest, StopWhileHostHoldsLock_EndsWithoutTakingIt) {
  std::unique_lock<CCommandMutex> held(engine.CommandMutex());
  ASSERT_TRUE(engine.StartReceiveThread());
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const auto start = std::chrono::steady_clock::now();
  engine.StopReceiveThread();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  // Started again, the thread works as before.
  held.unlock();
  Deliver({Send(FrameBytes(kKindBcd, std::vector<uint8_t>{0, 0}, kLF, 1)), Expect({kCtlAck})});
  EXPECT_TRUE(host.WaitForPosts(kMsgVscpFrame, 1, kWaitMs));
}

// Dispatch without the thread: the caller holds the lock as the thread would.
class DispatchTest : public ReceiveThreadTest {
 protected:
  VscpFrame Report(uint8_t kind, std::vector<uint8_t> payload) {
    VscpFrame frame;
    frame.kind = kind;
    frame.length = static_cast<uint32_t>(payload.size());
    frame.payload = std::move(payload);
    return frame;
  }
  std::lock_guard<CCommandMutex> lock{engine.CommandMutex()};
};

TEST_F(DispatchTest, PostRefusedOnce_PostedAgainAfterPause) {
  host.FailPosts(1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(engine.DispatchFrame(Report(kKindIdta, {1, 2, 3})));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
  EXPECT_EQ(host.PostAttempts(), 2);
  EXPECT_EQ(host.PostsOf(kMsgVscpFrame).size(), 1u);
}

TEST_F(DispatchTest, PostRefusedTwice_FalseAndRecordKept) {
  host.FailPosts(2);
  EXPECT_FALSE(engine.DispatchFrame(Report(kKindBcdex2, {9})));
  EXPECT_EQ(host.PostAttempts(), 2);
  EXPECT_NE(engine.Messages().FindFirst(kKindBcdex2), nullptr);
}

TEST_F(DispatchTest, KindThatIsNoReport_NeitherStoredNorPosted) {
  for (uint8_t kind : {kKindSrp, kKindRslt, kKindIdrp, uint8_t{0x99}}) {
    EXPECT_FALSE(engine.DispatchFrame(Report(kind, {1})));
  }
  EXPECT_TRUE(engine.Messages().Records().empty());
  EXPECT_EQ(host.PostAttempts(), 0);
}

TEST(DispatchRegistrationTest, UnregisteredMessage_StoredButNeverPosted) {
  CScriptedReader peer;
  CRecordingHost host;
  host.RefuseRegistration("WM_VSCP_FRAME");
  CProtocol engine(peer, host);
  VscpFrame frame;
  frame.kind = kKindBcd;
  frame.length = 2;
  frame.payload = {0, 0};
  std::lock_guard<CCommandMutex> lock(engine.CommandMutex());
  EXPECT_TRUE(engine.DispatchFrame(frame));
  EXPECT_EQ(engine.Messages().Records().size(), 1u);
  EXPECT_EQ(host.PostAttempts(), 0);
}

}  // namespace
}  // namespace lx2d::testing

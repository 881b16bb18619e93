// Two processes meeting through the platform services: windows found and
// messaged across processes, SIGTERM as end of session, and two writers of
// one hive at the same time.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "platform/fakes/child_process.h"
#include "platform/fakes/temp_directory.h"
#include "platform/last_error.h"
#include "platform/registry.h"
#include "platform/single_instance.h"
#include "platform/window.h"

namespace lx2d::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr auto kGenerous = seconds(20);  // bounds only; a loaded machine is slow

LRESULT TestProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProc(window, message, wParam, lParam);
}

class CrossProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.UseForAllDirectories();
    WNDCLASS windowClass;
    windowClass.lpfnWndProc = TestProc;
    windowClass.lpszClassName = "Lx2dCrossProcessTest";
    RegisterClass(windowClass);  // once per process; later tests reuse it
    mine = CreateWindowEx(0, "Lx2dCrossProcessTest", "", 0, 0, 0, 0, 0, 0, 0, nullptr);
    ASSERT_NE(mine, 0u);
  }
  void TearDown() override { DestroyWindow(mine); }

  std::vector<std::pair<std::string, std::string>> ChildEnvironment() const {
    return {{"LX2D_SYSTEM_DIR", folder.Path() + "/system"},
            {"LX2D_USER_DIR", folder.Path() + "/user"},
            {"LX2D_STATE_DIR", folder.Path() + "/state"},
            {"LX2D_RUNTIME_DIR", folder.Path() + "/run"}};
  }

  // Starts the peer and waits until its window can be found.
  HWND StartPeer(CChildProcess* peer, const char* className, const char* mutexName = nullptr) {
    std::vector<std::string> args{className};
    if (mutexName != nullptr) args.emplace_back(mutexName);
    if (!peer->Start(TestProgramDirectory() + "/lx2d_window_peer", args, ChildEnvironment())) {
      return 0;
    }
    auto deadline = std::chrono::steady_clock::now() + kGenerous;
    while (std::chrono::steady_clock::now() < deadline) {
      if (HWND found = FindWindow(className)) return found;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return 0;
  }

  // The next message `wanted` for our window, waiting at most kGenerous.
  bool Receive(UINT wanted, MSG* msg) {
    auto deadline = std::chrono::steady_clock::now() + kGenerous;
    while (std::chrono::steady_clock::now() < deadline) {
      if (PeekMessage(msg, mine, wanted, wanted, PM_REMOVE)) return true;
      std::this_thread::sleep_for(milliseconds(5));
    }
    return false;
  }

  CTempDirectory folder;
  HWND mine = 0;
};

TEST_F(CrossProcessTest, Windows_FindPostSendAndBroadcastAcrossProcesses) {
  CChildProcess peer;
  HWND other = StartPeer(&peer, "Lx2dTestPeer");
  ASSERT_NE(other, 0u);
  bool listed = false;
  for (const TWindowInfo& info : ListWindows()) {
    listed = listed || (info.handle == other && info.processId == peer.Id() &&
                        info.className == "Lx2dTestPeer" && info.title == "peer");
  }
  EXPECT_TRUE(listed);

  // Send with reply.
  UINT echo = RegisterWindowMessage("WM_LX2D_TEST_ECHO");
  EXPECT_EQ(SendMessage(other, echo, 1000, 500), 1500);

  // Post there, and the peer posts back.
  UINT ping = RegisterWindowMessage("WM_LX2D_TEST_PING");
  UINT pong = RegisterWindowMessage("WM_LX2D_TEST_PONG");
  ASSERT_EQ(PostMessage(other, ping, mine, 41), TRUE);
  MSG msg;
  ASSERT_TRUE(Receive(pong, &msg));
  EXPECT_EQ(msg.lParam, 42);

  // A broadcast reaches the peer's window and our own.
  UINT broadcast = RegisterWindowMessage("WM_LX2D_TEST_BROADCAST");
  UINT ack = RegisterWindowMessage("WM_LX2D_TEST_ACK");
  ASSERT_EQ(PostMessage(HWND_BROADCAST, broadcast, mine, 0), TRUE);
  ASSERT_TRUE(Receive(ack, &msg));
  EXPECT_EQ(static_cast<HWND>(msg.lParam), other);
  ASSERT_TRUE(Receive(broadcast, &msg));
  EXPECT_EQ(msg.wParam, mine);

  // SIGTERM arrives as WM_QUERYENDSESSION and the peer closes in order.
  peer.Terminate();
  EXPECT_EQ(peer.Wait(kGenerous), 7);
  EXPECT_EQ(FindWindow("Lx2dTestPeer"), 0u);
  EXPECT_EQ(PostMessage(other, ping, mine, 0), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

// The peer posts to our window while this thread is busy elsewhere (joining
// a thread that asks the peer for the messages): they all wait for us, in
// order.
TEST_F(CrossProcessTest, PostMessage_ReceiverBusy_AllArriveInOrder) {
  CChildProcess peer;
  HWND other = StartPeer(&peer, "Lx2dTestFlood");
  ASSERT_NE(other, 0u);
  constexpr LPARAM kPosted = 500;
  UINT pong = RegisterWindowMessage("WM_LX2D_TEST_PONG");
  LRESULT accepted = 0;
  std::thread asker([&] {
    accepted = SendMessage(other, RegisterWindowMessage("WM_LX2D_TEST_FLOOD"), mine, kPosted);
  });
  asker.join();
  EXPECT_EQ(accepted, kPosted);
  MSG msg;
  for (LPARAM i = 1; i <= kPosted; ++i) {
    ASSERT_TRUE(Receive(pong, &msg)) << i;
    ASSERT_EQ(msg.lParam, i);
  }
  EXPECT_EQ(PeekMessage(&msg, mine, 0, 0, PM_REMOVE), FALSE);
  peer.Terminate();
  EXPECT_EQ(peer.Wait(kGenerous), 7);
}

TEST_F(CrossProcessTest, SendMessage_TargetProcessDiesWhileHandling_ReturnsZero) {
  CChildProcess peer;
  HWND other = StartPeer(&peer, "Lx2dTestVanishing");
  ASSERT_NE(other, 0u);
  SetLastError(0);
  EXPECT_EQ(SendMessage(other, RegisterWindowMessage("WM_LX2D_TEST_VANISH"), 0, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(peer.Wait(kGenerous), 3);
  // Its files stayed behind; the next lookup cleans them instead of finding it.
  EXPECT_EQ(FindWindow("Lx2dTestVanishing"), 0u);
}

TEST_F(CrossProcessTest, Sigterm_StuckMessageLoop_SecondSignalEndsProcess) {
  CChildProcess peer;
  HWND other = StartPeer(&peer, "Lx2dTestStuck");
  ASSERT_NE(other, 0u);
  ASSERT_EQ(PostMessage(other, RegisterWindowMessage("WM_LX2D_TEST_HANG"), mine, 0), TRUE);
  MSG msg;
  ASSERT_TRUE(Receive(RegisterWindowMessage("WM_LX2D_TEST_ACK"), &msg));  // now stuck
  // Repeated, since signals sent close together may arrive as one.
  std::optional<int> status;
  auto deadline = std::chrono::steady_clock::now() + kGenerous;
  while (!status && std::chrono::steady_clock::now() < deadline) {
    peer.Terminate();
    status = peer.Wait(milliseconds(100));
  }
  EXPECT_EQ(status, 128 + 15);
}

TEST_F(CrossProcessTest, NamedMutex_HeldByAnotherProcessUntilItEnds) {
  const char* kName = "Korvane Barcode Reader 2D Setting Utility";
  CChildProcess first;
  ASSERT_NE(StartPeer(&first, "Lx2dMutexFirst", kName), 0u);
  CNamedMutex ours;
  EXPECT_EQ(ours.Create(kName), ERROR_ALREADY_EXISTS);
  CChildProcess second;
  ASSERT_TRUE(second.Start(TestProgramDirectory() + "/lx2d_window_peer", {"Lx2dMutexSecond", kName},
                           ChildEnvironment()));
  EXPECT_EQ(second.Wait(kGenerous), 4);
  // A killed holder leaves nothing that blocks the next instance.
  first.Kill();
  EXPECT_EQ(first.Wait(kGenerous), 128 + 9);
  EXPECT_EQ(ours.Create(kName), ERROR_SUCCESS);
}

TEST_F(CrossProcessTest, ConcurrentHiveWriters_LoseNothing) {
  constexpr int kPerWriter = 100;
  CChildProcess first;
  CChildProcess second;
  std::string writer = TestProgramDirectory() + "/lx2d_registry_writer";
  ASSERT_TRUE(first.Start(writer, {"a", std::to_string(kPerWriter)}, ChildEnvironment()));
  ASSERT_TRUE(second.Start(writer, {"b", std::to_string(kPerWriter)}, ChildEnvironment()));
  EXPECT_EQ(first.Wait(seconds(120)), 0);
  EXPECT_EQ(second.Wait(seconds(120)), 0);

  IRegistry& registry = DefaultRegistry();
  HKEY key = 0;
  ASSERT_EQ(registry.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Lx2dTest", KEY_QUERY_VALUE, &key),
            ERROR_SUCCESS);
  for (const char* prefix : {"a", "b"}) {
    for (int i = 0; i < kPerWriter; ++i) {
      std::uint8_t bytes[4] = {};
      DWORD size = 4;
      DWORD type = 0;
      ASSERT_EQ(registry.QueryValue(key, std::string(prefix) + "-" + std::to_string(i), &type,
                                    bytes, &size),
                ERROR_SUCCESS)
          << prefix << i;
      EXPECT_EQ(type, REG_DWORD);
      EXPECT_EQ(bytes[0] | (bytes[1] << 8), i);
    }
  }
  std::string name;
  EXPECT_EQ(registry.EnumValue(key, 2 * kPerWriter, &name, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  registry.CloseKey(key);
}

}  // namespace
}  // namespace lx2d::platform

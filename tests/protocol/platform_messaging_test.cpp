// The engine's window messages reach a real window of the platform's
// message system, named or by broadcast.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/fakes/temp_directory.h"
#include "platform/window.h"
#include "platform_host_messaging.h"
#include "protocol.h"
#include "scripted_reader.h"

namespace lx2d::testing {
namespace {

namespace pf = lx2d::platform;

pf::LRESULT HostProc(pf::HWND window, pf::UINT message, pf::WPARAM wParam, pf::LPARAM lParam) {
  return pf::DefWindowProc(window, message, wParam, lParam);
}

class PlatformMessagingTest : public ::testing::Test {
 protected:
  PlatformMessagingTest() {
    directories.UseForAllDirectories();
    pf::WNDCLASS windowClass;
    windowClass.lpfnWndProc = HostProc;
    windowClass.lpszClassName = "Lx2dProtocolTestHost";
    pf::RegisterClass(windowClass);
    window = pf::CreateWindowEx(0, "Lx2dProtocolTestHost", "host", 0, 0, 0, 0, 0, 0, 0, nullptr);
  }
  ~PlatformMessagingTest() override { pf::DestroyWindow(window); }

  // The next message `number` queued for this thread, within a few seconds.
  bool Receive(pf::UINT number, pf::MSG& msg) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      while (pf::PeekMessage(&msg, 0, 0, 0, pf::PM_REMOVE)) {
        if (msg.message == number) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  void Dispatch(uint8_t kind, std::vector<uint8_t> payload) {
    VscpFrame frame;
    frame.kind = kind;
    frame.length = static_cast<uint32_t>(payload.size());
    frame.payload = std::move(payload);
    std::lock_guard<CCommandMutex> lock(engine.CommandMutex());
    ASSERT_TRUE(engine.DispatchFrame(frame));
  }

  pf::CTempDirectory directories;
  pf::HWND window = 0;
  CScriptedReader peer;
  CPlatformHostMessaging host;
  CProtocol engine{peer, host};
};

TEST_F(PlatformMessagingTest, Report_BroadcastThenPostedToNamedWindow) {
  ASSERT_NE(window, 0u);
  const pf::UINT vscpFrame = pf::RegisterWindowMessage("WM_VSCP_FRAME");
  pf::MSG msg;

  Dispatch(kKindBcd, {0x00, 0x01, 'x'});
  ASSERT_TRUE(Receive(vscpFrame, msg));
  EXPECT_EQ(msg.wParam, kKindBcd);
  EXPECT_EQ(msg.lParam, 3);
  EXPECT_EQ(engine.HostTarget(), pf::HWND_BROADCAST);

  engine.SetHostTarget(window, 0x21);
  Dispatch(kKindEvt, {0x10, 0x00});
  ASSERT_TRUE(Receive(vscpFrame, msg));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.wParam, kKindEvt);
  EXPECT_EQ(msg.lParam, 0x21000002);
}

}  // namespace
}  // namespace lx2d::testing

// The other process of the cross-process tests: one window of the class named
// by its first argument, answering the test messages below, closed by
// WM_QUERYENDSESSION (SIGTERM) like the settings utility's worker window.
// With a second argument it first takes the named mutex of that name (exit
// status 4 when another holds it). Exit status 7 after an orderly close.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/single_instance.h"
#include "platform/window.h"

namespace {

using namespace lx2d::platform;

UINT echoMessage;  // answers wParam + lParam
UINT pingMessage;  // posts pongMessage with lParam + 1 to the window in wParam
UINT pongMessage;
UINT broadcastMessage;  // posts ackMessage with its own handle to the window in wParam
UINT ackMessage;
UINT vanishMessage;  // ends the process without answering
UINT hangMessage;    // posts ackMessage to the window in wParam, then never returns
// Posts pongMessage with lParam 1..lParam to the window in wParam at once and
// answers how many were accepted.
UINT floodMessage;

constexpr int kOrderlyExit = 7;

LRESULT PeerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == echoMessage) return static_cast<LRESULT>(wParam) + lParam;
  if (message == pingMessage) {
    PostMessage(static_cast<HWND>(wParam), pongMessage, 0, lParam + 1);
    return 0;
  }
  if (message == broadcastMessage) {
    PostMessage(static_cast<HWND>(wParam), ackMessage, 0, static_cast<LPARAM>(window));
    return 0;
  }
  if (message == floodMessage) {
    LPARAM accepted = 0;
    while (accepted < lParam &&
           PostMessage(static_cast<HWND>(wParam), pongMessage, 0, accepted + 1)) {
      ++accepted;
    }
    return accepted;
  }
  if (message == vanishMessage) std::_Exit(3);
  if (message == hangMessage) {
    PostMessage(static_cast<HWND>(wParam), ackMessage, 0, static_cast<LPARAM>(window));
    while (true) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  switch (message) {
    case WM_QUERYENDSESSION:
      PostMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(kOrderlyExit);
      return 0;
    default:
      return DefWindowProc(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string className = argc > 1 ? argv[1] : "Lx2dTestPeer";
  CNamedMutex instance;
  if (argc > 2 && instance.Create(argv[2]) != ERROR_SUCCESS) return 4;
  echoMessage = RegisterWindowMessage("WM_LX2D_TEST_ECHO");
  pingMessage = RegisterWindowMessage("WM_LX2D_TEST_PING");
  pongMessage = RegisterWindowMessage("WM_LX2D_TEST_PONG");
  broadcastMessage = RegisterWindowMessage("WM_LX2D_TEST_BROADCAST");
  ackMessage = RegisterWindowMessage("WM_LX2D_TEST_ACK");
  vanishMessage = RegisterWindowMessage("WM_LX2D_TEST_VANISH");
  hangMessage = RegisterWindowMessage("WM_LX2D_TEST_HANG");
  floodMessage = RegisterWindowMessage("WM_LX2D_TEST_FLOOD");
  WNDCLASS windowClass;
  windowClass.lpfnWndProc = PeerProc;
  windowClass.lpszClassName = className;
  if (RegisterClass(windowClass) == 0) return 1;
  if (CreateWindowEx(0, className, "peer", WS_POPUP, 0, 0, 0, 0, 0, 0, nullptr) == 0) return 2;
  MSG msg;
  while (GetMessage(&msg, 0, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  return static_cast<int>(msg.wParam);
}

// lx2d-emu-stub: stands in for the companion emulator program. It owns a
// window of the emulator's class, prints one line with the message name for
// each power-on and power-restore request, and can start a command at the
// power-on (a simulated reader that comes up then) and stop it at the
// restore. SIGTERM or SIGHUP ends it.
#include <iostream>
#include <string>
#include <string_view>

#include "platform/shell_command.h"
#include "platform/text.h"
#include "platform/window.h"

namespace {

using namespace lx2d::platform;

constexpr char kUsage[] =
    "usage: lx2d-emu-stub [--on-poweron COMMAND]\n"
    "  Owns a window of class Korvane_LX2D_Emu_Class and prints one line per\n"
    "  WM_KORV_FORCE_POWERON and WM_KORV_RESTORE_POWERSTATE it receives.\n"
    "  --on-poweron COMMAND  run COMMAND (through /bin/sh) at a power-on request\n"
    "                        and stop it at the next restore request\n"
    "  --quit-after-poweron  close the window while answering the first power-on\n"
    "                        request, as an emulator that ends during the run\n"
    "  SIGTERM or SIGHUP ends it.\n";

struct TStub {
  UINT powerOn = 0;
  UINT restore = 0;
  std::string command;
  bool quitAfterPowerOn = false;
  CShellCommand running;
};

TStub stub;

LRESULT StubProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == stub.powerOn) {
    std::cout << "WM_KORV_FORCE_POWERON" << std::endl;
    if (!stub.command.empty() && !stub.running.Running() && !stub.running.Start(stub.command))
      std::cerr << "lx2d-emu-stub: cannot start " << stub.command << std::endl;
    // Gone before the sender goes on.
    if (stub.quitAfterPowerOn) DestroyWindow(window);
    return 0;
  }
  if (message == stub.restore) {
    std::cout << "WM_KORV_RESTORE_POWERSTATE" << std::endl;
    stub.running.Stop();
    return 0;
  }
  if (message == WM_QUERYENDSESSION) {
    DestroyWindow(window);
    return TRUE;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProc(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  UseEnvironmentLocale();
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--on-poweron" && i + 1 < argc) {
      stub.command = argv[++i];
    } else if (argument == "--quit-after-poweron") {
      stub.quitAfterPowerOn = true;
    } else if (argument == "--help" || argument == "-h") {
      std::cout << kUsage;
      return 0;
    } else {
      std::cerr << "lx2d-emu-stub: bad argument " << argument << "\n" << kUsage;
      return 2;
    }
  }
  stub.powerOn = RegisterWindowMessage("WM_KORV_FORCE_POWERON");
  stub.restore = RegisterWindowMessage("WM_KORV_RESTORE_POWERSTATE");
  if (RegisterClass({.lpfnWndProc = StubProcedure, .lpszClassName = "Korvane_LX2D_Emu_Class"}) ==
          0 ||
      CreateWindowEx(0, "Korvane_LX2D_Emu_Class", "LX2D Emulator stand-in", 0, 0, 0, 0, 0, 0, 0,
                     nullptr) == 0) {
    std::cerr << "lx2d-emu-stub: cannot create the emulator window\n";
    return 1;
  }
  MSG message;
  while (GetMessage(&message, 0, 0, 0) > 0) DispatchMessage(&message);
  stub.running.Stop();
  return 0;
}

// A program of some user looking into its session: is a window of the class
// named by the first argument found, does it answer WM_LX2D_TEST_ECHO, and is
// the named mutex of the second argument held by someone else? Exit status:
// the sum of 1 (window found), 2 (it answered 2 + 3 = 5), 4 (mutex held
// elsewhere) and 8 (mutex neither free nor held: the runtime folder refused).
#include <cstdio>

#include "platform/single_instance.h"
#include "platform/window.h"

using namespace lx2d::platform;

int main(int argc, char** argv) {
  if (argc != 3) return 64;
  int status = 0;
  if (HWND window = FindWindow(argv[1]); window != 0) {
    status |= 1;
    if (SendMessage(window, RegisterWindowMessage("WM_LX2D_TEST_ECHO"), 2, 3) == 5) status |= 2;
  }
  CNamedMutex mutex;
  DWORD held = mutex.Create(argv[2]);
  if (held == ERROR_ALREADY_EXISTS) status |= 4;
  if (held != ERROR_SUCCESS && held != ERROR_ALREADY_EXISTS) status |= 8;
  return status;
}

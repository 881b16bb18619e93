/* The public header compiles as C and the library links and answers as a C
 * program calls it. Exits 0 when every check held. */
#include <stdio.h>
#include <string.h>

#include "RDLK_HID.h"

static int failures = 0;

static void Check(int condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

int main(void) {
  char version[32];
  uint32_t length = 99;
  unsigned char initialized = 0;
  unsigned char request[3] = {0x72, 0x43, 0x02};
  unsigned char reply[8];
  uint32_t value = 0x01020304;
  uint32_t echo = 0;
  RDLK_CAPTURE_CALLBACK callback = 0;
  RDLK_HWND window = RDLK_HWND_BROADCAST;

  Check(GetDllVersion(version, sizeof version, &length) == RDLK_NOT_INITIALIZED,
        "version before Initialize");
  Check(length == 99, "count untouched by a refused call");
  Check(Initialize("HKCU\\Software\\Lx2dHeaderTest", &initialized) == RDLK_SUCCESS,
        "Initialize");
  Check(initialized == 1, "initialised flag");
  Check(GetLibraryVersion(version, sizeof version, &length) == RDLK_SUCCESS, "version");
  Check(length == 16 && strcmp(version, "RDLK_HID:1.0.9.0") == 0, "version text");
  Check(SetupWrite(request, sizeof request, reply, sizeof reply, &length) == RDLK_NO_DEVICE,
        "request before Connect");
  Check(DeviceIOControl(RDLK_IOCTL_ECHO, &value, 4, &echo, 4, &length) == RDLK_SUCCESS &&
            echo == value && length == 4,
        "echo control code");
  Check(MessageIdentify(window, 7) == RDLK_SUCCESS, "MessageIdentify");
  Check(StartDataCapture(1, callback) == 1, "StartDataCapture");
  UsbSettings("nobody");
  Check(Connect() == RDLK_PORT_NOT_AVAILABLE, "Connect without reader");
  Check(HIDEnumDevices(0, NULL) == 0, "no reader listed");
  Check(Disconnect() == RDLK_SUCCESS && Deinitialize() == RDLK_SUCCESS, "end");
  printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}

/*
 * capture_host: a complete host program of libRDLK_HID.so, and a starting
 * point for your own. It loads the library at run time, connects to the
 * first attached reader and prints every barcode the reader sends, until
 * Ctrl+C (SIGINT) or SIGTERM. A barcode reaches it twice, on the two ways a
 * host can learn of it:
 *
 *   1. the capture callback (StartDataCapture): the library calls it with
 *      the report's bytes, on its own receive thread;
 *   2. a window message (MessageIdentify): the library posts
 *      "WM_VSCP_FRAME" to a window of ours, and we fetch the report with
 *      GetBarcodeData.
 *
 * A window is a Unix datagram socket in the runtime folder; its protocol is
 * in docs/window-messages.md. Only the public header RDLK_HID.h is used.
 *
 * Usage: lx2d-capture-host [LIBRARY]   (default: libRDLK_HID.so, found the
 * way the dynamic loader finds libraries)
 */
#define _DEFAULT_SOURCE /* getuid, dlopen, mkdir ... with -std=c11 */

#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "RDLK_HID.h"

/* Where the library keeps its settings for this program. */
#define SETTINGS_KEY "HKCU\\Software\\Korvane\\LX2D Capture Example"
/* Our identifier in the messages' lParam (bits 24..31). */
#define HOST_ID 7
/* Report kinds (the messages' wParam). */
#define KIND_BCD 0x60
#define KIND_SBCD 0x62

/* --- The library's exports, bound by name ---------------------------------- */

struct Library {
  void* module;
  RDLK_RESULT (*Initialize)(const char* keyPath, unsigned char* initialized);
  RDLK_RESULT (*Deinitialize)(void);
  int (*HIDEnumDevices)(int index, char* output);
  void (*UsbSettings)(const char* selection);
  RDLK_RESULT (*Connect)(void);
  RDLK_RESULT (*Disconnect)(void);
  int (*StartDataCapture)(int enable, RDLK_CAPTURE_CALLBACK callback);
  RDLK_RESULT (*MessageIdentify)(RDLK_HWND window, unsigned char id);
  RDLK_RESULT (*GetBarcodeData)(unsigned char* output, uint32_t capacity, uint32_t* length);
  RDLK_RESULT (*GetSetupBarcodeData)(unsigned char* output, uint32_t capacity, uint32_t* length);
  RDLK_RESULT (*GetRawData)(unsigned char* output, uint32_t capacity, uint32_t* length);
  RDLK_RESULT (*GetDllVersion)(char* output, uint32_t capacity, uint32_t* length);
};

/* dlsym into a function pointer, as POSIX allows. */
static int Bind(void* module, const char* name, void* slot) {
  void* address = dlsym(module, name);
  if (address == NULL) {
    fprintf(stderr, "capture_host: the library has no %s\n", name);
    return 0;
  }
  memcpy(slot, &address, sizeof address);
  return 1;
}

static int LoadLibrary(struct Library* lib, const char* file) {
  memset(lib, 0, sizeof *lib);
  lib->module = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (lib->module == NULL) {
    fprintf(stderr, "capture_host: %s\n", dlerror());
    return 0;
  }
  return Bind(lib->module, "Initialize", &lib->Initialize) &&
         Bind(lib->module, "Deinitialize", &lib->Deinitialize) &&
         Bind(lib->module, "HIDEnumDevices", &lib->HIDEnumDevices) &&
         Bind(lib->module, "UsbSettings", &lib->UsbSettings) &&
         Bind(lib->module, "Connect", &lib->Connect) &&
         Bind(lib->module, "Disconnect", &lib->Disconnect) &&
         Bind(lib->module, "StartDataCapture", &lib->StartDataCapture) &&
         Bind(lib->module, "MessageIdentify", &lib->MessageIdentify) &&
         Bind(lib->module, "GetBarcodeData", &lib->GetBarcodeData) &&
         Bind(lib->module, "GetSetupBarcodeData", &lib->GetSetupBarcodeData) &&
         Bind(lib->module, "GetRawData", &lib->GetRawData) &&
         Bind(lib->module, "GetDllVersion", &lib->GetDllVersion);
}

/* --- Barcodes -------------------------------------------------------------- */

/* A BCD or SBCD report is a two-byte big-endian length and that many bytes
 * of barcode data. Prints "<label>: <data>"; anything else in hex. */
static void PrintReport(const char* label, const unsigned char* data, uint32_t length) {
  if (length >= 2 && (uint32_t)((data[0] << 8) | data[1]) == length - 2) {
    printf("%s: %.*s\n", label, (int)(length - 2), (const char*)data + 2);
  } else {
    printf("%s: %u bytes:", label, (unsigned)length);
    for (uint32_t i = 0; i < length; ++i) printf(" %02X", data[i]);
    printf("\n");
  }
  fflush(stdout);
}

/* The capture callback: runs on the library's receive thread, for every
 * buffered report and every chunk of raw bytes. Keep it short. */
static int32_t OnCapture(unsigned char* data, uint32_t length) {
  PrintReport("capture", data, length);
  return 0;
}

/* --- A window of the platform's message system ----------------------------- */

struct Window {
  int socket;
  uint32_t handle;
  char socketPath[sizeof(((struct sockaddr_un*)0)->sun_path)];
  char infoPath[512];
};

/* snprintf that tells whether the whole text fitted. */
__attribute__((format(printf, 3, 4))) static int Format(char* out, size_t size, const char* format,
                                                        ...) {
  va_list arguments;
  va_start(arguments, format);
  int length = vsnprintf(out, size, format, arguments);
  va_end(arguments);
  return length >= 0 && (size_t)length < size;
}

/* The runtime folder: $LX2D_RUNTIME_DIR, else /run/lx2d when we may write
 * it, else $XDG_RUNTIME_DIR/lx2d, else /tmp/lx2d-<uid>. 0 when too long. */
static int RuntimeFolder(char* out, size_t size) {
  const char* variable = getenv("LX2D_RUNTIME_DIR");
  const char* xdg = getenv("XDG_RUNTIME_DIR");
  if (variable != NULL && *variable != '\0') return Format(out, size, "%s", variable);
  if (access("/run/lx2d", W_OK) == 0 ||
      (access("/run/lx2d", F_OK) != 0 && access("/run", W_OK) == 0)) {
    return Format(out, size, "/run/lx2d");
  }
  if (xdg != NULL && *xdg != '\0') return Format(out, size, "%s/lx2d", xdg);
  return Format(out, size, "/tmp/lx2d-%u", (unsigned)getuid());
}

/* RegisterWindowMessage: the same number for a name in every process. */
static uint32_t MessageNumber(const char* name) {
  uint32_t hash = 2166136261u;
  for (const unsigned char* c = (const unsigned char*)name; *c != '\0'; ++c) {
    unsigned char b = (*c >= 'A' && *c <= 'Z') ? (unsigned char)(*c + 32) : *c;
    hash = (hash ^ b) * 16777619u;
  }
  return 0xC000u + hash % 0x4000u;
}

/* Creates a top-level window of class `className`: binds a datagram socket
 * to <runtime>/windows/<handle>.sock and describes it in <handle>.info. */
static int CreateWindow(struct Window* window, const char* className) {
  char folder[256];
  char windows[300];
  if (!RuntimeFolder(folder, sizeof folder) ||
      !Format(windows, sizeof windows, "%s/windows", folder)) {
    return 0;
  }
  mkdir(folder, 0700);
  mkdir(windows, 0700);

  window->socket = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (window->socket < 0) return 0;
  srand((unsigned)time(NULL) ^ (unsigned)getpid());
  for (int attempt = 0; attempt < 100; ++attempt) {
    /* A random handle in 0x10000..0x7FFFFFFF; a taken one is skipped. */
    window->handle = 0x10000u + ((uint32_t)rand() % (0x7FFFFFFFu - 0x10000u));
    struct sockaddr_un address = {.sun_family = AF_UNIX};
    char temporary[sizeof window->infoPath + 4];
    if (!Format(window->socketPath, sizeof window->socketPath, "%s/%08x.sock", windows,
                (unsigned)window->handle) ||
        !Format(window->infoPath, sizeof window->infoPath, "%s/%08x.info", windows,
                (unsigned)window->handle) ||
        !Format(temporary, sizeof temporary, "%s.tmp", window->infoPath)) {
      break; /* the runtime folder's path is too long for a socket */
    }
    memcpy(address.sun_path, window->socketPath, sizeof address.sun_path);
    if (bind(window->socket, (struct sockaddr*)&address, sizeof address) != 0) continue;

    FILE* info = fopen(temporary, "w");
    if (info == NULL) break;
    fprintf(info, "pid=%ld\nclass=%s\ntitle=\nparent=00000000\n", (long)getpid(), className);
    fclose(info);
    /* Renamed into place, so nobody reads half a description. */
    if (rename(temporary, window->infoPath) != 0) break;
    return 1;
  }
  close(window->socket);
  return 0;
}

static void DestroyWindow(struct Window* window) {
  unlink(window->infoPath);
  unlink(window->socketPath);
  close(window->socket);
}

/* One message as the 48-byte datagram carries it (little-endian). */
struct Message {
  uint32_t number;
  uint64_t wParam;
  int64_t lParam;
};

static uint64_t LittleEndian(const unsigned char* bytes, int count) {
  uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

/* Reads one datagram; 1 with a message, 0 for anything that is not one. A
 * descriptor attached to a sent message (the sender's reply channel) is
 * dropped by the kernel, as recv leaves no room for it: the sender then
 * sees our answer as 0, which suits the library's posted messages. */
static int ReceiveMessage(int socket, struct Message* message) {
  unsigned char datagram[48];
  ssize_t size = recv(socket, datagram, sizeof datagram, 0);
  if (size != 48 || memcmp(datagram, "LX2W", 4) != 0 || LittleEndian(datagram + 4, 2) != 1) {
    return 0;
  }
  message->number = (uint32_t)LittleEndian(datagram + 12, 4);
  message->wParam = LittleEndian(datagram + 16, 8);
  message->lParam = (int64_t)LittleEndian(datagram + 24, 8);
  return 1;
}

/* --- The program ----------------------------------------------------------- */

static volatile sig_atomic_t stopRequested = 0;

static void OnStopSignal(int signal) {
  (void)signal;
  stopRequested = 1;
}

/* Takes the report a WM_VSCP_FRAME announced and prints it. */
static void TakeReport(struct Library* lib, uint64_t kind) {
  unsigned char data[4096];
  uint32_t length = 0;
  RDLK_RESULT result = RDLK_SUCCESS;
  if (kind == KIND_BCD) {
    result = lib->GetBarcodeData(data, sizeof data, &length);
  } else if (kind == KIND_SBCD) {
    result = lib->GetSetupBarcodeData(data, sizeof data, &length);
  } else {
    printf("report of kind 0x%02X left in the library's buffer\n", (unsigned)kind);
    fflush(stdout);
    return;
  }
  if (result != RDLK_SUCCESS) {
    fprintf(stderr, "capture_host: taking the report failed with %u\n", (unsigned)result);
  } else if (length > 0) {
    PrintReport("barcode", data, length);
  }
}

static void TakeRawData(struct Library* lib) {
  unsigned char data[65536];
  uint32_t length = 0;
  if (lib->GetRawData(data, sizeof data, &length) == RDLK_SUCCESS && length > 0) {
    PrintReport("raw", data, length);
  }
}

/* Connects to the first reader and prints what it sends until a stop
 * signal. 0 when it ran; 1 when no reader could be connected. */
static int CaptureUntilStopped(struct Library* lib, struct Window* window, const char* version) {
  const uint32_t wmVscpFrame = MessageNumber(RDLK_WM_VSCP_FRAME);
  const uint32_t wmRawData = MessageNumber(RDLK_WM_RAW_DATA);

  /* The first reader; Connect opens the one named by UsbSettings. */
  char description[520];
  if (!lib->HIDEnumDevices(0, description)) {
    fprintf(stderr, "capture_host: no reader attached\n");
    return 1;
  }
  lib->UsbSettings(description);
  RDLK_RESULT connected = lib->Connect();
  if (connected != RDLK_SUCCESS) {
    fprintf(stderr, "capture_host: Connect failed with %u\n", (unsigned)connected);
    return 1;
  }
  printf("%s connected to %s; waiting for barcodes (Ctrl+C ends)\n", version, description);
  fflush(stdout);

  struct sigaction stop;
  memset(&stop, 0, sizeof stop);
  stop.sa_handler = OnStopSignal; /* no SA_RESTART: poll returns at once */
  sigaction(SIGINT, &stop, NULL);
  sigaction(SIGTERM, &stop, NULL);

  while (!stopRequested) {
    struct pollfd wait = {.fd = window->socket, .events = POLLIN};
    /* A bounded wait also covers a signal that comes just before poll. */
    if (poll(&wait, 1, 500) <= 0) continue;
    struct Message message;
    if (!ReceiveMessage(window->socket, &message)) continue;
    if (message.number == wmVscpFrame) {
      TakeReport(lib, message.wParam);
    } else if (message.number == wmRawData) {
      TakeRawData(lib);
    }
  }
  lib->Disconnect();
  return 0;
}

int main(int argc, char** argv) {
  const char* file = argc > 1 ? argv[1] : "libRDLK_HID.so";
  struct Library lib;
  if (!LoadLibrary(&lib, file)) return 1;

  unsigned char initialized = 0;
  if (lib.Initialize(SETTINGS_KEY, &initialized) != RDLK_SUCCESS) {
    fprintf(stderr, "capture_host: Initialize failed (registry)\n");
    return 1;
  }
  char version[32] = "";
  uint32_t versionLength = 0;
  lib.GetDllVersion(version, sizeof version, &versionLength);

  struct Window window;
  if (!CreateWindow(&window, "LX2D_Capture_Example")) {
    fprintf(stderr, "capture_host: cannot create a window\n");
    return 1;
  }
  /* Messages to our window, with our identifier in them. */
  lib.MessageIdentify(window.handle, HOST_ID);
  /* The callback is set before Connect: data may arrive at once. */
  lib.StartDataCapture(1, OnCapture);

  int status = CaptureUntilStopped(&lib, &window, version);

  lib.StartDataCapture(0, NULL);
  lib.Deinitialize();
  DestroyWindow(&window);
  dlclose(lib.module);
  return status;
}

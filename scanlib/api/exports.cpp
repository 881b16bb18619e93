// The library's exported functions: each one is its call frame around one
// method of the library object.
#include <cstring>
#include <string>
#include <string_view>

#include "RDLK_HID.h"
#include "platform/debug_output.h"
#include "rdlk_hid_app.h"

#define LX2D_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using lx2d::CRDLK_HIDApp;
using lx2d::kNeedsConnection;
using lx2d::kNeedsInitialize;
using lx2d::kNoStateCheck;
using lx2d::OutputBuffer;
using lx2d::RequestKind;
using lx2d::TheApp;

// Request exports: frame kind and shortest request.
constexpr RequestKind kSetupRead{lx2d::kKindSr, 2};
constexpr RequestKind kSetupWrite{lx2d::kKindSw, 3};
constexpr RequestKind kControlCommand{lx2d::kKindCcmd, 2};
constexpr RequestKind kStatusRead{lx2d::kKindStr, 2};
constexpr RequestKind kSetupPermissionRead{lx2d::kKindSpr, 2};
constexpr RequestKind kSetupPermissionWrite{lx2d::kKindSpw, 3};
constexpr RequestKind kSetupRangeRead{lx2d::kKindSrr, 2};
constexpr RequestKind kControlRangeRead{lx2d::kKindCrr, 2};
constexpr RequestKind kStatusPermissionRead{lx2d::kKindStpr, 2};
constexpr RequestKind kStatusPermissionWrite{lx2d::kKindStpw, 3};
constexpr RequestKind kControlPermissionRead{lx2d::kKindCpr, 2};
constexpr RequestKind kControlPermissionWrite{lx2d::kKindCpw, 3};
constexpr RequestKind kImageDataRead{lx2d::kKindIdr, 1};
constexpr RequestKind kGenericRequest{lx2d::kKindGirq, 2};

RDLK_RESULT RunRequest(const RequestKind& kind, const unsigned char* request,
                       uint32_t requestLength, unsigned char* reply, uint32_t replyCapacity,
                       uint32_t* replyLength) {
  CRDLK_HIDApp& app = TheApp();
  return app.RunGuarded(kNeedsConnection, [&] {
    return app.Request(kind, request, requestLength, {reply, replyCapacity, replyLength});
  });
}

RDLK_RESULT TakeFrame(uint8_t kind, unsigned char* output, uint32_t capacity, uint32_t* length) {
  CRDLK_HIDApp& app = TheApp();
  return app.RunGuarded(kNeedsConnection, [&] {
    return app.TakeBufferedFrame(kind, {output, capacity, length});
  });
}

// The debugger output line some getters write after their call.
RDLK_RESULT Announced(std::string_view name, RDLK_RESULT result) {
  lx2d::platform::OutputDebugString("*******" + std::string(name) + "************\r\n");
  return result;
}

}  // namespace

LX2D_EXPORT RDLK_RESULT Initialize(const char* keyPath, unsigned char* initialized) {
  CRDLK_HIDApp& app = TheApp();
  return app.RunGuarded(kNoStateCheck, [&] { return app.Initialize(keyPath, initialized); });
}

LX2D_EXPORT RDLK_RESULT Deinitialize(void) {
  CRDLK_HIDApp& app = TheApp();
  return app.RunGuarded(kNoStateCheck, [&] {
    app.initialized = false;
    return lx2d::kResultOk;
  });
}

LX2D_EXPORT RDLK_RESULT ConfigurationDialog(void) {
  CRDLK_HIDApp& app = TheApp();
  return app.RunGuarded(kNeedsInitialize, [&] { return app.RunConfigurationDialog(); });
}

LX2D_EXPORT RDLK_RESULT Connect(void) {
  CRDLK_HIDApp& app = TheApp();
  return app.RunGuarded(kNeedsInitialize, [&] { return app.Connect(); });
}

LX2D_EXPORT RDLK_RESULT Disconnect(void) {
  CRDLK_HIDApp& app = TheApp();
  return app.RunGuarded(kNoStateCheck, [&] { return app.Disconnect(); });
}

LX2D_EXPORT RDLK_RESULT SetupRead(const unsigned char* request, uint32_t requestLength,
                                  unsigned char* reply, uint32_t replyCapacity,
                                  uint32_t* replyLength) {
  return RunRequest(kSetupRead, request, requestLength, reply, replyCapacity, replyLength);
}

LX2D_EXPORT RDLK_RESULT SetupWrite(const unsigned char* request, uint32_t requestLength,
                                   unsigned char* reply, uint32_t replyCapacity,
                                   uint32_t* replyLength) {
  return RunRequest(kSetupWrite, request, requestLength, reply, replyCapacity, replyLength);
}

LX2D_EXPORT RDLK_RESULT StatusRead(const unsigned char* request, uint32_t requestLength,
                                   unsigned char* reply, uint32_t replyCapacity,
                                   uint32_t* replyLength) {
  return RunRequest(kStatusRead, request, requestLength, reply, replyCapacity, replyLength);
}

LX2D_EXPORT RDLK_RESULT ControlCommand(const unsigned char* request, uint32_t requestLength,
                                       unsigned char* reply, uint32_t replyCapacity,
                                       uint32_t* replyLength) {
  // The command's length travels as a 16-bit quantity.
  return RunRequest(kControlCommand, request, requestLength % 65536, reply, replyCapacity,
                    replyLength);
}

LX2D_EXPORT RDLK_RESULT SetupRangeRead(const unsigned char* request, uint32_t requestLength,
                                       unsigned char* reply, uint32_t replyCapacity,
                                       uint32_t* replyLength) {
  return RunRequest(kSetupRangeRead, request, requestLength, reply, replyCapacity, replyLength);
}

LX2D_EXPORT RDLK_RESULT ControlRangeRead(const unsigned char* request, uint32_t requestLength,
                                         unsigned char* reply, uint32_t replyCapacity,
                                         uint32_t* replyLength) {
  return RunRequest(kControlRangeRead, request, requestLength, reply, replyCapacity, replyLength);
}

LX2D_EXPORT RDLK_RESULT SetupPermissionRead(const unsigned char* request, uint32_t requestLength,
                                            unsigned char* reply, uint32_t replyCapacity,
                                            uint32_t* replyLength) {
  return RunRequest(kSetupPermissionRead, request, requestLength, reply, replyCapacity,
                    replyLength);
}

LX2D_EXPORT RDLK_RESULT SetupPermissionWrite(const unsigned char* request, uint32_t requestLength,
                                             unsigned char* reply, uint32_t replyCapacity,
                                             uint32_t* replyLength) {
  return RunRequest(kSetupPermissionWrite, request, requestLength, reply, replyCapacity,
                    replyLength);
}

LX2D_EXPORT RDLK_RESULT StatusPermissionRead(const unsigned char* request, uint32_t requestLength,
                                             unsigned char* reply, uint32_t replyCapacity,
                                             uint32_t* replyLength) {
  return RunRequest(kStatusPermissionRead, request, requestLength, reply, replyCapacity,
                    replyLength);
}

LX2D_EXPORT RDLK_RESULT StatusPermissionWrite(const unsigned char* request, uint32_t requestLength,
                                              unsigned char* reply, uint32_t replyCapacity,
                                              uint32_t* replyLength) {
  return RunRequest(kStatusPermissionWrite, request, requestLength, reply, replyCapacity,
                    replyLength);
}

LX2D_EXPORT RDLK_RESULT ControlPermissionRead(const unsigned char* request, uint32_t requestLength,
                                              unsigned char* reply, uint32_t replyCapacity,
                                              uint32_t* replyLength) {
  return RunRequest(kControlPermissionRead, request, requestLength, reply, replyCapacity,
                    replyLength);
}

LX2D_EXPORT RDLK_RESULT ControlPermissionWrite(const unsigned char* request, uint32_t requestLength,
                                               unsigned char* reply, uint32_t replyCapacity,
                                               uint32_t* replyLength) {
  return RunRequest(kControlPermissionWrite, request, requestLength, reply, replyCapacity,
                    replyLength);
}

LX2D_EXPORT RDLK_RESULT ImageDataRead(const unsigned char* request, uint32_t requestLength,
                                      unsigned char* reply, uint32_t replyCapacity,
                                      uint32_t* replyLength) {
  return RunRequest(kImageDataRead, request, requestLength, reply, replyCapacity, replyLength);
}

LX2D_EXPORT RDLK_RESULT GenericVSCPRequest(uint32_t first, uint32_t second,
                                           const unsigned char* request, uint32_t requestLength,
                                           unsigned char* reply, uint32_t replyCapacity,
                                           uint32_t* replyLength) {
  CRDLK_HIDApp& app = TheApp();
  return app.RunGuarded(kNeedsConnection, [&] {
    return app.Request(kGenericRequest, request, requestLength, {reply, replyCapacity, replyLength},
                       static_cast<uint8_t>(first), static_cast<uint8_t>(second));
  });
}

LX2D_EXPORT RDLK_RESULT GetBarcodeData(unsigned char* output, uint32_t capacity, uint32_t* length) {
  return Announced("GetBarcodeData", TakeFrame(lx2d::kKindBcd, output, capacity, length));
}

LX2D_EXPORT RDLK_RESULT GetBarcodeDataEx(unsigned char* output, uint32_t capacity,
                                         uint32_t* length) {
  return Announced("GetBarcodeDataEx", TakeFrame(lx2d::kKindBcdex, output, capacity, length));
}

LX2D_EXPORT RDLK_RESULT GetBarcodeDataEx2(unsigned char* output, uint32_t capacity,
                                          uint32_t* length) {
  return Announced("GetBarcodeDataEx2", TakeFrame(lx2d::kKindBcdex2, output, capacity, length));
}

LX2D_EXPORT RDLK_RESULT GetEventNotification(unsigned char* output, uint32_t capacity,
                                             uint32_t* length) {
  return TakeFrame(lx2d::kKindEvt, output, capacity, length);
}

LX2D_EXPORT RDLK_RESULT GetSetupBarcodeData(unsigned char* output, uint32_t capacity,
                                            uint32_t* length) {
  return TakeFrame(lx2d::kKindSbcd, output, capacity, length);
}

LX2D_EXPORT RDLK_RESULT GetImageData(unsigned char* output, uint32_t capacity, uint32_t* length) {
  return TakeFrame(lx2d::kKindIdta, output, capacity, length);
}

LX2D_EXPORT RDLK_RESULT GetRawData(unsigned char* output, uint32_t capacity, uint32_t* length) {
  CRDLK_HIDApp& app = TheApp();
  return Announced("GetRawData", app.RunGuarded(kNeedsConnection, [&] {
    return app.TakeRawData({output, capacity, length});
  }));
}

LX2D_EXPORT RDLK_RESULT MessageIdentify(RDLK_HWND window, unsigned char id) {
  CRDLK_HIDApp& app = TheApp();
  return app.RunGuarded(kNeedsInitialize, [&] {
    app.Protocol().SetHostTarget(window, id);
    return lx2d::kResultOk;
  });
}

LX2D_EXPORT RDLK_RESULT GetDllVersion(char* output, uint32_t capacity, uint32_t* length) {
  CRDLK_HIDApp& app = TheApp();
  return app.RunGuarded(kNeedsInitialize, [&]() -> RDLK_RESULT {
    if (length == nullptr) return lx2d::kResultInvalidInput;
    *length = 0;
    // Room for the text, its terminator and one byte more, as hosts were
    // always asked to give.
    const std::string& version = app.VersionString();
    if (capacity < version.size() + 2) return lx2d::kResultBufferTooSmall;
    if (output == nullptr) return lx2d::kResultInvalidInput;
    std::memcpy(output, version.c_str(), version.size() + 1);
    *length = static_cast<uint32_t>(version.size());
    return lx2d::kResultOk;
  });
}

LX2D_EXPORT RDLK_RESULT GetLibraryVersion(char* output, uint32_t capacity, uint32_t* length) {
  return GetDllVersion(output, capacity, length);
}

LX2D_EXPORT RDLK_RESULT DeviceIOControl(uint32_t code, const void* input, uint32_t inputLength,
                                        void* output, uint32_t outputCapacity,
                                        uint32_t* outputLength) {
  CRDLK_HIDApp& app = TheApp();
  return app.RunGuarded(kNeedsInitialize, [&] {
    return app.DeviceIoControl(code, static_cast<const uint8_t*>(input), inputLength,
                               {static_cast<uint8_t*>(output), outputCapacity, outputLength});
  });
}

LX2D_EXPORT int HIDEnumDevices(int index, char* output) {
  CRDLK_HIDApp& app = TheApp();
  std::lock_guard<std::recursive_mutex> lock(app.LibraryLock());
  std::string description;
  if (!app.EnumDevices(index, &description)) return 0;
  if (output != nullptr) std::memcpy(output, description.c_str(), description.size() + 1);
  return 1;
}

LX2D_EXPORT void UsbSettings(const char* selection) {
  CRDLK_HIDApp& app = TheApp();
  std::lock_guard<std::recursive_mutex> lock(app.LibraryLock());
  app.SetDeviceSelection(selection != nullptr ? selection : "");
}

LX2D_EXPORT int StartDataCapture(int enable, RDLK_CAPTURE_CALLBACK callback) {
  // No lock: the receive thread reads the two values as they change.
  lx2d::CProtocol& protocol = TheApp().Protocol();
  if (enable == 0) {
    protocol.SetDataCapture(false, nullptr);
  } else {
    // A null callback keeps the one set before.
    protocol.SetDataCapture(true, callback != nullptr ? callback : protocol.DataCapture());
  }
  return 1;
}

// A scanner library for CBarcodeDll loading tests. Built in several
// variants: FAKE_OMIT_<Export> leaves that export out, FAKE_INITIALIZE_RESULT
// makes Initialize answer that result. Every call is logged; FakeCallLog
// returns the log, one "name[ argument]" entry per call, ';'-terminated.
#include <cstdint>
#include <cstring>
#include <string>

#ifndef FAKE_INITIALIZE_RESULT
#define FAKE_INITIALIZE_RESULT 0
#endif

namespace {

std::string callLog;

uint16_t Log(const std::string& entry, uint16_t result = 0) {
  callLog += entry + ";";
  return result;
}

std::string Hex(const unsigned char* bytes, uint32_t length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint32_t i = 0; i < length; ++i) {
    text += ' ';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace

extern "C" {

const char* FakeCallLog() { return callLog.c_str(); }

#ifndef FAKE_OMIT_Initialize
uint16_t Initialize(const char* keyPath, unsigned char* initialized) {
  *initialized = FAKE_INITIALIZE_RESULT == 0 ? 1 : 0;
  return Log(std::string("Initialize ") + keyPath, FAKE_INITIALIZE_RESULT);
}
#endif

#ifndef FAKE_OMIT_GetDllVersion
uint16_t GetDllVersion(char* output, uint32_t capacity, uint32_t* length) {
  static constexpr char kVersion[] = "FAKE:1.0";
  *length = 0;
  if (capacity < sizeof kVersion) return Log("GetDllVersion", 2);
  std::memcpy(output, kVersion, sizeof kVersion);
  *length = sizeof kVersion - 1;
  return Log("GetDllVersion");
}
#endif

#ifndef FAKE_OMIT_DeviceIOControl
uint16_t DeviceIOControl(uint32_t code, const void* input, uint32_t inputLength, void*, uint32_t,
                         uint32_t* outputLength) {
  *outputLength = 0;
  const char* text = static_cast<const char*>(input);
  const bool terminated = inputLength > 0 && text[inputLength - 1] == '\0';
  return Log("DeviceIOControl " + std::to_string(code) + " " +
             (terminated ? std::string(text) : std::string("<unterminated>")));
}
#endif

#define LX2D_FAKE_PLAIN(name) \
  uint16_t name() { return Log(#name); }
#define LX2D_FAKE_REQUEST(name)                                                          \
  uint16_t name(const unsigned char* request, uint32_t length, unsigned char*, uint32_t, \
                uint32_t* replyLength) {                                                 \
    *replyLength = 0;                                                                    \
    return Log(#name + Hex(request, length));                                            \
  }
#define LX2D_FAKE_READ(name)                                  \
  uint16_t name(unsigned char*, uint32_t, uint32_t* length) { \
    *length = 0;                                              \
    return Log(#name);                                        \
  }

#ifndef FAKE_OMIT_Connect
LX2D_FAKE_PLAIN(Connect)
#endif
#ifndef FAKE_OMIT_Disconnect
LX2D_FAKE_PLAIN(Disconnect)
#endif
#ifndef FAKE_OMIT_ConfigurationDialog
LX2D_FAKE_PLAIN(ConfigurationDialog)
#endif
#ifndef FAKE_OMIT_Deinitialize
LX2D_FAKE_PLAIN(Deinitialize)
#endif
#ifndef FAKE_OMIT_ControlCommand
LX2D_FAKE_REQUEST(ControlCommand)
#endif
#ifndef FAKE_OMIT_SetupWrite
LX2D_FAKE_REQUEST(SetupWrite)
#endif
#ifndef FAKE_OMIT_SetupRead
LX2D_FAKE_REQUEST(SetupRead)
#endif
#ifndef FAKE_OMIT_StatusRead
LX2D_FAKE_REQUEST(StatusRead)
#endif
#ifndef FAKE_OMIT_ImageDataRead
LX2D_FAKE_REQUEST(ImageDataRead)
#endif
#ifndef FAKE_OMIT_GetBarcodeData
LX2D_FAKE_READ(GetBarcodeData)
#endif
#ifndef FAKE_OMIT_GetRawData
LX2D_FAKE_READ(GetRawData)
#endif
#ifndef FAKE_OMIT_GetImageData
LX2D_FAKE_READ(GetImageData)
#endif
#ifndef FAKE_OMIT_GetEventNotification
LX2D_FAKE_READ(GetEventNotification)
#endif

}  // extern "C"

// The scanner library's exports as the utility calls them: plain C
// functions returning a 16-bit result, 0 for success.
#pragma once

#include <cstdint>

namespace lx2d {

extern "C" {
// Initialize(settings key path, out flag)
using InitializeFn = uint16_t (*)(const char* keyPath, unsigned char* initialized);
// GetDllVersion(output, capacity, output length)
using GetDllVersionFn = uint16_t (*)(char* output, uint32_t capacity, uint32_t* length);
// DeviceIOControl(code, input, input length, output, output capacity, output length)
using DeviceIoControlFn = uint16_t (*)(uint32_t code, const void* input, uint32_t inputLength,
                                       void* output, uint32_t outputCapacity,
                                       uint32_t* outputLength);
// ConfigurationDialog, Connect, Disconnect, Deinitialize
using PlainFn = uint16_t (*)();
// ControlCommand, SetupWrite, SetupRead, StatusRead, ImageDataRead:
// (request, request length, reply, reply capacity, reply length)
using RequestFn = uint16_t (*)(const unsigned char* request, uint32_t requestLength,
                               unsigned char* reply, uint32_t replyCapacity, uint32_t* replyLength);
// GetBarcodeData, GetRawData, GetImageData, GetEventNotification:
// (output, capacity, output length)
using ReadFn = uint16_t (*)(unsigned char* output, uint32_t capacity, uint32_t* length);
}

}  // namespace lx2d

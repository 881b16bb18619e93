// DeviceIOControl: the collecting reads, the device path, the low-level
// byte I/O with its trace lines, the receive thread's hold and the control
// exchange.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "vscp_communication.h"

namespace lx2d {
namespace {

constexpr uint32_t kTakeAllBcd = 256;
constexpr uint32_t kTakeAllBcdex = 257;
constexpr uint32_t kTakeAllEvt = 258;
constexpr uint32_t kSetDevicePath = 260;
constexpr uint32_t kReadByte = 512;
constexpr uint32_t kReadWord = 513;
constexpr uint32_t kReadLong = 514;
constexpr uint32_t kWriteByte = 515;
constexpr uint32_t kWriteWord = 516;
constexpr uint32_t kWriteLong = 517;
constexpr uint32_t kWriteBuffer = 518;
constexpr uint32_t kReceiveThread = 519;
constexpr uint32_t kSpyWindow = 520;
constexpr uint32_t kEcho = 522;
constexpr uint32_t kControlExchange = 524;

// Data bytes of a WriteBuffer shown in its trace line.
constexpr uint32_t kTracedBytes = 48;

// The fixed shapes of the codes with a plain input and output: input bytes
// (`inputAtLeast`: that many or more), output bytes, and the trace line's
// format for the codes that only answer (value shown after the time-out).
struct FixedCode {
  uint32_t code;
  uint32_t inputLength;
  bool inputAtLeast;
  uint32_t outputLength;
  const char* traceFormat;  // null: the code traces in its own way, or not
};

constexpr FixedCode kFixedCodes[] = {
    {kReadByte, 4, false, 5, nullptr},
    {kReadWord, 4, false, 6, "ReadWord    (timeout %4d): x%04x"},
    {kReadLong, 4, false, 8, "ReadLong    (timeout %4d): x%08x"},
    {kWriteByte, 5, false, 4, "WriteByte   (timeout %4d): x%02x"},
    {kWriteWord, 6, false, 4, "WriteWord   (timeout %4d): x%04x"},
    {kWriteLong, 8, false, 4, "WriteLong   (timeout %4d): x%08x"},
    {kWriteBuffer, 5, true, 4, nullptr},
    {kReceiveThread, 1, false, 0, nullptr},
    {kSpyWindow, 1, false, 0, nullptr},
    {kEcho, 4, false, 4, nullptr},
    {kControlExchange, 3, false, 4, nullptr},
};

const FixedCode* FindFixedCode(uint32_t code) {
  for (const FixedCode& entry : kFixedCodes) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

uint32_t LittleEndian(const uint8_t* bytes, uint32_t count) {
  uint32_t value = 0;
  for (uint32_t i = count; i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

void PutLittleEndian(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void CVscpCommunication::TraceLine(std::string_view line) {
  // The I/O control texts are drawn in the window text colour.
  if (!line.empty() && observer_.Tracing()) observer_.Trace(line, 0);
}

uint16_t CVscpCommunication::DeviceIoControl(uint32_t code, const uint8_t* input,
                                             uint32_t inputLength, OutputBuffer out) {
  if (out.length != nullptr) *out.length = 0;
  if ((input == nullptr && inputLength != 0) || out.length == nullptr ||
      (out.data == nullptr && out.capacity != 0)) {
    return kResultInvalidInput;
  }
  switch (code) {
    case kTakeAllBcd:
      return TakeAllBufferedFrames(kKindBcd, out);
    case kTakeAllBcdex:
      return TakeAllBufferedFrames(kKindBcdex, out);
    case kTakeAllEvt:
      return TakeAllBufferedFrames(kKindEvt, out);
    case kSetDevicePath: {
      // A zero-terminated path of 1 to 259 bytes with its terminator.
      if (input == nullptr || inputLength < 1 || inputLength > kMaxDeviceText) {
        return kResultInvalidInput;
      }
      const void* end = std::memchr(input, 0, inputLength);
      if (end == nullptr) return kResultInvalidInput;
      devicePath_.assign(reinterpret_cast<const char*>(input),
                         static_cast<const uint8_t*>(end) - input);
      return kResultOk;
    }
    default:
      break;
  }

  const FixedCode* shape = FindFixedCode(code);
  if (shape == nullptr) return kResultUnknownCode;
  if (inputLength < shape->inputLength ||
      (!shape->inputAtLeast && inputLength != shape->inputLength)) {
    return kResultInvalidInput;
  }
  // The output must hold what the code answers.
  if (out.capacity < shape->outputLength) return kResultBufferTooSmall;

  // The control exchange talks to the reader: it waits its turn first, and
  // touches nothing when the reader stays busy.
  std::unique_lock<CCommandMutex> commands(protocol_->CommandMutex(), std::defer_lock);
  if (code == kControlExchange && !LockCommands(commands)) return kResultConnectionLost;
  if (code == kReceiveThread && input[0] > 1) return kResultInvalidInput;

  const int timeout = static_cast<int>(LittleEndian(input, std::min(inputLength, 4u)));
  char line[64 + 4 * kTracedBytes + 4] = "";
  uint8_t* answer = out.data;
  if (shape->outputLength > 0) std::memset(answer, 0, shape->outputLength);

  switch (code) {
    case kReadByte: {
      uint8_t byte = 0;
      const uint32_t status = port_->ReadByte(byte, static_cast<uint32_t>(timeout));
      PutLittleEndian(answer, status);
      answer[4] = byte;
      if (status == kTransportOk) {
        std::snprintf(line, sizeof line, "ReadByte    (timeout %4d): x%02x", timeout, byte);
      } else {
        std::snprintf(line, sizeof line, "ReadByte    (timeout %4d): error %d", timeout,
                      static_cast<int>(status));
      }
      break;
    }
    case kReadWord:
    case kReadLong:
      std::snprintf(line, sizeof line, shape->traceFormat, timeout, 0u);
      break;
    case kWriteByte:
    case kWriteWord:
    case kWriteLong:
      std::snprintf(line, sizeof line, shape->traceFormat, timeout,
                    LittleEndian(input + 4, inputLength - 4));
      break;
    case kWriteBuffer: {
      const std::span<const uint8_t> data(input + 4, inputLength - 4);
      // 0 only when every byte went out; the system's error code otherwise.
      const uint32_t status = port_->WriteAll(data);
      PutLittleEndian(answer, status);
      if (status != kTransportOk) {
        std::snprintf(line, sizeof line, "WriteBuffer (timeout %4d): error %d", timeout,
                      static_cast<int>(status));
        break;
      }
      int used = std::snprintf(line, sizeof line, "WriteBuffer (timeout %4d): %ld bytes, ", timeout,
                               static_cast<long>(data.size()));
      for (size_t i = 0; i < data.size() && i < kTracedBytes; ++i) {
        used += std::snprintf(line + used, sizeof line - used, "x%02x ", data[i]);
      }
      if (data.size() > kTracedBytes) std::snprintf(line + used, sizeof line - used, "...");
      break;
    }
    case kReceiveThread:
      // Held by the calling thread until it lets go, without time limit;
      // there is nothing to hold while no reader is connected.
      if (input[0] == 0) {
        if (portOpen) protocol_->CommandMutex().lock();
        std::snprintf(line, sizeof line, "Thread disabled");
      } else {
        protocol_->CommandMutex().unlock();
        std::snprintf(line, sizeof line, "Thread enabled");
      }
      break;
    case kSpyWindow:
      // Other values than 0 and 1 do nothing.
      if (input[0] == 1) OpenSpyWindow();
      if (input[0] == 0) CloseSpyWindow();
      break;
    case kEcho:
      std::memcpy(answer, input, 4);
      break;
    case kControlExchange:
      PutLittleEndian(
          answer, static_cast<uint32_t>(protocol_->ControlExchange(input[0], input[2], input[1])));
      break;
    default:
      break;
  }
  *out.length = shape->outputLength;
  TraceLine(line);
  return kResultOk;
}

}  // namespace lx2d

// What the utility and the power-control driver exchange: the device
// control codes, the handshake packets, the inner message, the capsule that
// carries it and the misc-function packet. All integers little-endian.
// Shared by the channel and the simulated driver, so both read one table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace lx2d::power {

// The driver's device interface class.
inline constexpr std::string_view kPowerDriverClass = "{80DCC0C5-BD3E-4BC0-8A06-11EAE4AE7224}";

// Device control codes (buffered, device type 0x22).
inline constexpr uint32_t kIoctlSession = 0x222000;     // probe and handshake phases
inline constexpr uint32_t kIoctlEndSession = 0x222004;  // input: the 4-byte session id
inline constexpr uint32_t kIoctlCapsule = 0x222008;     // capsule in, reply capsule out
// The control code inside every capsule's inner message.
inline constexpr uint32_t kInnerControlCode = 0x222944;

// Handshake packets. Ini1 request: tag, client public value, client nonce,
// 4 zero bytes; reply: session id, driver public value, driver block.
inline constexpr size_t kTagBytes = 4;
inline constexpr size_t kIni1Bytes = 160;           // request and reply alike
inline constexpr size_t kIni1PublicOffset = 4;      // both directions
inline constexpr size_t kIni1KeyBlockOffset = 136;  // nonce + zeros / driver block
inline constexpr size_t kIni1KeyBlockBytes = 24;
inline constexpr size_t kNonceBytes = 20;
inline constexpr size_t kIni2RequestBytes = 28;  // tag, session id, client proof
inline constexpr size_t kIni2ReplyBytes = 20;    // driver proof
inline constexpr size_t kIni3RequestBytes = 24;  // tag, session id, enciphered session key
inline constexpr size_t kIni3ReplyBytes = 8;     // "Auth" "Misc" under the session key
inline constexpr size_t kSessionKeyBytes = 16;
inline constexpr std::string_view kIni1Tag = "Ini1";
inline constexpr std::string_view kIni2Tag = "Ini2";
inline constexpr std::string_view kIni3Tag = "Ini3";
inline constexpr std::string_view kConfirmation = "AuthMisc";

// Inner message: counter, total length, inner code, input length, output
// capacity, input bytes, then 4 zero bytes: N + 24 bytes in all.
inline constexpr size_t kInnerHeadBytes = 20;
inline constexpr size_t kInnerExtraBytes = 24;

// Capsule: content length, capsule size, session id, then the content
// zero-padded; all but the last 4 bytes after the header are enciphered.
inline constexpr size_t kCapsuleHeaderBytes = 12;
inline constexpr size_t kCapsuleClearTailBytes = 4;
inline constexpr size_t kCapsuleMinimumBytes = kCapsuleHeaderBytes + kCapsuleClearTailBytes;
inline constexpr size_t kCapsuleContentLengthOffset = 0;
inline constexpr size_t kCapsuleSizeOffset = 4;
inline constexpr size_t kCapsuleSessionOffset = 8;

// Misc-function packet.
inline constexpr size_t kMiscPacketBytes = 12;
using MiscPacket = std::array<uint8_t, kMiscPacketBytes>;
inline constexpr uint8_t kMiscFunction = 0x92;
inline constexpr uint8_t kMiscQuery = 0;
inline constexpr uint8_t kMiscSet = 1;
inline constexpr uint8_t kMiscStatusOk = 0;
inline constexpr uint8_t kMiscStatusRepeat = 4;  // asks the caller for one repeat
inline constexpr size_t kMiscStatusOffset = 0;
inline constexpr size_t kMiscInputLengthOffset = 2;
inline constexpr size_t kMiscOutputLengthOffset = 4;
inline constexpr size_t kMiscItemOffset = 8;
inline constexpr size_t kMiscOperationOffset = 9;
inline constexpr size_t kMiscValueOffset = 10;

uint32_t WordAt(std::span<const uint8_t> bytes, size_t offset);
void PutWord(std::span<uint8_t> bytes, size_t offset, uint32_t value);
uint16_t HalfAt(std::span<const uint8_t> bytes, size_t offset);

// The capsule size for a content of `contentLength` bytes:
// ((L - 1) rounded down to a multiple of 8) + 24, in 32-bit arithmetic, so
// an empty content gives the 16-byte capsule of header and clear tail.
uint32_t CapsuleSize(uint32_t contentLength);

// Enciphered blocks of a capsule of `capsuleSize` bytes: (size - 16) / 8.
uint32_t CapsuleBlockCount(uint32_t capsuleSize);

// A zero-filled capsule with its header for `content`, which it holds.
std::vector<uint8_t> BuildCapsule(std::span<const uint8_t> content, uint32_t sessionId);

// A zero-filled capsule for up to `capacity` bytes of content (header zero).
std::vector<uint8_t> EmptyCapsule(uint32_t capacity);

// What a received capsule of `received` bytes may be trusted with.
enum class CapsuleCheck : uint8_t {
  kOk,
  kTooShort,        // 11 bytes or fewer: not even a header
  kBadSize,         // size field below 16 or above the bytes received
  kContentTooLong,  // content length beyond the capsule's content area
};
CapsuleCheck CheckCapsule(std::span<const uint8_t> received);

// The inner message for `input` (N + 24 bytes).
std::vector<uint8_t> BuildInnerMessage(uint32_t counter, std::span<const uint8_t> input,
                                       uint32_t outputCapacity);

// A parsed inner message; `input` points into the message.
struct InnerMessage {
  uint32_t counter = 0;
  uint32_t code = 0;
  uint32_t outputCapacity = 0;
  std::span<const uint8_t> input;
};
// False when the fields disagree with each other or with `message`'s size.
bool ParseInnerMessage(std::span<const uint8_t> message, InnerMessage& parsed);

// A misc-function request: function 0x92, 2, lengths 12 and 12, item,
// operation, value.
MiscPacket MakeMiscPacket(uint8_t item, uint8_t operation, uint8_t value);

}  // namespace lx2d::power

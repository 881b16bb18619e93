#include "misc_common.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "auth_key.h"
#include "capsule_cipher.h"
#include "driver_protocol.h"
#include "hdrand.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace lx2d::MiscCommon {

using namespace lx2d::power;
using platform::GetLastError;
using platform::SetLastError;

namespace {

constexpr int kHdrandTestRuns = 16;
constexpr auto kRepeatPause = std::chrono::milliseconds(100);
constexpr size_t kWorkBufferBytes = 2 * kBigNumberBytes;  // 264
// The most a capsule call may carry, so that its capsules fit one device call.
constexpr DWORD kMaxCapsuleCallBytes =
    static_cast<DWORD>(platform::kMaxDeviceControlBytes - kInnerExtraBytes - 32);

// Wipes a secret when it goes out of scope, on every path.
template <typename Secret>
class CWiped {
 public:
  Secret value{};
  CWiped() = default;
  ~CWiped() { Wipe(std::span(reinterpret_cast<uint8_t*>(&value), sizeof value)); }
  CWiped(const CWiped&) = delete;
  CWiped& operator=(const CWiped&) = delete;
};

void WipeVector(std::vector<uint8_t>& bytes) { Wipe(bytes); }

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// One "%d" of sscanf, saturated instead of overflowing: blanks, a sign,
// digits. False when no digit follows.
bool ParseDecimal(const char*& cursor, int32_t& value) {
  const char* at = cursor;
  while (*at == ' ' || (*at >= '\t' && *at <= '\r')) ++at;
  const bool negative = *at == '-';
  if (*at == '-' || *at == '+') ++at;
  if (*at < '0' || *at > '9') return false;
  int64_t magnitude = 0;
  for (; *at >= '0' && *at <= '9'; ++at) {
    magnitude = std::min<int64_t>(magnitude * 10 + (*at - '0'), int64_t{INT32_MAX} + 1);
  }
  const int64_t signedValue = negative ? -magnitude : std::min<int64_t>(magnitude, INT32_MAX);
  value = static_cast<int32_t>(std::max<int64_t>(signedValue, INT32_MIN));
  cursor = at;
  return true;
}

}  // namespace

CMiscCommon::CMiscCommon(char16_t* errorTextBuffer, platform::IDeviceInterfaceService* interfaces,
                         std::string keyPath)
    : errorText(errorTextBuffer), service(interfaces), authKeyPath(std::move(keyPath)) {}

CMiscCommon::~CMiscCommon() { CloseDriver(); }

bool CMiscCommon::VersionGateMet() const {
  return SupportsSession({versionMajor, versionMinor, versionBuild, versionRevision});
}

void CMiscCommon::SetErrorText(const char* format, ...) {
  if (errorText == nullptr) return;
  char text[kErrorTextChars];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  const std::u16string wide = platform::Utf8ToUtf16(text);
  const size_t length = std::min(wide.size(), kErrorTextChars - 1);
  std::copy_n(wide.begin(), length, errorText);
  errorText[length] = u'\0';
}

void CMiscCommon::ClearErrorText() {
  if (errorText != nullptr) errorText[0] = u'\0';
}

std::u16string_view CMiscCommon::ErrorText() const {
  return errorText != nullptr ? std::u16string_view(errorText) : std::u16string_view();
}

std::u16string_view CMiscCommon::VersionText() const {
  return _szVersion ? std::u16string_view(_szVersion.get()) : std::u16string_view();
}

BOOL CMiscCommon::DeviceCall(DWORD code, std::span<const uint8_t> input, std::span<uint8_t> output,
                             DWORD* returned) {
  if (!_hDevice) {
    *returned = 0;
    SetLastError(platform::ERROR_INVALID_HANDLE);
    return platform::FALSE;
  }
  return _hDevice->Control(code, input, output, returned);
}

void CMiscCommon::EndSession(uint32_t id) {
  const DWORD kept = GetLastError();
  std::array<uint8_t, 4> idBytes{};
  PutWord(idBytes, 0, id);
  DWORD returned = 0;
  DeviceCall(kIoctlEndSession, idBytes, {}, &returned);
  SetLastError(kept);
}

void CMiscCommon::ParseVersion(const std::string& text) {
  // "%d.%d.%d.%d": fields after the first mismatch keep their values.
  int32_t* fields[] = {&versionMajor, &versionMinor, &versionBuild, &versionRevision};
  const char* cursor = text.c_str();
  for (size_t i = 0; i < std::size(fields); ++i) {
    if (i > 0) {
      if (*cursor != '.') return;
      ++cursor;
    }
    if (!ParseDecimal(cursor, *fields[i])) return;
  }
}

int CMiscCommon::OpenDriver() {
  std::vector<std::string> interfaces;
  const DWORD listed = service->EnumerateInterfaces(kPowerDriverClass, interfaces);
  if (listed != platform::ERROR_SUCCESS) {
    SetLastError(listed);
    SetErrorText("MiscCommon::CMiscCommon::OpenDriver: SetupDiGetClassDevs failed.");
    return kMiscFailed;
  }
  if (interfaces.empty()) {
    SetLastError(platform::ERROR_NO_MORE_ITEMS);
    SetErrorText("MiscCommon::CMiscCommon::OpenDriver: SetupDiEnumDeviceInterfaces failed.");
    return kMiscNotAuthentic;
  }
  const std::string& path = interfaces.front();
  if (!_szVersion) {
    std::string version;
    const DWORD read = service->ReadDriverVersion(path, version);
    if (read == platform::ERROR_PATH_NOT_FOUND) {
      SetLastError(read);
      SetErrorText("MiscCommon::CMiscCommon::OpenDriver: SetupDiOpenDevRegKey failed.");
      return kMiscFailed;
    }
    _szVersion.reset(new (std::nothrow) char16_t[kVersionChars]{});
    if (!_szVersion) {
      SetLastError(platform::ERROR_NOT_ENOUGH_MEMORY);
      SetErrorText("MiscCommon::CMiscCommon::OpenDriver: _szVersion array initialize failed.");
      return kMiscFailed;
    }
    if (read != platform::ERROR_SUCCESS) {
      _szVersion.reset();
      SetLastError(read);
      SetErrorText("MiscCommon::CMiscCommon::OpenDriver: RegQueryValueEx failed.");
      return kMiscFailed;
    }
    const std::u16string wide = platform::Utf8ToUtf16(version);
    std::copy_n(wide.begin(), std::min(wide.size(), kVersionChars - 1), _szVersion.get());
    ParseVersion(version);
  }
  const DWORD opened = service->Open(path, _hDevice);
  if (opened != platform::ERROR_SUCCESS) {
    SetLastError(opened);
    SetErrorText("MiscCommon::CMiscCommon::OpenDriver: CreateFile failed.");
    return kMiscCannotOpen;
  }
  ClearErrorText();
  return kMiscOk;
}

int CMiscCommon::_Initialize() {
  if (!VersionGateMet()) return kMiscDriverTooOld;
  DWORD returned = 0;
  DeviceCall(kIoctlSession, {}, {}, &returned);
  if (GetLastError() == platform::ERROR_NOT_SUPPORTED) {
    sessionExpected = 0;
    ClearErrorText();
    return kMiscOk;
  }

  CWiped<AuthKey> authKey;
  std::string problem;
  if (LoadAuthKey(authKeyPath.empty() ? AuthKeyPath() : authKeyPath, authKey.value, problem) ==
      AuthKeySource::kRefused) {
    SetLastError(platform::ERROR_INVALID_DATA);
    SetErrorText("MiscCommon::CMiscCommon::_Initialize: %s", problem.c_str());
    return kMiscFailed;
  }

  CHdRand generator;
  if (!generator.Init()) {
    SetErrorText("MiscCommon::CMiscCommon::_Initialize: hdrand_init failed");
    return kMiscFailed;
  }
  int runs = 1;
  while (!generator.Test()) {
    if (++runs > kHdrandTestRuns) {
      SetErrorText("MiscCommon::CMiscCommon::_Initialize: hdrand_test failed 16 times");
      return kMiscFailed;
    }
  }

  CWiped<Exponent> exponent;  // low 96 bits drawn, top 32 bits zero
  std::array<uint8_t, kIni1Bytes> ini1{};
  std::copy(kIni1Tag.begin(), kIni1Tag.end(), ini1.begin());
  if (!generator.DrawBytes(std::span(exponent.value).first(12)) ||
      !generator.DrawBytes(std::span(ini1).subspan(kIni1KeyBlockOffset, kNonceBytes))) {
    SetErrorText("MiscCommon::CMiscCommon::_Initialize: hdrand_init failed");
    return kMiscFailed;
  }
  BigNumber clientPublic{};
  if (!Pow2Mod(exponent.value, clientPublic)) {
    SetErrorText("MiscCommon::CMiscCommon::_Initialize: pow2mod failed.");
    return kMiscFailed;
  }
  std::copy(clientPublic.begin(), clientPublic.end(), ini1.begin() + kIni1PublicOffset);

  std::array<uint8_t, kIni1Bytes> ini1Reply{};
  if (!DeviceCall(kIoctlSession, ini1, ini1Reply, &returned) || returned != kIni1Bytes) {
    SetErrorText("MiscCommon::CMiscCommon::_Initialize: DeviceIoControl failed.");
    return kMiscFailed;
  }
  const uint32_t newSessionId = WordAt(ini1Reply, 0);
  BigNumber driverPublic{};
  std::copy_n(ini1Reply.begin() + kIni1PublicOffset, kBigNumberBytes, driverPublic.begin());

  // From here on the driver holds a session that every failure ends.
  BlowfishContext* context = nullptr;
  const auto fail = [&](int result, const char* text) {
    EndSession(newSessionId);
    FreeBlowfishContext(context);
    SetErrorText("%s", text);
    return result;
  };

  std::unique_ptr<uint8_t[]> work(new (std::nothrow) uint8_t[kWorkBufferBytes]);
  if (!work) {
    SetLastError(platform::ERROR_NOT_ENOUGH_MEMORY);
    return fail(kMiscNoMemory, "MiscCommon::CMiscCommon::_Initialize: HeapAlloc (phase2) failed.");
  }
  const std::span<uint8_t> workBytes(work.get(), kWorkBufferBytes);
  CWiped<Digest> proofKey;
  CWiped<Digest> expectedProof;
  CWiped<Digest> clientProof;
  // K from the two key blocks; then each side's proof over both public values.
  bool proved = HmacSha1(authKey.value,
                         {std::span(ini1).subspan(kIni1KeyBlockOffset, kIni1KeyBlockBytes),
                          std::span(ini1Reply).subspan(kIni1KeyBlockOffset, kIni1KeyBlockBytes)},
                         proofKey.value);
  std::copy(driverPublic.begin(), driverPublic.end(), workBytes.begin());
  std::copy(clientPublic.begin(), clientPublic.end(), workBytes.begin() + kBigNumberBytes);
  proved = proved && HmacSha1(proofKey.value, {workBytes}, expectedProof.value);
  std::copy(clientPublic.begin(), clientPublic.end(), workBytes.begin());
  std::copy(driverPublic.begin(), driverPublic.end(), workBytes.begin() + kBigNumberBytes);
  proved = proved && HmacSha1(proofKey.value, {workBytes}, clientProof.value);
  Wipe(workBytes);
  work.reset();
  if (!proved) {
    SetLastError(platform::ERROR_INTERNAL_ERROR);
    return fail(kMiscFailed,
                "MiscCommon::CMiscCommon::_Initialize: DeviceIoControl (phase2) failed.");
  }

  std::array<uint8_t, kIni2RequestBytes> ini2{};
  std::copy(kIni2Tag.begin(), kIni2Tag.end(), ini2.begin());
  PutWord(ini2, kTagBytes, newSessionId);
  std::copy(clientProof.value.begin(), clientProof.value.end(), ini2.begin() + 8);
  Digest driverProof{};
  if (!DeviceCall(kIoctlSession, ini2, driverProof, &returned) || returned != kIni2ReplyBytes) {
    return fail(kMiscFailed,
                "MiscCommon::CMiscCommon::_Initialize: DeviceIoControl (phase2) failed.");
  }
  if (!EqualSecret(driverProof, expectedProof.value)) {
    return fail(kMiscNotAuthentic,
                "MiscCommon::CMiscCommon::_Initialize: Driver Authentication Failed.");
  }
  CWiped<BigNumber> shared;
  CWiped<Digest> shaOfShared;
  if (!PowMod(driverPublic, exponent.value, shared.value) ||
      !Sha1({shared.value}, shaOfShared.value)) {
    return fail(kMiscNotAuthentic,
                "MiscCommon::CMiscCommon::_Initialize: Key Encryption Key calculation failed.");
  }
  const std::span<const uint8_t> keyEncryptionKey =
      std::span<const uint8_t>(shaOfShared.value).first(kSessionKeyBytes);

  context = AllocateBlowfishContext();
  if (context == nullptr) {
    SetLastError(platform::ERROR_NOT_ENOUGH_MEMORY);
    return fail(kMiscNoMemory, "MiscCommon::CMiscCommon::_Initialize: HeapAlloc (phase3) failed.");
  }
  if (!BlowfishInitialize(context, keyEncryptionKey)) {
    return fail(kMiscFailed,
                "MiscCommon::CMiscCommon::_Initialize: BlowfishInitialize (1st time) failed.");
  }
  CWiped<std::array<uint8_t, kSessionKeyBytes>> sessionKey;
  std::array<uint8_t, kIni3RequestBytes> ini3{};
  std::copy(kIni3Tag.begin(), kIni3Tag.end(), ini3.begin());
  PutWord(ini3, kTagBytes, newSessionId);
  const std::span<uint8_t> wrapped = std::span(ini3).subspan(8, kSessionKeyBytes);
  if (!generator.DrawBytes(sessionKey.value)) {
    return fail(kMiscFailed, "MiscCommon::CMiscCommon::_Initialize: hdrand_init failed");
  }
  std::copy(sessionKey.value.begin(), sessionKey.value.end(), wrapped.begin());
  if (!BlowfishEncipher(context, wrapped.first<kBlowfishBlockBytes>()) ||
      !BlowfishEncipher(context, wrapped.subspan<kBlowfishBlockBytes, kBlowfishBlockBytes>())) {
    return fail(kMiscFailed, "MiscCommon::CMiscCommon::_Initialize: BlowfishEncipher failed.");
  }
  WipeBlowfishContext(context);  // the key-encryption key is done with

  std::array<uint8_t, kIni3ReplyBytes> confirmation{};
  if (!DeviceCall(kIoctlSession, ini3, confirmation, &returned) || returned != kIni3ReplyBytes) {
    return fail(kMiscFailed,
                "MiscCommon::CMiscCommon::_Initialize: DeviceIoControl (phase3) failed.");
  }
  if (!BlowfishInitialize(context, sessionKey.value)) {
    return fail(kMiscFailed,
                "MiscCommon::CMiscCommon::_Initialize: BlowfishInitialize (2nd time) failed.");
  }
  if (!BlowfishDecipher(context, confirmation) ||
      !EqualSecret(confirmation, Bytes(kConfirmation))) {
    return fail(kMiscFailed, "MiscCommon::CMiscCommon::_Initialize: BlowfishDecipher failed.");
  }
  FreeBlowfishContext(sessionContext);
  sessionContext = context;
  sessionId = newSessionId;
  messageCounter = 0;
  ClearErrorText();
  return kMiscOk;
}

bool CMiscCommon::_InitializeMessageCapsule(std::span<const uint8_t> content, uint32_t id,
                                            std::vector<uint8_t>& capsule) {
  try {
    capsule = BuildCapsule(content, id);
    return true;
  } catch (const std::bad_alloc&) {
    SetErrorText("MiscCommon::CMiscCommon::_InitializeMessageCapsule: HeapAlloc failed.");
    return false;
  }
}

int CMiscCommon::_Encrypt(std::span<uint8_t> capsule) {
  if (capsule.size() < kCapsuleMinimumBytes) {
    SetErrorText("MiscCommon::CMiscCommon::_Encrypt: capsule is NULL");
    return kMiscNoPacket;
  }
  if (sessionContext == nullptr) {
    SetErrorText("MiscCommon::CMiscCommon::_Encrypt: BlowFish Context is not initialized.");
    return kMiscNotOpen;
  }
  const int failed = EncipherCapsuleBlocks(sessionContext, capsule,
                                           CapsuleBlockCount(WordAt(capsule, kCapsuleSizeOffset)));
  if (failed >= 0) {
    SetErrorText("MiscCommon::CMiscCommon::_Encrypt: BlowFish Encipher failed. i = %d", failed);
    return kMiscFailed;
  }
  return kMiscOk;
}

int CMiscCommon::_Decrypt(std::span<uint8_t> capsule, uint32_t blocks) {
  if (capsule.size() < kCapsuleMinimumBytes) {
    SetErrorText("MiscCommon::CMiscCommon::_Decrypt: capsule is NULL");
    return kMiscNoPacket;
  }
  if (sessionContext == nullptr) {
    SetErrorText("MiscCommon::CMiscCommon::_Decrypt: BlowFish Context is not initialized.");
    return kMiscNotOpen;
  }
  const int failed = DecipherCapsuleBlocks(sessionContext, capsule, blocks);
  if (failed >= 0) {
    SetErrorText("MiscCommon::CMiscCommon::_Decrypt: BlowFish Decipher failed. i = %d", failed);
    return kMiscFailed;
  }
  return kMiscOk;
}

BOOL CMiscCommon::EncapsuledDeviceIoControl(const uint8_t* input, DWORD inputLength,
                                            uint8_t* output, DWORD outputCapacity,
                                            DWORD* returned) {
  if (!VersionGateMet()) {
    SetLastError(platform::ERROR_NOT_SUPPORTED);
    return platform::FALSE;
  }
  // Lengths beyond what one device call carries would wrap the capsule size.
  if ((input != nullptr) != (inputLength != 0) || (output != nullptr) != (outputCapacity != 0) ||
      returned == nullptr || inputLength > kMaxCapsuleCallBytes ||
      outputCapacity > kMaxCapsuleCallBytes) {
    SetErrorText("MiscCommon::CMiscCommon::EncapsuledDeviceIoControl: Invalid Argument(s).");
    SetLastError(platform::ERROR_INVALID_PARAMETER);
    return platform::FALSE;
  }
  if (sessionExpected != 0 && sessionContext == nullptr) {
    SetErrorText("MiscCommon::CMiscCommon::EncapsuledDeviceIoControl: Session Not Initialized.");
    SetLastError(platform::ERROR_ACCESS_DENIED);
    return platform::FALSE;
  }
  *returned = 0;
  std::vector<uint8_t> request;
  std::vector<uint8_t> reply;
  std::vector<uint8_t> inner;
  // Plain text of the request and the reply lies in these buffers.
  struct CWipeAll {
    std::vector<uint8_t>* buffers[3];
    ~CWipeAll() {
      for (std::vector<uint8_t>* buffer : buffers) WipeVector(*buffer);
    }
  } wipeAll{{&request, &reply, &inner}};
  try {
    inner = BuildInnerMessage(messageCounter, std::span(input, inputLength), outputCapacity);
  } catch (const std::bad_alloc&) {
    SetErrorText("MiscCommon::CMiscCommon::EncapsuledDeviceIoControl: HeapAlloc failed.");
    SetLastError(platform::ERROR_NOT_ENOUGH_MEMORY);
    return platform::FALSE;
  }
  if (!_InitializeMessageCapsule(inner, sessionId, request)) {
    SetLastError(platform::ERROR_NOT_ENOUGH_MEMORY);
    return platform::FALSE;
  }
  if (sessionExpected != 0 && _Encrypt(request) != kMiscOk) {
    SetLastError(platform::ERROR_INTERNAL_ERROR);
    return platform::FALSE;
  }
  try {
    reply = EmptyCapsule(outputCapacity);
  } catch (const std::bad_alloc&) {
    SetErrorText("MiscCommon::CMiscCommon::_InitializeMessageCapsule: HeapAlloc failed.");
    SetLastError(platform::ERROR_NOT_ENOUGH_MEMORY);
    return platform::FALSE;
  }

  DWORD got = 0;
  const BOOL called = DeviceCall(kIoctlCapsule, request, reply, &got);
  const DWORD callError = GetLastError();
  if (called || got > 0) ++messageCounter;
  if (got < kCapsuleHeaderBytes) {
    SetErrorText(
        "MiscCommon::CMiscCommon::EncapsuledDeviceIoControl: Invalid structure returned. size = %d",
        static_cast<int>(got));
    SetLastError(callError);
    return platform::FALSE;
  }
  const std::span<uint8_t> received(reply.data(), got);
  if (CheckCapsule(received) != CapsuleCheck::kOk) {
    SetErrorText(
        "MiscCommon::CMiscCommon::EncapsuledDeviceIoControl: Invalid structure returned. size = %d",
        static_cast<int>(got));
    SetLastError(platform::ERROR_INVALID_DATA);
    return platform::FALSE;
  }
  if (sessionExpected != 0 &&
      _Decrypt(received, CapsuleBlockCount(WordAt(received, kCapsuleSizeOffset))) != kMiscOk) {
    SetLastError(platform::ERROR_INTERNAL_ERROR);
    return platform::FALSE;
  }
  const DWORD length = WordAt(received, kCapsuleContentLengthOffset);
  const auto content = received.begin() + kCapsuleHeaderBytes;
  if (length > outputCapacity) {
    std::copy_n(content, outputCapacity, output);
    *returned = outputCapacity;
    SetLastError(platform::ERROR_MORE_DATA);
    return platform::FALSE;
  }
  if (length > 0) std::copy_n(content, length, output);
  *returned = length;
  SetLastError(callError);
  return called;
}

int CMiscCommon::CallMiscFunction(uint8_t* packet) {
  if (!VersionGateMet()) return kMiscDriverTooOld;
  if (!_hDevice) {
    SetErrorText("MiscCommon::CMiscCommon::CallMiscFunction: _hDevice is NULL");
    return kMiscNotOpen;
  }
  if (packet == nullptr) {
    SetErrorText("MiscCommon::CMiscCommon::CallMiscFunction: pPacket is NULL");
    return kMiscNoPacket;
  }
  const std::span<uint8_t, kMiscPacketBytes> bytes(packet, kMiscPacketBytes);
  const uint16_t inputLength = HalfAt(bytes, kMiscInputLengthOffset);
  const uint16_t outputLength = HalfAt(bytes, kMiscOutputLengthOffset);
  // The packet is 12 bytes; longer lengths would read and write past it.
  if (inputLength > kMiscPacketBytes || outputLength > kMiscPacketBytes) {
    SetErrorText("MiscCommon::CMiscCommon::CallMiscFunction: packet lengths exceed 12 bytes.");
    return kMiscNoPacket;
  }
  std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[kMiscPacketBytes]);
  if (!copy) {
    SetErrorText("MiscCommon::CMiscCommon::CallMiscFunction: HeapAlloc failed.");
    return kMiscNoMemory;
  }
  std::copy(bytes.begin(), bytes.end(), copy.get());
  for (int attempt = 0;; ++attempt) {
    DWORD returned = 0;
    if (!EncapsuledDeviceIoControl(inputLength != 0 ? packet : nullptr, inputLength,
                                   outputLength != 0 ? packet : nullptr, outputLength, &returned)) {
      SetErrorText("MiscCommon::CMiscCommon::CallMiscFunction: DeviceIoControl failed.");
      return kMiscFailed;
    }
    if (attempt > 0 || packet[kMiscStatusOffset] != kMiscStatusRepeat) break;
    std::this_thread::sleep_for(kRepeatPause);
    std::copy_n(copy.get(), kMiscPacketBytes, packet);
  }
  ClearErrorText();
  return kMiscOk;
}

int CMiscCommon::QueryPowerState(uint8_t item, uint8_t& status, uint8_t& value) {
  if (!VersionGateMet()) return kMiscDriverTooOld;
  MiscPacket packet = MakeMiscPacket(item, kMiscQuery, 0);
  const int result = CallMiscFunction(packet.data());
  if (result != kMiscOk) return result;
  status = packet[kMiscStatusOffset];
  if (status == kMiscStatusOk) value = packet[kMiscValueOffset];
  return kMiscOk;
}

int CMiscCommon::SetPowerState(uint8_t item, uint8_t value, uint8_t& status) {
  if (!VersionGateMet()) return kMiscDriverTooOld;
  MiscPacket packet = MakeMiscPacket(item, kMiscSet, value);
  const int result = CallMiscFunction(packet.data());
  if (result != kMiscOk) return result;
  status = packet[kMiscStatusOffset];
  return kMiscOk;
}

void CMiscCommon::CloseDriver() {
  if (!_hDevice) return;
  if (sessionContext != nullptr) {
    EndSession(sessionId);
    sessionId = 0;
    messageCounter = 0;
    FreeBlowfishContext(sessionContext);
    sessionContext = nullptr;
  }
  _hDevice.reset();
}

}  // namespace lx2d::MiscCommon

// CMiscCommon: the utility's channel to the machine's power-control driver.
// It opens the driver's device interface, reads the driver's version and,
// for drivers from 1.0.8 on, sets up an authenticated session (Diffie-Hellman
// with generator 2 in the Second Oakley Group, proofs by HMAC-SHA-1, a
// key-encryption key from SHA-1, a Blowfish session key). Every later request
// travels in a capsule whose blocks are enciphered under the session key;
// the power function is one 12-byte misc-function request.
//
// Every failure leaves its text in the owner's error-text buffer (never
// shown; for diagnosis) and keeps the last-error value of the failing call
// (platform::GetLastError). Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "driver_version.h"
#include "platform/device_interface.h"
#include "platform/win_types.h"
#include "power_crypto.h"

namespace lx2d::MiscCommon {

using platform::BOOL;
using platform::DWORD;

// Results of the channel's operations.
inline constexpr int kMiscOk = 0;
inline constexpr int kMiscFailed = 2;         // a system or driver call failed
inline constexpr int kMiscNoPacket = 3;       // no packet, or one with impossible lengths
inline constexpr int kMiscNoMemory = 5;       // an allocation failed
inline constexpr int kMiscNotAuthentic = 6;   // no interface, or the driver did not prove itself
inline constexpr int kMiscNotOpen = 8;        // the interface is not open
inline constexpr int kMiscDriverTooOld = 10;  // the driver is older than 1.0.8
inline constexpr int kMiscCannotOpen = 11;    // the interface could not be opened

// Characters of the owner's error-text buffer and of `_szVersion`.
inline constexpr size_t kErrorTextChars = 256;
inline constexpr size_t kVersionChars = 256;

class CMiscCommon {
 public:
  // `errorTextBuffer` is the owner's buffer of kErrorTextChars characters (may be
  // null: texts are then dropped). `keyPath` empty means the system's
  // key file (power::AuthKeyPath()).
  explicit CMiscCommon(
      char16_t* errorTextBuffer,
      platform::IDeviceInterfaceService* interfaces = platform::SystemDeviceInterfaceService(),
      std::string keyPath = {});
  ~CMiscCommon();  // CloseDriver, then frees the version text
  CMiscCommon(const CMiscCommon&) = delete;
  CMiscCommon& operator=(const CMiscCommon&) = delete;

  // Opens interface 0 of the driver's class and, the first time, reads and
  // parses its "DriverVersion". 0; 2 the class cannot be listed, the driver
  // key or its version cannot be read; 5 out of memory; 6 no interface of
  // the class; 11 the interface cannot be opened (another holds it, ...).
  int OpenDriver();

  // Starts the session. 0 when established, or when the driver answers the
  // probe with ERROR_NOT_SUPPORTED (requests then travel unenciphered);
  // 2 a handshake step failed (or the key file was refused); 5 out of
  // memory; 6 the driver's proof was wrong or no shared secret came of its
  // public value; 10 the driver is older than 1.0.8.
  int _Initialize();

  // One request through the driver's misc interface, wrapped in a capsule.
  // TRUE on success with the reply's content in `output` and its length in
  // `*returned`; FALSE with the reason as last error: ERROR_INVALID_PARAMETER
  // (argument rules), ERROR_ACCESS_DENIED (no session although one is
  // expected), ERROR_NOT_ENOUGH_MEMORY, ERROR_INTERNAL_ERROR (cipher),
  // ERROR_MORE_DATA (reply cut to the capacity), ERROR_INVALID_DATA (a reply
  // capsule that contradicts itself), ERROR_NOT_SUPPORTED (driver older than
  // 1.0.8), or the device call's own value.
  BOOL EncapsuledDeviceIoControl(const uint8_t* input, DWORD inputLength, uint8_t* output,
                                 DWORD outputCapacity, DWORD* returned);

  // Sends the 12-byte misc packet and receives the answer into it; a first
  // answer with status 4 is followed by one repeat 100 ms later. 0; 2 the
  // call failed; 3 no packet, or its lengths exceed 12; 5 out of memory;
  // 8 not open; 10 driver older than 1.0.8.
  int CallMiscFunction(uint8_t* packet);

  // Power item queries and settings; results as CallMiscFunction. After
  // success `status` is the driver's status byte and, for a query with
  // status 0, `value` the item's value.
  int QueryPowerState(uint8_t item, uint8_t& status, uint8_t& value);
  int SetPowerState(uint8_t item, uint8_t value, uint8_t& status);

  // Ends any session (its context wiped) and closes the interface.
  void CloseDriver();

  // The version fields parsed from "DriverVersion" ("%d.%d.%d.%d").
  int32_t VersionMajor() const { return versionMajor; }
  int32_t VersionMinor() const { return versionMinor; }
  int32_t VersionBuild() const { return versionBuild; }
  int32_t VersionRevision() const { return versionRevision; }
  // The version text, empty before it was read.
  std::u16string_view VersionText() const;
  // The text of the last failure; empty after a success.
  std::u16string_view ErrorText() const;

  bool IsOpen() const { return _hDevice != nullptr; }
  bool HasSession() const { return sessionContext != nullptr; }
  bool SessionExpected() const { return sessionExpected != 0; }
  uint32_t SessionId() const { return sessionId; }
  uint32_t MessageCounter() const { return messageCounter; }

 private:
  bool VersionGateMet() const;
  void SetErrorText(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void ClearErrorText();
  BOOL DeviceCall(DWORD code, std::span<const uint8_t> input, std::span<uint8_t> output,
                  DWORD* returned);
  // Ends the session `id` at the driver, keeping the caller's last error.
  void EndSession(uint32_t id);
  bool _InitializeMessageCapsule(std::span<const uint8_t> content, uint32_t id,
                                 std::vector<uint8_t>& capsule);
  int _Encrypt(std::span<uint8_t> capsule);
  int _Decrypt(std::span<uint8_t> capsule, uint32_t blocks);
  void ParseVersion(const std::string& text);

  std::unique_ptr<platform::IDeviceInterface> _hDevice;  // null when closed
  std::unique_ptr<char16_t[]> _szVersion;                // kVersionChars, from the first read on
  uint32_t sessionId = 0;
  uint32_t messageCounter = 0;
  power::BlowfishContext* sessionContext = nullptr;  // keyed with the session key
  int sessionExpected = 1;
  char16_t* errorText;
  int32_t versionMajor = 0;
  int32_t versionMinor = 0;
  int32_t versionBuild = 0;
  int32_t versionRevision = 0;
  platform::IDeviceInterfaceService* service;
  std::string authKeyPath;
};

}  // namespace lx2d::MiscCommon

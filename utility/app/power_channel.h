// IPowerChannel: what the worker window needs of the channel to the
// machine's power-control driver. The window opens the channel when it is
// built, starts a session only for drivers that have one, sets two power
// items when no emulator powers the reader, and closes the channel when it
// is destroyed. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace lx2d {

// The driver's "DriverVersion", parsed as major.minor.build.revision.
struct DriverVersion {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t build = 0;
  int32_t revision = 0;
};

// Sessions, enciphered calls and the power function need driver 1.0.8 or
// later; the revision is not compared.
constexpr bool SupportsSession(const DriverVersion& version) {
  if (version.major != 1) return version.major > 1;
  if (version.minor != 0) return version.minor > 0;
  return version.build >= 8;
}

// The power items the window sets: item 0 to 1 turns the reader on, item 3
// to 0 is set after it.
inline constexpr uint8_t kPowerItemReader = 0;
inline constexpr uint8_t kPowerItemAfterReader = 3;

class IPowerChannel {
 public:
  virtual ~IPowerChannel() = default;

  // Opens the driver's interface and reads its version. 0 success; 2 the
  // interface or its version could not be found or read; 5 out of memory;
  // 6 no interface of the driver's class; 11 the interface could not be
  // opened. Any failure leaves a text in ErrorText().
  virtual int OpenDriver() = 0;

  // The version OpenDriver read; all zero before a successful open.
  virtual DriverVersion Version() const = 0;

  // Starts the driver session. 0 established, or the driver does not use
  // sessions; 2 a handshake step failed; 5 out of memory; 6 the driver did
  // not prove itself; 10 the driver is older than 1.0.8.
  virtual int Initialize() = 0;

  // Sets one power item. 0 success, with the driver's status byte in
  // `status` (0 done); 2 the driver call failed; 3 no packet; 5 out of
  // memory; 8 not open; 10 the driver is older than 1.0.8.
  virtual int SetPowerState(uint8_t item, uint8_t value, uint8_t& status) = 0;

  // Ends any session and closes the interface. Safe to call when closed
  // and more than once.
  virtual void CloseDriver() = 0;

  // The text of the last failure, empty after a success; kept for
  // diagnosis, never shown.
  virtual std::u16string_view ErrorText() const = 0;
};

// The channel the program uses.
std::unique_ptr<IPowerChannel> MakePowerChannel();

}  // namespace lx2d

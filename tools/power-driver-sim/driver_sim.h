// The driver's side of the power-control channel, as a simulated driver
// plays it: the session probe, the three handshake phases, the end of a
// session and capsule calls carrying misc-function requests on the power
// items. One request in, one answer out; no I/O of its own, so tests can
// drive it in process and the program can serve it on a device interface.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "auth_key.h"
#include "driver_protocol.h"
#include "power_crypto.h"

namespace lx2d::sim {

struct DriverSimConfig {
  // False: the probe is answered with ERROR_NOT_SUPPORTED and capsules
  // travel unenciphered, without a session.
  bool sessions = true;
  power::AuthKey authKey{};
  // Misc calls still to be answered with status 4 (and not carried out).
  int repeatStatusCalls = 0;
};

// One answer to a device control call.
struct DriverAnswer {
  bool success = false;
  uint32_t lastError = 0;
  std::vector<uint8_t> output;
};

// One misc-function call the driver carried out (or asked to repeat).
struct MiscCall {
  uint8_t item = 0;
  uint8_t operation = 0;  // power::kMiscQuery or power::kMiscSet
  uint8_t value = 0;      // the value set, or the value answered
  uint8_t status = 0;
};

// What the driver saw of one device control call, for tests and traces.
struct DeviceCallRecord {
  uint32_t code = 0;
  uint32_t outputCapacity = 0;
  std::vector<uint8_t> input;
  DriverAnswer answer;
  std::chrono::steady_clock::time_point when;
};

class CPowerDriverSim {
 public:
  explicit CPowerDriverSim(const DriverSimConfig& settings);
  ~CPowerDriverSim();  // wipes the session's secrets
  CPowerDriverSim(const CPowerDriverSim&) = delete;
  CPowerDriverSim& operator=(const CPowerDriverSim&) = delete;

  // Answers one device control call.
  DriverAnswer Handle(uint32_t code, uint32_t outputCapacity, std::span<const uint8_t> input);

  // The host closed the interface: any session ends.
  void Disconnected();

  // Called after every misc call, with what it did.
  void OnMiscCall(std::function<void(const MiscCall&)> observer) {
    miscObserver = std::move(observer);
  }

  void SetRepeatStatusCalls(int count) { config.repeatStatusCalls = count; }

  uint8_t Item(uint8_t item) const { return items[item]; }
  bool InSession() const { return phase == Phase::kEstablished; }
  uint32_t SessionId() const { return sessionId; }
  const std::vector<DeviceCallRecord>& Calls() const { return calls; }

 private:
  enum class Phase : uint8_t { kNone, kIni1Done, kIni2Done, kEstablished };

  DriverAnswer HandleSession(std::span<const uint8_t> input, uint32_t capacity);
  DriverAnswer Ini1(std::span<const uint8_t> input);
  DriverAnswer Ini2(std::span<const uint8_t> input);
  DriverAnswer Ini3(std::span<const uint8_t> input);
  DriverAnswer EndSession(std::span<const uint8_t> input);
  DriverAnswer Capsule(std::span<const uint8_t> input, uint32_t capacity);
  // The misc answer for a 12-byte request packet.
  power::MiscPacket Misc(const power::MiscPacket& request);
  void ForgetSession();

  DriverSimConfig config;
  std::array<uint8_t, 256> items{};
  std::function<void(const MiscCall&)> miscObserver;
  std::vector<DeviceCallRecord> calls;

  Phase phase = Phase::kNone;
  uint32_t sessionId = 0;
  uint32_t nextSessionId = 0x5E550001;
  uint32_t expectedCounter = 0;
  bool clientProven = false;
  power::Exponent exponent{};
  power::BigNumber clientPublic{};
  power::BigNumber driverPublic{};
  power::Digest proofKey{};
  power::BlowfishContext* sessionContext = nullptr;
};

}  // namespace lx2d::sim

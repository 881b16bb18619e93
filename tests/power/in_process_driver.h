// The simulated power-control driver served in process through the device
// interface service, so channel tests see every call and can bend answers.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver_sim.h"
#include "platform/device_interface.h"
#include "platform/last_error.h"

namespace lx2d::test {

class CInProcessDriver final : public platform::IDeviceInterfaceService {
 public:
  explicit CInProcessDriver(const sim::DriverSimConfig& config,
                            std::string driverVersion = "1.0.8.0")
      : sim(config), version(std::move(driverVersion)) {}

  // Changes an answer before the host sees it: (code, input, answer).
  using Tamper = std::function<void(uint32_t, std::span<const uint8_t>, sim::DriverAnswer&)>;

  sim::CPowerDriverSim sim;
  std::string version;
  platform::DWORD enumerateResult = platform::ERROR_SUCCESS;
  platform::DWORD versionResult = platform::ERROR_SUCCESS;
  bool present = true;
  Tamper tamper;

  static constexpr std::string_view kPath =
      "/in-process/{80DCC0C5-BD3E-4BC0-8A06-11EAE4AE7224}/sim";

  platform::DWORD EnumerateInterfaces(std::string_view, std::vector<std::string>& paths) override {
    paths.clear();
    if (enumerateResult == platform::ERROR_SUCCESS && present) paths.emplace_back(kPath);
    return enumerateResult;
  }

  platform::DWORD ReadDriverVersion(std::string_view, std::string& text) override {
    text = versionResult == platform::ERROR_SUCCESS ? version : std::string();
    return versionResult;
  }

  platform::DWORD Open(std::string_view,
                       std::unique_ptr<platform::IDeviceInterface>& device) override {
    if (opened) return platform::ERROR_SHARING_VIOLATION;
    opened = true;
    device = std::make_unique<CHandle>(*this);
    return platform::ERROR_SUCCESS;
  }

 private:
  class CHandle final : public platform::IDeviceInterface {
   public:
    explicit CHandle(CInProcessDriver& driver) : owner(driver) {}
    ~CHandle() override {
      owner.sim.Disconnected();
      owner.opened = false;
    }
    platform::BOOL Control(platform::DWORD code, std::span<const uint8_t> input,
                           std::span<uint8_t> output, platform::DWORD* returned) override {
      sim::DriverAnswer answer =
          owner.sim.Handle(code, static_cast<uint32_t>(output.size()), input);
      if (owner.tamper) owner.tamper(code, input, answer);
      // What the platform's service does with an answer beyond the capacity.
      if (answer.output.size() > output.size()) {
        *returned = 0;
        platform::SetLastError(platform::ERROR_GEN_FAILURE);
        return platform::FALSE;
      }
      std::copy(answer.output.begin(), answer.output.end(), output.begin());
      *returned = static_cast<platform::DWORD>(answer.output.size());
      platform::SetLastError(answer.lastError);
      return answer.success ? platform::TRUE : platform::FALSE;
    }

   private:
    CInProcessDriver& owner;
  };

  bool opened = false;
};

}  // namespace lx2d::test

// lx2d-power-driver-sim: a simulated power-control driver on a device
// interface, for the utility's power-on and for tests.
#include <atomic>
#include <csignal>
#include <iostream>

#include "auth_key.h"
#include "driver_sim.h"
#include "driver_sim_options.h"
#include "platform/device_interface.h"
#include "platform/paths.h"
#include "platform/shell_command.h"

namespace {

using namespace lx2d;
using namespace lx2d::sim;

std::atomic<bool> stopRequested{false};
std::atomic<platform::IDeviceInterfaceDriver*> wakeTarget{nullptr};

extern "C" void OnStopSignal(int) {
  stopRequested.store(true);
  if (platform::IDeviceInterfaceDriver* driver = wakeTarget.load()) driver->Wake();
}

const char* OperationName(uint8_t operation) {
  return operation == power::kMiscSet ? "set" : "query";
}

}  // namespace

int main(int argc, char** argv) {
  DriverSimOptions options;
  bool help = false;
  std::string error;
  if (!ParseDriverSimOptions({argv + 1, argv + argc}, options, help, error)) {
    std::cerr << "lx2d-power-driver-sim: " << error << "\n" << kDriverSimUsage;
    return 2;
  }
  if (help) {
    std::cout << kDriverSimUsage;
    return 0;
  }

  DriverSimConfig config;
  config.sessions = options.sessions;
  config.repeatStatusCalls = options.repeatStatusCalls;
  const std::string keyPath = options.keyFile.empty() ? power::AuthKeyPath() : options.keyFile;
  std::string problem;
  const power::AuthKeySource source = power::LoadAuthKey(keyPath, config.authKey, problem);
  if (source == power::AuthKeySource::kRefused) {
    std::cerr << "lx2d-power-driver-sim: " << problem << "\n";
    return 1;
  }
  if (source == power::AuthKeySource::kDevelopment && !options.keyFile.empty()) {
    std::cerr << "lx2d-power-driver-sim: no key file " << keyPath << "\n";
    return 1;
  }
  if (options.wrongKey) config.authKey[0] ^= 0x5A;

  std::string devices;
  if (platform::EnsureDirectory(platform::Directory::kSystem, "devices", &devices) !=
      platform::ERROR_SUCCESS) {
    std::cerr << "lx2d-power-driver-sim: cannot create " << devices << "\n";
    return 1;
  }
  std::unique_ptr<platform::IDeviceInterfaceDriver> driver;
  const platform::DWORD registered = platform::RegisterDeviceInterface(
      devices, std::string(power::kPowerDriverClass), options.name, options.version, driver);
  if (registered != platform::ERROR_SUCCESS) {
    std::cerr << "lx2d-power-driver-sim: cannot register the interface '" << options.name
              << "' (error " << registered << ")\n";
    return 1;
  }

  CPowerDriverSim sim(config);
  platform::CShellCommand powered;
  sim.OnMiscCall([&](const MiscCall& call) {
    std::cout << "item " << int{call.item} << ' ' << OperationName(call.operation) << ' '
              << int{call.value} << " status " << int{call.status} << std::endl;
    if (call.item != 0 || call.operation != power::kMiscSet ||
        call.status != power::kMiscStatusOk || options.powerCommand.empty()) {
      return;
    }
    if (call.value == 1 && !powered.Running()) {
      if (!powered.Start(options.powerCommand)) {
        std::cerr << "lx2d-power-driver-sim: cannot start the power command\n";
      }
    } else if (call.value == 0) {
      powered.Stop();
    }
  });

  wakeTarget.store(driver.get());
  std::signal(SIGTERM, OnStopSignal);
  std::signal(SIGINT, OnStopSignal);
  std::cout << "lx2d-power-driver-sim: serving " << driver->InterfacePath() << " version "
            << options.version << (options.sessions ? "" : ", no session")
            << (source == power::AuthKeySource::kDevelopment ? ", development key" : "")
            << std::endl;

  platform::DeviceControlRequest request;
  while (!stopRequested.load()) {
    switch (driver->Wait(request, 1000)) {
      case platform::DriverEvent::kRequest: {
        const DriverAnswer answer = sim.Handle(request.code, request.outputCapacity, request.input);
        driver->Answer(answer.success, answer.lastError, answer.output);
        break;
      }
      case platform::DriverEvent::kDisconnected:
        sim.Disconnected();
        break;
      default:
        break;
    }
  }
  wakeTarget.store(nullptr);
  powered.Stop();
  driver.reset();
  std::cout << "lx2d-power-driver-sim: stopped" << std::endl;
  return 0;
}

// A simulated reader served on a thread of the test process over a
// pseudo-terminal published in a temporary folder, and the serial service
// of that folder for the host side.
#pragma once

#include <memory>
#include <string>

#include "platform/fakes/temp_directory.h"
#include "platform/serial_port.h"
#include "reader_link.h"
#include "sim_device.h"
#include "simulator_thread.h"

namespace lx2d::test {

class CInProcessSerialReader {
 public:
  explicit CInProcessSerialReader(sim::LinkFaults faults = {}) {
    created = platform::CreatePseudoTerminalPort(
        temp.Path(), "reader", {0x0D2A, 0x0801, "2D Barcode Reader", "SIM0000001"}, port);
    if (created != platform::kSerialOk) return;
    output = std::make_unique<sim::CSerialOutput>(*port);
    device = std::make_unique<sim::CSerialSimDevice>(*port);
    link = std::make_unique<sim::CReaderLink>(*output, faults, nullptr);
    service = platform::MakeSerialService({false, temp.Path()});
    server = std::make_unique<CSimulatorThread>(*device, *link);
  }

  // Runs `line` on the simulator's thread ("unplug", "bcd TEXT").
  void Command(std::string line) { server->Command(std::move(line)); }

  platform::CTempDirectory temp;
  uint32_t created = platform::kSerialErrorGenFailure;
  std::unique_ptr<platform::IPseudoTerminalPort> port;
  std::unique_ptr<sim::CSerialOutput> output;
  std::unique_ptr<sim::CSerialSimDevice> device;
  std::unique_ptr<sim::CReaderLink> link;  // touched by the simulator's thread only
  std::unique_ptr<platform::ISerialService> service;
  std::unique_ptr<CSimulatorThread> server;  // declared last: stops first
};

}  // namespace lx2d::test

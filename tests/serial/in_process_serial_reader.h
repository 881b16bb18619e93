// A simulated reader served on a thread of the test process over a
// pseudo-terminal published in a temporary folder, and the serial service
// of that folder for the host side.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "platform/fakes/temp_directory.h"
#include "platform/serial_port.h"
#include "reader_link.h"
#include "sim_device.h"

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
    thread = std::thread([this] {
      sim::ServeDevice(*device, *link, stop, &commands, [this](const std::string& line) {
        if (line == "unplug") {
          device->Unplug();
          link->Disconnected();
        } else if (line.starts_with("bcd ")) {
          link->SendBarcode(kKindBcd, line.substr(4));
        }
        return true;
      });
    });
  }

  ~CInProcessSerialReader() {
    if (!thread.joinable()) return;
    stop.store(true);
    device->Wake();
    thread.join();
  }

  // Runs `line` on the simulator's thread ("unplug", "bcd TEXT").
  void Command(std::string line) {
    commands.Push(std::move(line));
    device->Wake();
  }

  platform::CTempDirectory temp;
  uint32_t created = platform::kSerialErrorGenFailure;
  std::unique_ptr<platform::IPseudoTerminalPort> port;
  std::unique_ptr<sim::CSerialOutput> output;
  std::unique_ptr<sim::CSerialSimDevice> device;
  std::unique_ptr<sim::CReaderLink> link;  // touched by the simulator's thread only
  std::unique_ptr<platform::ISerialService> service;
  sim::CCommandQueue commands;
  std::atomic<bool> stop{false};
  std::thread thread;
};

}  // namespace lx2d::test

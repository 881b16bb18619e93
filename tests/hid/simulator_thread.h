// A simulated reader's device end served on a thread of the test process,
// HID or serial alike, with the commands tests give it.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "frame_codec.h"
#include "reader_link.h"
#include "sim_device.h"

namespace lx2d::test {

class CSimulatorThread {
 public:
  // Serves `device` for `link` until destroyed; both must outlive it.
  CSimulatorThread(sim::ISimDevice& device, sim::CReaderLink& link) : device_(device) {
    thread_ = std::thread([this, &link] {
      sim::ServeDevice(device_, link, stop_, &commands_, [this, &link](const std::string& line) {
        if (line == "unplug") {
          device_.Unplug();
          link.Disconnected();
        } else if (line.starts_with("bcd ")) {
          link.SendBarcode(kKindBcd, line.substr(4));
        }
        return true;
      });
    });
  }

  ~CSimulatorThread() {
    stop_.store(true);
    device_.Wake();
    thread_.join();
  }
  CSimulatorThread(const CSimulatorThread&) = delete;
  CSimulatorThread& operator=(const CSimulatorThread&) = delete;

  // Runs `line` on the simulator's thread ("unplug", "bcd TEXT").
  void Command(std::string line) {
    commands_.Push(std::move(line));
    device_.Wake();
  }

 private:
  sim::ISimDevice& device_;
  sim::CCommandQueue commands_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace lx2d::test

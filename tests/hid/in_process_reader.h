// A simulated reader served on a thread of the test process, over a real
// virtual HID device in a temporary folder, and the host side that talks
// to it: the HID service of that folder, CUsbHid and a quiet host.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "host_messaging.h"
#include "platform/fakes/temp_directory.h"
#include "platform/hid.h"
#include "reader_link.h"
#include "sim_device.h"
#include "usb_hid.h"

namespace lx2d::test {

// Registers message numbers, accepts every post, shows no box.
class CQuietHost final : public IHostMessaging {
 public:
  uint32_t RegisterMessage(std::string_view) override { return ++next_; }
  bool PostMessage(HostWindow, uint32_t, uint64_t, int64_t) override { return true; }
  void MessageBox(std::string_view, std::string_view, uint32_t) override {}

 private:
  uint32_t next_ = 0xC000;
};

// What a simulated reader's virtual HID device says of itself: the reader's
// identity, collection 2, reports of `reportLength` bytes both ways.
inline platform::VirtualHidInfo SimulatedReaderInfo(uint16_t reportLength = 64,
                                                    std::string serial = "SIM0000001") {
  platform::VirtualHidInfo info;
  info.vendorId = 0x0D2A;
  info.productId = 0x0801;
  info.versionNumber = 0x0100;
  info.productString = "2D Barcode Reader";
  info.serial = std::move(serial);
  info.inputReportLength = reportLength;
  info.outputReportLength = reportLength;
  info.collection = 2;
  return info;
}

class CInProcessReader {
 public:
  explicit CInProcessReader(sim::LinkFaults faults = {}, uint32_t reportIntervalMs = 0) {
    created =
        platform::CreateVirtualHidDevice(temp.Path(), "reader", SimulatedReaderInfo(), device);
    if (created != platform::kHidOk) return;
    output = std::make_unique<sim::CReportOutput>(*device, 64, 2, reportIntervalMs);
    link = std::make_unique<sim::CReaderLink>(*output, faults, nullptr);
    service = platform::MakeHidService({false, temp.Path()});
    thread = std::thread([this] {
      sim::ServeDevice(*device, *link, 64, stop, &commands, [this](const std::string& line) {
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

  ~CInProcessReader() {
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
  uint32_t created = platform::kHidErrorGenFailure;
  std::unique_ptr<platform::IVirtualHidDevice> device;
  std::unique_ptr<sim::CReportOutput> output;
  std::unique_ptr<sim::CReaderLink> link;  // touched by the simulator's thread only
  std::unique_ptr<platform::IHidService> service;
  sim::CCommandQueue commands;
  std::atomic<bool> stop{false};
  std::thread thread;
};

}  // namespace lx2d::test

// lx2d-reader-sim: a simulated reader on a virtual HID device or a serial port.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <iostream>
#include <thread>

#include "platform/hid.h"
#include "platform/paths.h"
#include "platform/serial_port.h"
#include "reader_link.h"
#include "sim_device.h"
#include "sim_options.h"

namespace {

using namespace lx2d;
using namespace lx2d::sim;

std::atomic<bool> stopRequested{false};
std::atomic<ISimDevice*> wakeTarget{nullptr};

extern "C" void OnStopSignal(int) {
  stopRequested.store(true);
  if (ISimDevice* device = wakeTarget.load()) device->Wake();
}

bool ParseHex(std::string_view text, std::vector<uint8_t>& bytes) {
  bytes.clear();
  int high = -1;
  for (char c : text) {
    if (c == ' ') continue;
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return false;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  return high < 0;
}

// Runs one command line; false for "quit".
bool RunCommand(const std::string& line, CReaderLink& link, ISimDevice& device) {
  const size_t space = line.find(' ');
  const std::string verb = line.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
  if (verb == "quit") return false;
  if (!device.Connected() && verb != "") {
    std::cerr << "lx2d-reader-sim: no host connected, '" << verb << "' ignored\n";
    return true;
  }
  if (verb == "bcd" || verb == "sbcd") {
    if (!link.SendBarcode(verb == "bcd" ? kKindBcd : kKindSbcd, rest)) {
      std::cerr << "lx2d-reader-sim: " << verb << " text longer than " << kMaxBarcodeText
                << " bytes (one frame), not sent\n";
    }
  } else if (verb == "evt") {
    std::vector<uint8_t> payload;
    if (ParseHex(rest, payload))
      link.SendReport(kKindEvt, payload);
    else
      std::cerr << "lx2d-reader-sim: evt needs hex bytes\n";
  } else if (verb == "raw") {
    std::vector<uint8_t> bytes(rest.begin(), rest.end());
    bytes.push_back('\n');
    link.SendRaw(bytes);
  } else if (verb == "unplug") {
    device.Unplug();
    link.Disconnected();
  } else if (!verb.empty()) {
    std::cerr << "lx2d-reader-sim: unknown command '" << verb << "'\n";
  }
  return true;
}

// The device end the simulator serves and what owns it.
struct SimEnd {
  std::unique_ptr<platform::IVirtualHidDevice> hid;
  std::unique_ptr<platform::IPseudoTerminalPort> port;
  std::unique_ptr<ILinkOutput> output;
  std::unique_ptr<ISimDevice> device;
  std::string address;  // interface path or port path

  void Close() {
    device.reset();
    output.reset();
    hid.reset();
    port.reset();
  }
};

bool OpenHidEnd(const SimOptions& options, SimEnd& end) {
  std::string directory;
  if (platform::EnsureDirectory(platform::Directory::kRuntime, "vhid", &directory) !=
      platform::ERROR_SUCCESS) {
    std::cerr << "lx2d-reader-sim: cannot create the runtime folder\n";
    return false;
  }
  platform::VirtualHidInfo info;
  info.vendorId = options.vendorId;
  info.productId = options.productId;
  info.versionNumber = options.versionNumber;
  info.productString = options.productString;
  info.serial = options.serial;
  info.inputReportLength = options.reportLength;
  info.outputReportLength = options.reportLength;
  info.collection = options.collection;
  const uint32_t created = platform::CreateVirtualHidDevice(directory, options.name, info, end.hid);
  if (created == platform::kHidErrorSharingViolation) {
    std::cerr << "lx2d-reader-sim: device name '" << options.name << "' is in use in " << directory
              << "\n";
    return false;
  }
  if (created != platform::kHidOk) {
    std::cerr << "lx2d-reader-sim: cannot create device '" << options.name << "' in " << directory
              << " (error " << created << ")\n";
    return false;
  }
  end.output = std::make_unique<CReportOutput>(*end.hid, options.reportLength, options.reportId,
                                               options.reportIntervalMs);
  end.device = std::make_unique<CHidSimDevice>(*end.hid, options.reportLength);
  end.address = end.hid->InterfacePath();
  return true;
}

bool OpenSerialEnd(const SimOptions& options, SimEnd& end) {
  std::string directory;
  if (platform::EnsureDirectory(platform::Directory::kRuntime, "serial", &directory) !=
      platform::ERROR_SUCCESS) {
    std::cerr << "lx2d-reader-sim: cannot create the runtime folder\n";
    return false;
  }
  const platform::SerialPortIdentity identity{options.vendorId, options.productId,
                                              options.productString, options.serial};
  const uint32_t created =
      platform::CreatePseudoTerminalPort(directory, options.name, identity, end.port);
  if (created != platform::kSerialOk) {
    std::cerr << "lx2d-reader-sim: cannot create port '" << options.name << "' in " << directory
              << " (error " << created << ")\n";
    return false;
  }
  end.output = std::make_unique<CSerialOutput>(*end.port);
  end.device = std::make_unique<CSerialSimDevice>(*end.port);
  end.address = end.port->PortPath();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  bool help = false;
  std::string error;
  if (!ParseSimOptions({argv + 1, argv + argc}, options, help, error)) {
    std::cerr << "lx2d-reader-sim: " << error << "\n" << kSimUsage;
    return 2;
  }
  if (help) {
    std::cout << kSimUsage;
    return 0;
  }
  std::ofstream record;
  if (!options.recordFile.empty()) {
    record.open(options.recordFile, std::ios::app);
    if (!record) {
      std::cerr << "lx2d-reader-sim: cannot open " << options.recordFile << "\n";
      return 1;
    }
  }
  SimEnd end;
  if (!(options.serialPort ? OpenSerialEnd(options, end) : OpenHidEnd(options, end))) return 1;
  wakeTarget.store(end.device.get());
  std::signal(SIGTERM, OnStopSignal);
  std::signal(SIGINT, OnStopSignal);
  std::cout << "lx2d-reader-sim: " << end.address << std::endl;

  CReaderLink link(*end.output, options.faults, record.is_open() ? &record : nullptr);

  CCommandQueue commands;
  std::thread([&commands, target = end.device.get()] {
    std::string line;
    while (std::getline(std::cin, line)) {
      commands.Push(line);
      target->Wake();
    }
  }).detach();  // a blocked read of standard input must not hold the exit

  ServeDevice(*end.device, link, stopRequested, &commands,
              [&](const std::string& line) { return RunCommand(line, link, *end.device); });
  wakeTarget.store(nullptr);
  end.Close();  // unplugs and removes the device's files
  link.Parameters().PrintWritten(std::cout);
  return 0;
}

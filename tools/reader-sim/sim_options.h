// Command line of lx2d-reader-sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reader_link.h"

namespace lx2d::sim {

struct SimOptions {
  std::string name = "lx2d-reader";  // virtual device or serial port name
  bool serialPort = false;           // a pseudo-terminal instead of a virtual HID device
  uint16_t vendorId = 0x0D2A;
  uint16_t productId = 0x0801;
  uint16_t versionNumber = 0x0100;
  int collection = 2;
  uint16_t reportLength = 64;
  uint8_t reportId = 2;  // byte 0 of every input report
  std::string productString = "2D Barcode Reader";
  std::string serial = "SIM0000001";
  uint32_t reportIntervalMs = 0;  // pause between input reports
  std::string recordFile;
  LinkFaults faults;
};

// Parses argv[1..]. False with a message in `error` for an unknown option, a
// missing or malformed value; `help` set for --help.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, bool& help,
                     std::string& error);

extern const char kSimUsage[];

}  // namespace lx2d::sim

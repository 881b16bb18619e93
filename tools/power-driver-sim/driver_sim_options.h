// Command line of lx2d-power-driver-sim.
#pragma once

#include <string>
#include <vector>

namespace lx2d::sim {

struct DriverSimOptions {
  std::string name = "lx2d-power";  // interface name in the class folder
  std::string version = "1.0.8.0";  // its "DriverVersion"
  bool sessions = true;             // false: probe answered ERROR_NOT_SUPPORTED
  bool wrongKey = false;            // prove with another key than the host's
  std::string keyFile;              // empty: LX2D_SYSTEM_DIR/power/auth.key
  int repeatStatusCalls = 0;        // next misc calls answered with status 4
  std::string powerCommand;         // runs while item 0 is 1
};

// Parses argv[1..]. False with a message in `error` for an unknown option or
// a missing or malformed value; `help` set for --help.
bool ParseDriverSimOptions(const std::vector<std::string>& args, DriverSimOptions& options,
                           bool& help, std::string& error);

extern const char kDriverSimUsage[];

}  // namespace lx2d::sim

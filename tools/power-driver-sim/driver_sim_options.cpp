#include "driver_sim_options.h"

#include <charconv>

namespace lx2d::sim {

const char kDriverSimUsage[] =
    "usage: lx2d-power-driver-sim [options]\n"
    "Serves the power-control driver's device interface in\n"
    "LX2D_SYSTEM_DIR/devices/{80DCC0C5-BD3E-4BC0-8A06-11EAE4AE7224}/NAME and prints\n"
    "one line per misc call. SIGTERM or SIGINT ends it.\n"
    "  --name NAME           interface name (default lx2d-power)\n"
    "  --version TEXT        DriverVersion (default 1.0.8.0; 1.0.7.0 has no session)\n"
    "  --no-session          answer the session probe with ERROR_NOT_SUPPORTED:\n"
    "                        plain capsules, no handshake\n"
    "  --wrong-key           prove the driver with another key than the host's\n"
    "  --key-file PATH       the 16-byte authentication key (default\n"
    "                        LX2D_SYSTEM_DIR/power/auth.key, else the development key)\n"
    "  --repeat-status N     answer the next N misc calls with status 4\n"
    "  --power-command CMD   start CMD (with /bin/sh) when item 0 is set to 1,\n"
    "                        stop it when item 0 is set to 0\n"
    "  --help\n";

bool ParseDriverSimOptions(const std::vector<std::string>& args, DriverSimOptions& options,
                           bool& help, std::string& error) {
  help = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "--name" || arg == "--version" || arg == "--key-file" ||
                            arg == "--repeat-status" || arg == "--power-command";
    if (takesValue && i + 1 >= args.size()) {
      error = arg + " needs a value";
      return false;
    }
    if (arg == "--help") {
      help = true;
    } else if (arg == "--no-session") {
      options.sessions = false;
    } else if (arg == "--wrong-key") {
      options.wrongKey = true;
    } else if (arg == "--name") {
      options.name = args[++i];
    } else if (arg == "--version") {
      options.version = args[++i];
    } else if (arg == "--key-file") {
      options.keyFile = args[++i];
    } else if (arg == "--power-command") {
      options.powerCommand = args[++i];
    } else if (arg == "--repeat-status") {
      const std::string& text = args[++i];
      int count = 0;
      const auto [end, why] = std::from_chars(text.data(), text.data() + text.size(), count);
      if (why != std::errc() || end != text.data() + text.size() || count < 0) {
        error = "--repeat-status needs a count, not '" + text + "'";
        return false;
      }
      options.repeatStatusCalls = count;
    } else {
      error = "unknown option '" + arg + "'";
      return false;
    }
  }
  if (options.name.empty() || options.version.empty()) {
    error = "--name and --version need a text";
    return false;
  }
  return true;
}

}  // namespace lx2d::sim

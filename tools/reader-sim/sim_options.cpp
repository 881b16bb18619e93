#include "sim_options.h"

#include <charconv>

namespace lx2d::sim {

const char kSimUsage[] =
    "usage: lx2d-reader-sim [options]\n"
    "A simulated 2D barcode reader on a virtual HID device in $LX2D_RUNTIME_DIR/vhid,\n"
    "or with --serial on a pseudo-terminal linked as $LX2D_RUNTIME_DIR/serial/NAME.\n"
    "Runs until SIGTERM or SIGINT. Commands on standard input, one per line:\n"
    "  bcd TEXT | sbcd TEXT   send barcode (setup barcode) data\n"
    "  evt HEX                send an event report with the given payload\n"
    "  raw TEXT               send TEXT and a line feed outside frames\n"
    "  unplug                 close the host's connection (serial: the port is\n"
    "                         published afresh, also freeing one a killed host\n"
    "                         left claimed)\n"
    "  quit                   end the simulator\n"
    "Device:\n"
    "  --name NAME              device name (lx2d-reader)\n"
    "  --serial                 a serial port (no report options apply)\n"
    "  --vendor ID --product ID --version BCD   (0x0d2a, 0x0801, 0x0100)\n"
    "  --collection N           0 for a single-collection device (2)\n"
    "  --report-length N        input and output report bytes, 3..64 (64)\n"
    "  --report-id N            byte 0 of input reports (2)\n"
    "  --product-string TEXT --serial-number TEXT  (\"2D Barcode Reader\", SIM0000001)\n"
    "Faults and pacing:\n"
    "  --report-interval MS     pause between input reports (0)\n"
    "  --answer-after MS        ignore what the host sends for MS after the start\n"
    "  --ack-delay MS --reply-delay MS\n"
    "  --drop-acks N --busy N --sydn N --nak N  answer the next N requests so\n"
    "  --duplicate-replies      send every reply frame twice\n"
    "  --ignore-sync            never answer the host's SYNC\n"
    "  --split N                split replies into frames of N payload bytes\n"
    "  --record FILE            append one JSON object per request received\n";

namespace {

bool Number(const std::string& text, uint32_t limit, uint32_t& out) {
  std::string_view digits = text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  const auto [end, status] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (status != std::errc() || end != digits.data() + digits.size() || digits.empty() ||
      value > limit) {
    return false;
  }
  out = value;
  return true;
}

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, bool& help,
                     std::string& error) {
  help = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--help" || option == "-h") {
      help = true;
      return true;
    }
    if (option == "--duplicate-replies") {
      options.faults.duplicateReplies = true;
      continue;
    }
    if (option == "--serial") {
      options.serialPort = true;
      continue;
    }
    if (option == "--ignore-sync") {
      options.faults.ignoreSync = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = option.starts_with("--") ? option + " needs a value" : "unknown argument " + option;
      return false;
    }
    const std::string& value = args[++i];
    uint32_t number = 0;
    // Numeric options: where the value goes and its largest value.
    struct NumericOption {
      const char* name;
      uint32_t limit;
    };
    static constexpr NumericOption kNumeric[] = {
        {"--vendor", 0xFFFF},         {"--product", 0xFFFF},   {"--version", 0xFFFF},
        {"--collection", 99},         {"--report-length", 64}, {"--report-id", 0xFF},
        {"--report-interval", 60000}, {"--ack-delay", 60000},  {"--reply-delay", 60000},
        {"--drop-acks", 1000000},     {"--busy", 1000000},     {"--sydn", 1000000},
        {"--nak", 1000000},           {"--split", 65535},      {"--answer-after", 600000},
    };
    const NumericOption* numeric = nullptr;
    for (const NumericOption& candidate : kNumeric) {
      if (option == candidate.name) numeric = &candidate;
    }
    if (numeric != nullptr) {
      if (!Number(value, numeric->limit, number)) {
        error = "bad value for " + option + ": " + value;
        return false;
      }
    }
    if (option == "--name")
      options.name = value;
    else if (option == "--product-string")
      options.productString = value;
    else if (option == "--serial-number")
      options.serial = value;
    else if (option == "--record")
      options.recordFile = value;
    else if (option == "--vendor")
      options.vendorId = static_cast<uint16_t>(number);
    else if (option == "--product")
      options.productId = static_cast<uint16_t>(number);
    else if (option == "--version")
      options.versionNumber = static_cast<uint16_t>(number);
    else if (option == "--collection")
      options.collection = static_cast<int>(number);
    else if (option == "--report-length")
      options.reportLength = static_cast<uint16_t>(number);
    else if (option == "--report-id")
      options.reportId = static_cast<uint8_t>(number);
    else if (option == "--report-interval")
      options.reportIntervalMs = number;
    else if (option == "--ack-delay")
      options.faults.ackDelayMs = number;
    else if (option == "--reply-delay")
      options.faults.replyDelayMs = number;
    else if (option == "--drop-acks")
      options.faults.dropAcks = static_cast<int>(number);
    else if (option == "--busy")
      options.faults.busy = static_cast<int>(number);
    else if (option == "--sydn")
      options.faults.sydn = static_cast<int>(number);
    else if (option == "--nak")
      options.faults.nak = static_cast<int>(number);
    else if (option == "--split")
      options.faults.replyFrameBytes = number;
    else if (option == "--answer-after")
      options.faults.answerAfterMs = number;
    else {
      error = "unknown option " + option;
      return false;
    }
  }
  if (options.reportLength < 3) {
    error = "--report-length must be 3..64";
    return false;
  }
  return true;
}

}  // namespace lx2d::sim

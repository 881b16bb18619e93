#include "vscp_cli.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "frame_codec.h"
#include "frame_tracer.h"

namespace lx2d {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::string_view kUsage =
    "usage: lx2d-vscp encode --number N --kind K [--ext X1,X2] --flags F [PAYLOAD_HEX]\n"
    "       lx2d-vscp encode --control --number N --code C [--data D]\n"
    "       lx2d-vscp decode   (hex pairs on standard input, decoded line by line)\n"
    "--ext: the extension field carries the low byte of X1 and of X2; 0xFFFF in\n"
    "either leaves the field out. Lost high bytes and a dropped field are\n"
    "reported on standard error.\n";

// A failed parse carries the message for standard error.
struct Error {
  std::string message;
};

// Decimal or 0x-prefixed hexadecimal, at most `max`.
std::optional<uint32_t> ParseNumber(std::string_view text, uint32_t max) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) {
    return std::nullopt;
  }
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Hex pairs in either case; white space may stand anywhere between digits.
std::optional<Bytes> ParseHex(std::string_view text, Error& error) {
  Bytes bytes;
  int high = -1;
  for (char c : text) {
    if (IsBlank(c)) continue;
    const int digit = HexDigit(c);
    if (digit < 0) {
      error.message = "not a hex digit: '" + std::string(1, c) + "'";
      return std::nullopt;
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  if (high >= 0) {
    error.message = "odd number of hex digits";
    return std::nullopt;
  }
  return bytes;
}

std::string HexPairs(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (uint8_t byte : bytes) {
    if (!text.empty()) text.push_back(' ');
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

// The options of `encode`, each numeric one range-checked as it is read.
struct EncodeOptions {
  bool control = false;
  std::optional<uint32_t> number, kind, flags, code;
  uint32_t data = 0;
  bool extGiven = false;
  uint16_t ext1 = kNoExtension, ext2 = kNoExtension;
  std::optional<Bytes> payload;
};

struct NumericOption {
  std::string_view name;
  uint32_t max;
  std::optional<uint32_t> EncodeOptions::*field;
};

constexpr NumericOption kNumericOptions[] = {
    {"--number", 0xFF, &EncodeOptions::number},
    {"--kind", 0xFF, &EncodeOptions::kind},
    {"--flags", 0xFF, &EncodeOptions::flags},
    {"--code", 0xFF, &EncodeOptions::code},
};

std::optional<EncodeOptions> ParseEncode(std::span<const std::string_view> args, Error& error) {
  EncodeOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--control") {
      options.control = true;
      continue;
    }
    const bool takesValue = arg == "--ext" || arg == "--data" ||
                            std::any_of(std::begin(kNumericOptions), std::end(kNumericOptions),
                                        [&](const NumericOption& o) { return o.name == arg; });
    if (!takesValue) {
      if (arg.starts_with("--") || options.payload) {
        error.message = "unexpected argument: " + std::string(arg);
        return std::nullopt;
      }
      options.payload = ParseHex(arg, error);
      if (!options.payload) return std::nullopt;
      if (options.payload->size() > kMaxRequestPayload) {
        error.message = "payload longer than 65535 bytes";
        return std::nullopt;
      }
      continue;
    }
    if (++i == args.size()) {
      error.message = std::string(arg) + " needs a value";
      return std::nullopt;
    }
    const std::string_view value = args[i];
    auto bad = [&](std::string_view range) {
      error.message = std::string(arg) + ": '" + std::string(value) + "' is not a number in " +
                      std::string(range);
      return std::nullopt;
    };
    if (arg == "--ext") {
      const size_t comma = value.find(',');
      const auto x1 = ParseNumber(value.substr(0, comma), 0xFFFF);
      const auto x2 = comma == std::string_view::npos
                          ? std::nullopt
                          : ParseNumber(value.substr(comma + 1), 0xFFFF);
      if (!x1 || !x2) return bad("0..0xFFFF (two values: X1,X2)");
      options.extGiven = true;
      options.ext1 = static_cast<uint16_t>(*x1);
      options.ext2 = static_cast<uint16_t>(*x2);
    } else if (arg == "--data") {
      const auto d = ParseNumber(value, 0xFF);
      if (!d) return bad("0..255");
      options.data = *d;
    } else {
      for (const NumericOption& o : kNumericOptions) {
        if (o.name != arg) continue;
        options.*o.field = ParseNumber(value, o.max);
        if (!(options.*o.field)) return bad("0..255");
      }
    }
  }
  return options;
}

// Says on `err` what the encoder's extension rule does to the given values:
// only low bytes are sent, and kNoExtension in either drops the field.
void WarnAboutExtension(const EncodeOptions& options, std::ostream& err) {
  if (options.ext1 == kNoExtension || options.ext2 == kNoExtension) {
    err << "lx2d-vscp: --ext: 0xFFFF means no extension field; the frame is sent without one\n";
    return;
  }
  for (uint16_t value : {options.ext1, options.ext2}) {
    if (value > 0xFF) {
      char text[80];
      std::snprintf(text, sizeof text, "only the low byte of 0x%X (0x%02X) is sent", value,
                    value & 0xFF);
      err << "lx2d-vscp: --ext: " << text << '\n';
    }
  }
}

int Encode(std::span<const std::string_view> args, std::ostream& out, std::ostream& err,
           Error& error) {
  const auto options = ParseEncode(args, error);
  if (!options) return kCliBadInput;
  Bytes wire;
  if (options->control) {
    if (!options->number || !options->code || options->kind || options->flags || options->payload ||
        options->extGiven) {
      error.message = "a control frame takes --number, --code and optionally --data";
      return kCliBadInput;
    }
    EncodeControl(static_cast<uint8_t>(*options->number), static_cast<uint8_t>(*options->code),
                  static_cast<uint8_t>(options->data), wire);
  } else {
    if (!options->number || !options->kind || !options->flags || options->code) {
      error.message = "a full frame takes --number, --kind and --flags";
      return kCliBadInput;
    }
    if (options->extGiven) WarnAboutExtension(*options, err);
    EncodeFrame(static_cast<uint8_t>(*options->number), static_cast<uint8_t>(*options->kind),
                options->ext1, options->ext2, options->payload.value_or(Bytes{}),
                static_cast<uint8_t>(*options->flags), wire);
  }
  out << HexPairs(wire) << '\n';
  return kCliOk;
}

// Prints what the decoder makes of a capture as it reads it, in stream
// order: accepted frames as trace lines, runs of bytes outside frames as
// "raw:" (a long run in lines of kRawLineBytes), frames that were dropped (or
// cut off by the end of input) as "dropped:" with their wire bytes. Memory
// stays bounded whatever the input's length: one input line part, one frame
// and one raw line at a time.
class CStreamDecoder {
 public:
  explicit CStreamDecoder(std::ostream& output) : out(output) {}

  // Takes the hex digits of `text`; false with error.message at the first
  // character that is no hex digit.
  bool Take(std::string_view text, Error& error) {
    for (char c : text) {
      if (IsBlank(c)) continue;
      const int digit = HexDigit(c);
      if (digit < 0) {
        error.message = "not a hex digit: '" + std::string(1, c) + "'";
        return false;
      }
      if (high < 0) {
        high = digit;
      } else {
        Feed(static_cast<uint8_t>(high << 4 | digit));
        high = -1;
      }
    }
    return true;
  }

  // Ends the input; false when a hex pair was left open.
  bool Finish(Error& error) {
    if (high >= 0) {
      error.message = "odd number of hex digits";
      return false;
    }
    Flush("raw: ", raw);
    Flush("dropped: ", frame);
    return true;
  }

 private:
  static constexpr size_t kRawLineBytes = 4096;

  void Flush(std::string_view label, Bytes& bytes) {
    if (bytes.empty()) return;
    out << label << HexPairs(bytes) << '\n';
    bytes.clear();
  }

  void Feed(uint8_t byte) {
    switch (decoder.Feed(byte)) {
      case DecodeStatus::kOutsideFrame:
        raw.push_back(byte);
        if (raw.size() == kRawLineBytes) Flush("raw: ", raw);
        break;
      case DecodeStatus::kRestarted:
        Flush("dropped: ", frame);
        frame.push_back(byte);
        break;
      case DecodeStatus::kInProgress:
        Flush("raw: ", raw);
        frame.push_back(byte);
        break;
      case DecodeStatus::kFrameAccepted:
      case DecodeStatus::kControlAccepted:
        frame.clear();
        out << TraceFrame(decoder.Frame(), TraceDirection::kReceived).line << '\n';
        break;
      case DecodeStatus::kDropped:
        frame.push_back(byte);
        Flush("dropped: ", frame);
        break;
    }
  }

  std::ostream& out;
  CFrameDecoder decoder{kAcceptBoth};
  Bytes raw, frame;
  int high = -1;  // the first digit of a pair, which may end a line
};

// Decodes `in` line by line; a bad token is reported with its line number as
// soon as it is read, after what came before it was printed.
int Decode(std::istream& in, std::ostream& out, Error& error) {
  CStreamDecoder decoder(out);
  char part[4096];
  long line = 1;
  while (true) {
    in.get(part, sizeof part, '\n');  // a long line comes in parts
    const std::streamsize got = in.gcount();
    if (in.fail() && !in.eof()) in.clear();  // an empty line
    if (!decoder.Take(std::string_view(part, static_cast<size_t>(got)), error)) {
      error.message = "line " + std::to_string(line) + ": " + error.message;
      return kCliBadInput;
    }
    const int next = in.get();
    if (next == std::char_traits<char>::eof()) break;
    if (next == '\n') {
      ++line;
      out.flush();  // what the line completed is seen at once
    } else {
      in.unget();
    }
  }
  if (!decoder.Finish(error)) {
    error.message = "line " + std::to_string(line) + ": " + error.message;
    return kCliBadInput;
  }
  return kCliOk;
}

}  // namespace

int RunVscpCli(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
               std::ostream& err) {
  Error error;
  int status = kCliBadInput;
  if (!args.empty() && args[0] == "encode") {
    status = Encode(args.subspan(1), out, err, error);
  } else if (args.size() == 1 && args[0] == "decode") {
    status = Decode(in, out, error);
  } else {
    err << kUsage;
    return kCliBadInput;
  }
  if (status != kCliOk) err << "lx2d-vscp: " << error.message << '\n';
  return status;
}

}  // namespace lx2d

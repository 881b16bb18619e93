#include "vscp_cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace lx2d {
namespace {

struct CliResult {
  int status;
  std::string out;
  std::string err;
};

CliResult RunCli(std::vector<std::string_view> args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = RunVscpCli(args, in, out, err);
  return {status, out.str(), err.str()};
}

struct Case {
  const char* name;
  std::vector<std::string_view> args;
  std::string input;
  std::string out;
};

TEST(VscpCli, GoodCommands_PrintExactly) {
  const Case cases[] = {
      {"full frame",
       {"encode", "--number", "5", "--kind", "0x40", "--flags", "0x68", "0210"},
       "",
       "02 05 40 10 42 10 50 68 01 A7 03\n"},
      {"no payload",
       {"encode", "--number", "1", "--kind", "0x41", "--flags", "0x60"},
       "",
       "02 01 41 60 00 E5 03\n"},
      {"extension",
       {"encode", "--number", "1", "--kind", "0xF0", "--ext", "1,0x02", "--flags", "96"},
       "",
       "02 01 F0 01 10 42 60 04 2C 03\n"},
      {"control",
       {"encode", "--control", "--number", "0x10", "--code", "0x15", "--data", "3"},
       "",
       "02 10 50 15 10 43 03\n"},
      {"control without data",
       {"encode", "--control", "--number", "5", "--code", "6"},
       "",
       "02 05 06 00 03\n"},
      {"decode the example",
       {"decode"},
       "02 05 40 10 42 10 50 68 01 A7 03\n",
       "LF.R0 Rx: (SR  ) 02 05 40 02 10 68 01 A7 03\n"},
      {"decode mixed capture",
       {"decode"},
       "41 42 02 05 06 00 03 02 05 40 10 10 0d 0a\n02 01 41\n60 00 e5 03 02 09",
       "raw: 41 42\n"
       "      Rx: (ACK ) 02 05 06 00 03\n"
       "dropped: 02 05 40 10 10\n"
       "raw: 0D 0A\n"
       "LF..0 Rx: (SW  ) 02 01 41 60 00 E5 03\n"
       "dropped: 02 09\n"},
      {"decode restart",
       {"decode"},
       "020541 02050600 03",
       "dropped: 02 05 41\n      Rx: (ACK ) 02 05 06 00 03\n"},
      {"decode nothing", {"decode"}, "  \n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CliResult result = RunCli(c.args, c.input);
    EXPECT_EQ(result.status, kCliOk) << result.err;
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, "");
  }
}

TEST(VscpCli, BadInput_Status2AndNothingOnStdout) {
  const Case cases[] = {
      {"odd digits", {"decode"}, "02 0", ""},
      {"not hex", {"decode"}, "02 zz", ""},
      {"number too big", {"encode", "--number", "256", "--kind", "1", "--flags", "0"}, "", ""},
      {"bad hex number", {"encode", "--number", "0x1G", "--kind", "1", "--flags", "0"}, "", ""},
      {"negative", {"encode", "--number", "-1", "--kind", "1", "--flags", "0"}, "", ""},
      {"missing flags", {"encode", "--number", "1", "--kind", "1"}, "", ""},
      {"missing value", {"encode", "--number"}, "", ""},
      {"ext one value",
       {"encode", "--number", "1", "--kind", "1", "--ext", "5", "--flags", "0"},
       "",
       ""},
      {"ext too big",
       {"encode", "--number", "1", "--kind", "1", "--ext", "1,65536", "--flags", "0"},
       "",
       ""},
      {"odd payload", {"encode", "--number", "1", "--kind", "1", "--flags", "0", "021"}, "", ""},
      {"control with ext",
       {"encode", "--control", "--number", "1", "--code", "6", "--ext", "1,0xFFFF"},
       "",
       ""},
      {"control with no-extension ext",
       {"encode", "--control", "--number", "1", "--code", "6", "--ext", "0xFFFF,1"},
       "",
       ""},
      {"control with kind",
       {"encode", "--control", "--number", "1", "--code", "6", "--kind", "1"},
       "",
       ""},
      {"unknown option", {"encode", "--nomber", "1"}, "", ""},
      {"no command", {}, "", ""},
      {"unknown command", {"dump"}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CliResult result = RunCli(c.args, c.input);
    EXPECT_EQ(result.status, kCliBadInput);
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(result.err.empty());
    EXPECT_EQ(result.err.back(), '\n');
  }
}

TEST(VscpCli, ExtensionRule_StatedAndReported) {
  EXPECT_NE(RunCli({}).err.find("low byte"), std::string::npos);  // the usage states it
  struct ExtCase {
    const char* ext;
    const char* wire;     // the encoder's rule, unchanged
    const char* warning;  // empty: none
  };
  const ExtCase cases[] = {
      {"1,0x02", "02 01 F0 01 10 42 60 04 2C 03", ""},
      {"0x1234,0x2FF", "02 01 F0 34 FF 60 06 BF 03", "only the low byte of 0x1234 (0x34)"},
      {"1,0xFFFF", "02 01 F0 60 10 42 43 03", "no extension field"},
      {"0xFFFF,1", "02 01 F0 60 10 42 43 03", "no extension field"},
  };
  for (const ExtCase& c : cases) {
    SCOPED_TRACE(c.ext);
    const CliResult result =
        RunCli({"encode", "--number", "1", "--kind", "0xF0", "--ext", c.ext, "--flags", "96"});
    EXPECT_EQ(result.status, kCliOk);
    EXPECT_EQ(result.out, std::string(c.wire) + "\n");
    if (*c.warning == '\0') {
      EXPECT_EQ(result.err, "");
    } else {
      EXPECT_NE(result.err.find(c.warning), std::string::npos) << result.err;
    }
  }
}

// Serves `lines` copies of one frame line, then checks that the decoder had
// printed a trace line for each of them before the input ended.
class CFrameLines final : public std::streambuf {
 public:
  CFrameLines(int lines, const std::ostringstream& output) : left(lines), out(output) {}
  bool printedBeforeEnd = false;

 protected:
  int_type underflow() override {
    if (left == 0) {
      const std::string text = out.str();
      printedBeforeEnd = std::count(text.begin(), text.end(), '\n') == kLines;
      return traits_type::eof();
    }
    --left;
    setg(line, line, line + sizeof line - 1);  // without the terminating NUL
    return traits_type::to_int_type(line[0]);
  }

 public:
  static constexpr int kLines = 2000;

 private:
  char line[16] = "02 05 06 00 03\n";
  int left;
  const std::ostringstream& out;
};

TEST(VscpCli, Decode_PrintsAsItReadsAndStopsAtTheFirstBadLine) {
  std::ostringstream out, err;
  CFrameLines source(CFrameLines::kLines, out);
  std::istream in(&source);
  const std::string_view decode[] = {"decode"};
  EXPECT_EQ(RunVscpCli(decode, in, out, err), kCliOk);
  EXPECT_TRUE(source.printedBeforeEnd);

  const CliResult bad = RunCli({"decode"}, "02 05 06 00 03\n41\n42 zz 43\n44\n");
  EXPECT_EQ(bad.status, kCliBadInput);
  EXPECT_EQ(bad.out, "      Rx: (ACK ) 02 05 06 00 03\n");
  EXPECT_EQ(bad.err, "lx2d-vscp: line 3: not a hex digit: 'z'\n");
  // A pair may straddle lines; one left open at the end is named with the last line.
  EXPECT_EQ(RunCli({"decode"}, "4\n1\n").out, "raw: 41\n");
  EXPECT_EQ(RunCli({"decode"}, "41\n4").err, "lx2d-vscp: line 2: odd number of hex digits\n");
}

TEST(VscpCli, PayloadLimit_65535Accepted65536Refused) {
  const std::string big(65535 * 2, 'A');
  EXPECT_EQ(RunCli({"encode", "--number", "1", "--kind", "0x41", "--flags", "0x60", big}).status,
            kCliOk);
  const std::string tooBig(65536 * 2, 'A');
  EXPECT_EQ(RunCli({"encode", "--number", "1", "--kind", "0x41", "--flags", "0x60", tooBig}).status,
            kCliBadInput);
}

}  // namespace
}  // namespace lx2d

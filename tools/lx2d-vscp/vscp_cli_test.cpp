#include "vscp_cli.h"

#include <gtest/gtest.h>

#include <sstream>
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

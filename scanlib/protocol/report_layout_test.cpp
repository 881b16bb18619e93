#include "report_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace lx2d {
namespace {

struct LayoutCase {
  const char* name;
  std::vector<uint8_t> payload;
  bool valid;
};

TEST(ReportLayoutTest, Bcd_DeclaredLengthMustMatch) {
  const LayoutCase cases[] = {
      {"five data bytes", {0x00, 0x05, 1, 2, 3, 4, 5}, true},
      {"empty data", {0x00, 0x00}, true},
      {"one byte short", {0x00, 0x05, 1, 2, 3, 4}, false},
      {"one byte over", {0x00, 0x01, 1, 2}, false},
      {"high length byte counts", {0x01, 0x00, 1}, false},
      {"no length field", {0x00}, false},
      {"nothing", {}, false},
  };
  for (const LayoutCase& c : cases) EXPECT_EQ(BcdLayoutValid(c.payload), c.valid) << c.name;
}

TEST(ReportLayoutTest, Bcdex_FiveLengthsMustAddUp) {
  std::vector<uint8_t> header(13, 0xEE);  // bytes 0-2 are not read
  for (size_t at = 3; at < 13; ++at) header[at] = 0;
  std::vector<uint8_t> withData = header;
  withData[4] = 2;   // first length 2
  withData[12] = 1;  // fifth length 1
  withData.insert(withData.end(), {7, 8, 9});
  std::vector<uint8_t> missingByte(withData.begin(), withData.end() - 1);
  const LayoutCase cases[] = {
      {"header only, all lengths 0", header, true},
      {"lengths 2 and 1 with 3 bytes", withData, true},
      {"one data byte missing", missingByte, false},
      {"short header", std::vector<uint8_t>(12, 0), false},
  };
  for (const LayoutCase& c : cases) EXPECT_EQ(BcdexLayoutValid(c.payload), c.valid) << c.name;
}

TEST(ReportLayoutTest, Evt_ElementWalk) {
  const LayoutCase cases[] = {
      {"empty", {}, true},
      {"2-byte element", {0x10, 0x00}, true},
      {"3-byte element", {0x10, 0x40, 0x01}, true},
      {"4-byte element", {0x10, 0x80, 0x01, 0x02}, true},
      {"variable element, M = 3", {0x10, 0xC0, 0x00, 0x03, 0xAA}, true},
      {"all four in a row", {0x10, 0x00, 0x11, 0x40, 1, 0x12, 0x80, 1, 2, 0x13, 0xC0, 0, 2}, true},
      {"last element runs past the end", {0x10, 0x80, 0x01}, true},
      {"one byte left at an element start", {0x10, 0x00, 0x11}, false},
      {"single byte", {0x10}, false},
      {"variable element without its length field", {0x10, 0xC0, 0x00}, false},
  };
  for (const LayoutCase& c : cases) EXPECT_EQ(EvtLayoutValid(c.payload), c.valid) << c.name;
}

}  // namespace
}  // namespace lx2d

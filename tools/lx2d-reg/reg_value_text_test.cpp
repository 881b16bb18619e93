#include "reg_value_text.h"

#include <gtest/gtest.h>

namespace lx2d::reg {
namespace {

using platform::REG_BINARY;
using platform::REG_DWORD;
using platform::REG_EXPAND_SZ;
using platform::REG_MULTI_SZ;
using platform::REG_SZ;

TEST(RegValueTextTest, FormatData_PerType) {
  struct Case {
    platform::DWORD type;
    Bytes data;
    const char* shown;
  };
  const Case cases[] = {
      {REG_DWORD, {0xDC, 0x05, 0x00, 0x00}, "0x5dc"},
      {REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, "0xffffffff"},
      {REG_DWORD, {0x01, 0x02}, "0102"},  // not 4 bytes: shown raw
      {REG_SZ, {'A', 0, 'b', 0, 0, 0}, "Ab"},
      {REG_SZ, {'A', 0, 'b', 0}, "Ab"},  // no terminator stored
      {REG_EXPAND_SZ, {'%', 0, 'X', 0, '%', 0, 0, 0}, "%X%"},
      {REG_SZ, {0xE9, 0x00, 0, 0}, "\xC3\xA9"},  // é as UTF-8
      {REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}, "a\\0bc"},
      {REG_BINARY, {0x00, 0xAB, 0x10}, "00AB10"},
      {REG_BINARY, {}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatData(c.type, c.data), c.shown) << c.shown;
}

TEST(RegValueTextTest, FormatBytes_SpacedUpperHex) {
  EXPECT_EQ(FormatBytes({0xDC, 0x05, 0x00, 0x00}), "DC 05 00 00");
  EXPECT_EQ(FormatBytes({}), "");
}

TEST(RegValueTextTest, ParseData_PerType) {
  struct Case {
    platform::DWORD type;
    const char* text;
    std::optional<Bytes> bytes;
  };
  const Case cases[] = {
      {REG_DWORD, "1500", Bytes{0xDC, 0x05, 0, 0}},
      {REG_DWORD, "0x5DC", Bytes{0xDC, 0x05, 0, 0}},
      {REG_DWORD, "4294967295", Bytes{0xFF, 0xFF, 0xFF, 0xFF}},
      {REG_DWORD, "4294967296", std::nullopt},
      {REG_DWORD, "-1", std::nullopt},
      {REG_DWORD, "12ab", std::nullopt},
      {REG_DWORD, "", std::nullopt},
      {REG_DWORD, "0x0x10", std::nullopt},
      {REG_DWORD, "0x+5", std::nullopt},
      {REG_DWORD, "\t5", std::nullopt},
      {REG_DWORD, "99999999999999999999999", std::nullopt},
      {REG_SZ, "Ab", Bytes{'A', 0, 'b', 0, 0, 0}},
      {REG_SZ, "", Bytes{0, 0}},
      {REG_MULTI_SZ, "a\\0b", Bytes{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {REG_MULTI_SZ, "", Bytes{0, 0}},
      {REG_MULTI_SZ, "a\\0", Bytes{'a', 0, 0, 0, 0, 0}},  // a closing separator
      {REG_MULTI_SZ, "a\\0\\0b", std::nullopt},           // an empty item would end the list
      {REG_SZ, "\xFF", std::nullopt},
      {REG_SZ, "\xED\xA0\x80", Bytes{0x00, 0xD8, 0, 0}},  // a lone surrogate stands for itself
      {REG_SZ, "\xC0\x80", std::nullopt},                 // overlong
      {REG_BINARY, "00ff10", Bytes{0x00, 0xFF, 0x10}},
      {REG_BINARY, "0", std::nullopt},
      {REG_BINARY, "zz", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseData(c.type, c.text), c.bytes) << c.text;
}

TEST(RegValueTextTest, TypeNames_BothWays) {
  EXPECT_EQ(TypeName(REG_DWORD), "REG_DWORD");
  EXPECT_EQ(TypeName(11), "REG_UNKNOWN(11)");
  EXPECT_EQ(TypeFromName("reg_multi_sz"), REG_MULTI_SZ);
  EXPECT_EQ(TypeFromName("REG_QWORD"), std::nullopt);
}

}  // namespace
}  // namespace lx2d::reg

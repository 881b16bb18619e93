#include "profile_text.h"

#include <gtest/gtest.h>

#include "settings_test_support.h"

namespace lx2d {
namespace {

constexpr std::u16string_view kDefault = u"<absent>";

std::u16string Lookup(std::u16string_view text, std::u16string_view section,
                      std::u16string_view key) {
  return LookupProfileString(ParseProfile(text), section, key, kDefault);
}

struct LookupCase {
  const char* what;
  std::u16string_view text;
  std::u16string_view section;
  std::u16string_view key;
  std::u16string_view expected;
};

TEST(ProfileLookup, Cases_MatchProfileFunctions) {
  const LookupCase cases[] = {
      {"names ignore case", u"[Codabar]\nActivate=1\n", u"CODABAR", u"ACTIVATE", u"1"},
      {"blanks trimmed", u"  [ Beep ]  \n\t Good \t=  2 \t\n", u"Beep", u"Good", u"2"},
      {"double quotes removed", u"[P]\nDATA=\" a b \"\n", u"P", u"DATA", u" a b "},
      {"single quotes removed", u"[P]\nDATA='x'\n", u"P", u"DATA", u"x"},
      {"unbalanced quote kept", u"[P]\nDATA=\"x\n", u"P", u"DATA", u"\"x"},
      {"lone quote kept", u"[P]\nDATA=\"\n", u"P", u"DATA", u"\""},
      {"empty value", u"[P]\nDATA=\n", u"P", u"DATA", u""},
      {"first equals splits", u"[P]\nDATA=a=b\n", u"P", u"DATA", u"a=b"},
      {"line without equals is no value", u"[P]\nDATA\n", u"P", u"DATA", kDefault},
      {"missing key", u"[P]\nDATA=1\n", u"P", u"DATA1", kDefault},
      {"missing section", u"[P]\nDATA=1\n", u"Q", u"DATA", kDefault},
      {"first of two sections only", u"[P]\nA=1\n[P]\nB=2\n", u"P", u"B", kDefault},
      {"first of two keys", u"[P]\nA=1\nA=2\n", u"P", u"A", u"1"},
      {"CR LF lines", u"[P]\r\nA=1\r\nB=2\r\n", u"P", u"B", u"2"},
      {"comment line", u"[P]\n;A=1\nA=3\n", u"P", u"A", u"3"},
      {"keys before any section ignored", u"A=1\n[P]\n", u"P", u"A", kDefault},
      {"blank in section name", u"[MicroPDF 417]\nACTIVATE=0", u"microPDF 417", u"ACTIVATE", u"0"},
      {"no trailing newline", u"[P]\nA=7", u"P", u"A", u"7"},
  };
  for (const LookupCase& c : cases) {
    EXPECT_EQ(Lookup(c.text, c.section, c.key), c.expected) << c.what;
  }
}

TEST(ProfileLookup, LongValue_CutAt255Characters) {
  const std::u16string value(300, u'x');
  const std::u16string text = u"[P]\nDATA=" + value + u"\n";
  EXPECT_EQ(Lookup(text, u"P", u"DATA"), value.substr(0, 255));
  const std::u16string quoted = u"[P]\nDATA=\"" + value + u"\"\n";
  EXPECT_EQ(Lookup(quoted, u"P", u"DATA"), value.substr(0, 255));
}

TEST(ProfileDecode, ByteOrderMark_SelectsEncoding) {
  const testing::CLatin1CodePage latin1;
  // "é" in each encoding.
  EXPECT_EQ(DecodeProfileBytes("\xEF\xBB\xBF\xC3\xA9", latin1), u"\u00E9");
  EXPECT_EQ(DecodeProfileBytes(std::string("\xFF\xFE\xE9\x00", 4), latin1), u"\u00E9");
  EXPECT_EQ(DecodeProfileBytes(std::string("\xFE\xFF\x00\xE9", 4), latin1), u"\u00E9");
  EXPECT_EQ(DecodeProfileBytes("\xE9", latin1), u"\u00E9");
  // Without a mark, UTF-8 bytes are taken in the code page: two characters.
  EXPECT_EQ(DecodeProfileBytes("\xC3\xA9", latin1), u"\u00C3\u00A9");
}

TEST(ProfileDecode, MalformedUnicode_BecomesReplacementCharacter) {
  const testing::CLatin1CodePage latin1;
  EXPECT_EQ(DecodeProfileBytes("\xEF\xBB\xBF"
                               "a\xC3",
                               latin1),
            u"a\uFFFD");
  EXPECT_EQ(DecodeProfileBytes("\xEF\xBB\xBF\xF0\x9F\x98\x80", latin1), u"\U0001F600");
  EXPECT_EQ(DecodeProfileBytes(std::string("\xFF\xFE"
                                           "A\x00"
                                           "B",
                                           5),
                               latin1),
            u"A\uFFFD");
}

}  // namespace
}  // namespace lx2d

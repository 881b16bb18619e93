#include "platform/text.h"

#include <gtest/gtest.h>
#include <locale.h>

#include "charset_codec.h"
#include "platform/last_error.h"
#include "utf.h"

namespace lx2d::platform {
namespace {

// Runs the test body's conversions in one locale on this thread only.
class CThreadLocale {
 public:
  explicit CThreadLocale(const char* name)
      : locale(newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr))),
        previous(locale != nullptr ? uselocale(locale) : nullptr) {}
  ~CThreadLocale() {
    if (locale == nullptr) return;
    uselocale(previous);
    freelocale(locale);
  }
  bool Valid() const { return locale != nullptr; }

 private:
  locale_t locale;
  locale_t previous;
};

TEST(TextTest, Utf8AndUtf16_RoundTrip) {
  const char16_t* kTexts[] = {u"", u"AfterWakeupWait", u"caf\u00e9", u"\u65e5\u672c\u8a9e",
                              u"\U0001F600 pair"};
  for (const char16_t* text : kTexts) EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"caf\u00e9"), "caf\xC3\xA9");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(TextTest, Utf8Decode_MalformedBecomesReplacement) {
  struct Case {
    const char* bytes;
    std::u16string expected;
  };
  const Case cases[] = {
      {"a\xFF"
       "b",
       u"a\uFFFDb"},                                      // impossible byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"\xE6\x97", u"\uFFFD"},                            // cut short at the end
      {"\xE6\x97"
       "A",
       u"\uFFFDA"},  // cut short before ASCII
  };
  for (const Case& c : cases) {
    bool invalid = false;
    EXPECT_EQ(DecodeUtf8(c.bytes, &invalid), c.expected) << c.bytes;
    EXPECT_TRUE(invalid);
  }
  bool invalid = true;
  DecodeUtf8("plain", &invalid);
  EXPECT_FALSE(invalid);
}

TEST(TextTest, Utf16Encode_UnpairedSurrogateBecomesReplacement) {
  std::u16string lone = u"a";
  lone.push_back(0xD800);
  lone += u"b";
  EXPECT_EQ(Utf16ToUtf8(lone),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(TextTest, CharsetCodec_UnmappableBecomesQuestionMark) {
  struct Case {
    const char* charset;
    std::u16string text;
    std::string bytes;
    bool usedDefault;
  };
  const Case cases[] = {
      {"ISO-8859-1", u"caf\u00e9", "caf\xE9", false},
      {"ISO-8859-1", u"\u65e5x", "?x", true},
      {"ISO-8859-1", u"\U0001F600!", "?!", true},  // one '?' for the pair
      {"EUC-JP", u"\u65e5\u672c", "\xC6\xFC\xCB\xDC", false},
      {"ANSI_X3.4-1968", u"\u00e9t\u00e9", "?t?", true},
      {"UTF-8", u"\u00e9", "\xC3\xA9", false},
  };
  for (const Case& c : cases) {
    bool usedDefault = !c.usedDefault;
    EXPECT_EQ(EncodeCharset(c.charset, c.text, &usedDefault), c.bytes) << c.charset;
    EXPECT_EQ(usedDefault, c.usedDefault) << c.charset;
  }
  std::u16string lone(1, static_cast<char16_t>(0xDC00));
  bool usedDefault = false;
  EXPECT_EQ(EncodeCharset("UTF-8", lone, &usedDefault), "?");
  EXPECT_TRUE(usedDefault);
}

TEST(TextTest, CharsetCodec_DecodesAndMarksBadBytes) {
  bool invalid = true;
  EXPECT_EQ(DecodeCharset("ISO-8859-1", "caf\xE9", &invalid), u"caf\u00e9");
  EXPECT_FALSE(invalid);
  EXPECT_EQ(DecodeCharset("EUC-JP", "\xC6\xFC", &invalid), u"\u65e5");
  EXPECT_EQ(DecodeCharset("ANSI_X3.4-1968", "a\xE9", &invalid), u"a\uFFFD");
  EXPECT_TRUE(invalid);
}

TEST(TextTest, WideCharToMultiByte_WindowsLengthRules) {
  CThreadLocale utf8("C.UTF-8");
  ASSERT_TRUE(utf8.Valid());
  const char16_t* text = u"caf\u00e9";
  // -1: the terminator is converted and counted.
  EXPECT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, text, -1, nullptr, 0), 6);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, 4, nullptr, 0), 5);
  char buffer[8] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof(buffer)), 6);
  EXPECT_STREQ(buffer, "caf\xC3\xA9");
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, 5), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, 0, buffer, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 1, text, -1, buffer, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, text, -1, buffer, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(TextTest, AnsiCodePage_FollowsTheThreadLocale) {
  {
    CThreadLocale plain("C");
    ASSERT_TRUE(plain.Valid());
    bool usedDefault = false;
    char buffer[8] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00e9t\u00e9", 3, buffer, 8, &usedDefault), 3);
    EXPECT_EQ(std::string(buffer, 3), "?t?");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(Utf16ToAnsi(u"\u00e9"), "?");
  }
  {
    CThreadLocale utf8("C.UTF-8");
    ASSERT_TRUE(utf8.Valid());
    EXPECT_EQ(Utf16ToAnsi(u"\u00e9"), "\xC3\xA9");
    EXPECT_EQ(AnsiToUtf16("\xC3\xA9"), u"\u00e9");
  }
}

TEST(TextTest, MultiByteToWideChar_LengthsAndInvalidInput) {
  CThreadLocale utf8("C.UTF-8");
  ASSERT_TRUE(utf8.Valid());
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "caf\xC3\xA9", -1, nullptr, 0), 5);
  char16_t buffer[8] = {};
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "caf\xC3\xA9", 5, buffer, 8), 4);
  EXPECT_EQ(std::u16string(buffer, 4), u"caf\u00e9");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xFF", 2, buffer, 8), 2);
  EXPECT_EQ(buffer[1], 0xFFFD);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, buffer, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, buffer, 2), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace
}  // namespace lx2d::platform

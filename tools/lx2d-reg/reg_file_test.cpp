#include "reg_file.h"

#include <gtest/gtest.h>

#include "platform/fakes/memory_registry.h"
#include "reg_value_text.h"

namespace lx2d::reg {
namespace {

using platform::CMemoryRegistry;
using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;

TEST(RegFileTest, ExportThenImport_GivesBackTheSameBytes) {
  CMemoryRegistry source;
  const char* kKey = "SOFTWARE\\Korvane\\LX2D_B_SET";
  source.SetRaw(HKEY_LOCAL_MACHINE, kKey, "AfterWakeupWait", platform::REG_DWORD, {0xDC, 5, 0, 0});
  Bytes quoted = Utf16Bytes("say \"hi\" \\ there");
  quoted.insert(quoted.end(), {0, 0});
  source.SetRaw(HKEY_LOCAL_MACHINE, kKey, "Quoted", platform::REG_SZ, quoted);
  source.SetRaw(HKEY_LOCAL_MACHINE, kKey, "NoTerminator", platform::REG_SZ, Utf16Bytes("<#CR>"));
  source.SetRaw(HKEY_LOCAL_MACHINE, kKey, "Empty", platform::REG_SZ, {});
  source.SetRaw(HKEY_LOCAL_MACHINE, kKey, "TwoLines", platform::REG_SZ,
                {'a', 0, '\r', 0, '\n', 0, 'b', 0, 0, 0});
  source.SetRaw(HKEY_LOCAL_MACHINE, kKey, "", platform::REG_SZ, {'d', 0, 0, 0});
  source.SetRaw(HKEY_LOCAL_MACHINE, kKey, "Version", platform::REG_BINARY, {'R', 'D', 0});
  source.SetRaw(HKEY_LOCAL_MACHINE, kKey, "List", platform::REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0});
  source.SetRaw(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Sub", "x", platform::REG_DWORD,
                {1, 2, 3});
  std::string text;
  ASSERT_EQ(ExportKey(source, KeyPath{HKEY_LOCAL_MACHINE, "SOFTWARE"}, &text),
            platform::ERROR_SUCCESS);
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n\r\n", 0), 0u);
  EXPECT_NE(text.find("\"AfterWakeupWait\"=dword:000005dc\r\n"), std::string::npos);
  EXPECT_NE(text.find("\"Quoted\"=\"say \\\"hi\\\" \\\\ there\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"d\"\r\n"), std::string::npos);

  CMemoryRegistry target;
  ImportResult result = ImportText(target, text);
  ASSERT_TRUE(result.error.empty()) << result.line << ": " << result.error;
  for (const char* name :
       {"AfterWakeupWait", "Quoted", "NoTerminator", "Empty", "TwoLines", "", "Version", "List"}) {
    platform::DWORD sourceType = 0;
    platform::DWORD targetType = 0;
    Bytes sourceData;
    Bytes targetData;
    ASSERT_TRUE(source.GetRaw(HKEY_LOCAL_MACHINE, kKey, name, &sourceType, &sourceData));
    ASSERT_TRUE(target.GetRaw(HKEY_LOCAL_MACHINE, kKey, name, &targetType, &targetData)) << name;
    EXPECT_EQ(targetType, sourceType) << name;
    EXPECT_EQ(targetData, sourceData) << name;
  }
  Bytes odd;
  ASSERT_TRUE(target.GetRaw(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Sub", "x", nullptr, &odd));
  EXPECT_EQ(odd, (Bytes{1, 2, 3}));
}

TEST(RegFileTest, Import_Utf16WithContinuationsAndDeletions) {
  CMemoryRegistry registry;
  registry.SetRaw(HKEY_CURRENT_USER, "Old\\Deep", "v", platform::REG_DWORD, {1, 0, 0, 0});
  registry.SetRaw(HKEY_CURRENT_USER, "Keep", "gone", platform::REG_DWORD, {1, 0, 0, 0});
  std::string utf8 =
      "Windows Registry Editor Version 5.00\r\n"
      "; a comment\r\n"
      "[-HKEY_CURRENT_USER\\Old]\r\n"
      "[HKCU\\Keep]\r\n"
      "\"gone\"=-\r\n"
      "\"Long\"=hex(2):25,00,\\\r\n"
      "  41,00,00,00\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : utf8) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  ImportResult result = ImportText(registry, utf16);
  ASSERT_TRUE(result.error.empty()) << result.line << ": " << result.error;
  EXPECT_FALSE(registry.KeyExists(HKEY_CURRENT_USER, "Old"));
  EXPECT_FALSE(registry.GetRaw(HKEY_CURRENT_USER, "Keep", "gone", nullptr, nullptr));
  platform::DWORD type = 0;
  Bytes data;
  ASSERT_TRUE(registry.GetRaw(HKEY_CURRENT_USER, "Keep", "Long", &type, &data));
  EXPECT_EQ(type, platform::REG_EXPAND_SZ);
  EXPECT_EQ(data, (Bytes{0x25, 0, 0x41, 0, 0, 0}));
}

TEST(RegFileTest, Import_BadLines_ReportLineAndStop) {
  struct Case {
    const char* text;
    int line;
  };
  const Case cases[] = {
      {"REGEDIT4\n", 1},
      {"Windows Registry Editor Version 5.00\n\"v\"=dword:1\n", 2},  // value outside a key
      {"Windows Registry Editor Version 5.00\n[HKCR\\X]\n", 2},
      {"Windows Registry Editor Version 5.00\n[HKCU\\X]\n\"v\"=dword:123456789\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKCU\\X]\n\"v\"=hex:1,2\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKCU\\X]\n\"v=\"x\"\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKCU\\X]\n\"v\"=\"open\n", 3},
      {"Windows Registry Editor Version 5.00\n[HKCU\\X]\n\"v\"=qword:1\n", 3},
      {"", 1},
  };
  for (const Case& c : cases) {
    CMemoryRegistry registry;
    ImportResult result = ImportText(registry, c.text);
    EXPECT_FALSE(result.error.empty()) << c.text;
    EXPECT_EQ(result.line, c.line) << c.text;
    EXPECT_EQ(registry.OpenHandleCount(), 0u) << c.text;
  }
}

TEST(RegFileTest, Import_CommentsNeverContinue) {
  CMemoryRegistry registry;
  ImportResult result = ImportText(registry,
                                   "Windows Registry Editor Version 5.00\r\n"
                                   "[HKCU\\K]\r\n"
                                   "; old: \"x\"=hex:01,\\\r\n"
                                   "\"kept\"=\"yes\"\r\n"
                                   ";\"y\"=hex:02,\\\r\n"
                                   "\"also\"=dword:00000001\r\n");
  ASSERT_TRUE(result.error.empty()) << result.line << ": " << result.error;
  EXPECT_TRUE(registry.GetRaw(HKEY_CURRENT_USER, "K", "kept", nullptr, nullptr));
  EXPECT_TRUE(registry.GetRaw(HKEY_CURRENT_USER, "K", "also", nullptr, nullptr));
}

TEST(RegFileTest, Import_Utf16KeepsLoneSurrogates) {
  // "v"="<D800>a<DC01>" plus a name with a lone surrogate, in a UTF-16 file.
  std::u16string file = u"Windows Registry Editor Version 5.00\r\n[HKCU\\K]\r\n\"v\"=\"";
  file += u'\xD800';
  file += u"a";
  file += u'\xDC01';
  file += u"\"\r\n\"n";
  file += u'\xDBFF';
  file += u"\"=dword:00000001\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : file) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  CMemoryRegistry registry;
  ImportResult result = ImportText(registry, bytes);
  ASSERT_TRUE(result.error.empty()) << result.line << ": " << result.error;
  Bytes data;
  ASSERT_TRUE(registry.GetRaw(HKEY_CURRENT_USER, "K", "v", nullptr, &data));
  EXPECT_EQ(data, (Bytes{0x00, 0xD8, 'a', 0, 0x01, 0xDC, 0, 0}));
  // Export writes the value as hex(1) and import gives back the same bytes.
  std::string text;
  ASSERT_EQ(ExportKey(registry, KeyPath{HKEY_CURRENT_USER, "K"}, &text), platform::ERROR_SUCCESS);
  CMemoryRegistry again;
  ASSERT_TRUE(ImportText(again, text).error.empty());
  Bytes back;
  ASSERT_TRUE(again.GetRaw(HKEY_CURRENT_USER, "K", "v", nullptr, &back));
  EXPECT_EQ(back, data);
  EXPECT_TRUE(again.GetRaw(HKEY_CURRENT_USER, "K", Utf8KeepingUnits(u"n\xDBFF"), nullptr, nullptr));
}

TEST(RegFileTest, Import_ReadOnlyHive_ReportsAccessDenied) {
  CMemoryRegistry registry;
  registry.SetReadOnly(HKEY_LOCAL_MACHINE, true);
  ImportResult result =
      ImportText(registry, "Windows Registry Editor Version 5.00\n[HKLM\\SOFTWARE]\n");
  EXPECT_EQ(result.status, platform::ERROR_ACCESS_DENIED);
  EXPECT_EQ(result.line, 2);
}

}  // namespace
}  // namespace lx2d::reg

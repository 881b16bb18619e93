// Crash records: their text, and ExInfo.dat in the state folder.
#include "crash_capture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fakes/temp_directory.h"
#include "platform/paths.h"

namespace lx2d {
namespace {

using platform::ExceptionRecord;

std::string ReadFile(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  std::stringstream text;
  text << stream.rdbuf();
  return text.str();
}

ExceptionRecord MakeRecord(std::uint32_t code, std::uintptr_t address, std::uint32_t flags,
                           std::vector<std::uintptr_t> parameters) {
  ExceptionRecord record{};
  record.code = code;
  record.address = address;
  record.flags = flags;
  record.numberParameters = static_cast<std::uint32_t>(parameters.size());
  for (std::size_t index = 0; index < parameters.size(); ++index)
    record.parameters[index] = parameters[index];
  return record;
}

TEST(CrashCaptureTest, FormatExceptionRecord_EachPieceOnce) {
  struct Case {
    const char* name;
    ExceptionRecord record;
    const char* text;
  };
  const Case cases[] = {
      {"write to address 0", MakeRecord(0xC0000005, 0x401a2c, 0, {1, 0}),
       "Code   = ACCESS_VIOLATION \nAddr   = 0x401a2c\nFlags  = 0\nNbPrms = 2\n"
       "Prm 0  = 1\nPrm 1  = 0\n\n"},
      {"debug break", MakeRecord(0x80000003, 0x7f00deadbeef, 0, {0}),
       "Code   = BREAKPOINT \nAddr   = 0x7f00deadbeef\nFlags  = 0\nNbPrms = 1\nPrm 0  = 0\n\n"},
      {"C++ exception", MakeRecord(0xE06D7363, 0, 1, {}),
       "Code   = Unknown (-529697949) \nAddr   = 0x0\nFlags  = 1\nNbPrms = 0\n\n"},
      {"division by zero", MakeRecord(0xC0000094, 0x10, 0, {}),
       "Code   = INT_DIVIDE_BY_ZERO \nAddr   = 0x10\nFlags  = 0\nNbPrms = 0\n\n"},
      {"parameters in hexadecimal", MakeRecord(0xC0000006, 0x1, 0, {0, 0xabc, 0xc000000e}),
       "Code   = IN_PAGE_ERROR \nAddr   = 0x1\nFlags  = 0\nNbPrms = 3\n"
       "Prm 0  = 0\nPrm 1  = abc\nPrm 2  = c000000e\n\n"},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(FormatExceptionRecord(entry.record), entry.text);
  }
}

TEST(CrashCaptureTest, FormatExceptionRecord_CountBeyondFifteenListsFifteen) {
  ExceptionRecord record = MakeRecord(0xC0000005, 0, 0, {});
  record.numberParameters = 99;  // a damaged record must not read past the array
  std::string text = FormatExceptionRecord(record);
  EXPECT_NE(text.find("NbPrms = 99\n"), std::string::npos);
  EXPECT_NE(text.find("Prm 14  = 0\n"), std::string::npos);
  EXPECT_EQ(text.find("Prm 15"), std::string::npos);
}

TEST(CrashCaptureTest, ExceptionName_TableAndUnknownCodes) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0x80000002, "DATATYPE_MISALIGNMENT"}, {0x80000004, "SINGLE_STEP"},
      {0xC000001D, "ILLEGAL_INSTRUCTION"},   {0xC0000025, "NONCONTINUABLE_EXCEPTION"},
      {0xC0000026, "INVALID_DISPOSITION"},   {0xC000008C, "ARRAY_BOUNDS_EXCEEDED"},
      {0xC000008D, "FLT_DENORMAL_OPERAND"},  {0xC000008E, "FLT_DIVIDE_BY_ZERO"},
      {0xC000008F, "FLT_INEXACT_RESULT"},    {0xC0000090, "FLT_INVALID_OPERATION"},
      {0xC0000091, "FLT_OVERFLOW"},          {0xC0000092, "FLT_STACK_CHECK"},
      {0xC0000093, "FLT_UNDERFLOW"},         {0xC0000095, "INT_OVERFLOW"},
      {0xC0000096, "PRIV_INSTRUCTION"},      {0xC00000FD, "STACK_OVERFLOW"},
      {0x00000001, "Unknown (1)"},           {0xFFFFFFFF, "Unknown (-1)"},
  };
  for (const auto& [code, name] : cases) EXPECT_EQ(ExceptionName(code), name) << std::hex << code;
}

// The state folder of one test, with ExInfo.dat's path.
class CrashFileTest : public testing::Test {
 protected:
  void SetUp() override { folder.UseForAllDirectories(); }
  std::string CrashFile() const {
    return platform::GetDirectory(platform::Directory::kState) + "/ExInfo.dat";
  }

  platform::CTempDirectory folder;
};

// One record as it lies on disk: the date line, then the text with CR LF.
const std::regex kDateLine(R"(\d{4} \d\d \d\d, \d\d:\d\d:\d\d\r\n)");

std::string OnDisk(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// A write to address 0, in a machine instruction so that no sanitizer takes
// it over.
void WriteToAddressZero() {
  static std::uintptr_t volatile zero = 0;
  auto* target = reinterpret_cast<int*>(zero);
  __asm__ volatile("movl $1, (%0)" : : "r"(target) : "memory");
}

TEST_F(CrashFileTest, FaultsCaughtByTheGuard_OneRecordEachWithItsDateLine) {
  ExceptionRecord record{};
  ASSERT_FALSE(platform::RunGuarded([] { WriteToAddressZero(); }, record));
  ReportException(record);
  ASSERT_FALSE(platform::RunGuarded([] { throw 5; }, record));
  ReportException(record);

  std::string file = ReadFile(CrashFile());
  std::string first = "Code   = ACCESS_VIOLATION \r\n";
  std::string second =
      "Code   = Unknown (-529697949) \r\nAddr   = 0x0\r\nFlags  = 1\r\nNbPrms = 0\r\n\r\n";
  std::size_t firstAt = file.find(first);
  ASSERT_EQ(firstAt, 22u) << file;  // right behind the first date line
  EXPECT_TRUE(std::regex_match(file.substr(0, 22), kDateLine)) << file;
  EXPECT_NE(file.find("NbPrms = 2\r\nPrm 0  = 1\r\nPrm 1  = 0\r\n\r\n"), std::string::npos) << file;
  ASSERT_GE(file.size(), second.size() + 22);
  std::size_t secondAt = file.size() - second.size();
  EXPECT_EQ(file.substr(secondAt), second);
  EXPECT_TRUE(std::regex_match(file.substr(secondAt - 22, 22), kDateLine)) << file;
}

TEST_F(CrashFileTest, AppendExceptionFile_KeepsEarlierContentAndWritesCrLf) {
  ASSERT_TRUE(AppendExceptionFile("first\n", "ExInfo.dat"));
  ASSERT_TRUE(AppendExceptionFile("second\nline\n", "ExInfo.dat"));
  std::string file = ReadFile(CrashFile());
  ASSERT_EQ(file.size(), 22 + 7 + 22 + 14u) << file;
  EXPECT_TRUE(std::regex_match(file.substr(0, 22), kDateLine));
  EXPECT_EQ(file.substr(22, 7), OnDisk("first\n"));
  EXPECT_TRUE(std::regex_match(file.substr(29, 22), kDateLine));
  EXPECT_EQ(file.substr(51), OnDisk("second\nline\n"));
}

TEST(CrashFileNotCreatableTest, NothingWrittenAndNoError) {
  platform::CTempDirectory folder;
  std::string blocker = folder.Path() + "/file";
  std::ofstream(blocker) << "a file where the state folder's parent should be";
  platform::SetDirectoryForTesting(platform::Directory::kState, blocker + "/state");

  EXPECT_FALSE(AppendExceptionFile("text\n", "ExInfo.dat"));
  ReportException(MakeRecord(0xC0000005, 0, 0, {1, 0}));  // quietly gives up
  EXPECT_EQ(ReadFile(blocker), "a file where the state folder's parent should be");

  platform::SetDirectoryForTesting(platform::Directory::kState, "");
}

}  // namespace
}  // namespace lx2d

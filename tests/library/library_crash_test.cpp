// A fault inside an export: result 12, a crash record, and a host and a
// library that go on working.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <string>

#include "library_host.h"

namespace lx2d::test {
namespace {

class LibraryCrash : public ::testing::Test {
 protected:
  std::string CrashFile() const {
    return std::string(std::getenv("LX2D_STATE_DIR")) + "/ExInfo.dat";
  }
  std::string CrashText() const {
    std::ifstream file(CrashFile(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  CLibraryTest host;
  CScannerLibrary& lib = host.Library();
};

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// Points nowhere: the first page is never mapped.
const auto* const kNowhere = reinterpret_cast<const unsigned char*>(0x10);

TEST_F(LibraryCrash, RequestPointingNowhere_Result12RecordAndLinkStillWorks) {
  ASSERT_TRUE(host.Connected());
  unsigned char reply[16];
  uint32_t length = 0xFFFF;
  EXPECT_EQ(lib.SetupWrite(kNowhere, 3, reply, sizeof reply, &length), RDLK_OTHER_ERROR);
  EXPECT_EQ(length, 0u);

  const std::string text = CrashText();
  EXPECT_NE(text.find("Code   = ACCESS_VIOLATION \r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("NbPrms = 2\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Prm 1  = 10\r\n"), std::string::npos) << "the address read: " << text;

  // CommandMutex was given back: requests from another thread and the
  // receive thread both get the reader again.
  const unsigned char request[] = {0x72, 0x43, 0x02};
  EXPECT_EQ(std::async(std::launch::async,
                       [&] {
                         uint32_t n = 0;
                         return lib.SetupWrite(request, 3, reply, sizeof reply, &n);
                       })
                .get(),
            RDLK_SUCCESS);
  ASSERT_TRUE(host.Reader().Command("bcd AFTER"));
  unsigned char data[16];
  EXPECT_TRUE(WaitUntil([&] {
    lib.GetBarcodeData(data, sizeof data, &length);
    return length == 7;
  }));

  // A second fault (a report copied to nowhere): a second record.
  unsigned char* const nowhere = const_cast<unsigned char*>(kNowhere);
  ASSERT_TRUE(host.Reader().Command("bcd AGAIN"));
  EXPECT_TRUE(
      WaitUntil([&] { return lib.GetBarcodeData(nowhere, 16, &length) == RDLK_OTHER_ERROR; }));
  EXPECT_EQ(Count(CrashText(), "Code   = ACCESS_VIOLATION"), 2u);
  EXPECT_EQ(Count(CrashText(), "NbPrms"), 2u);
}

TEST_F(LibraryCrash, VersionIntoNowhere_Result12BeforeAnyConnection) {
  ASSERT_TRUE(host.InitializeUserKey());
  uint32_t length = 0xFFFF;
  EXPECT_EQ(
      lib.GetDllVersion(reinterpret_cast<char*>(const_cast<unsigned char*>(kNowhere)), 64, &length),
      RDLK_OTHER_ERROR);
  EXPECT_EQ(length, 0u);
  EXPECT_NE(CrashText().find("ACCESS_VIOLATION"), std::string::npos);
  // The lock was released: the next call goes through.
  char text[32];
  EXPECT_EQ(lib.GetDllVersion(text, sizeof text, &length), RDLK_SUCCESS);
}

}  // namespace
}  // namespace lx2d::test

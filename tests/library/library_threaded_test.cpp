// Several host threads calling the library while its receive thread
// delivers reports: every request answered, every report taken once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "library_host.h"
#include "platform/registry.h"

namespace lx2d::test {
namespace {

void SetTimeout(int32_t ms) {
  namespace pf = lx2d::platform;
  pf::HKEY key = 0;
  ASSERT_EQ(pf::DefaultRegistry().OpenKey(pf::HKEY_CURRENT_USER, "Software\\Lx2dTest",
                                          pf::KEY_ALL_ACCESS, &key),
            pf::ERROR_SUCCESS);
  pf::DefaultRegistry().SetValue(key, "Timeout", pf::REG_DWORD, reinterpret_cast<uint8_t*>(&ms), 4);
  pf::DefaultRegistry().CloseKey(key);
}

std::atomic<int> captured{0};
int32_t CountCapture(unsigned char*, uint32_t) { return ++captured; }

TEST(LibraryThreaded, HostThreadsAndReports_NothingLostNothingTwice) {
  CLibraryTest host;
  CScannerLibrary& lib = host.Library();
  ASSERT_EQ(lib.StartDataCapture(1, CountCapture), 1);
  // Generous reply time-out: the machine may be loaded and the build slow.
  ASSERT_TRUE(host.InitializeUserKey());
  SetTimeout(5000);
  ASSERT_TRUE(host.Connected());

  constexpr int kReports = 20;
  constexpr int kRequestThreads = 2;
  constexpr int kRequestsEach = 25;
  std::atomic<int> taken{0};
  std::atomic<int> requestFailures{0};

  // Takers run throughout: two threads take reports as they come, with
  // version calls between.
  std::vector<std::thread> takers;
  for (int t = 0; t < 2; ++t) {
    takers.emplace_back([&] {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (taken.load() < kReports && std::chrono::steady_clock::now() < deadline) {
        unsigned char data[32];
        uint32_t length = 0;
        if (lib.GetBarcodeData(data, sizeof data, &length) == RDLK_SUCCESS && length > 0) {
          ++taken;
        } else {
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        char version[32];
        lib.GetDllVersion(version, sizeof version, &length);
      }
    });
  }
  // Requests from several threads at once. (Reports are sent only after
  // them: a report that meets a request's wait for its ACK is dropped by
  // the link, and the simulated reader does not send it again.)
  std::vector<std::thread> requesters;
  for (int t = 0; t < kRequestThreads; ++t) {
    requesters.emplace_back([&, t] {
      const unsigned char request[] = {0x72, 0x43, static_cast<unsigned char>(t)};
      for (int i = 0; i < kRequestsEach; ++i) {
        unsigned char reply[8];
        uint32_t length = 0;
        if (lib.SetupWrite(request, sizeof request, reply, sizeof reply, &length) != RDLK_SUCCESS ||
            length != 1) {
          ++requestFailures;
        }
      }
    });
  }
  for (std::thread& thread : requesters) thread.join();
  for (int i = 0; i < kReports; ++i) {
    EXPECT_TRUE(host.Reader().Command("bcd CODE" + std::to_string(i)));
  }
  for (std::thread& thread : takers) thread.join();

  EXPECT_EQ(requestFailures.load(), 0);
  EXPECT_EQ(captured.load(), kReports);
  EXPECT_EQ(taken.load(), kReports);
  unsigned char data[32];
  uint32_t length = 0;
  EXPECT_EQ(lib.GetBarcodeData(data, sizeof data, &length), RDLK_SUCCESS);
  EXPECT_EQ(length, 0u) << "nothing left over";
}

}  // namespace
}  // namespace lx2d::test

// The machine hive between users: a user who may read the hive but not write
// it reads it, and holding a read transaction open does not hold back the
// owner's writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "platform/fakes/child_process.h"
#include "platform/fakes/temp_directory.h"
#include "platform/sqlite_registry.h"

namespace lx2d::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

constexpr auto kGenerous = seconds(20);  // bounds only; a loaded machine is slow
constexpr const char* kOtherUser = "65534";

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// Whether another user can reach `path`: every folder above it lets others in.
bool OthersCanReach(const std::string& path) {
  for (std::filesystem::path above = std::filesystem::path(path).parent_path();
       !above.empty() && above != above.root_path(); above = above.parent_path()) {
    struct stat info {};
    if (stat(above.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0) return false;
  }
  return true;
}

TEST(RegistryUsersTest, ReaderOfAnotherUser_NeverHoldsBackWrites) {
  if (geteuid() != 0) GTEST_SKIP() << "running a reader as another user needs root";
  if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv (util-linux) is missing";
  auto place = std::make_unique<CTempDirectory>();
  if (!OthersCanReach(place->Path())) {
    setenv("TMPDIR", "/tmp", 1);  // a private TMPDIR: the other user needs a way in
    place = std::make_unique<CTempDirectory>();
  }
  if (!OthersCanReach(place->Path())) GTEST_SKIP() << "no folder the other user can enter";
  const CTempDirectory& folder = *place;
  const std::string system = folder.Path() + "/system";
  const std::string hive = system + "/registry/hklm.db";
  auto registry = CreateSqliteRegistry(system, folder.Path() + "/user");
  HKEY key = 0;
  ASSERT_EQ(registry->CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane", REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, &key, nullptr),
            ERROR_SUCCESS);
  const std::uint8_t one[4] = {1, 0, 0, 0};
  ASSERT_EQ(registry->SetValue(key, "Start", REG_DWORD, one, 4), ERROR_SUCCESS);

  // Readable by everybody, writable by its owner only, whatever the umask.
  for (const std::string& path : {folder.Path(), system, system + "/registry"}) {
    ASSERT_EQ(chmod(path.c_str(), 0755), 0) << path;
  }
  for (const char* suffix : {"", "-wal", "-shm"}) {
    ASSERT_TRUE(Exists(hive + suffix)) << suffix;  // the log stays for readers
    ASSERT_EQ(chmod((hive + suffix).c_str(), 0644), 0) << suffix;
  }
  // The reader program and its ready signal where the other user reaches them.
  const std::string reader = folder.Path() + "/registry_reader_hold";
  std::filesystem::copy_file(TestProgramDirectory() + "/lx2d_registry_reader_hold", reader);
  ASSERT_EQ(chmod(reader.c_str(), 0755), 0);
  const std::string signals = folder.Path() + "/signals";
  ASSERT_EQ(mkdir(signals.c_str(), 0777), 0);
  ASSERT_EQ(chmod(signals.c_str(), 0777), 0);
  const std::string ready = signals + "/ready";

  // The hold lasts 30 s, far longer than the writes below; the test ends it.
  CChildProcess holder;
  ASSERT_TRUE(holder.Start("/usr/bin/setpriv", {std::string("--reuid=") + kOtherUser,
                                                std::string("--regid=") + kOtherUser,
                                                "--clear-groups", reader, hive, ready, "30"}));
  auto deadline = steady_clock::now() + kGenerous;
  while (!Exists(ready) && steady_clock::now() < deadline) {
    std::optional<int> ended = holder.Wait(milliseconds(20));
    ASSERT_FALSE(ended.has_value()) << "the other user could not read the hive: exit " << *ended;
  }
  ASSERT_TRUE(Exists(ready));

  // Before, every write waited out the 10 s busy time-out and failed; now a
  // reader is no obstacle, so even a slow machine is far inside the bound.
  constexpr int kWrites = 20;
  auto start = steady_clock::now();
  for (int i = 0; i < kWrites; ++i) {
    const std::uint8_t value[4] = {static_cast<std::uint8_t>(i), 0, 0, 0};
    ASSERT_EQ(registry->SetValue(key, "v" + std::to_string(i), REG_DWORD, value, 4), ERROR_SUCCESS)
        << i;
  }
  EXPECT_LT(steady_clock::now() - start, seconds(8));
  EXPECT_FALSE(holder.Wait(milliseconds(0)).has_value()) << "the reader let go too early";
  registry->CloseKey(key);
  holder.Kill();
  holder.Wait(kGenerous);
}

}  // namespace
}  // namespace lx2d::platform

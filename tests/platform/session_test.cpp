// The runtime folder as the login session's: root started for a user through
// sudo or pkexec joins that user's session, hands what it creates there to
// the user, and a second user sees none of it. Needs root (to act as two
// users through setpriv); skipped otherwise.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/fakes/child_process.h"
#include "platform/fakes/temp_directory.h"
#include "platform/paths.h"
#include "platform/window.h"

namespace lx2d::platform {
namespace {

using std::chrono::milliseconds;
using Environment = std::vector<std::pair<std::string, std::string>>;

constexpr auto kGenerous = std::chrono::seconds(20);  // bounds only; a loaded machine is slow
constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr const char* kMutexName = "Korvane Barcode Reader 2D Setting Utility";

std::string TmpFolderOf(uid_t uid) { return "/tmp/lx2d-" + std::to_string(uid); }

// A user id without a session folder or a runtime folder of its own yet, so
// the test owns everything it makes for it.
uid_t FreeUserId(uid_t other) {
  static std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<uid_t> pick(200000, 899999);
  while (true) {
    uid_t uid = pick(random);
    if (uid != other && !std::filesystem::exists("/run/user/" + std::to_string(uid)) &&
        !std::filesystem::exists(TmpFolderOf(uid))) {
      return uid;
    }
  }
}

// Sets variables of this process for one test (an empty value unsets) and
// puts the old values back.
class CScopedEnvironment {
 public:
  explicit CScopedEnvironment(const Environment& variables) {
    for (const auto& [name, value] : variables) {
      const char* old = std::getenv(name.c_str());
      saved.push_back({name, old != nullptr, old != nullptr ? old : ""});
      if (value.empty()) {
        unsetenv(name.c_str());
      } else {
        setenv(name.c_str(), value.c_str(), 1);
      }
    }
  }
  ~CScopedEnvironment() {
    for (const Saved& entry : saved) {
      if (entry.had) {
        setenv(entry.name.c_str(), entry.value.c_str(), 1);
      } else {
        unsetenv(entry.name.c_str());
      }
    }
  }

 private:
  struct Saved {
    std::string name;
    bool had;
    std::string value;
  };
  std::vector<Saved> saved;
};

class SessionFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0 || access(kSetpriv, X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
    userA = FreeUserId(0);
    userB = FreeUserId(userA);
  }
  void TearDown() override {
    SetDirectoryForTesting(Directory::kRuntime, "");
    std::error_code ignored;
    if (userA != 0) std::filesystem::remove_all(TmpFolderOf(userA), ignored);
    if (userB != 0) std::filesystem::remove_all(TmpFolderOf(userB), ignored);
  }

  // No folder named by a variable unless `extra` names one: the default place
  // decides.
  static Environment SessionEnvironment(Environment extra) {
    for (const char* name : {"LX2D_RUNTIME_DIR", "XDG_RUNTIME_DIR"}) {
      bool named = false;
      for (const auto& entry : extra) named = named || entry.first == name;
      if (!named) extra.emplace_back(name, "");
    }
    return extra;
  }

  // The probe's exit status when run as `uid`.
  static std::optional<int> ProbeAs(uid_t uid, const std::string& className) {
    std::string id = std::to_string(uid);
    CChildProcess probe;
    if (!probe.Start(kSetpriv,
                     {"--reuid=" + id, "--regid=" + id, "--clear-groups",
                      TestProgramDirectory() + "/lx2d_session_probe", className, kMutexName},
                     SessionEnvironment({{"SUDO_UID", ""}, {"PKEXEC_UID", ""}}))) {
      return std::nullopt;
    }
    return probe.Wait(kGenerous);
  }

  uid_t userA = 0;
  uid_t userB = 0;
};

TEST_F(SessionFolderTest, DefaultPlace_FollowsSessionAndInvokingUser) {
  std::string a = std::to_string(userA);
  std::string rootDefault =
      std::filesystem::is_directory("/run/user/0") ? "/run/user/0/lx2d" : TmpFolderOf(0);
  struct Case {
    Environment variables;
    std::string folder;
  };
  const Case cases[] = {
      {{{"SUDO_UID", a}, {"XDG_RUNTIME_DIR", "/xdg"}}, "/xdg/lx2d"},
      {{{"SUDO_UID", a}}, TmpFolderOf(userA)},
      {{{"PKEXEC_UID", a}}, TmpFolderOf(userA)},
      {{{"SUDO_UID", a}, {"LX2D_RUNTIME_DIR", "/elsewhere/"}}, "/elsewhere"},
      {{{"SUDO_UID", "0"}}, rootDefault},
      {{{"SUDO_UID", a + "x"}}, rootDefault},  // not a number: ignored
  };
  for (const Case& c : cases) {
    Environment variables{
        {"SUDO_UID", ""}, {"PKEXEC_UID", ""}, {"XDG_RUNTIME_DIR", ""}, {"LX2D_RUNTIME_DIR", ""}};
    variables.insert(variables.end(), c.variables.begin(), c.variables.end());
    CScopedEnvironment scoped(variables);
    EXPECT_EQ(GetDirectory(Directory::kRuntime), c.folder) << c.variables.front().second;
  }
}

TEST_F(SessionFolderTest, FolderUnderTmpNotTheUsersOwn_Refused) {
  std::string folder = TmpFolderOf(userA);
  CTempDirectory linkTarget;  // where a planted link would lead
  struct Case {
    const char* what;
    uid_t owner;
    mode_t mode;
    bool link;
  };
  const Case cases[] = {
      {"another user's", userB, 0700, false},
      {"group-writable", userA, 0770, false},
      {"world-writable", userA, 0777, false},
      {"a link", userA, 0700, true},
  };
  CScopedEnvironment scoped(SessionEnvironment({{"SUDO_UID", std::to_string(userA)}}));
  for (const Case& c : cases) {
    std::filesystem::remove_all(folder);
    if (c.link) {
      std::filesystem::create_directory_symlink(linkTarget.Path(), folder);
    } else {
      ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
      ASSERT_EQ(chmod(folder.c_str(), c.mode), 0);
      ASSERT_EQ(chown(folder.c_str(), c.owner, c.owner), 0);
    }
    std::string made;
    EXPECT_EQ(EnsureDirectory(Directory::kRuntime, "windows", &made), ERROR_ACCESS_DENIED)
        << c.what;
    EXPECT_FALSE(std::filesystem::exists(folder + "/windows")) << c.what;
  }
  std::filesystem::remove_all(folder);
  std::string made;
  ASSERT_EQ(EnsureDirectory(Directory::kRuntime, "windows", &made), ERROR_SUCCESS);
  struct stat info {};
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, userA);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

// sudo -E keeps the user's XDG_RUNTIME_DIR: what root makes there is the
// owner's of that folder.
TEST_F(SessionFolderTest, RootInUsersXdgFolder_MadeFoldersAreTheUsers) {
  CTempDirectory xdg;
  ASSERT_EQ(chown(xdg.Path().c_str(), userA, userA), 0);
  CScopedEnvironment scoped(SessionEnvironment({{"XDG_RUNTIME_DIR", xdg.Path()}}));
  std::string made;
  ASSERT_EQ(EnsureDirectory(Directory::kRuntime, "windows", &made), ERROR_SUCCESS);
  EXPECT_EQ(made, xdg.Path() + "/lx2d/windows");
  for (const std::string& folder : {xdg.Path() + "/lx2d", made}) {
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, userA) << folder;
    EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
  }
}

TEST_F(SessionFolderTest, SudoWindowAndMutex_InvokingUsersOnly) {
  const std::string className = "Lx2dSessionTestPeer";
  std::string a = std::to_string(userA);
  CChildProcess peer;
  ASSERT_TRUE(peer.Start(TestProgramDirectory() + "/lx2d_window_peer", {className, kMutexName},
                         SessionEnvironment({{"SUDO_UID", a}, {"SUDO_GID", a}})));
  SetDirectoryForTesting(Directory::kRuntime, TmpFolderOf(userA));
  auto deadline = std::chrono::steady_clock::now() + kGenerous;
  while (FindWindow(className) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  ASSERT_NE(FindWindow(className), 0u) << "the peer never showed its window";

  EXPECT_EQ(ProbeAs(userA, className), std::optional<int>(1 | 2 | 4));  // found, answered, held
  EXPECT_EQ(ProbeAs(userB, className), std::optional<int>(0));          // another session: nothing

  // Everything root made in the session folder is the user's.
  int entries = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(TmpFolderOf(userA))) {
    struct stat info {};
    ASSERT_EQ(lstat(entry.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, userA) << entry.path();
    ++entries;
  }
  EXPECT_GE(entries, 4);  // windows/, its socket and description, locks/ and the lock file

  peer.Terminate();
  EXPECT_EQ(peer.Wait(kGenerous), std::optional<int>(7));
  EXPECT_EQ(ProbeAs(userA, className), std::optional<int>(0));  // gone, and the mutex free
}

}  // namespace
}  // namespace lx2d::platform

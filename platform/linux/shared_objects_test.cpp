#include "platform/shared_objects.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>

namespace lx2d::platform {
namespace {

using std::chrono::milliseconds;

// A name no other test run uses; removed again at the end.
class SharedObjectsTest : public ::testing::Test {
 protected:
  SharedObjectsTest() : name("/lx2dtest_objects_" + std::to_string(std::random_device{}())) {}
  ~SharedObjectsTest() override { CSharedMemory::Remove(name); }
  std::string name;
};

TEST_F(SharedObjectsTest, Create_IsReadableAndWritableByEveryoneWhateverTheUmask) {
  mode_t previous = umask(077);
  CSharedMemory memory;
  bool created = false;
  DWORD status = memory.CreateOrOpen(name, 64, &created);
  umask(previous);
  ASSERT_EQ(status, ERROR_SUCCESS);
  EXPECT_TRUE(created);
  struct stat info {};
  ASSERT_EQ(stat(("/dev/shm" + name).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666u);
  EXPECT_EQ(memory.Size(), 64u);
  EXPECT_EQ(memory.Data()[63], std::byte{0});
}

TEST_F(SharedObjectsTest, Open_SharesTheBytesAndRefusesAnotherSize) {
  CSharedMemory first;
  ASSERT_EQ(first.CreateOrOpen(name, 32, nullptr), ERROR_SUCCESS);
  first.Data()[5] = std::byte{0x5A};
  CSharedMemory second;
  bool created = true;
  ASSERT_EQ(second.CreateOrOpen(name, 32, &created), ERROR_SUCCESS);
  EXPECT_FALSE(created);
  EXPECT_EQ(second.Data()[5], std::byte{0x5A});
  CSharedMemory wrong;
  EXPECT_EQ(wrong.CreateOrOpen(name, 33, nullptr), ERROR_INVALID_DATA);
  EXPECT_EQ(wrong.Data(), nullptr);
  CSharedMemory whole;
  ASSERT_EQ(whole.Open(name), ERROR_SUCCESS);
  EXPECT_EQ(whole.Size(), 32u);
  for (const char* bad : {"", "/", "no_slash", "/a/b"}) {
    CSharedMemory refused;
    EXPECT_EQ(refused.CreateOrOpen(bad, 8, nullptr), ERROR_INVALID_PARAMETER) << bad;
  }
}

// A creator makes the object and sizes it a moment later; an opener in that
// moment must not take it for one of the wrong size (the event, created
// before the log's mutex is held, depends on it).
TEST_F(SharedObjectsTest, OpenWhileTheCreatorSizesIt_WaitsForTheSize) {
  int creator = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
  ASSERT_GE(creator, 0);
  std::thread sizing([creator] {
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(ftruncate(creator, 4), 0);
  });
  CNamedEvent event;
  DWORD status = event.CreateOrOpen(name);
  sizing.join();
  close(creator);
  ASSERT_EQ(status, ERROR_SUCCESS);
  event.Set();
  EXPECT_EQ(event.Wait(milliseconds(0)), WAIT_OBJECT_0);

  // One that stays empty is still refused, after the wait.
  CSharedMemory::Remove(name);
  creator = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
  ASSERT_GE(creator, 0);
  close(creator);
  CSharedMemory memory;
  EXPECT_EQ(memory.CreateOrOpen(name, 4, nullptr), ERROR_INVALID_DATA);
  EXPECT_EQ(memory.Data(), nullptr);
}

TEST_F(SharedObjectsTest, Remove_RefusesWhileMarkedInUse) {
  {
    CSharedMemory user;
    ASSERT_EQ(user.CreateOrOpen(name, 8, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(user.MarkInUse(), ERROR_SUCCESS);
    EXPECT_EQ(CSharedMemory::Remove(name), ERROR_SHARING_VIOLATION);
  }
  EXPECT_EQ(CSharedMemory::Remove(name), ERROR_SUCCESS);
  EXPECT_EQ(CSharedMemory::Remove(name), ERROR_FILE_NOT_FOUND);
  CSharedMemory gone;
  EXPECT_EQ(gone.Open(name), ERROR_FILE_NOT_FOUND);
}

TEST_F(SharedObjectsTest, NamedLock_ExcludesAnotherHolderUntilUnlocked) {
  CNamedLock first;
  CNamedLock second;
  ASSERT_EQ(first.CreateOrOpen(name), ERROR_SUCCESS);
  ASSERT_EQ(second.CreateOrOpen(name), ERROR_SUCCESS);
  ASSERT_EQ(first.Lock(milliseconds(0)), ERROR_SUCCESS);
  EXPECT_EQ(second.Lock(milliseconds(20)), WAIT_TIMEOUT);
  first.Unlock();
  EXPECT_EQ(second.Lock(milliseconds(0)), ERROR_SUCCESS);
}

TEST_F(SharedObjectsTest, NamedEvent_StaysSetUntilResetAndWakesAWaiter) {
  CNamedEvent setter;
  CNamedEvent waiter;
  ASSERT_EQ(setter.CreateOrOpen(name), ERROR_SUCCESS);
  ASSERT_EQ(waiter.CreateOrOpen(name), ERROR_SUCCESS);
  EXPECT_EQ(waiter.Wait(milliseconds(10)), WAIT_TIMEOUT) << "created not signalled";
  setter.Set();
  EXPECT_EQ(waiter.Wait(milliseconds(0)), WAIT_OBJECT_0);
  EXPECT_EQ(waiter.Wait(milliseconds(0)), WAIT_OBJECT_0) << "manual reset";
  waiter.Reset();
  EXPECT_EQ(waiter.Wait(milliseconds(0)), WAIT_TIMEOUT);
  std::thread later([&] {
    std::this_thread::sleep_for(milliseconds(20));
    setter.Set();
  });
  EXPECT_EQ(waiter.Wait(std::chrono::seconds(30)), WAIT_OBJECT_0);
  later.join();
}

}  // namespace
}  // namespace lx2d::platform

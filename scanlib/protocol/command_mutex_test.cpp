#include "command_mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace lx2d {
namespace {

using std::chrono::milliseconds;

// Runs `attempt` on another thread and returns its answer.
template <class F>
bool OnOtherThread(F attempt) {
  return std::async(std::launch::async, attempt).get();
}

TEST(CommandMutexTest, Owner_AdmittedAgainAndReleasedLevelByLevel) {
  CCommandMutex mutex;
  mutex.lock();
  EXPECT_TRUE(mutex.try_lock());
  EXPECT_TRUE(mutex.try_lock_for(milliseconds(1)));
  EXPECT_TRUE(mutex.OwnedByCaller());
  mutex.unlock();
  mutex.unlock();
  EXPECT_FALSE(OnOtherThread([&] { return mutex.try_lock(); }));
  mutex.unlock();
  EXPECT_FALSE(mutex.OwnedByCaller());
  EXPECT_TRUE(OnOtherThread([&] {
    const bool taken = mutex.try_lock();
    mutex.unlock();
    return taken;
  }));
}

TEST(CommandMutexTest, TimedWait_FailsWhileHeldAndSucceedsOnRelease) {
  CCommandMutex mutex;
  mutex.lock();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(OnOtherThread([&] { return mutex.try_lock_for(milliseconds(50)); }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(50));

  std::atomic<bool> waiting{false};
  auto taken = std::async(std::launch::async, [&] {
    waiting = true;
    const bool ok = mutex.try_lock_for(std::chrono::seconds(10));
    if (ok) mutex.unlock();
    return ok;
  });
  while (!waiting) std::this_thread::yield();
  std::this_thread::sleep_for(milliseconds(20));
  mutex.unlock();
  EXPECT_TRUE(taken.get());
}

TEST(CommandMutexTest, ReleaseByNonOwner_Ignored) {
  CCommandMutex mutex;
  mutex.lock();
  OnOtherThread([&] {
    mutex.unlock();
    return true;
  });
  EXPECT_TRUE(mutex.OwnedByCaller());
  EXPECT_FALSE(OnOtherThread([&] { return mutex.try_lock(); }));
  mutex.unlock();
}

// An export abandoned halfway (a fault) gives back only the levels it took.
TEST(CommandMutexTest, ReleaseToDepth_KeepsTheLevelsHeldBefore) {
  CCommandMutex mutex;
  EXPECT_EQ(mutex.CallerDepth(), 0u);
  mutex.lock();  // held by the host (DeviceIOControl 519)
  const unsigned before = mutex.CallerDepth();
  mutex.lock();
  mutex.lock();  // taken by the abandoned body
  EXPECT_EQ(mutex.CallerDepth(), 3u);
  EXPECT_EQ(OnOtherThread([&] { return mutex.CallerDepth() == 0; }), true);
  mutex.ReleaseToDepth(before);
  EXPECT_EQ(mutex.CallerDepth(), 1u);
  EXPECT_FALSE(OnOtherThread([&] { return mutex.try_lock(); }));
  mutex.ReleaseToDepth(0);
  EXPECT_FALSE(mutex.OwnedByCaller());
  EXPECT_TRUE(OnOtherThread([&] {
    const bool taken = mutex.try_lock();
    // Another thread's release to depth 0 does not touch a mutex it does
    // not own.
    mutex.unlock();
    return taken;
  }));
}

TEST(CommandMutexTest, Reset_FreesTheMutexOfAnyOwner) {
  CCommandMutex mutex;
  mutex.lock();
  mutex.lock();
  std::atomic<bool> waiting{false};
  auto waiter = std::async(std::launch::async, [&] {
    waiting = true;
    const bool ok = mutex.try_lock_for(std::chrono::seconds(10));
    if (ok) mutex.unlock();
    return ok;
  });
  while (!waiting) std::this_thread::yield();
  // From another thread, as a connection ends: the waiter gets it.
  OnOtherThread([&] {
    mutex.Reset();
    return true;
  });
  EXPECT_TRUE(waiter.get());
  EXPECT_FALSE(mutex.OwnedByCaller());
}

}  // namespace
}  // namespace lx2d

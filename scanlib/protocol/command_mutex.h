// CommandMutex: the lock that keeps a request, a read of the buffers and the
// receive thread's poll from using the reader at the same time. Like the
// Windows mutex it stands for, it admits its owner again (recursive), waits
// with a time limit, and ignores a release by a thread that does not own it.
// Waits run on the monotonic clock. It meets the standard's TimedLockable
// requirements, so std::unique_lock and std::lock_guard work with it.
//
// (Built on std::mutex and std::condition_variable rather than
// std::recursive_timed_mutex, whose monotonic timed wait ThreadSanitizer
// cannot see, so the threaded tests would report false races.)
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace lx2d {

class CCommandMutex {
 public:
  // Waits without limit.
  void lock();
  // Takes the mutex only when it is free or already the caller's.
  bool try_lock();
  // Waits until `deadline` at most; true when the caller now owns it.
  bool try_lock_until(std::chrono::steady_clock::time_point deadline);
  template <class Rep, class Period>
  bool try_lock_for(const std::chrono::duration<Rep, Period>& wait) {
    return try_lock_until(std::chrono::steady_clock::now() + wait);
  }
  // Gives up one level of ownership; does nothing when the caller does not
  // own the mutex.
  void unlock();

  // True when the calling thread owns the mutex.
  bool OwnedByCaller();

  // How often the calling thread holds the mutex (0 when it does not).
  unsigned CallerDepth();

  // Gives up the calling thread's levels above `depth`, so that code that
  // was abandoned halfway (a fault in an export) leaves the mutex as it
  // found it. Does nothing when the caller holds `depth` levels or fewer.
  void ReleaseToDepth(unsigned depth);

  // Forgets every owner, as a mutex closed and created afresh: for the
  // moment a connection ends, when no thread may use the reader any more.
  void Reset();

 private:
  bool TakeLocked();  // with mutex_ held

  std::mutex mutex_;
  std::condition_variable released_;
  std::thread::id owner_;
  unsigned depth_ = 0;
};

}  // namespace lx2d

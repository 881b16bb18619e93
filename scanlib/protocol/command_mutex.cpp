#include "command_mutex.h"

namespace lx2d {

bool CCommandMutex::TakeLocked() {
  const std::thread::id self = std::this_thread::get_id();
  if (depth_ == 0) {
    owner_ = self;
  } else if (owner_ != self) {
    return false;
  }
  ++depth_;
  return true;
}

void CCommandMutex::lock() {
  std::unique_lock<std::mutex> lock(mutex_);
  released_.wait(lock, [this] { return TakeLocked(); });
}

bool CCommandMutex::try_lock() {
  std::lock_guard<std::mutex> lock(mutex_);
  return TakeLocked();
}

bool CCommandMutex::try_lock_until(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  return released_.wait_until(lock, deadline, [this] { return TakeLocked(); });
}

void CCommandMutex::unlock() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;
    if (--depth_ > 0) return;
    owner_ = std::thread::id();
  }
  released_.notify_one();
}

bool CCommandMutex::OwnedByCaller() {
  std::lock_guard<std::mutex> lock(mutex_);
  return depth_ > 0 && owner_ == std::this_thread::get_id();
}

unsigned CCommandMutex::CallerDepth() {
  std::lock_guard<std::mutex> lock(mutex_);
  return owner_ == std::this_thread::get_id() ? depth_ : 0;
}

void CCommandMutex::ReleaseToDepth(unsigned depth) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (depth_ <= depth || owner_ != std::this_thread::get_id()) return;
    depth_ = depth;
    if (depth_ > 0) return;
    owner_ = std::thread::id();
  }
  released_.notify_one();
}

void CCommandMutex::Reset() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    depth_ = 0;
    owner_ = std::thread::id();
  }
  released_.notify_all();
}

}  // namespace lx2d

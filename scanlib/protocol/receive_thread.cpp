// The receive thread: every 10 ms, with CommandMutex held, it looks for
// input and receives and delivers one message.
#include <chrono>
#include <system_error>

#include "protocol.h"

namespace lx2d {
namespace {

// While waiting for CommandMutex the thread looks at its stop flag this
// often, so a host that keeps the mutex cannot make a stop hang.
constexpr auto kLockSlice = std::chrono::milliseconds(50);

}  // namespace

bool CProtocol::StartReceiveThread() {
  if (thread_.joinable()) return true;
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopRequested_ = false;
  }
  try {
    thread_ = std::thread([this] { ReceiveLoop(); });
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopRequested_ = true;
    return false;
  }
  return true;
}

void CProtocol::StopReceiveThread() {
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopRequested_ = true;
  }
  stopWake_.notify_all();
  // The thread finishes the poll it is in (it never stops inside a
  // transport read or with the mutex held). Called from the thread itself
  // (a capture callback, say), it only asks; the next stop or the
  // destructor joins.
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void CProtocol::ReceiveLoop() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(stopMutex_);
      if (stopWake_.wait_for(lock, std::chrono::milliseconds(kPollPeriodMs),
                             [this] { return stopRequested_; })) {
        return;
      }
    }
    std::unique_lock<CCommandMutex> command(commandMutex_, std::defer_lock);
    while (!command.try_lock_for(kLockSlice)) {
      std::lock_guard<std::mutex> lock(stopMutex_);
      if (stopRequested_) return;
    }
    if (transport_.PollInput(0)) ReceiveAndDispatch();
  }
}

}  // namespace lx2d

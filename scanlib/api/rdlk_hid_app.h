// CRDLK_HIDApp: the library object, made when the library is loaded and
// destroyed when it is unloaded, and the call frame every export runs in.
#pragma once

#include <cstdint>
#include <mutex>

#include "vscp_communication.h"

namespace lx2d {

// State levels of CheckLibraryState.
inline constexpr int kNoStateCheck = 0;
inline constexpr int kNeedsInitialize = 1;
inline constexpr int kNeedsConnection = 2;

class CRDLK_HIDApp final : public CVscpCommunication {
 public:
  // The spy window's thread may wait on LibraryLock: it ends before the
  // lock goes.
  ~CRDLK_HIDApp() override { CloseSpyWindow(); }

  // One export at a time, across all threads of the host. Recursive, so a
  // capture callback that a request's thread runs may call an export again.
  std::recursive_mutex& LibraryLock() { return libraryLock_; }

  // The frame of a guarded export: under LibraryLock, checks the state at
  // `level` and runs `body`, whose result it returns. A fault or exception
  // inside is reported to the crash file and gives 12; CommandMutex is then
  // left as the body found it, everything else as the fault left it.
  template <class Body>
  uint16_t RunGuarded(int level, Body&& body);

 protected:
  // Stores a moved spy window's rectangle when no export runs.
  bool TryStoreSpyRect(const SpyRect& rect) override;

 private:
  // Runs `frame` under the exception guard; false when something was
  // caught (and reported).
  bool Guard(void (*frame)(void*), void* context);

  std::recursive_mutex libraryLock_;
};

// The library object, made on first use and destroyed at unload.
CRDLK_HIDApp& TheApp();

template <class Body>
uint16_t CRDLK_HIDApp::RunGuarded(int level, Body&& body) {
  struct Frame {
    CRDLK_HIDApp& app;
    int level;
    Body& body;
    uint16_t result;
  } frame{*this, level, body, kResultOk};
  std::lock_guard<std::recursive_mutex> lock(libraryLock_);
  CCommandMutex& commands = Protocol().CommandMutex();
  const unsigned depth = commands.CallerDepth();
  const bool completed = Guard(
      [](void* context) {
        Frame& f = *static_cast<Frame*>(context);
        f.result = f.app.CheckLibraryState(f.level);
        if (f.result == kResultOk) f.result = f.body();
      },
      &frame);
  if (completed) return frame.result;
  // The body was abandoned halfway: its hold on the reader goes with it.
  commands.ReleaseToDepth(depth);
  return kResultOtherError;
}

}  // namespace lx2d

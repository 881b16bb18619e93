// The library's one diagnostics observer: the engine and the transport
// report to it, and it hands everything on to the observers attached to it
// (the spy window while it is open, the event log). Attaching one is one
// line: LibraryObserver().Attach(&myObserver).
#pragma once

#include <atomic>
#include <shared_mutex>

#include "link_observer.h"

namespace lx2d {

class CLibraryObserver final : public ILinkObserver {
 public:
  // Room for the diagnostics the library has.
  static constexpr int kMaxObservers = 4;

  // Adds `observer` (not owned); false when it is there already or every
  // place is taken.
  bool Attach(ILinkObserver* observer);

  // Removes `observer`. When it returns, no call into `observer` is running
  // or will start, so the caller may destroy it. Must not be called from
  // inside one of the observer's own calls.
  void Detach(ILinkObserver* observer);

  // ILinkObserver: each call goes to every attached observer.
  bool Tracing() const override;
  void Trace(std::string_view line, uint32_t colour) override;
  void MessageRow(const PostedMessageRow& row) override;
  void LogText(uint32_t recordId, std::string_view text) override;
  void LogDump(uint32_t recordId, std::string_view title, std::span<const uint8_t> data) override;

 private:
  template <class Call>
  void ForEach(Call call) const;

  mutable std::shared_mutex mutex_;  // shared by calls, exclusive while detaching
  ILinkObserver* observers_[kMaxObservers] = {};
  std::atomic<int> count_{0};  // lets a call with nobody attached skip the lock
};

// The library's observer (that of its library object).
CLibraryObserver& LibraryObserver();

}  // namespace lx2d

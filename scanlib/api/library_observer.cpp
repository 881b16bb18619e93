#include "library_observer.h"

#include <mutex>

namespace lx2d {

template <class Call>
void CLibraryObserver::ForEach(Call call) const {
  if (count_.load(std::memory_order_acquire) == 0) return;
  std::shared_lock lock(mutex_);
  for (ILinkObserver* observer : observers_) {
    if (observer != nullptr) call(*observer);
  }
}

bool CLibraryObserver::Attach(ILinkObserver* observer) {
  if (observer == nullptr) return false;
  std::unique_lock lock(mutex_);
  ILinkObserver** free = nullptr;
  for (ILinkObserver*& slot : observers_) {
    if (slot == observer) return false;
    if (slot == nullptr && free == nullptr) free = &slot;
  }
  if (free == nullptr) return false;
  *free = observer;
  count_.fetch_add(1, std::memory_order_release);
  return true;
}

void CLibraryObserver::Detach(ILinkObserver* observer) {
  std::unique_lock lock(mutex_);
  for (ILinkObserver*& slot : observers_) {
    if (slot == observer && observer != nullptr) {
      slot = nullptr;
      count_.fetch_sub(1, std::memory_order_release);
    }
  }
}

bool CLibraryObserver::Tracing() const {
  bool tracing = false;
  ForEach([&](const ILinkObserver& observer) { tracing = tracing || observer.Tracing(); });
  return tracing;
}

void CLibraryObserver::Trace(std::string_view line, uint32_t colour) {
  ForEach([&](ILinkObserver& observer) {
    if (observer.Tracing()) observer.Trace(line, colour);
  });
}

void CLibraryObserver::MessageRow(const PostedMessageRow& row) {
  ForEach([&](ILinkObserver& observer) { observer.MessageRow(row); });
}

void CLibraryObserver::LogText(uint32_t recordId, std::string_view text) {
  ForEach([&](ILinkObserver& observer) { observer.LogText(recordId, text); });
}

void CLibraryObserver::LogDump(uint32_t recordId, std::string_view title,
                               std::span<const uint8_t> data) {
  ForEach([&](ILinkObserver& observer) { observer.LogDump(recordId, title, data); });
}

}  // namespace lx2d

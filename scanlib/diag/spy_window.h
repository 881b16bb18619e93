// CSpyWindow: the spy window of an open session. The window itself is drawn
// by the view process (lx2d-diag-view); this object hands it every trace
// line and posted message, and its window thread reads back the view's
// moves. Attach it to the library's observer while it exists.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link_observer.h"
#include "platform/helper_process.h"
#include "spy_model.h"

namespace lx2d {

class CSpyWindow final : public ILinkObserver {
 public:
  // Stores a moved window's rectangle in the configuration; false when it
  // cannot be done now (the window thread offers it again shortly).
  using StoreRect = std::function<bool(const SpyRect&)>;

  // Shows the window at `rect` through the view program `viewProgram`.
  // Results: the open window; null when no display is named, or the view
  // could not be started or could not show the window (nothing is kept).
  static std::unique_ptr<CSpyWindow> Open(const std::string& viewProgram, const SpyRect& rect,
                                          StoreRect storeRect);

  // Closing: the view's input ends, the window thread finishes what it
  // handles and ends, the view is reaped. Detach the object from any
  // observer first.
  ~CSpyWindow() override;
  CSpyWindow(const CSpyWindow&) = delete;
  CSpyWindow& operator=(const CSpyWindow&) = delete;

  // False once the user closed the window (or the view ended).
  bool Showing() const { return !viewEnded_.load(); }

  bool Tracing() const override { return true; }
  void Trace(std::string_view line, uint32_t colour) override;
  void MessageRow(const PostedMessageRow& row) override;

 private:
  CSpyWindow(std::unique_ptr<platform::CHelperProcess> view, StoreRect storeRect);
  void Send(const std::string& event);
  void RunWindowThread();

  std::unique_ptr<platform::CHelperProcess> view_;
  StoreRect storeRect_;
  std::mutex sendMutex_;     // one event at a time into the view
  bool sendFailed_ = false;  // under sendMutex_: a stalled view gets no more
  std::atomic<bool> stopping_{false};
  std::atomic<bool> viewEnded_{false};
  std::thread thread_;  // started last, joined first
};

// Where the view program lies: beside the library file that holds this
// code, or in ../libexec from there.
std::string FindViewProgram();

}  // namespace lx2d

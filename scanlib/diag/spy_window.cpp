// The spy window's side in the library: events out to the view, moves back.
#include "spy_window.h"

#include <chrono>
#include <filesystem>
#include <optional>

#include "platform/module.h"
#include "spy_wire.h"

namespace lx2d {
namespace {

// How long opening waits for the view to show its window. Generous: a view
// that cannot reach the display ends at once, and one that is only slow
// (a loaded machine) keeps its lines queued meanwhile.
constexpr int kShowWaitMs = 10000;
// How long one event may wait for room in a view that does not read; a
// view that stalls that long gets no further events.
constexpr int kSendWaitMs = 2000;
// How often the window thread looks at its stop flag and offers a moved
// rectangle again.
constexpr int kPollMs = 50;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string FindViewProgram() {
  const std::string self =
      platform::GetModulePathOf(reinterpret_cast<const void*>(&FindViewProgram));
  const std::string folder = self.substr(0, self.rfind('/'));
  const std::string beside = folder + "/lx2d-diag-view";
  std::error_code error;
  if (std::filesystem::is_regular_file(beside, error)) return beside;
  return folder + "/../libexec/lx2d-diag-view";
}

std::unique_ptr<CSpyWindow> CSpyWindow::Open(const std::string& viewProgram, const SpyRect& rect,
                                             StoreRect storeRect) {
  if (!platform::DisplayAvailable()) return nullptr;
  auto view = platform::CHelperProcess::Start(
      viewProgram,
      {"spy", std::to_string(rect.left), std::to_string(rect.top), std::to_string(rect.right),
       std::to_string(rect.bottom), std::to_string(NowMs())});
  if (view == nullptr) return nullptr;
  std::optional<SpyRect> moved;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kShowWaitMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    std::string line;
    const int got = view->ReadLine(line, static_cast<int>(std::max<int64_t>(left.count(), 0)));
    if (got < 0) return nullptr;  // the view could not show the window
    if (got == 0 || line == kSpyReady) break;
    if (auto rectLine = DecodeRectEvent(line)) moved = rectLine;
  }
  std::unique_ptr<CSpyWindow> window(new CSpyWindow(std::move(view), std::move(storeRect)));
  if (moved) window->storeRect_(*moved);
  return window;
}

CSpyWindow::CSpyWindow(std::unique_ptr<platform::CHelperProcess> view, StoreRect storeRect)
    : view_(std::move(view)), storeRect_(std::move(storeRect)) {
  thread_ = std::thread([this] { RunWindowThread(); });
}

CSpyWindow::~CSpyWindow() {
  {
    std::lock_guard<std::mutex> lock(sendMutex_);
    view_->CloseInput();  // the view quits at the end of its input
  }
  stopping_ = true;
  thread_.join();
  view_->Finish(kSendWaitMs);
}

void CSpyWindow::Send(const std::string& event) {
  std::lock_guard<std::mutex> lock(sendMutex_);
  if (sendFailed_) return;
  sendFailed_ = !view_->Write(event, kSendWaitMs);
}

void CSpyWindow::Trace(std::string_view line, uint32_t colour) {
  Send(EncodeTraceEvent(line, colour, NowMs()));
}

void CSpyWindow::MessageRow(const PostedMessageRow& row) {
  // A report's row shows its kind only; raw data shows its bytes.
  const std::span<const uint8_t> bytes = row.report ? std::span<const uint8_t>() : row.data;
  Send(EncodeMessageEvent(row.window, row.report, row.kind, bytes, row.wParam, row.lParam));
}

void CSpyWindow::RunWindowThread() {
  std::optional<SpyRect> moved;
  while (!stopping_) {
    std::string line;
    const int got = view_->ReadLine(line, kPollMs);
    if (got < 0) break;
    if (got > 0) {
      if (auto rect = DecodeRectEvent(line)) moved = rect;
    }
    if (moved && !stopping_ && storeRect_(*moved)) moved.reset();
  }
  viewEnded_ = true;
}

}  // namespace lx2d

#include "recording_host.h"

#include <algorithm>
#include <iterator>

#include "protocol.h"

namespace lx2d::testing {

uint32_t CRecordingHost::RegisterMessage(std::string_view name) {
  if (std::find(refused_.begin(), refused_.end(), name) != refused_.end()) return 0;
  const auto* found = std::find(std::begin(kHostMessageNames), std::end(kHostMessageNames), name);
  return 0xC000 + static_cast<uint32_t>(found - std::begin(kHostMessageNames));
}

bool CRecordingHost::PostMessage(HostWindow window, uint32_t message, uint64_t wParam,
                                 int64_t lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++attempts_;
  if (failing_ > 0) {
    --failing_;
    return false;
  }
  posts_.push_back({window, message, wParam, lParam});
  changed_.notify_all();
  return true;
}

void CRecordingHost::MessageBox(std::string_view text, std::string_view caption, uint32_t style) {
  std::lock_guard<std::mutex> lock(mutex_);
  boxes_.push_back({std::string(text), std::string(caption), style});
}

void CRecordingHost::FailPosts(int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  failing_ = count;
}

std::vector<PostedMessage> CRecordingHost::Posts() {
  std::lock_guard<std::mutex> lock(mutex_);
  return posts_;
}

std::vector<PostedMessage> CRecordingHost::PostsOf(uint32_t message) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<PostedMessage> out;
  std::copy_if(posts_.begin(), posts_.end(), std::back_inserter(out),
               [message](const PostedMessage& p) { return p.message == message; });
  return out;
}

std::vector<ShownBox> CRecordingHost::Boxes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

int CRecordingHost::PostAttempts() {
  std::lock_guard<std::mutex> lock(mutex_);
  return attempts_;
}

bool CRecordingHost::WaitForPosts(uint32_t message, size_t count, int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
    return std::count_if(posts_.begin(), posts_.end(), [message](const PostedMessage& p) {
             return p.message == message;
           }) >= static_cast<std::ptrdiff_t>(count);
  });
}

}  // namespace lx2d::testing

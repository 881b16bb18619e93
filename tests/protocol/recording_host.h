// A host that records what the engine posts and shows, for tests. Message
// numbers are 0xC000 + the name's place in the engine's table; posts can be
// made to fail a given number of times.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host_messaging.h"

namespace lx2d::testing {

struct PostedMessage {
  HostWindow window;
  uint32_t message;
  uint64_t wParam;
  int64_t lParam;
};

struct ShownBox {
  std::string text;
  std::string caption;
  uint32_t style;
};

inline constexpr uint32_t kMsgVscpFrame = 0xC000;
inline constexpr uint32_t kMsgRawData = 0xC001;
inline constexpr uint32_t kMsgMultiframe = 0xC002;
inline constexpr uint32_t kMsgLowLevel = 0xC003;

class CRecordingHost final : public IHostMessaging {
 public:
  uint32_t RegisterMessage(std::string_view name) override;
  bool PostMessage(HostWindow window, uint32_t message, uint64_t wParam, int64_t lParam) override;
  void MessageBox(std::string_view text, std::string_view caption, uint32_t style) override;

  // The next `count` posts fail.
  void FailPosts(int count);
  // Names whose registration answers 0.
  void RefuseRegistration(std::string name) { refused_.push_back(std::move(name)); }

  std::vector<PostedMessage> Posts();
  std::vector<PostedMessage> PostsOf(uint32_t message);
  std::vector<ShownBox> Boxes();
  int PostAttempts();

  // Waits until `count` posts of `message` have succeeded; false after `ms`.
  bool WaitForPosts(uint32_t message, size_t count, int ms);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> refused_;
  std::vector<PostedMessage> posts_;
  std::vector<ShownBox> boxes_;
  int failing_ = 0;
  int attempts_ = 0;
};

}  // namespace lx2d::testing

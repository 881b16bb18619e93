// A message box for tests: records every box and answers from a script.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace lx2d::platform {

class CRecordingMessageBox final : public IMessageBox {
 public:
  struct Box {
    HWND owner;
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
    UINT style;
  };

  // Installs itself as the process's message box; the destructor puts back
  // the implementation that was installed before.
  CRecordingMessageBox();
  ~CRecordingMessageBox() override;
  CRecordingMessageBox(const CRecordingMessageBox&) = delete;
  CRecordingMessageBox& operator=(const CRecordingMessageBox&) = delete;

  // Queues the answer of a later box, in order; a box that finds the script
  // empty answers its default button (DefaultButton(style)).
  void QueueAnswer(int answer);

  // Boxes shown so far, oldest first.
  std::vector<Box> Boxes() const;

  int Show(HWND owner, std::string_view text, std::string_view caption, UINT style) override;

 private:
  mutable std::mutex mutex;
  std::vector<Box> boxes;
  std::deque<int> answers;
  IMessageBox* previous = nullptr;
};

}  // namespace lx2d::platform

#include "platform/fakes/recording_message_box.h"

namespace lx2d::platform {

CRecordingMessageBox::CRecordingMessageBox() : previous(SetMessageBoxImplementation(this)) {}

CRecordingMessageBox::~CRecordingMessageBox() { SetMessageBoxImplementation(previous); }

void CRecordingMessageBox::QueueAnswer(int answer) {
  std::lock_guard<std::mutex> lock(mutex);
  answers.push_back(answer);
}

std::vector<CRecordingMessageBox::Box> CRecordingMessageBox::Boxes() const {
  std::lock_guard<std::mutex> lock(mutex);
  return boxes;
}

int CRecordingMessageBox::Show(HWND owner, std::string_view text, std::string_view caption,
                               UINT style) {
  std::lock_guard<std::mutex> lock(mutex);
  boxes.push_back(Box{owner, std::string(text), std::string(caption), style});
  if (answers.empty()) return DefaultButton(style);
  int answer = answers.front();
  answers.pop_front();
  return answer;
}

}  // namespace lx2d::platform

#include "console_message_box.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <string>

#include "message_box_buttons.h"

namespace lx2d::platform {

namespace {

constexpr int kMaxAttempts = 3;

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t written = write(fd, text.data() + done, text.size() - done);
    if (written <= 0) return;
    done += static_cast<std::size_t>(written);
  }
}

// One line from `fd`, without its line feed; false at the end of input.
bool ReadLine(int fd, std::string* line) {
  line->clear();
  char c;
  while (true) {
    ssize_t got = read(fd, &c, 1);
    if (got <= 0) return !line->empty();
    if (c == '\n') return true;
    line->push_back(c);
  }
}

std::string Prompt(const MessageBoxButtons& entry, int defaultId) {
  std::string prompt = "[";
  std::string defaultLabel;
  for (int i = 0; i < entry.count; ++i) {
    if (i > 0) prompt += "/";
    prompt += entry.buttons[i].label;
    if (entry.buttons[i].id == defaultId) defaultLabel = entry.buttons[i].label;
  }
  return prompt + "] (" + defaultLabel + "): ";
}

// The button whose label starts with the first non-blank letter of `answer`;
// 0 when none does, -1 for an empty answer.
int MatchAnswer(const MessageBoxButtons& entry, const std::string& answer) {
  for (char c : answer) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    for (int i = 0; i < entry.count; ++i) {
      if (std::tolower(static_cast<unsigned char>(c)) ==
          std::tolower(static_cast<unsigned char>(entry.buttons[i].label[0]))) {
        return entry.buttons[i].id;
      }
    }
    return 0;
  }
  return -1;
}

// Reading a terminal from a background job stops the whole program (SIGTTIN)
// until someone brings it forward, so a deployment script that started it
// with '&' would hang: only the terminal's foreground process group may ask.
// Files and pipes in place of the terminal always answer.
bool MayAskOn(int fd) { return isatty(fd) == 0 || tcgetpgrp(fd) == getpgrp(); }

}  // namespace

CConsoleMessageBox::CConsoleMessageBox(std::string answerFile, std::string promptFile,
                                       int errorStream)
    : answerPath(std::move(answerFile)), promptPath(std::move(promptFile)), errorFd(errorStream) {}

int CConsoleMessageBox::Show(HWND /*owner*/, std::string_view text, std::string_view caption,
                             UINT style) {
  std::string line;
  line.append(caption).append(": ").append(text).append("\n");
  WriteAll(errorFd, line);

  const MessageBoxButtons& entry = ButtonsOf(style);
  int defaultId = DefaultButton(style);
  if (entry.count < 2) return defaultId;
  int answers = open(answerPath.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (answers < 0) return defaultId;
  if (!MayAskOn(answers)) {
    close(answers);
    return defaultId;
  }
  int prompts = open(promptPath.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  int answer = defaultId;
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    if (prompts >= 0) WriteAll(prompts, Prompt(entry, defaultId));
    std::string reply;
    if (!ReadLine(answers, &reply)) break;
    int match = MatchAnswer(entry, reply);
    if (match != 0) {
      answer = match < 0 ? defaultId : match;
      break;
    }
  }
  close(answers);
  if (prompts >= 0) close(prompts);
  return answer;
}

}  // namespace lx2d::platform

#include "platform/terminal_prompt.h"

#include <fcntl.h>
#include <unistd.h>

namespace lx2d::platform {

std::optional<std::string> AskOnTerminal(std::string_view question) {
  if (isatty(STDIN_FILENO) == 0) return std::nullopt;
  const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (terminal < 0) return std::nullopt;
  for (size_t done = 0; done < question.size();) {
    const ssize_t written = write(terminal, question.data() + done, question.size() - done);
    if (written <= 0) break;
    done += static_cast<size_t>(written);
  }
  std::string line;
  char c = 0;
  bool ended = true;
  while (read(terminal, &c, 1) == 1) {
    if (c == '\n') {
      ended = false;
      break;
    }
    line.push_back(c);
  }
  close(terminal);
  if (ended && line.empty()) return std::nullopt;
  return line;
}

}  // namespace lx2d::platform

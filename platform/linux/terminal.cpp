// Questions on the controlling terminal, opened afresh for each question.
#include "platform/terminal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace lx2d::platform {
namespace {

int OpenTerminal() { return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC); }

}  // namespace

bool HasTerminal() {
  const int fd = OpenTerminal();
  if (fd < 0) return false;
  close(fd);
  return true;
}

TerminalAnswer AskTerminal(std::string_view prompt, std::string& line) {
  const int fd = OpenTerminal();
  if (fd < 0) return TerminalAnswer::kNoTerminal;
  while (!prompt.empty()) {
    const ssize_t written = write(fd, prompt.data(), prompt.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    prompt.remove_prefix(static_cast<size_t>(written));
  }
  line.clear();
  // One byte at a time: nothing after the line is taken from the terminal.
  for (;;) {
    char byte = 0;
    const ssize_t got = read(fd, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      close(fd);
      return line.empty() ? TerminalAnswer::kEndOfFile : TerminalAnswer::kLine;
    }
    if (byte == '\n') break;
    line.push_back(byte);
  }
  close(fd);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return TerminalAnswer::kLine;
}

}  // namespace lx2d::platform

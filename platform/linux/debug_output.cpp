#include "platform/debug_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/text.h"

namespace lx2d::platform {

namespace {

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t written = write(fd, text.data(), text.size());
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

void OutputDebugString(std::string_view text) {
  const char* destination = std::getenv("LX2D_DEBUG_OUTPUT");
  if (destination == nullptr || *destination == '\0' || text.empty()) return;
  if (std::strcmp(destination, "stderr") == 0) {
    WriteAll(STDERR_FILENO, text);
    return;
  }
  int fd = open(destination, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;  // a debugger output that cannot be written is simply lost
  WriteAll(fd, text);
  close(fd);
}

void OutputDebugString(std::u16string_view text) { OutputDebugString(Utf16ToUtf8(text)); }

}  // namespace lx2d::platform

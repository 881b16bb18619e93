// Registered message numbers: computed from the name, so every process (and
// a host program in another language, docs/window-messages.md) arrives at
// the same number without talking to anybody.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "platform/last_error.h"
#include "platform/paths.h"
#include "platform/window.h"

namespace lx2d::platform {

namespace {

constexpr std::uint32_t kFnvOffset = 2166136261u;
constexpr std::uint32_t kFnvPrime = 16777619u;
constexpr UINT kRegisteredRange = kLastRegisteredMessage - kFirstRegisteredMessage + 1;

// The names registered in this process. Built at first use, because the
// library registers its messages from its global application object, which
// may be constructed before this file's globals would be.
struct TNamesSeen {
  std::mutex mutex;
  std::map<UINT, std::string> names;
};

TNamesSeen& NamesSeen() {
  static TNamesSeen seen;
  return seen;
}

// FNV-1a over the name's bytes with ASCII letters in lower case.
UINT NumberOf(std::string_view name) {
  std::uint32_t hash = kFnvOffset;
  for (char c : name) {
    auto byte = static_cast<std::uint8_t>(c);
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<std::uint8_t>(byte - 'A' + 'a');
    hash = (hash ^ byte) * kFnvPrime;
  }
  return kFirstRegisteredMessage + hash % kRegisteredRange;
}

std::string NameFilePath(const std::string& folder, UINT message) {
  char file[16];
  std::snprintf(file, sizeof(file), "/%04x", message);
  return folder + file;
}

// Leaves the name in LX2D_RUNTIME_DIR/messages/<number> for tools; the first
// name registered under a number keeps the file.
void RecordName(UINT message, std::string_view name) {
  std::string folder;
  if (EnsureDirectory(Directory::kRuntime, "messages", &folder) != ERROR_SUCCESS) return;
  int fd =
      open(NameFilePath(folder, message).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t ignored = write(fd, name.data(), name.size());
  (void)ignored;
  close(fd);
}

}  // namespace

UINT RegisterWindowMessage(std::string_view name) {
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT message = NumberOf(name);
  {
    TNamesSeen& seen = NamesSeen();
    std::lock_guard<std::mutex> lock(seen.mutex);
    if (seen.names.count(message) != 0) return message;
    seen.names.emplace(message, std::string(name));
  }
  RecordName(message, name);
  return message;
}

std::string GetRegisteredMessageName(UINT message) {
  {
    TNamesSeen& seen = NamesSeen();
    std::lock_guard<std::mutex> lock(seen.mutex);
    auto found = seen.names.find(message);
    if (found != seen.names.end()) return found->second;
  }
  if (message < kFirstRegisteredMessage || message > kLastRegisteredMessage) return {};
  std::string path = NameFilePath(GetDirectory(Directory::kRuntime) + "/messages", message);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[256];
  ssize_t got = read(fd, buffer, sizeof(buffer));
  close(fd);
  return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
}

}  // namespace lx2d::platform

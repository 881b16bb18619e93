#include "platform/shared_objects.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <thread>

#include "permission_error.h"

namespace lx2d::platform {

namespace {

constexpr mode_t kEveryone = 0666;
constexpr auto kSizingWait = std::chrono::seconds(2);

bool ValidName(std::string_view name) {
  return name.size() > 1 && name.size() < 250 && name[0] == '/' &&
         name.find('/', 1) == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

DWORD OpenError(int error) {
  if (error == ENOENT) return ERROR_FILE_NOT_FOUND;
  if (IsPermissionError(error)) return ERROR_ACCESS_DENIED;
  return ERROR_NOT_ENOUGH_MEMORY;
}

// Opens `name` read-write, creating it for everyone when missing.
// *created tells which; -1 with errno on failure.
int CreateOrOpenObject(const std::string& name, bool* created) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    int handle = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kEveryone);
    if (handle >= 0) {
      fchmod(handle, kEveryone);  // the umask took bits away
      *created = true;
      return handle;
    }
    if (errno != EEXIST) return -1;
    handle = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (handle >= 0) {
      *created = false;
      return handle;
    }
    if (errno != ENOENT) return -1;  // removed in between: try again
  }
  return -1;
}

// The size of an existing object. Its creator sizes it just after creating
// it; an object still empty is waited for a while, so that a process opening
// it in that moment does not take it for one of the wrong size. 0 when it
// stays empty or cannot be examined.
std::size_t SizeOnceSet(int handle) {
  auto deadline = std::chrono::steady_clock::now() + kSizingWait;
  for (;;) {
    struct stat status {};
    if (fstat(handle, &status) != 0 || status.st_size < 0) return 0;
    if (status.st_size > 0 || std::chrono::steady_clock::now() >= deadline) {
      return static_cast<std::size_t>(status.st_size);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

CSharedMemory::~CSharedMemory() { Close(); }

DWORD CSharedMemory::Map(int handle, std::size_t bytes) {
  void* view = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, handle, 0);
  if (view == MAP_FAILED) return ERROR_NOT_ENOUGH_MEMORY;
  fd = handle;
  data = static_cast<std::byte*>(view);
  size = bytes;
  return ERROR_SUCCESS;
}

DWORD CSharedMemory::CreateOrOpen(std::string_view name, std::size_t bytes, bool* created) {
  if (!ValidName(name) || bytes == 0 || fd >= 0) return ERROR_INVALID_PARAMETER;
  std::string path(name);
  bool isNew = false;
  int handle = CreateOrOpenObject(path, &isNew);
  if (handle < 0) return OpenError(errno);
  if (isNew) {
    if (ftruncate(handle, static_cast<off_t>(bytes)) != 0) {
      close(handle);
      shm_unlink(path.c_str());
      return ERROR_NOT_ENOUGH_MEMORY;
    }
  } else if (SizeOnceSet(handle) != bytes) {
    close(handle);
    return ERROR_INVALID_DATA;
  }
  DWORD result = Map(handle, bytes);
  if (result != ERROR_SUCCESS) {
    close(handle);
    if (isNew) shm_unlink(path.c_str());
    return result;
  }
  if (created != nullptr) *created = isNew;
  return ERROR_SUCCESS;
}

DWORD CSharedMemory::Open(std::string_view name) {
  if (!ValidName(name) || fd >= 0) return ERROR_INVALID_PARAMETER;
  int handle = shm_open(std::string(name).c_str(), O_RDWR | O_CLOEXEC, 0);
  if (handle < 0) return OpenError(errno);
  struct stat status {};
  if (fstat(handle, &status) != 0 || status.st_size <= 0) {
    close(handle);
    return ERROR_INVALID_DATA;
  }
  DWORD result = Map(handle, static_cast<std::size_t>(status.st_size));
  if (result != ERROR_SUCCESS) close(handle);
  return result;
}

DWORD CSharedMemory::MarkInUse() {
  if (fd < 0) return ERROR_INVALID_HANDLE;
  while (flock(fd, LOCK_SH) != 0) {
    if (errno != EINTR) return ERROR_NOT_ENOUGH_MEMORY;
  }
  return ERROR_SUCCESS;
}

void CSharedMemory::Close() {
  if (data != nullptr) munmap(data, size);
  if (fd >= 0) close(fd);  // also drops the in-use mark
  fd = -1;
  data = nullptr;
  size = 0;
}

DWORD CSharedMemory::Remove(std::string_view name) {
  if (!ValidName(name)) return ERROR_INVALID_PARAMETER;
  std::string path(name);
  int handle = shm_open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (handle < 0) return OpenError(errno);
  // An exclusive lock is refused while any holder keeps its shared mark.
  if (flock(handle, LOCK_EX | LOCK_NB) != 0) {
    close(handle);
    return ERROR_SHARING_VIOLATION;
  }
  int removed = shm_unlink(path.c_str());
  int error = errno;
  close(handle);
  if (removed != 0) return OpenError(error);
  return ERROR_SUCCESS;
}

CNamedLock::~CNamedLock() { Close(); }

DWORD CNamedLock::CreateOrOpen(std::string_view name) {
  if (!ValidName(name) || fd >= 0) return ERROR_INVALID_PARAMETER;
  bool created = false;
  int handle = CreateOrOpenObject(std::string(name), &created);
  if (handle < 0) return OpenError(errno);
  fd = handle;
  return ERROR_SUCCESS;
}

DWORD CNamedLock::Lock(std::chrono::milliseconds limit) {
  if (fd < 0 || held) return ERROR_INVALID_HANDLE;
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return ERROR_INVALID_HANDLE;
    if (std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  held = true;
  return ERROR_SUCCESS;
}

void CNamedLock::Unlock() {
  if (!held) return;
  flock(fd, LOCK_UN);
  held = false;
}

void CNamedLock::Close() {
  Unlock();
  if (fd >= 0) close(fd);
  fd = -1;
}

static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));

std::atomic<std::uint32_t>* CNamedEvent::Word() const {
  // The word is the segment's only content; lock-free atomics of this size
  // have the plain integer's representation, so other processes can share it.
  return memory.Data() == nullptr ? nullptr
                                  : reinterpret_cast<std::atomic<std::uint32_t>*>(memory.Data());
}

DWORD CNamedEvent::CreateOrOpen(std::string_view name) {
  return memory.CreateOrOpen(name, sizeof(std::uint32_t), nullptr);
}

void CNamedEvent::Set() {
  std::atomic<std::uint32_t>* word = Word();
  if (word == nullptr) return;
  // Waiters sleep only while the word is 0, so a word that was 1 has none.
  if (word->exchange(1, std::memory_order_release) != 0) return;
  syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAKE, INT32_MAX, nullptr,
          nullptr, 0);
}

void CNamedEvent::Reset() {
  std::atomic<std::uint32_t>* word = Word();
  if (word != nullptr) word->store(0, std::memory_order_release);
}

DWORD CNamedEvent::Wait(std::chrono::milliseconds limit) {
  std::atomic<std::uint32_t>* word = Word();
  if (word == nullptr) return ERROR_INVALID_HANDLE;
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (word->load(std::memory_order_acquire) == 0) {
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return WAIT_TIMEOUT;
    auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec timeout{static_cast<time_t>(nanoseconds / 1000000000),
                     static_cast<long>(nanoseconds % 1000000000)};
    // Returns at once when the word is no longer 0; EINTR and EAGAIN loop.
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAIT, 0, &timeout, nullptr, 0);
  }
  return WAIT_OBJECT_0;
}

}  // namespace lx2d::platform

// Named objects that every process of the machine can reach, whoever runs it:
// the stand-ins for CreateFileMapping, CreateMutex and CreateEvent with a
// name and a NULL DACL. All three are POSIX shared memory objects (shm_open,
// so they live in /dev/shm until removed or the machine restarts), created
// with mode 0666 set explicitly, whatever the umask.
//
// A name is "/NAME" with one leading slash and no other. Nothing read from an
// object is trusted by these classes: a segment of another size than asked is
// refused rather than mapped short.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/win_types.h"

namespace lx2d::platform {

inline constexpr DWORD WAIT_OBJECT_0 = 0;             // the event is signalled
inline constexpr DWORD WAIT_TIMEOUT = 258;            // the wait ran out

// A mapped shared memory segment.
class CSharedMemory {
 public:
  CSharedMemory() = default;
  ~CSharedMemory();  // unmaps and closes
  CSharedMemory(const CSharedMemory&) = delete;
  CSharedMemory& operator=(const CSharedMemory&) = delete;

  // Creates segment `name` of `size` bytes, all zero, and maps it; when it
  // exists already, opens and maps it instead. *created (may be null) tells
  // which. Creation is not atomic to other processes by itself: callers that
  // fill a new segment hold a CNamedLock meanwhile, and openers take it too.
  // An existing segment still empty is one its creator has not sized yet: it
  // is waited for, at most two seconds.
  // Results: ERROR_SUCCESS; ERROR_INVALID_DATA when an existing segment's size
  // is not `size` (nothing mapped); ERROR_ACCESS_DENIED when the caller may
  // not open it read-write; ERROR_NOT_ENOUGH_MEMORY when it cannot be sized
  // or mapped (a new segment is removed again); ERROR_INVALID_PARAMETER for a
  // bad name, a `size` of 0 or an object open already.
  DWORD CreateOrOpen(std::string_view name, std::size_t size, bool* created);

  // Opens and maps an existing segment whole, whatever its size.
  // Results: ERROR_SUCCESS; ERROR_FILE_NOT_FOUND; ERROR_ACCESS_DENIED;
  // ERROR_INVALID_DATA for an empty segment; ERROR_NOT_ENOUGH_MEMORY when it
  // cannot be mapped; ERROR_INVALID_PARAMETER as above.
  DWORD Open(std::string_view name);

  // Marks the segment as used by this object until Close (a shared flock on
  // it), so that Remove can tell whether anyone still holds it.
  // Results: ERROR_SUCCESS; ERROR_INVALID_HANDLE when nothing is open.
  DWORD MarkInUse();

  void Close();

  std::byte* Data() const { return data; }
  std::size_t Size() const { return size; }

  // Removes the name of segment `name` unless an object marked it in use.
  // Mappings made before stay valid. Results: ERROR_SUCCESS;
  // ERROR_FILE_NOT_FOUND; ERROR_SHARING_VIOLATION when some process holds it
  // marked in use; ERROR_ACCESS_DENIED; ERROR_INVALID_PARAMETER for a bad name.
  static DWORD Remove(std::string_view name);

 private:
  DWORD Map(int handle, std::size_t bytes);

  int fd = -1;
  std::byte* data = nullptr;
  std::size_t size = 0;
};

// A named mutex across processes: an exclusive flock on an empty shared
// memory object. The kernel releases it when its holder ends, however it ends.
class CNamedLock {
 public:
  CNamedLock() = default;
  ~CNamedLock();  // unlocks and closes
  CNamedLock(const CNamedLock&) = delete;
  CNamedLock& operator=(const CNamedLock&) = delete;

  // Creates or opens the mutex `name` (not owned). Results: ERROR_SUCCESS;
  // ERROR_ACCESS_DENIED; ERROR_NOT_ENOUGH_MEMORY; ERROR_INVALID_PARAMETER for
  // a bad name or an object open already.
  DWORD CreateOrOpen(std::string_view name);

  // Takes the mutex, waiting at most `limit` (in steps of a millisecond) for
  // another holder, also one in this process. Results: ERROR_SUCCESS;
  // WAIT_TIMEOUT; ERROR_INVALID_HANDLE when not open or held already.
  DWORD Lock(std::chrono::milliseconds limit);

  // Releases the mutex when held.
  void Unlock();

  void Close();

 private:
  int fd = -1;
  bool held = false;
};

// A manual-reset event across processes: a 32-bit futex word (0 not
// signalled, 1 signalled) in a shared memory object of 4 bytes. Waiters sleep
// in FUTEX_WAIT (shared, not private) and Set wakes them all, so a program in
// any language can wait on it the same way.
class CNamedEvent {
 public:
  CNamedEvent() = default;
  CNamedEvent(const CNamedEvent&) = delete;
  CNamedEvent& operator=(const CNamedEvent&) = delete;

  // Creates the event `name` (not signalled) or opens it. Results: as
  // CSharedMemory::CreateOrOpen with a size of 4.
  DWORD CreateOrOpen(std::string_view name);

  // Signals the event and wakes every waiter; a signalled event stays so
  // until Reset. Does nothing when not open. Cheap when signalled already.
  void Set();

  // Makes the event not signalled.
  void Reset();

  // Waits until the event is signalled, at most `limit`. Results:
  // WAIT_OBJECT_0; WAIT_TIMEOUT; ERROR_INVALID_HANDLE when not open.
  DWORD Wait(std::chrono::milliseconds limit);

  void Close() { memory.Close(); }

 private:
  std::atomic<std::uint32_t>* Word() const;

  CSharedMemory memory;
};

}  // namespace lx2d::platform

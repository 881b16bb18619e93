// CEventManager: a process's handle on the system-wide event log, and the
// three ways to write to it. Writers never wait for each other: a record
// reserves its slots with one atomic add and is published when complete
// (event_ring.h). Setting the log up is left to the derived class
// (CEventLogInit), which fills the members below.
//
// Every entry point reports what happened as a result code and never fails
// its caller; the library's callers ignore the result:
//   ERROR_SUCCESS            the record is stored
//   ERROR_INVALID_HANDLE     this process has no queue (set-up failed)
//   ERROR_CANCELLED          the filter held the record back
//   ERROR_BUFFER_OVERFLOW    the record takes too many slots; dropped
//   ERROR_TIMEOUT            the writer was held up while others went a whole
//                            lap round the ring: its slots hold newer
//                            records now, so it was not published
//   ERROR_INVALID_PARAMETER  no format or title, an element size of 0, or a
//                            format that cannot be rendered
//   ERROR_NOT_ENOUGH_MEMORY  a wide text could not be converted for want of
//                            memory
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "event_filter.h"
#include "event_ring.h"
#include "platform/shared_objects.h"
#include "platform/win_types.h"

namespace lx2d {

using platform::DWORD;

inline constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;
inline constexpr DWORD ERROR_TIMEOUT = 1460;
inline constexpr DWORD ERROR_CANCELLED = 1223;

// Texts longer than this are cut to kCutKeep characters and "...\n".
inline constexpr std::size_t kMaxLogText = 127;
inline constexpr std::size_t kCutKeep = 124;

class CEventManager {
 public:
  CEventManager();
  virtual ~CEventManager();
  CEventManager(const CEventManager&) = delete;
  CEventManager& operator=(const CEventManager&) = delete;

  // Sets the log up; a second call does nothing.
  virtual DWORD Initialize() = 0;

  // A text record (type 0) under `recordId`, printf-formatted, filtered.
  DWORD LogText(std::uint32_t recordId, const char* format, ...)
      __attribute__((format(printf, 3, 4)));

  // A wide text record (type 3): the formatted text in the process's code
  // page; no record id, not filtered.
  DWORD LogWideText(const wchar_t* format, ...);

  // A dump record (type 4) of `count` elements of `elementSize` bytes at
  // `data`, titled `title`, filtered. A record too large for the queue is
  // replaced by the text record "<title>: (<count> binary elements)".
  DWORD LogDump(std::uint32_t recordId, std::uint16_t count, std::uint8_t elementSize,
                const void* data, const char* title);

  // The same for text already formatted (cut as LogText cuts), and for
  // dumps of any element count: one whose count does not fit the record's
  // 16-bit field is written as its text record too, never with a cut count.
  DWORD WriteText(std::uint32_t recordId, std::string_view text);
  DWORD WriteWideText(std::u16string_view text);
  DWORD WriteDump(std::uint32_t recordId, std::size_t count, std::uint8_t elementSize,
                  const void* data, std::string_view title);

  // True once the queue is usable in this process.
  bool HasQueue() const { return ring.Attached(); }

 protected:
  // The filter used when the shared block is missing: the default one.
  TEventFilter localFilter;

  platform::CNamedEvent hook;
  platform::CNamedLock mutex;
  platform::CSharedMemory sizeMemory;
  platform::CSharedMemory filterMemory;
  platform::CSharedMemory queueMemory;
  CSharedFilter filter;
  CEventRing ring;

 private:
  DWORD StoreText(std::uint32_t recordId, std::string_view text);
  DWORD Store(std::uint32_t type, std::span<const std::span<const std::byte>> pieces);
};

}  // namespace lx2d

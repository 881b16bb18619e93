// A reader of the event log, for tools and tests: maps the queue of the log
// that a prefix names and walks its records. Readers that wait for new
// records raise the queue's "reader waiting" count, so that writers set
// "EventHook" after each record, and lower it when they stop.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

#include "event_record.h"
#include "event_ring.h"
#include "platform/shared_objects.h"

namespace lx2d {

class CEventLogReader {
 public:
  CEventLogReader() = default;
  ~CEventLogReader();  // stops waiting
  CEventLogReader(const CEventLogReader&) = delete;
  CEventLogReader& operator=(const CEventLogReader&) = delete;

  // Maps the queue of the log `prefix` names. Results: ERROR_SUCCESS;
  // ERROR_FILE_NOT_FOUND when no process made that log; ERROR_INVALID_DATA
  // when the queue's header does not fit its segment; the other codes of
  // CSharedMemory::Open.
  platform::DWORD Open(std::string_view prefix);

  const CEventRing& Ring() const { return ring; }

  // Every finished record still in the ring, oldest first. *skipped (may be
  // null) receives the slots passed without a record.
  std::vector<TEventRecord> ReadAll(std::uint64_t* skipped = nullptr) const;

  // Records from *position on, up to the write index, stopping before one
  // that is reserved but not yet published (or, with `skipUnfinished`,
  // passing over it, for a writer that died half-way); *position moves
  // past them.
  std::vector<TEventRecord> ReadFrom(std::uint32_t* position, bool skipUnfinished = false) const;

  // Waits at most `limit` for a writer to set "EventHook"; the first call
  // registers this reader as waiting. False on time-out.
  bool WaitForRecords(std::chrono::milliseconds limit);

 private:
  platform::CSharedMemory queue;
  platform::CNamedEvent hook;
  CEventRing ring;
  bool waiting = false;
};

}  // namespace lx2d

#include "event_log_reader.h"

#include "event_log_names.h"

namespace lx2d {

using platform::DWORD;
using platform::ERROR_SUCCESS;

CEventLogReader::~CEventLogReader() {
  if (waiting) ring.AddReaderWaiting(-1);
}

DWORD CEventLogReader::Open(std::string_view prefix) {
  TEventLogNames names = EventLogNames(prefix);
  DWORD status = queue.Open(names.queue);
  if (status != ERROR_SUCCESS) return status;
  if (!ring.Attach(queue.Data(), queue.Size())) return platform::ERROR_INVALID_DATA;
  hook.CreateOrOpen(names.event);
  return ERROR_SUCCESS;
}

std::vector<TEventRecord> CEventLogReader::ReadAll(std::uint64_t* skipped) const {
  std::vector<TEventRecord> records;
  CRingWalker walker(ring);
  RawRecord raw;
  while (walker.Next(&raw)) {
    if (auto record = DecodeRecord(raw)) records.push_back(std::move(*record));
  }
  if (skipped != nullptr) *skipped = walker.Skipped();
  return records;
}

std::vector<TEventRecord> CEventLogReader::ReadFrom(std::uint32_t* position,
                                                    bool skipUnfinished) const {
  std::vector<TEventRecord> records;
  CRingWalker walker(ring, *position);
  RawRecord raw;
  while (walker.Next(&raw, !skipUnfinished)) {
    if (auto record = DecodeRecord(raw)) records.push_back(std::move(*record));
  }
  *position = walker.Position();
  return records;
}

bool CEventLogReader::WaitForRecords(std::chrono::milliseconds limit) {
  if (!waiting) {
    ring.AddReaderWaiting(1);
    waiting = true;
  }
  // Reset before the caller looks again, so a record written meanwhile
  // leaves the event set for the next wait.
  bool signalled = hook.Wait(limit) == platform::WAIT_OBJECT_0;
  hook.Reset();
  return signalled;
}

}  // namespace lx2d

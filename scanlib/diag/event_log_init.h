// CEventLogInit: sets the event log up for this process, once, from its
// constructor:
//  1. create or open the event "EventHook";
//  2. create or open the mutex "VLXSNMPTrapMuxObject" and hold it while the
//     segments are created, so that another process never sees one half
//     made (it waits for the holder, at most two seconds);
//  3. create or open "EVTLOG_QUEUELOG_SIZE"; its creator stores "QueueSize"
//     from the registry (default 0x8000), the others take what is stored;
//  4. create or open "EVTLOG_LOG_FILTR2"; its creator loads "EventFilter",
//     or, when it cannot be read, sets the default filter and writes it
//     back to the registry when the value was missing;
//  5. create or open "EVTLOG_LOG_QUEUE" of queue size + 32 bytes; when a
//     size from the registry fails, 0x8000 is used and stored in
//     "EVTLOG_QUEUELOG_SIZE" for later processes. Without a queue the text
//     "Error creating event log: 0x%08X\r\n" goes to the debugger output and
//     every write does nothing. The queue's creator formats it and writes
//     "VLXEventLog started\n";
//  6. store the queue size in use in the filter block.
// Registry errors met on the way are written as text records once the queue
// exists (before, there is nowhere to write them).
#pragma once

#include <atomic>
#include <string>

#include "event_log_names.h"
#include "event_manager.h"
#include "link_observer.h"
#include "platform/registry.h"

namespace lx2d {

// The log's own registry error records.
inline constexpr std::uint32_t kLogIdRegistryOpen = 0xC12E000A;
inline constexpr std::uint32_t kLogIdRegistryCreate = 0xC12E000B;
inline constexpr std::uint32_t kLogIdRegistryQuery = 0xC12E000C;
inline constexpr std::uint32_t kLogIdRegistrySet = 0xC12E000E;

class CEventLogInit : public CEventManager {
 public:
  // The machine's log (or the one LX2D_EVTLOG_PREFIX names) with the
  // process's registry.
  CEventLogInit();

  // The log whose objects carry `objectPrefix`, configured from
  // `configuration`.
  CEventLogInit(std::string objectPrefix, platform::IRegistry& configuration);

  // Runs the start-up steps. Results: ERROR_SUCCESS with a queue (also for a
  // second call); otherwise the code of the step that failed, and the log
  // stays without a queue.
  DWORD Initialize() override;

 private:
  class CLogKey;

  DWORD SetUp(CLogKey& key, bool* created);
  std::uint32_t AgreeQueueSize(CLogKey& key, const TEventLogNames& names, bool* fromRegistry);
  void SetUpFilter(CLogKey& key, const TEventLogNames& names);
  DWORD SetUpQueue(const TEventLogNames& names, std::uint32_t queueSize, bool fromRegistry,
                   bool* created);
  std::atomic_ref<std::uint32_t> SharedQueueSize();

  std::string prefix;
  platform::IRegistry& registry;
  bool initialized = false;
  DWORD result = platform::ERROR_SUCCESS;
};

// The process's one log, set up when the library is loaded.
CEventLogInit& ProcessEventLog();

// The observer that writes the engine's and the transport's records into
// ProcessEventLog(), for the library's fan-out observer.
ILinkObserver& ProcessEventLogObserver();

}  // namespace lx2d

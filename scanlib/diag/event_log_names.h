// The names of the event log's shared objects. LX2D_EVTLOG_PREFIX (for tests
// and tools) goes in front of each name, after the slash, so that a test
// never touches the machine's own log: with prefix "T1_" the queue is
// "/T1_EVTLOG_LOG_QUEUE" and the event "/T1_EventHook".
#pragma once

#include <string>
#include <string_view>

namespace lx2d {

struct TEventLogNames {
  std::string queueSize;  // "/EVTLOG_QUEUELOG_SIZE", 4 bytes: the agreed queue size
  std::string filter;     // "/EVTLOG_LOG_FILTR2", 180 bytes: the filter block
  std::string queue;      // "/EVTLOG_LOG_QUEUE", queue size + 32 bytes: the ring
  std::string mutex;      // "/VLXSNMPTrapMuxObject"
  std::string event;      // "/EventHook"
};

TEventLogNames EventLogNames(std::string_view prefix);

// The value of LX2D_EVTLOG_PREFIX, empty when unset.
std::string EventLogPrefixFromEnvironment();

// The registry key and values of the log, under HKEY_LOCAL_MACHINE.
inline constexpr std::string_view kEventLogKey = "SOFTWARE\\Veltrix\\EventLog";
inline constexpr std::string_view kQueueSizeValue = "QueueSize";
inline constexpr std::string_view kEventFilterValue = "EventFilter";
inline constexpr unsigned kDefaultQueueSize = 0x8000;

}  // namespace lx2d

// The process's one event log. Kept apart from the class so that only
// programs that ask for it (the library) set up the machine's log.
#include "event_log_init.h"
#include "event_log_observer.h"

namespace lx2d {

CEventLogInit& ProcessEventLog() {
  static CEventLogInit log;
  return log;
}

ILinkObserver& ProcessEventLogObserver() {
  static CEventLogObserver observer(ProcessEventLog());
  return observer;
}

namespace {

// Sets the log up when the library is loaded, not at its first record.
[[maybe_unused]] CEventLogInit& theEventLog = ProcessEventLog();

}  // namespace

}  // namespace lx2d

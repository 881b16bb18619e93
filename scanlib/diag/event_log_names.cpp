#include "event_log_names.h"

#include <cstdlib>

namespace lx2d {

TEventLogNames EventLogNames(std::string_view prefix) {
  auto name = [prefix](std::string_view base) {
    return "/" + std::string(prefix) + std::string(base);
  };
  return {name("EVTLOG_QUEUELOG_SIZE"), name("EVTLOG_LOG_FILTR2"), name("EVTLOG_LOG_QUEUE"),
          name("VLXSNMPTrapMuxObject"), name("EventHook")};
}

std::string EventLogPrefixFromEnvironment() {
  const char* prefix = std::getenv("LX2D_EVTLOG_PREFIX");
  return prefix == nullptr ? std::string() : std::string(prefix);
}

}  // namespace lx2d

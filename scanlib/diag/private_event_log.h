// For tests: a log that no other test or process shares (a prefix made of
// a random number and a counter), whose shared objects are removed at the end.
#pragma once

#include <atomic>
#include <random>
#include <string>

#include "event_log_names.h"
#include "platform/shared_objects.h"

namespace lx2d {

class CPrivateEventLogNames {
 public:
  CPrivateEventLogNames() {
    static const unsigned run = std::random_device{}();
    static std::atomic<int> counter{0};
    prefix = "lx2dtest" + std::to_string(run) + "_" + std::to_string(counter++) + "_";
  }
  ~CPrivateEventLogNames() { RemoveAll(); }
  CPrivateEventLogNames(const CPrivateEventLogNames&) = delete;
  CPrivateEventLogNames& operator=(const CPrivateEventLogNames&) = delete;

  const std::string& Prefix() const { return prefix; }
  TEventLogNames Names() const { return EventLogNames(prefix); }

  void RemoveAll() const {
    TEventLogNames names = Names();
    for (const std::string* name :
         {&names.queueSize, &names.filter, &names.queue, &names.mutex, &names.event}) {
      platform::CSharedMemory::Remove(*name);
    }
  }

 private:
  std::string prefix;
};

}  // namespace lx2d

#include "evtlog_cli.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <ostream>

#include "event_log_names.h"
#include "event_log_reader.h"
#include "platform/shared_objects.h"

namespace lx2d::evtlog {

namespace {

using platform::DWORD;
using platform::ERROR_SUCCESS;

constexpr std::string_view kUsage =
    "usage: lx2d-evtlog dump\n"
    "       lx2d-evtlog follow [--count N]\n"
    "       lx2d-evtlog filter show\n"
    "       lx2d-evtlog filter set [--default MASK] [--rule CATEGORY:MASK]... [--id ID]...\n"
    "                              [--trigger ID] [--trigger-count N] [--trigger-on]\n"
    "       lx2d-evtlog reset\n";

constexpr const char* kTriggerStates[] = {"waiting", "triggered", "stopped"};

// How long `follow` waits for a reserved record before passing over it (its
// writer may have died half-way).
constexpr auto kUnfinishedPatience = std::chrono::seconds(2);

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

std::string Severities(std::uint32_t mask) {
  std::string text = "(severities";
  for (int severity = 0; severity < 4; ++severity) {
    if ((mask & (1u << severity)) != 0) text += " " + std::to_string(severity);
  }
  return text + ")";
}

std::optional<std::uint64_t> Number(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

class CRegistryKey {
 public:
  CRegistryKey(platform::IRegistry& store, bool write) : registry(store) {
    status = write ? registry.CreateKey(platform::HKEY_LOCAL_MACHINE, kEventLogKey,
                                        platform::REG_OPTION_NON_VOLATILE, platform::KEY_ALL_ACCESS,
                                        &key, nullptr)
                   : registry.OpenKey(platform::HKEY_LOCAL_MACHINE, kEventLogKey,
                                      platform::KEY_READ, &key);
  }
  ~CRegistryKey() {
    if (status == ERROR_SUCCESS) registry.CloseKey(key);
  }
  platform::IRegistry& registry;
  platform::HKEY key = 0;
  platform::LSTATUS status;
};

// The live filter block of a running log, when there is one.
class CLiveFilter {
 public:
  explicit CLiveFilter(std::string_view prefix) {
    if (memory.Open(EventLogNames(prefix).filter) == ERROR_SUCCESS &&
        memory.Size() != sizeof(TEventFilter)) {
      memory.Close();  // not a block this tool can read
    }
  }
  bool Exists() const { return memory.Data() != nullptr; }
  CSharedFilter Filter() const { return CSharedFilter(memory.Data()); }

 private:
  platform::CSharedMemory memory;
};

int Dump(std::ostream& out, std::ostream& err, std::string_view prefix) {
  CEventLogReader reader;
  DWORD status = reader.Open(prefix);
  if (status != ERROR_SUCCESS) {
    err << "lx2d-evtlog: no usable event log (error " << status << ")\n";
    return kExitFailed;
  }
  for (const TEventRecord& record : reader.ReadAll()) out << FormatRecord(record) << '\n';
  return kExitSuccess;
}

int Follow(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           std::string_view prefix) {
  std::optional<std::uint64_t> limit;
  if (args.size() == 3 && args[1] == "--count") {
    limit = Number(args[2]);
    if (!limit) {
      err << kUsage;
      return kExitUsage;
    }
  } else if (args.size() != 1) {
    err << kUsage;
    return kExitUsage;
  }
  CEventLogReader reader;
  DWORD status = reader.Open(prefix);
  if (status != ERROR_SUCCESS) {
    err << "lx2d-evtlog: no usable event log (error " << status << ")\n";
    return kExitFailed;
  }
  std::uint32_t position = reader.Ring().WriteIndex();
  std::uint64_t printed = 0;
  auto stuckSince = std::chrono::steady_clock::now();
  while (!limit || printed < *limit) {
    reader.WaitForRecords(std::chrono::milliseconds(500));
    auto now = std::chrono::steady_clock::now();
    bool skip = position != reader.Ring().WriteIndex() && now - stuckSince > kUnfinishedPatience;
    std::uint32_t before = position;
    for (const TEventRecord& record : reader.ReadFrom(&position, skip)) {
      out << FormatRecord(record) << '\n';
      if (limit && ++printed == *limit) break;
    }
    out.flush();
    if (position != before || position == reader.Ring().WriteIndex()) stuckSince = now;
  }
  return kExitSuccess;
}

std::optional<TEventFilter> ParseFilter(const std::vector<std::string>& args, std::ostream& err) {
  TEventFilter filter = DefaultFilter();
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--trigger-on") {
      filter.triggerEnabled = 1;
      continue;
    }
    if (i + 1 == args.size()) {
      err << kUsage;
      return std::nullopt;
    }
    const std::string& value = args[++i];
    std::optional<std::uint64_t> number = Number(value);
    if (option == "--rule") {
      std::size_t colon = value.find(':');
      auto category = Number(std::string_view(value).substr(0, colon));
      auto mask = colon == std::string::npos ? std::nullopt
                                             : Number(std::string_view(value).substr(colon + 1));
      if (!category || !mask || *category > kMaxCategory || *mask > kMaxSeverityMask ||
          filter.ruleCount == kMaxCategoryRules) {
        err << "lx2d-evtlog: bad rule \"" << value << "\" (category 0..4095, mask 0..15, at most "
            << kMaxCategoryRules << " rules)\n";
        return std::nullopt;
      }
      filter.rules[filter.ruleCount++] = {static_cast<std::uint16_t>(*category),
                                          static_cast<std::uint16_t>(*mask)};
    } else if (option == "--id" && number && *number <= 0xFFFFFFFF &&
               filter.idCount < kMaxExplicitIds) {
      filter.ids[filter.idCount++] = static_cast<std::uint32_t>(*number);
    } else if (option == "--default" && number && *number <= kMaxSeverityMask) {
      filter.defaultMask = static_cast<std::uint16_t>(*number);
    } else if (option == "--trigger" && number && *number <= 0xFFFFFFFF) {
      filter.triggerId = static_cast<std::uint32_t>(*number);
    } else if (option == "--trigger-count" && number && *number <= 0x7FFFFFFF) {
      filter.triggerCount = static_cast<std::int32_t>(*number);
    } else {
      err << "lx2d-evtlog: bad option or value: " << option << " " << value << "\n";
      return std::nullopt;
    }
  }
  return filter;
}

int FilterSet(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              platform::IRegistry& registry, std::string_view prefix) {
  std::optional<TEventFilter> filter = ParseFilter(args, err);
  if (!filter) return kExitUsage;
  CRegistryKey key(registry, /*write=*/true);
  FilterBytes bytes = ToBytes(*filter);
  platform::LSTATUS status = key.status;
  if (status == ERROR_SUCCESS) {
    status = registry.SetValue(key.key, kEventFilterValue, platform::REG_BINARY, bytes.data(),
                               static_cast<DWORD>(bytes.size()));
  }
  if (status != ERROR_SUCCESS) {
    err << "lx2d-evtlog: cannot write HKLM\\" << kEventLogKey << "\\" << kEventFilterValue
        << " (error " << status << ")\n";
    return kExitFailed;
  }
  CLiveFilter live(prefix);
  if (live.Exists()) {
    CSharedFilter shared = live.Filter();
    filter->queueSize = shared.Load().queueSize;  // the running log's, not ours to change
    shared.Store(*filter);
    out << "filter written to the registry and to the running log\n";
  } else {
    out << "filter written to the registry\n";
  }
  return kExitSuccess;
}

int FilterShow(std::ostream& out, std::ostream& err, platform::IRegistry& registry,
               std::string_view prefix) {
  CRegistryKey key(registry, /*write=*/false);
  FilterBytes bytes{};
  DWORD size = static_cast<DWORD>(bytes.size());
  DWORD type = 0;
  platform::LSTATUS status = key.status;
  if (status == ERROR_SUCCESS) {
    status = registry.QueryValue(key.key, kEventFilterValue, &type, bytes.data(), &size);
  }
  if (status != ERROR_SUCCESS && status != platform::ERROR_FILE_NOT_FOUND) {
    // There may well be a value (one too large, say): "none" would be wrong.
    err << "lx2d-evtlog: cannot read HKLM\\" << kEventLogKey << "\\" << kEventFilterValue
        << " (error " << status << ")\n";
    return kExitFailed;
  }
  std::optional<TEventFilter> stored;
  if (status == ERROR_SUCCESS && type == platform::REG_BINARY) stored = FilterFromBytes(bytes);
  if (status == ERROR_SUCCESS && (!stored || size != bytes.size())) {
    err << "lx2d-evtlog: the registry's EventFilter is not a 180-byte binary value\n";
    return kExitFailed;
  }
  if (stored) {
    out << "registry:\n" << DescribeFilter(*stored);
  } else {
    out << "registry: no EventFilter (the first process writes the default)\n";
  }
  CLiveFilter live(prefix);
  if (live.Exists()) {
    TEventFilter running = live.Filter().Load();
    TEventFilter compare = running;
    if (stored) compare.queueSize = stored->queueSize;
    if (!stored || std::memcmp(&compare, &*stored, sizeof compare) != 0) {
      out << "running log:\n" << DescribeFilter(running);
    } else {
      out << "running log: the same, queue size " << Hex(running.queueSize) << "\n";
    }
  }
  return kExitSuccess;
}

int Reset(std::ostream& out, std::ostream& err, std::string_view prefix) {
  TEventLogNames names = EventLogNames(prefix);
  // Under the log's mutex no process is half-way through creating it.
  platform::CNamedLock mutex;
  if (mutex.CreateOrOpen(names.mutex) == ERROR_SUCCESS) mutex.Lock(std::chrono::seconds(5));
  // Every process that uses the log marks all three segments; the queue
  // answers for them.
  DWORD status = platform::CSharedMemory::Remove(names.queue);
  if (status == platform::ERROR_SHARING_VIOLATION) {
    err << "lx2d-evtlog: a running process still holds the event log; nothing removed\n";
    return kExitFailed;
  }
  // A segment this user may not remove (another user's log) is no reason
  // to say there was none.
  bool removed = false;
  bool failed = false;
  auto account = [&](const std::string& name, DWORD result) {
    if (result == ERROR_SUCCESS) {
      removed = true;
    } else if (result != platform::ERROR_FILE_NOT_FOUND) {
      err << "lx2d-evtlog: cannot remove " << name << " (error " << result << ")\n";
      failed = true;
    }
  };
  account(names.queue, status);
  for (const std::string* name : {&names.filter, &names.queueSize}) {
    account(*name, platform::CSharedMemory::Remove(*name));
  }
  if (failed) return kExitFailed;
  out << (removed ? "event log removed; the next process creates it afresh\n"
                  : "no event log to remove\n");
  return kExitSuccess;
}

}  // namespace

std::string DescribeFilter(const TEventFilter& filter) {
  std::string text = "default mask " + std::to_string(filter.defaultMask) + " " +
                     Severities(filter.defaultMask) + "\n";
  for (std::size_t i = 0; i < std::min<std::size_t>(filter.ruleCount, kMaxCategoryRules); ++i) {
    text += "rule category " + Hex(filter.rules[i].category) + " mask " +
            std::to_string(filter.rules[i].mask) + " " + Severities(filter.rules[i].mask) + "\n";
  }
  for (std::size_t i = 0; i < std::min<std::size_t>(filter.idCount, kMaxExplicitIds); ++i) {
    text += "id " + Hex(filter.ids[i]) + "\n";
  }
  text += "trigger id " + Hex(filter.triggerId) + (filter.triggerEnabled != 0 ? " on" : " off") +
          ", count " + std::to_string(filter.triggerCount) + ", state " +
          (filter.triggerState < 3 ? kTriggerStates[filter.triggerState]
                                   : std::to_string(filter.triggerState).c_str()) +
          "\n";
  if (filter.queueSize != 0) text += "queue size " + Hex(filter.queueSize) + "\n";
  return text;
}

int RunEvtlogCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     platform::IRegistry& registry, std::string_view prefix) {
  std::string command = args.empty() ? "" : args[0];
  std::string sub = args.size() > 1 ? args[1] : "";
  if (command == "dump" && args.size() == 1) return Dump(out, err, prefix);
  if (command == "follow") return Follow(args, out, err, prefix);
  if (command == "filter" && sub == "show" && args.size() == 2) {
    return FilterShow(out, err, registry, prefix);
  }
  if (command == "filter" && sub == "set") return FilterSet(args, out, err, registry, prefix);
  if (command == "reset" && args.size() == 1) return Reset(out, err, prefix);
  err << kUsage;
  return kExitUsage;
}

}  // namespace lx2d::evtlog

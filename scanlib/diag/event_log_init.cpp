#include "event_log_init.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/debug_output.h"

namespace lx2d {

using platform::ERROR_SUCCESS;
using platform::HKEY;
using platform::IRegistry;

namespace {

// How long a process waits for another one still creating the segments.
constexpr auto kCreationWait = std::chrono::seconds(2);

constexpr wchar_t kWideKeyName[] = L"SOFTWARE\\Veltrix\\EventLog";

template <typename... Args>
std::string Format(const char* format, Args... arguments) {
  char text[kMaxLogText + 2];
  int length = std::snprintf(text, sizeof text, format, arguments...);
  return length < 0 ? std::string()
                    : std::string(text, std::min<std::size_t>(length, sizeof text - 1));
}

}  // namespace

// The log's registry key, opened on first use, and the error records met,
// kept until the queue can take them.
class CEventLogInit::CLogKey {
 public:
  explicit CLogKey(IRegistry& store) : registry(store) {}
  ~CLogKey() {
    if (key != 0) registry.CloseKey(key);
  }

  // Full access when the key can be created, else read-only; 0 when neither.
  HKEY Get() {
    if (opened) return key;
    opened = true;
    platform::LSTATUS status = registry.CreateKey(platform::HKEY_LOCAL_MACHINE, kEventLogKey,
                                                  platform::REG_OPTION_NON_VOLATILE,
                                                  platform::KEY_ALL_ACCESS, &key, nullptr);
    if (status == ERROR_SUCCESS) return key;
    key = 0;
    if (status != platform::ERROR_ACCESS_DENIED) {
      Note(kLogIdRegistryCreate,
           Format("CRegistry::Create Error: 0x%x Key name: %ls\r\n", status, kWideKeyName));
      return 0;
    }
    if (registry.OpenKey(platform::HKEY_LOCAL_MACHINE, kEventLogKey, platform::KEY_READ, &key) !=
        ERROR_SUCCESS) {
      key = 0;
      Note(kLogIdRegistryOpen, Format("CRegistry::Open Error; Subkey: %ls\r\n", kWideKeyName));
    }
    return key;
  }

  // The value's bytes when it exists with one of `types` and `size` bytes.
  bool Query(std::string_view name, const wchar_t* wideName,
             std::initializer_list<platform::DWORD> types, std::uint8_t* data, DWORD size,
             bool* missing) {
    *missing = false;
    if (Get() == 0) return false;
    platform::DWORD type = 0;
    platform::DWORD got = size;
    platform::LSTATUS status = registry.QueryValue(key, name, &type, data, &got);
    bool fits = status == ERROR_SUCCESS && got == size &&
                std::find(types.begin(), types.end(), type) != types.end();
    if (!fits) {
      *missing = status == platform::ERROR_FILE_NOT_FOUND;
      Note(kLogIdRegistryQuery,
           Format("CRegistry::QueryValue Error. Value name: %ls\r\n", wideName));
    }
    return fits;
  }

  void SetBinary(std::string_view name, const wchar_t* wideName,
                 std::span<const std::uint8_t> data) {
    if (Get() == 0) return;
    platform::LSTATUS status = registry.SetValue(key, name, platform::REG_BINARY, data.data(),
                                                 static_cast<platform::DWORD>(data.size()));
    if (status != ERROR_SUCCESS) {
      Note(kLogIdRegistrySet,
           Format("CRegistry::SetBinaryValue Err: 0x%x Value Name: %ls", status, wideName));
    }
  }

  std::vector<std::pair<std::uint32_t, std::string>> notes;

 private:
  void Note(std::uint32_t recordId, std::string text) {
    notes.emplace_back(recordId, std::move(text));
  }

  IRegistry& registry;
  HKEY key = 0;
  bool opened = false;
};

CEventLogInit::CEventLogInit()
    : CEventLogInit(EventLogPrefixFromEnvironment(), platform::DefaultRegistry()) {}

CEventLogInit::CEventLogInit(std::string objectPrefix, IRegistry& configuration)
    : prefix(std::move(objectPrefix)), registry(configuration) {
  Initialize();
}

DWORD CEventLogInit::Initialize() {
  if (initialized) return result;
  initialized = true;
  CLogKey key(registry);
  bool created = false;
  result = SetUp(key, &created);
  mutex.Unlock();
  if (result != ERROR_SUCCESS) {
    platform::OutputDebugString(Format("Error creating event log: 0x%08X\r\n", result));
    return result;
  }
  if (created) WriteWideText(u"VLXEventLog started\n");
  for (const auto& [recordId, text] : key.notes) WriteText(recordId, text);
  return result;
}

DWORD CEventLogInit::SetUp(CLogKey& key, bool* created) {
  TEventLogNames names = EventLogNames(prefix);
  hook.CreateOrOpen(names.event);  // without its event the log still stores records
  if (mutex.CreateOrOpen(names.mutex) == ERROR_SUCCESS) {
    // Past the wait, go on: every segment is checked before it is used.
    mutex.Lock(kCreationWait);
  }
  bool fromRegistry = false;
  std::uint32_t queueSize = AgreeQueueSize(key, names, &fromRegistry);
  SetUpFilter(key, names);
  DWORD status = SetUpQueue(names, queueSize, fromRegistry, created);
  if (status != ERROR_SUCCESS) return status;
  // Shared marks tell `lx2d-evtlog reset` that this process holds the log.
  sizeMemory.MarkInUse();
  filterMemory.MarkInUse();
  queueMemory.MarkInUse();
  return ERROR_SUCCESS;
}

std::uint32_t CEventLogInit::AgreeQueueSize(CLogKey& key, const TEventLogNames& names,
                                            bool* fromRegistry) {
  bool created = false;
  bool shared =
      sizeMemory.CreateOrOpen(names.queueSize, sizeof(std::uint32_t), &created) == ERROR_SUCCESS;
  if (shared && !created) return SharedQueueSize().load(std::memory_order_relaxed);
  std::uint32_t queueSize = kDefaultQueueSize;
  std::uint8_t bytes[4];
  bool missing = false;
  if (key.Query(kQueueSizeValue, L"QueueSize", {platform::REG_DWORD, platform::REG_BINARY}, bytes,
                sizeof bytes, &missing)) {
    std::memcpy(&queueSize, bytes, sizeof queueSize);
    *fromRegistry = true;
  }
  if (shared) SharedQueueSize().store(queueSize, std::memory_order_relaxed);
  return queueSize;
}

void CEventLogInit::SetUpFilter(CLogKey& key, const TEventLogNames& names) {
  bool created = false;
  if (filterMemory.CreateOrOpen(names.filter, sizeof(TEventFilter), &created) != ERROR_SUCCESS) {
    return;  // the process filters with its own default block
  }
  filter = CSharedFilter(filterMemory.Data());
  if (!created) return;
  FilterBytes bytes{};
  bool missing = false;
  std::optional<TEventFilter> stored;
  if (key.Query(kEventFilterValue, L"EventFilter", {platform::REG_BINARY}, bytes.data(),
                bytes.size(), &missing)) {
    stored = FilterFromBytes(bytes);
  }
  if (stored && FilterWithinLimits(*stored)) {
    filter.Store(*stored);
    return;
  }
  filter.Store(DefaultFilter());
  // A value that exists but is unusable is somebody's; only a missing one is
  // written.
  if (missing) key.SetBinary(kEventFilterValue, L"EventFilter", ToBytes(DefaultFilter()));
}

DWORD CEventLogInit::SetUpQueue(const TEventLogNames& names, std::uint32_t queueSize,
                                bool fromRegistry, bool* created) {
  auto attempt = [&](std::uint32_t bytes) -> DWORD {
    std::optional<RingGeometry> geometry = GeometryFor(bytes);
    if (!geometry) return platform::ERROR_INVALID_DATA;
    DWORD status = queueMemory.CreateOrOpen(names.queue, QueueMappingBytes(bytes), created);
    if (status != ERROR_SUCCESS) return status;
    if (*created) CEventRing::Format(queueMemory.Data(), *geometry);
    if (!ring.Attach(queueMemory.Data(), queueMemory.Size(), geometry->slots)) {
      queueMemory.Close();
      return platform::ERROR_INVALID_DATA;
    }
    return ERROR_SUCCESS;
  };
  DWORD status = attempt(queueSize);
  if (status != ERROR_SUCCESS && fromRegistry && queueSize != kDefaultQueueSize) {
    queueSize = kDefaultQueueSize;
    status = attempt(queueSize);
    if (status == ERROR_SUCCESS && sizeMemory.Data() != nullptr) {
      SharedQueueSize().store(queueSize, std::memory_order_relaxed);
    }
  }
  if (status == ERROR_SUCCESS) filter.SetQueueSize(queueSize);
  return status;
}

std::atomic_ref<std::uint32_t> CEventLogInit::SharedQueueSize() {
  return std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(sizeMemory.Data()));
}

}  // namespace lx2d

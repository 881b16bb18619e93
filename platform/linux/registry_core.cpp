#include "registry_core.h"

#include <cstring>

namespace lx2d::platform {

namespace {

// Splits "A\B\C" into components. A trailing '\' is allowed; an empty
// component anywhere else is not.
bool SplitPath(std::string_view text, KeyPath* path) {
  path->clear();
  if (!text.empty() && text.back() == '\\') text.remove_suffix(1);
  if (text.empty()) return true;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find('\\', start);
    std::string_view part =
        text.substr(start, end == std::string_view::npos ? text.npos : end - start);
    if (part.empty()) return false;
    path->emplace_back(part);
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

bool IsRoot(HKEY key) { return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER; }

}  // namespace

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

CRegistryCore::CRegistryCore(std::unique_ptr<IHiveStore> machineHive,
                             std::unique_ptr<IHiveStore> userHive)
    : machine(std::move(machineHive)), user(std::move(userHive)) {
  machineRoot.store = machine.get();
  machineRoot.access = KEY_ALL_ACCESS;
  userRoot.store = user.get();
  userRoot.access = KEY_ALL_ACCESS;
}

CRegistryCore::~CRegistryCore() = default;

IHiveStore* CRegistryCore::StoreOf(HKEY root) const {
  if (root == HKEY_LOCAL_MACHINE) return machine.get();
  if (root == HKEY_CURRENT_USER) return user.get();
  return nullptr;
}

std::size_t CRegistryCore::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return handles.size();
}

LSTATUS CRegistryCore::Resolve(HKEY key, REGSAM needed, Handle** handle) {
  if (IsRoot(key)) {
    *handle = key == HKEY_LOCAL_MACHINE ? &machineRoot : &userRoot;
  } else {
    auto found = handles.find(key);
    if (found == handles.end()) return ERROR_INVALID_HANDLE;
    *handle = &found->second;
  }
  if (((*handle)->access & needed) != needed) return ERROR_ACCESS_DENIED;
  // The root of a hive that cannot be read is no empty key: ERROR_BADDB.
  DWORD status = (*handle)->store->KeyExists((*handle)->path);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DELETED : status;
}

LSTATUS CRegistryCore::Join(HKEY parent, std::string_view subKey, Handle* joined) {
  Handle* handle = nullptr;
  LSTATUS status = Resolve(parent, 0, &handle);
  if (status != ERROR_SUCCESS) return status;
  KeyPath tail;
  if (!SplitPath(subKey, &tail)) return ERROR_INVALID_PARAMETER;
  *joined = Handle{};
  joined->store = handle->store;
  joined->path = handle->path;
  joined->access = handle->access;
  joined->path.insert(joined->path.end(), tail.begin(), tail.end());
  return ERROR_SUCCESS;
}

bool CRegistryCore::Fresh(const Listing& listing, DWORD index) const {
  return index > 0 && listing.valid && listing.changeCount == changeCount;
}

HKEY CRegistryCore::AddHandle(Handle handle) {
  HKEY key = nextHandle;
  nextHandle += 4;
  handles.emplace(key, std::move(handle));
  return key;
}

LSTATUS CRegistryCore::OpenKey(HKEY parent, std::string_view subKey, REGSAM access, HKEY* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex);
  Handle handle;
  LSTATUS status = Join(parent, subKey, &handle);
  if (status != ERROR_SUCCESS) return status;
  if (!handle.path.empty()) {
    status = handle.store->KeyExists(handle.path);
    if (status != ERROR_SUCCESS) return status;
  }
  if ((access & kRegistryWriteRights) != 0 && !handle.store->Writable()) {
    return ERROR_ACCESS_DENIED;
  }
  handle.access = access;
  *result = AddHandle(std::move(handle));
  return ERROR_SUCCESS;
}

LSTATUS CRegistryCore::CreateKey(HKEY parent, std::string_view subKey, DWORD options, REGSAM access,
                                 HKEY* result, DWORD* disposition) {
  if (result == nullptr || options != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex);
  Handle handle;
  LSTATUS status = Join(parent, subKey, &handle);
  if (status != ERROR_SUCCESS) return status;
  bool created = false;
  if (!handle.path.empty()) {
    status = handle.store->KeyExists(handle.path);
    if (status == ERROR_FILE_NOT_FOUND) {
      if (!handle.store->Writable()) return ERROR_ACCESS_DENIED;
      ++changeCount;
      status = handle.store->CreateKey(handle.path, &created);
    }
    if (status != ERROR_SUCCESS) return status;
  }
  if ((access & kRegistryWriteRights) != 0 && !handle.store->Writable()) {
    return ERROR_ACCESS_DENIED;
  }
  handle.access = access;
  *result = AddHandle(std::move(handle));
  if (disposition != nullptr)
    *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LSTATUS CRegistryCore::CloseKey(HKEY key) {
  if (IsRoot(key)) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> lock(mutex);
  return handles.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS CRegistryCore::QueryValue(HKEY key, std::string_view name, DWORD* type, std::uint8_t* data,
                                  DWORD* size) {
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex);
  Handle* handle = nullptr;
  LSTATUS status = Resolve(key, KEY_QUERY_VALUE, &handle);
  if (status != ERROR_SUCCESS) return status;
  HiveValue value;
  status = handle->store->GetValue(handle->path, std::string(name), &value);
  if (status != ERROR_SUCCESS) return status;
  if (type != nullptr) *type = value.type;
  auto needed = static_cast<DWORD>(value.data.size());
  if (data != nullptr && *size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr && needed > 0) std::memcpy(data, value.data.data(), needed);
  if (size != nullptr) *size = needed;
  return ERROR_SUCCESS;
}

LSTATUS CRegistryCore::SetValue(HKEY key, std::string_view name, DWORD type,
                                const std::uint8_t* data, DWORD size) {
  if (data == nullptr && size > 0) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex);
  Handle* handle = nullptr;
  LSTATUS status = Resolve(key, KEY_SET_VALUE, &handle);
  if (status != ERROR_SUCCESS) return status;
  if (!handle->store->Writable()) return ERROR_ACCESS_DENIED;
  HiveValue value{std::string(name), type, {}};
  if (size > 0) value.data.assign(data, data + size);
  ++changeCount;
  return handle->store->SetValue(handle->path, value);
}

LSTATUS CRegistryCore::DeleteValue(HKEY key, std::string_view name) {
  std::lock_guard<std::mutex> lock(mutex);
  Handle* handle = nullptr;
  LSTATUS status = Resolve(key, KEY_SET_VALUE, &handle);
  if (status != ERROR_SUCCESS) return status;
  if (!handle->store->Writable()) return ERROR_ACCESS_DENIED;
  ++changeCount;
  return handle->store->DeleteValue(handle->path, std::string(name));
}

LSTATUS CRegistryCore::DeleteKey(HKEY parent, std::string_view subKey, bool recursive) {
  std::lock_guard<std::mutex> lock(mutex);
  Handle handle;
  LSTATUS status = Join(parent, subKey, &handle);
  if (status != ERROR_SUCCESS) return status;
  if (handle.path.empty()) return ERROR_ACCESS_DENIED;
  status = handle.store->KeyExists(handle.path);
  if (status != ERROR_SUCCESS) return status;
  if (!handle.store->Writable()) return ERROR_ACCESS_DENIED;
  ++changeCount;
  return handle.store->DeleteKey(handle.path, recursive);
}

LSTATUS CRegistryCore::EnumKey(HKEY key, DWORD index, std::string* name) {
  std::lock_guard<std::mutex> lock(mutex);
  Handle* handle = nullptr;
  LSTATUS status = Resolve(key, KEY_ENUMERATE_SUB_KEYS, &handle);
  if (status != ERROR_SUCCESS) return status;
  if (!Fresh(handle->subkeyListing, index)) {
    handle->subkeyListing.valid = false;
    status = handle->store->ListSubkeys(handle->path, &handle->subkeys);
    if (status != ERROR_SUCCESS) return status;
    handle->subkeyListing = Listing{true, changeCount};
  }
  if (index >= handle->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  if (name != nullptr) *name = handle->subkeys[index];
  return ERROR_SUCCESS;
}

LSTATUS CRegistryCore::EnumValue(HKEY key, DWORD index, std::string* name, DWORD* type,
                                 std::vector<std::uint8_t>* data) {
  std::lock_guard<std::mutex> lock(mutex);
  Handle* handle = nullptr;
  LSTATUS status = Resolve(key, KEY_QUERY_VALUE, &handle);
  if (status != ERROR_SUCCESS) return status;
  if (!Fresh(handle->valueListing, index)) {
    handle->valueListing.valid = false;
    status = handle->store->ListValues(handle->path, &handle->values);
    if (status != ERROR_SUCCESS) return status;
    handle->valueListing = Listing{true, changeCount};
  }
  if (index >= handle->values.size()) return ERROR_NO_MORE_ITEMS;
  const HiveValue& value = handle->values[index];
  if (name != nullptr) *name = value.name;
  if (type != nullptr) *type = value.type;
  if (data != nullptr) *data = value.data;
  return ERROR_SUCCESS;
}

void CRegistryCore::BeginChangeGroup() {
  std::lock_guard<std::mutex> lock(mutex);
  machine->BeginGroup();
  user->BeginGroup();
}

LSTATUS CRegistryCore::EndChangeGroup() {
  std::lock_guard<std::mutex> lock(mutex);
  ++changeCount;  // a group that could not be kept took changes back
  DWORD machineStatus = machine->EndGroup();
  DWORD userStatus = user->EndGroup();
  return machineStatus != ERROR_SUCCESS ? machineStatus : userStatus;
}

}  // namespace lx2d::platform

#include "platform/fakes/memory_registry.h"

#include "memory_hive.h"
#include "registry_core.h"

namespace lx2d::platform {

CMemoryRegistry::CMemoryRegistry() {
  auto machineHive = std::make_unique<CMemoryHive>();
  auto userHive = std::make_unique<CMemoryHive>();
  machine = machineHive.get();
  user = userHive.get();
  core = std::make_unique<CRegistryCore>(std::move(machineHive), std::move(userHive));
}

CMemoryRegistry::~CMemoryRegistry() = default;

CMemoryHive* CMemoryRegistry::HiveOf(HKEY root) const {
  return root == HKEY_LOCAL_MACHINE ? machine : root == HKEY_CURRENT_USER ? user : nullptr;
}

void CMemoryRegistry::SetReadOnly(HKEY root, bool readOnly) {
  if (CMemoryHive* hive = HiveOf(root)) hive->SetReadOnly(readOnly);
}

void CMemoryRegistry::SetRaw(HKEY root, std::string_view keyPath, std::string_view valueName,
                             DWORD type, std::vector<std::uint8_t> data) {
  CMemoryHive* hive = HiveOf(root);
  if (hive == nullptr) return;
  bool wasReadOnly = !hive->Writable();
  hive->SetReadOnly(false);
  HKEY key = 0;
  if (core->CreateKey(root, keyPath, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, &key, nullptr) ==
      ERROR_SUCCESS) {
    core->SetValue(key, valueName, type, data.data(), static_cast<DWORD>(data.size()));
    core->CloseKey(key);
  }
  hive->SetReadOnly(wasReadOnly);
}

bool CMemoryRegistry::GetRaw(HKEY root, std::string_view keyPath, std::string_view valueName,
                             DWORD* type, std::vector<std::uint8_t>* data) const {
  HKEY key = 0;
  if (core->OpenKey(root, keyPath, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  DWORD valueType = 0;
  bool found = core->QueryValue(key, valueName, &valueType, nullptr, &size) == ERROR_SUCCESS;
  std::vector<std::uint8_t> bytes(size);
  found =
      found && core->QueryValue(key, valueName, &valueType, bytes.data(), &size) == ERROR_SUCCESS;
  core->CloseKey(key);
  if (found && type != nullptr) *type = valueType;
  if (found && data != nullptr) *data = std::move(bytes);
  return found;
}

bool CMemoryRegistry::KeyExists(HKEY root, std::string_view keyPath) const {
  HKEY key = 0;
  if (core->OpenKey(root, keyPath, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  core->CloseKey(key);
  return true;
}

std::size_t CMemoryRegistry::OpenHandleCount() const { return core->OpenHandleCount(); }

LSTATUS CMemoryRegistry::OpenKey(HKEY parent, std::string_view subKey, REGSAM access,
                                 HKEY* result) {
  return core->OpenKey(parent, subKey, access, result);
}

LSTATUS CMemoryRegistry::CreateKey(HKEY parent, std::string_view subKey, DWORD options,
                                   REGSAM access, HKEY* result, DWORD* disposition) {
  return core->CreateKey(parent, subKey, options, access, result, disposition);
}

LSTATUS CMemoryRegistry::CloseKey(HKEY key) { return core->CloseKey(key); }

LSTATUS CMemoryRegistry::QueryValue(HKEY key, std::string_view name, DWORD* type,
                                    std::uint8_t* data, DWORD* size) {
  return core->QueryValue(key, name, type, data, size);
}

LSTATUS CMemoryRegistry::SetValue(HKEY key, std::string_view name, DWORD type,
                                  const std::uint8_t* data, DWORD size) {
  return core->SetValue(key, name, type, data, size);
}

LSTATUS CMemoryRegistry::DeleteValue(HKEY key, std::string_view name) {
  return core->DeleteValue(key, name);
}

LSTATUS CMemoryRegistry::DeleteKey(HKEY parent, std::string_view subKey, bool recursive) {
  return core->DeleteKey(parent, subKey, recursive);
}

LSTATUS CMemoryRegistry::EnumKey(HKEY key, DWORD index, std::string* name) {
  return core->EnumKey(key, index, name);
}

LSTATUS CMemoryRegistry::EnumValue(HKEY key, DWORD index, std::string* name, DWORD* type,
                                   std::vector<std::uint8_t>* data) {
  return core->EnumValue(key, index, name, type, data);
}

}  // namespace lx2d::platform

// An in-memory registry for unit tests of code that uses IRegistry: the same
// rules and results as the Linux store (it shares their implementation of
// handles, access rights and size rules), without files. A hive can be made
// read-only to test the access-denied paths.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace lx2d::platform {

class CRegistryCore;
class CMemoryHive;

class CMemoryRegistry final : public IRegistry {
 public:
  CMemoryRegistry();
  ~CMemoryRegistry() override;
  CMemoryRegistry(const CMemoryRegistry&) = delete;
  CMemoryRegistry& operator=(const CMemoryRegistry&) = delete;

  // A read-only hive refuses write opens and changes with ERROR_ACCESS_DENIED,
  // as a hive file the caller cannot write does. Both hives start writable.
  void SetReadOnly(HKEY root, bool readOnly);

  // Test set-up and checks without handles. `keyPath` is '\'-separated below
  // `root`. SetRaw creates the key as needed, read-only or not; GetRaw answers
  // false when the key or value is missing.
  void SetRaw(HKEY root, std::string_view keyPath, std::string_view valueName, DWORD type,
              std::vector<std::uint8_t> data);
  bool GetRaw(HKEY root, std::string_view keyPath, std::string_view valueName, DWORD* type,
              std::vector<std::uint8_t>* data) const;
  bool KeyExists(HKEY root, std::string_view keyPath) const;

  // Handles opened and not closed yet, to catch leaks.
  std::size_t OpenHandleCount() const;

  LSTATUS OpenKey(HKEY parent, std::string_view subKey, REGSAM access, HKEY* result) override;
  LSTATUS CreateKey(HKEY parent, std::string_view subKey, DWORD options, REGSAM access,
                    HKEY* result, DWORD* disposition) override;
  LSTATUS CloseKey(HKEY key) override;
  LSTATUS QueryValue(HKEY key, std::string_view name, DWORD* type, std::uint8_t* data,
                     DWORD* size) override;
  LSTATUS SetValue(HKEY key, std::string_view name, DWORD type, const std::uint8_t* data,
                   DWORD size) override;
  LSTATUS DeleteValue(HKEY key, std::string_view name) override;
  LSTATUS DeleteKey(HKEY parent, std::string_view subKey, bool recursive) override;
  LSTATUS EnumKey(HKEY key, DWORD index, std::string* name) override;
  LSTATUS EnumValue(HKEY key, DWORD index, std::string* name, DWORD* type,
                    std::vector<std::uint8_t>* data) override;

 private:
  CMemoryHive* HiveOf(HKEY root) const;

  CMemoryHive* machine;  // owned by core
  CMemoryHive* user;     // owned by core
  std::unique_ptr<CRegistryCore> core;
};

}  // namespace lx2d::platform

// An in-memory registry for unit tests of code that uses IRegistry: the same
// results as the Linux store (case-insensitive names, raw bytes, size rules,
// access checks), without files. A hive can be made read-only to test the
// access-denied paths.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace lx2d::platform {

class CMemoryRegistry final : public IRegistry {
 public:
  CMemoryRegistry();
  ~CMemoryRegistry() override;

  // A read-only hive refuses write opens and writes with ERROR_ACCESS_DENIED
  // (as a hive file the caller cannot write). Both hives start writable.
  void SetReadOnly(HKEY root, bool readOnly);

  // Convenience for test set-up and checks; names and paths as in IRegistry.
  // SetRaw creates the key as needed, ignoring read-only; GetRaw answers
  // false when the key or value is missing.
  void SetRaw(HKEY root, std::string_view keyPath, std::string_view valueName, DWORD type,
              std::vector<std::uint8_t> data);
  bool GetRaw(HKEY root, std::string_view keyPath, std::string_view valueName, DWORD* type,
              std::vector<std::uint8_t>* data) const;
  bool KeyExists(HKEY root, std::string_view keyPath) const;
  // Number of keys currently open (handles not closed), to catch leaks.
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
  struct Node;
  struct Handle {
    HKEY root;
    std::string path;  // case as created, '\'-separated, "" for the root
    REGSAM access;
  };
  Node* Find(HKEY root, std::string_view path) const;
  LSTATUS Resolve(HKEY key, Handle* handle) const;

  mutable std::mutex mutex;
  std::unique_ptr<Node> machine;
  std::unique_ptr<Node> user;
  bool machineReadOnly = false;
  bool userReadOnly = false;
  std::map<HKEY, Handle> handles;
  HKEY nextHandle = 0x1000;
};

}  // namespace lx2d::platform

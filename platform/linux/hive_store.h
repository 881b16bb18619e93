// The storage below the registry: one hive, a tree of keys named by path
// components, each key holding typed values. CRegistryCore (registry_core.h)
// adds handles, access rights and the size rules on top; the SQLite store and
// the in-memory store of the fakes implement this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace lx2d::platform {

// Path components below the hive's root, none of them empty; {} is the root.
using KeyPath = std::vector<std::string>;

struct HiveValue {
  std::string name;
  DWORD type = 0;
  std::vector<std::uint8_t> data;
};

class IHiveStore {
 public:
  virtual ~IHiveStore() = default;

  // True when the caller may change the hive (or create it, when it does not
  // exist yet).
  virtual bool Writable() = 0;

  // Every operation answers ERROR_SUCCESS, or: ERROR_FILE_NOT_FOUND for a
  // missing key or value (a missing hive holds only its empty root),
  // ERROR_ACCESS_DENIED when a change meets a read-only hive, ERROR_BADDB when
  // the hive cannot be read, ERROR_CANTWRITE when a change fails otherwise.
  // Names compare case-insensitively (ASCII letters).

  virtual DWORD KeyExists(const KeyPath& key) = 0;
  // Creates the key and its missing parents; *created tells whether the key
  // itself was new.
  virtual DWORD CreateKey(const KeyPath& key, bool* created) = 0;
  // Removes the key with its values; with subkeys only when `recursive`
  // (ERROR_ACCESS_DENIED otherwise).
  virtual DWORD DeleteKey(const KeyPath& key, bool recursive) = 0;
  // Direct subkey names (case as created) in case-insensitive order.
  virtual DWORD ListSubkeys(const KeyPath& key, std::vector<std::string>* names) = 0;

  virtual DWORD GetValue(const KeyPath& key, const std::string& name, HiveValue* value) = 0;
  virtual DWORD SetValue(const KeyPath& key, const HiveValue& value) = 0;
  virtual DWORD DeleteValue(const KeyPath& key, const std::string& name) = 0;
  // All values in case-insensitive name order.
  virtual DWORD ListValues(const KeyPath& key, std::vector<HiveValue>* values) = 0;

  // IRegistry::BeginChangeGroup/EndChangeGroup for this hive; a store whose
  // changes cannot be undone keeps each at once (the defaults).
  virtual void BeginGroup() {}
  virtual DWORD EndGroup() { return ERROR_SUCCESS; }
};

// Lower-cases ASCII letters: the registry's name comparison.
std::string FoldName(std::string_view name);

}  // namespace lx2d::platform

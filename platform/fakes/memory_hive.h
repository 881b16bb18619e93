// A hive held in memory, for the fakes.
#pragma once

#include <atomic>
#include <map>
#include <memory>

#include "hive_store.h"

namespace lx2d::platform {

class CMemoryHive final : public IHiveStore {
 public:
  CMemoryHive();
  ~CMemoryHive() override;

  void SetReadOnly(bool value) { readOnly = value; }

  bool Writable() override { return !readOnly; }
  DWORD KeyExists(const KeyPath& key) override;
  DWORD CreateKey(const KeyPath& key, bool* created) override;
  DWORD DeleteKey(const KeyPath& key, bool recursive) override;
  DWORD ListSubkeys(const KeyPath& key, std::vector<std::string>* names) override;
  DWORD GetValue(const KeyPath& key, const std::string& name, HiveValue* value) override;
  DWORD SetValue(const KeyPath& key, const HiveValue& value) override;
  DWORD DeleteValue(const KeyPath& key, const std::string& name) override;
  DWORD ListValues(const KeyPath& key, std::vector<HiveValue>* values) override;

 private:
  struct Node {
    std::string name;
    std::map<std::string, std::unique_ptr<Node>> children;  // by folded name
    std::map<std::string, HiveValue> values;                // by folded name
  };
  Node* Find(const KeyPath& key);

  Node root;
  std::atomic<bool> readOnly{false};
};

}  // namespace lx2d::platform

#include "memory_hive.h"

namespace lx2d::platform {

CMemoryHive::CMemoryHive() = default;
CMemoryHive::~CMemoryHive() = default;

CMemoryHive::Node* CMemoryHive::Find(const KeyPath& key) {
  Node* node = &root;
  for (const std::string& part : key) {
    auto child = node->children.find(FoldName(part));
    if (child == node->children.end()) return nullptr;
    node = child->second.get();
  }
  return node;
}

DWORD CMemoryHive::KeyExists(const KeyPath& key) {
  return Find(key) != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

DWORD CMemoryHive::CreateKey(const KeyPath& key, bool* created) {
  *created = false;
  Node* node = &root;
  for (const std::string& part : key) {
    std::unique_ptr<Node>& child = node->children[FoldName(part)];
    *created = child == nullptr;
    if (*created) {
      child = std::make_unique<Node>();
      child->name = part;
    }
    node = child.get();
  }
  return ERROR_SUCCESS;
}

DWORD CMemoryHive::DeleteKey(const KeyPath& key, bool recursive) {
  Node* node = Find(key);
  if (node == nullptr || key.empty()) return ERROR_FILE_NOT_FOUND;
  if (!node->children.empty() && !recursive) return ERROR_ACCESS_DENIED;
  KeyPath parentPath(key.begin(), key.end() - 1);
  Find(parentPath)->children.erase(FoldName(key.back()));
  return ERROR_SUCCESS;
}

DWORD CMemoryHive::ListSubkeys(const KeyPath& key, std::vector<std::string>* names) {
  names->clear();
  Node* node = Find(key);
  if (node == nullptr) return ERROR_FILE_NOT_FOUND;
  for (const auto& [folded, child] : node->children) names->push_back(child->name);
  return ERROR_SUCCESS;
}

DWORD CMemoryHive::GetValue(const KeyPath& key, const std::string& name, HiveValue* value) {
  Node* node = Find(key);
  if (node == nullptr) return ERROR_FILE_NOT_FOUND;
  auto found = node->values.find(FoldName(name));
  if (found == node->values.end()) return ERROR_FILE_NOT_FOUND;
  *value = found->second;
  return ERROR_SUCCESS;
}

DWORD CMemoryHive::SetValue(const KeyPath& key, const HiveValue& value) {
  Node* node = Find(key);
  if (node == nullptr) return ERROR_FILE_NOT_FOUND;
  node->values[FoldName(value.name)] = value;
  return ERROR_SUCCESS;
}

DWORD CMemoryHive::DeleteValue(const KeyPath& key, const std::string& name) {
  Node* node = Find(key);
  if (node == nullptr) return ERROR_FILE_NOT_FOUND;
  return node->values.erase(FoldName(name)) == 1 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

DWORD CMemoryHive::ListValues(const KeyPath& key, std::vector<HiveValue>* values) {
  values->clear();
  Node* node = Find(key);
  if (node == nullptr) return ERROR_FILE_NOT_FOUND;
  for (const auto& [folded, value] : node->values) values->push_back(value);
  return ERROR_SUCCESS;
}

}  // namespace lx2d::platform

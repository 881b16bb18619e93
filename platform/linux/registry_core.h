// IRegistry over two hive stores: handles, access rights, path parsing and
// the size rules of value queries, shared by the SQLite registry and the
// in-memory one of the fakes.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "hive_store.h"
#include "platform/registry.h"

namespace lx2d::platform {

class CRegistryCore final : public IRegistry {
 public:
  CRegistryCore(std::unique_ptr<IHiveStore> machineHive, std::unique_ptr<IHiveStore> userHive);
  ~CRegistryCore() override;

  // The store behind a root (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER), else null.
  IHiveStore* StoreOf(HKEY root) const;
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
  void BeginChangeGroup() override;
  LSTATUS EndChangeGroup() override;

 private:
  // What an enumeration from index 0 read, for the steps after it: each
  // step then costs O(1) instead of a new listing. A change made through this
  // registry (changeCount) makes the next step read afresh; changes by other
  // processes show from the next enumeration on.
  struct Listing {
    bool valid = false;
    std::uint64_t changeCount = 0;
  };
  struct Handle {
    IHiveStore* store = nullptr;
    KeyPath path;
    REGSAM access = 0;
    Listing subkeyListing;
    std::vector<std::string> subkeys;
    Listing valueListing;
    std::vector<HiveValue> values;
  };

  // The handle behind `key` (roots included), checking `needed` rights and
  // that the key and its hive can be read.
  LSTATUS Resolve(HKEY key, REGSAM needed, Handle** handle);
  // parent + subKey as a path in the parent's store.
  LSTATUS Join(HKEY parent, std::string_view subKey, Handle* joined);
  HKEY AddHandle(Handle handle);
  // True when `listing` may serve step `index` of an enumeration.
  bool Fresh(const Listing& listing, DWORD index) const;

  mutable std::mutex mutex;  // one operation at a time; the stores need no locks of their own
  std::unique_ptr<IHiveStore> machine;
  std::unique_ptr<IHiveStore> user;
  std::map<HKEY, Handle> handles;
  Handle machineRoot;  // the roots as handles, so that their listings last too
  Handle userRoot;
  HKEY nextHandle = 0x1000;
  std::uint64_t changeCount = 0;  // changes made through this registry
};

}  // namespace lx2d::platform

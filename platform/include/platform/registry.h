// The registry: keys holding typed values under two roots, with the
// operations and results of the Windows registry functions the system uses.
//
// Names (subkey paths and value names) are UTF-8; path components are
// separated by '\'. Key and value names compare case-insensitively (ASCII
// letters) and keep the case they were created with. Values keep their type
// and their raw bytes exactly: REG_SZ data is whatever bytes the caller gave
// (UTF-16LE on Windows conventions, terminator included or not), nothing is
// added or removed.
//
// Implementations are safe to use from several threads; the Linux one is
// also safe across processes (every change is one transaction).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace lx2d::platform {

// An open key: one of the two roots, or a handle returned by OpenKey/CreateKey.
using HKEY = std::uintptr_t;
using REGSAM = DWORD;

// Roots. Each root is one hive (Linux: one SQLite database file).
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

// Access rights asked for when opening or creating a key.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;  // 64-bit view: the same store here
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;  // 32-bit view: the same store here
inline constexpr REGSAM DELETE = 0x00010000;
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM WRITE_DAC = 0x00040000;
inline constexpr REGSAM WRITE_OWNER = 0x00080000;
inline constexpr REGSAM KEY_READ = 0x00020019;
inline constexpr REGSAM KEY_WRITE = 0x00020006;
inline constexpr REGSAM KEY_EXECUTE = 0x00020019;
inline constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// The rights that need a writable hive; an open asking for any of them is
// refused with ERROR_ACCESS_DENIED when the hive is read-only for the caller.
inline constexpr REGSAM kRegistryWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// CreateKey options and dispositions.
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

class IRegistry {
 public:
  virtual ~IRegistry() = default;

  // Opens `subKey` below `parent` (a root or an open key; an empty subKey
  // opens the parent again) with the rights in `access` (view flags ignored).
  // Results: ERROR_SUCCESS with *result set; ERROR_FILE_NOT_FOUND when the key
  // or its hive does not exist; ERROR_ACCESS_DENIED when `access` holds a
  // write right (kRegistryWriteRights) and the hive is read-only for the
  // caller; ERROR_INVALID_HANDLE for an unknown parent; ERROR_KEY_DELETED when
  // the parent was deleted; ERROR_INVALID_PARAMETER for an empty path
  // component ("A\\B"; one trailing '\' is allowed) or a null result;
  // ERROR_BADDB when the hive cannot be read.
  virtual LSTATUS OpenKey(HKEY parent, std::string_view subKey, REGSAM access, HKEY* result) = 0;

  // Opens `subKey`, creating it and its missing parents first, and the hive
  // too when its directory is writable. *disposition (may be null) receives
  // REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. `options` must be
  // REG_OPTION_NON_VOLATILE (else ERROR_INVALID_PARAMETER). Results: as
  // OpenKey, plus ERROR_ACCESS_DENIED when the key must be created in a
  // read-only hive, ERROR_CANTWRITE when the hive refuses the change.
  virtual LSTATUS CreateKey(HKEY parent, std::string_view subKey, DWORD options, REGSAM access,
                            HKEY* result, DWORD* disposition) = 0;

  // Closes a handle from OpenKey/CreateKey; closing a root does nothing.
  // Results: ERROR_SUCCESS; ERROR_INVALID_HANDLE for an unknown handle.
  virtual LSTATUS CloseKey(HKEY key) = 0;

  // Reads value `name` ("" is the key's default value) of `key`, which needs
  // KEY_QUERY_VALUE. `type` and `size` may be null, as may `data` (then only
  // type and size are reported). On entry *size is the capacity of `data`.
  // Results: ERROR_SUCCESS with *type, the bytes in data and *size = their
  // count; ERROR_MORE_DATA when data is not null and too small: *size = the
  // needed count, *type set, data untouched; ERROR_FILE_NOT_FOUND when the
  // value does not exist; ERROR_ACCESS_DENIED without KEY_QUERY_VALUE;
  // ERROR_INVALID_PARAMETER when data is given without size;
  // ERROR_INVALID_HANDLE, ERROR_KEY_DELETED, ERROR_BADDB as for OpenKey.
  virtual LSTATUS QueryValue(HKEY key, std::string_view name, DWORD* type, std::uint8_t* data,
                             DWORD* size) = 0;

  // Stores value `name` of `key` (needs KEY_SET_VALUE) with `type` and the
  // `size` bytes at `data` (data may be null when size is 0), replacing any
  // value of that name. Results: ERROR_SUCCESS; ERROR_ACCESS_DENIED without
  // KEY_SET_VALUE; ERROR_INVALID_PARAMETER for data null with size > 0;
  // ERROR_CANTWRITE when the hive refuses the change; handle errors as above.
  virtual LSTATUS SetValue(HKEY key, std::string_view name, DWORD type, const std::uint8_t* data,
                           DWORD size) = 0;

  // Removes value `name` of `key` (needs KEY_SET_VALUE). Results:
  // ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when there is no such value;
  // ERROR_ACCESS_DENIED, ERROR_CANTWRITE and handle errors as for SetValue.
  virtual LSTATUS DeleteValue(HKEY key, std::string_view name) = 0;

  // Removes key `subKey` below `parent` together with its values. With
  // `recursive` false the key must have no subkeys (as RegDeleteKey),
  // with true its whole subtree goes (as RegDeleteTree). A root cannot be
  // deleted. Results: ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when the key does
  // not exist; ERROR_ACCESS_DENIED when the hive is read-only for the caller,
  // when subkeys exist and `recursive` is false, or for a root.
  virtual LSTATUS DeleteKey(HKEY parent, std::string_view subKey, bool recursive) = 0;

  // The name of the `index`-th direct subkey of `key` (needs
  // KEY_ENUMERATE_SUB_KEYS), in case-insensitive name order. Results:
  // ERROR_SUCCESS with *name set; ERROR_NO_MORE_ITEMS past the last;
  // ERROR_ACCESS_DENIED without the right; handle errors as above.
  virtual LSTATUS EnumKey(HKEY key, DWORD index, std::string* name) = 0;

  // The `index`-th value of `key` (needs KEY_QUERY_VALUE), in case-insensitive
  // name order: name, type and bytes (any of the three outputs may be null).
  // Results: ERROR_SUCCESS; ERROR_NO_MORE_ITEMS past the last;
  // ERROR_ACCESS_DENIED without the right; handle errors as above.
  virtual LSTATUS EnumValue(HKEY key, DWORD index, std::string* name, DWORD* type,
                            std::vector<std::uint8_t>* data) = 0;

  // Many changes at once (a file import): the changes made between
  // BeginChangeGroup and EndChangeGroup go into one transaction per hive
  // instead of one each. Each change still succeeds or fails on its own, and
  // one that fails leaves the others of the group in place; other processes
  // see the group when it ends, and their writers wait for it. Groups do not
  // nest. EndChangeGroup results: ERROR_SUCCESS; ERROR_CANTWRITE when a hive
  // refused to keep the group (none of its changes to that hive stay). A
  // registry without transactions keeps each change at once and answers
  // ERROR_SUCCESS.
  virtual void BeginChangeGroup() {}
  virtual LSTATUS EndChangeGroup() { return ERROR_SUCCESS; }
};

// The process's registry: the Linux store (hives in
// GetDirectory(kSystem)/registry/hklm.db and GetDirectory(kUser)/registry/hkcu.db),
// unless SetDefaultRegistry installed another one. Never null.
IRegistry& DefaultRegistry();

// Makes `replacement` the process's registry and returns the previous one;
// null brings back the Linux store. The caller keeps ownership. For tests.
IRegistry* SetDefaultRegistry(IRegistry* replacement);

}  // namespace lx2d::platform

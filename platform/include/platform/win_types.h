// Windows-shaped scalar types and the Windows error codes the platform
// services return. Callers written against the Windows originals keep their
// comparisons (ERROR_SUCCESS, ERROR_MORE_DATA, ...) unchanged.
#pragma once

#include <cstdint>

namespace lx2d::platform {

using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = int;
using LSTATUS = DWORD;  // registry results: one of the ERROR_* codes below
using WPARAM = std::uint64_t;
using LPARAM = std::int64_t;
using LRESULT = std::int64_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// Error codes, numbered as on Windows. Each service documents which of them
// its operations return.
inline constexpr DWORD ERROR_SUCCESS = 0;                    // the operation succeeded
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;             // key, value, hive or file missing
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;             // a directory on the way is missing
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;              // the caller may not do this
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;             // handle unknown or closed
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;          // allocation failed
inline constexpr DWORD ERROR_INVALID_DATA = 13;              // stored data unusable
inline constexpr DWORD ERROR_GEN_FAILURE = 31;               // device not functioning
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;         // another handle holds it
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;             // request not supported
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;         // argument out of its domain
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;      // output buffer too small (text)
inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;            // shared library not loadable
inline constexpr DWORD ERROR_PROC_NOT_FOUND = 127;           // symbol not exported
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;           // named object exists already
inline constexpr DWORD ERROR_MORE_DATA = 234;                // buffer too small, size reported
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;            // enumeration index past the end
inline constexpr DWORD ERROR_INVALID_FLAGS = 1004;           // unknown flag bits
inline constexpr DWORD ERROR_BADDB = 1009;                   // hive file damaged or unreadable
inline constexpr DWORD ERROR_CANTWRITE = 1013;               // hive could not be written
inline constexpr DWORD ERROR_KEY_DELETED = 1018;             // key deleted while open
inline constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;  // invalid input characters
inline constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;    // the device went away
inline constexpr DWORD ERROR_INTERNAL_ERROR = 1359;          // an internal step failed
inline constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;   // window gone or never existed
inline constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;   // class not registered
inline constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;    // class registered already
inline constexpr DWORD ERROR_TIMEOUT = 1460;                 // no answer in time
inline constexpr DWORD ERROR_NOT_ENOUGH_QUOTA = 1816;        // target message queue full

}  // namespace lx2d::platform

// The four directories the system keeps its files in. Each one comes from an
// environment variable, so tests and parallel installations never collide:
//
// | Directory  | Variable          | Default                                               |
// |------------|-------------------|-------------------------------------------------------|
// | kSystem    | LX2D_SYSTEM_DIR   | /var/lib/lx2d                                         |
// | kUser      | LX2D_USER_DIR     | $XDG_CONFIG_HOME/lx2d, else ~/.config/lx2d            |
// | kState     | LX2D_STATE_DIR    | $XDG_STATE_HOME/lx2d, else ~/.local/state/lx2d        |
// | kRuntime   | LX2D_RUNTIME_DIR  | the login session's: $XDG_RUNTIME_DIR/lx2d, else      |
// |            |                   | /run/user/<uid>/lx2d when /run/user/<uid> exists,     |
// |            |                   | else /tmp/lx2d-<uid>                                  |
//
// The runtime folder is the session's, as a Windows desktop session is: other
// users can neither see nor post to its windows. Root started through sudo or
// pkexec (SUDO_UID or PKEXEC_UID set) takes <uid> from the invoking user and
// so joins that user's session; what it creates in the runtime folder is
// handed to the folder's owner, so the user's programs can still use it.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace lx2d::platform {

enum class Directory {
  kSystem,   // machine-wide registry hive, device registrations
  kUser,     // per-user registry hive
  kState,    // crash-information file, saved logs
  kRuntime,  // sockets (windows, virtual HID devices), lock files
};

// The directory's path (no trailing slash), resolved from the override set by
// SetDirectoryForTesting, else the environment, else the default. Empty
// variables count as unset. Nothing is created.
std::string GetDirectory(Directory which);

// GetDirectory(which) + "/" + `subdirectory` (or the directory itself when
// `subdirectory` is empty), created with its missing parents. New directories
// get mode 0700 under the user's own places (kUser, kState, kRuntime) and
// 0755 under /var/lib and under /run outside /run/user, less the umask. Run
// as root for another user's session, new kRuntime folders go to the owner of
// the runtime folder (a new default runtime folder to the session's user).
// Results: ERROR_SUCCESS with *path set; ERROR_ACCESS_DENIED when a missing
// directory cannot be created for lack of permission, or when the default
// runtime folder under /tmp is not the session user's own (another user owns
// it, a link stands in its place, or group or others may write it);
// ERROR_PATH_NOT_FOUND for any other failure to create it.
DWORD EnsureDirectory(Directory which, std::string_view subdirectory, std::string* path);

// Makes GetDirectory(which) answer `path` in this process, whatever the
// environment says; an empty `path` removes the override. For tests.
void SetDirectoryForTesting(Directory which, std::string path);

}  // namespace lx2d::platform

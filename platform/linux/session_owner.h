// Who owns what a program creates in the runtime folder. A program that root
// runs for a user (sudo, pkexec) works in that user's session folder, and the
// user's own programs must still be able to reach and remove its sockets, lock
// files and folders afterwards.
#pragma once

#include <sys/types.h>

#include <string>

namespace lx2d::platform {

struct SessionUser {
  uid_t uid;
  gid_t gid;  // (gid_t)-1 when unknown: the group is then left as it is
};

// The user whose session this process belongs to: the invoking user named by
// SUDO_UID (with SUDO_GID), else by PKEXEC_UID, when the process runs as root
// and the variable holds a non-zero number; otherwise the effective user. The
// variables are ignored for other users: a program run as a third user
// cannot enter the invoker's private folders anyway.
SessionUser CurrentSessionUser();

// Hands `path`, just created inside the runtime folder, to the owner of the
// runtime folder when this process runs as root and that owner is another
// user. Does nothing for paths outside the runtime folder or when not root.
// A failure leaves the item root's: the user then lacks access to it, which
// the program that needs it reports.
void GiveToRuntimeOwner(const std::string& path);

}  // namespace lx2d::platform

// A fresh directory for one test, removed with everything in it at the end,
// and optionally made the process's LX2D_* directories (SetDirectoryForTesting).
#pragma once

#include <string>

namespace lx2d::platform {

class CTempDirectory {
 public:
  CTempDirectory();   // a new directory under $TMPDIR (or /tmp)
  ~CTempDirectory();  // removes it and undoes UseForAllDirectories
  CTempDirectory(const CTempDirectory&) = delete;
  CTempDirectory& operator=(const CTempDirectory&) = delete;

  const std::string& Path() const { return path; }

  // Points the four LX2D directories of this process at subdirectories
  // system/, user/, state/ and run/ of this directory.
  void UseForAllDirectories();

  // Sets the four LX2D_* environment variables to the same subdirectories,
  // for the copies of the platform layer inside loaded libraries and for
  // child processes; they are unset again at the end.
  void ExportForAllDirectories();

 private:
  std::string path;
  bool overridden = false;
  bool exported = false;
};

}  // namespace lx2d::platform

// How CBarcodeDll finds and binds the scanner library. The platform loader
// is the real one; the settings tool and the tests serve recording exports
// through the same seam.
#pragma once

#include <string>

namespace lx2d {

class ILibraryLoader {
 public:
  virtual ~ILibraryLoader() = default;

  // The running program's full path; "" when it cannot be had.
  virtual std::string ProgramPath() const = 0;

  // Loads the library at `path` (a bare name is searched for); null when it
  // cannot be loaded.
  virtual void* Load(const std::string& path) = 0;

  // The address of export `name`; null when the library lacks it.
  virtual void* Symbol(void* module, const char* name) = 0;

  // Releases a module from Load.
  virtual void Free(void* module) = 0;
};

// Shared libraries through the platform module service.
class CPlatformLibraryLoader final : public ILibraryLoader {
 public:
  std::string ProgramPath() const override;
  void* Load(const std::string& path) override;
  void* Symbol(void* module, const char* name) override;
  void Free(void* module) override;
};

}  // namespace lx2d

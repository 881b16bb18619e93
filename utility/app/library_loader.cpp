#include "library_loader.h"

#include "platform/module.h"

namespace lx2d {

std::string CPlatformLibraryLoader::ProgramPath() const { return platform::GetModuleFileName(); }

void* CPlatformLibraryLoader::Load(const std::string& path) { return platform::LoadLibrary(path); }

void* CPlatformLibraryLoader::Symbol(void* module, const char* name) {
  return platform::GetProcAddress(module, name);
}

void CPlatformLibraryLoader::Free(void* module) { platform::FreeLibrary(module); }

}  // namespace lx2d

#include "platform/module.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include "platform/last_error.h"

namespace lx2d::platform {

namespace {

thread_local std::string moduleErrorText;

void NoteLoaderError(DWORD code) {
  const char* text = dlerror();
  moduleErrorText = text != nullptr ? text : "";
  SetLastError(code);
}

}  // namespace

HMODULE LoadLibrary(const std::string& path) {
  dlerror();
  HMODULE module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) NoteLoaderError(ERROR_MOD_NOT_FOUND);
  return module;
}

void* GetProcAddress(HMODULE module, const char* name) {
  if (module == nullptr || name == nullptr) {
    moduleErrorText.clear();
    SetLastError(module == nullptr ? ERROR_INVALID_HANDLE : ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  dlerror();
  void* address = dlsym(module, name);
  if (address == nullptr) NoteLoaderError(ERROR_PROC_NOT_FOUND);
  return address;
}

BOOL FreeLibrary(HMODULE module) {
  dlerror();
  if (module == nullptr || dlclose(module) != 0) {
    NoteLoaderError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

std::string GetModuleErrorText() { return moduleErrorText; }

std::string GetModuleFileName() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (length <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(length));
}

std::string GetModuleDirectory() {
  std::string path = GetModuleFileName();
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string GetModulePathOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  std::string path = info.dli_fname;
  if (path.empty() || path.front() != '/') {
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) return GetModuleFileName();
    path = resolved;
  }
  return path;
}

}  // namespace lx2d::platform

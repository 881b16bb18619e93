// Shared libraries loaded at run time and the paths of the running program,
// as LoadLibrary, GetProcAddress, FreeLibrary and GetModuleFileName.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace lx2d::platform {

// A loaded shared library; null is none.
using HMODULE = void*;

// Loads the shared library at `path` (a path with a '/' is taken as it is;
// a bare name is searched as the dynamic loader does), resolving all its
// symbols now and keeping them local. Loading the same file again returns the
// same module and counts a reference. Results: the module; null with
// ERROR_MOD_NOT_FOUND (missing, unreadable or not a loadable library).
HMODULE LoadLibrary(const std::string& path);

// The address of the symbol `name` exported by `module`. Results: the
// address; null with ERROR_PROC_NOT_FOUND when the symbol is not there,
// ERROR_INVALID_HANDLE for a null module.
void* GetProcAddress(HMODULE module, const char* name);

// Drops one reference; the library is unloaded with the last. Results: TRUE;
// FALSE with ERROR_INVALID_HANDLE for a null module (or when the loader
// refuses to unload).
BOOL FreeLibrary(HMODULE module);

// The loader's text for the last failure of LoadLibrary/GetProcAddress on
// this thread ("" when none), for diagnostics.
std::string GetModuleErrorText();

// The absolute path of the running program (/proc/self/exe); "" if unknown.
std::string GetModuleFileName();

// The directory of the running program, without a trailing slash.
std::string GetModuleDirectory();

// The absolute path of the loaded file (program or shared library) that
// contains `address`, so a library can find itself; "" if unknown.
std::string GetModulePathOf(const void* address);

}  // namespace lx2d::platform

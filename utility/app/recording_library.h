// A stand-in for the scanner library that records every call as a line of
// text ("SetupWrite 40 C0 00 00") and answers with chosen results. It serves
// its exports through the library-loader seam, so CBarcodeDll binds it
// exactly as the real library. The settings tool plans with it; tests check
// the binding against it.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "library_loader.h"

namespace lx2d {

class CRecordingLibrary final : public ILibraryLoader {
 public:
  // Exports are plain functions, so the instance they record into is the
  // process's one active recorder: the most recently constructed that is
  // still alive. Not for use from several threads.
  CRecordingLibrary();
  ~CRecordingLibrary() override;
  CRecordingLibrary(const CRecordingLibrary&) = delete;
  CRecordingLibrary& operator=(const CRecordingLibrary&) = delete;

  // Calls in order. Requests read "<export> <bytes as hex pairs>";
  // DeviceIOControl "DeviceIOControl <code> <input as text>"; Initialize
  // "Initialize <key>"; the others their name.
  std::vector<std::string> calls;
  // The result each export answers (0 when not listed).
  std::map<std::string, uint16_t> results;
  // Exports the library lacks.
  std::set<std::string> missing;
  // What GetDllVersion reports.
  std::string version = "RDLK_HID:1.0.9.0";
  // The paths Load was asked for.
  std::vector<std::string> loadedPaths;
  // The program path reported to the binding; "" for an unknown one.
  std::string programPath = "/opt/lx2d/LX2D_B_SET";

  std::string ProgramPath() const override { return programPath; }
  void* Load(const std::string& path) override;
  void* Symbol(void* module, const char* name) override;
  void Free(void* module) override;

  // Records `line` and answers the result listed for `exportName`.
  uint16_t Answer(const std::string& exportName, const std::string& line);

  static CRecordingLibrary* Active();

 private:
  CRecordingLibrary* previous;
};

}  // namespace lx2d

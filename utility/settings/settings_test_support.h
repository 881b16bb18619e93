// In-memory stand-ins for the settings engine's seams, shared by its tests
// and its fuzzer.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ansi_code_page.h"
#include "file_source.h"
#include "parameter_record.h"
#include "setup_channel.h"

namespace lx2d::testing {

// Files held in memory, by path.
class CMemoryFileSource final : public IFileSource {
 public:
  std::map<std::filesystem::path, std::string> files;

  bool Exists(const std::filesystem::path& path) const override { return files.contains(path); }
  bool ReadAll(const std::filesystem::path& path, std::string& bytes) const override {
    const auto found = files.find(path);
    bytes = found == files.end() ? std::string() : found->second;
    return found != files.end();
  }
};

// ISO 8859-1: the code page whose bytes are the first 256 code points.
class CLatin1CodePage final : public IAnsiCodePage {
 public:
  std::string FromWide(std::u16string_view text) const override {
    std::string bytes;
    for (const char16_t c : text) bytes.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return bytes;
  }
  std::u16string ToWide(std::string_view bytes) const override {
    std::u16string text;
    for (const char c : bytes) text.push_back(static_cast<uint8_t>(c));
    return text;
  }
};

// Records what reaches the library, as the settings tool prints it: the
// fixed operations expand to the requests and the wait they stand for.
class CRecordingChannel final : public ISetupChannel {
 public:
  std::vector<std::string> calls;

  int SendControlCommand(std::span<const uint8_t> bytes) override {
    return Record("ControlCommand", bytes);
  }
  int WriteSetup(std::span<const uint8_t> bytes) override { return Record("SetupWrite", bytes); }
  int RestoreDefaults() override {
    const uint8_t command[] = {0x40, 0x02};
    Record("ControlCommand", command);
    calls.push_back("Sleep 2000");
    return 0;
  }
  int WriteSetupZero(uint8_t beepParameter) override {
    const uint8_t record[] = {0x72, beepParameter, 0x00};
    return Record("SetupWrite", record);
  }

 private:
  int Record(const char* name, std::span<const uint8_t> bytes) {
    if (bytes.empty()) return -1;
    calls.push_back(std::string(name) + " " + FormatHexPairs(bytes));
    return 0;
  }
};

}  // namespace lx2d::testing

// Feeds arbitrary bytes as a settings file through ApplySettingsFile, with
// CBarcodeDll bound to the recording library, and through
// WriteEmulatorPreferences with a registry that keeps nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "apply_settings.h"
#include "barcode_dll.h"
#include "emulator_preferences.h"
#include "recording_library.h"
#include "settings_test_support.h"

namespace {

class CNullPreferenceRegistry final : public lx2d::IPreferenceRegistry {
 public:
  bool WriteStringValue(std::u16string_view, std::u16string_view,
                        std::span<const uint8_t>) override {
    return true;
  }
  bool WriteDwordValue(std::u16string_view, std::u16string_view, uint32_t) override { return true; }
  std::optional<uint32_t> ReadDwordValue(std::u16string_view, std::u16string_view) override {
    return 6;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static lx2d::CRecordingLibrary library;
  static lx2d::CBarcodeDll dll(library, [](std::chrono::milliseconds) {});
  static const int bound = dll.LoadBarcodeDll(false);
  if (bound != lx2d::kBindOk) __builtin_trap();

  lx2d::testing::CMemoryFileSource files;
  const std::filesystem::path path = "/fuzz/settings.ini";
  files.files[path] = std::string(reinterpret_cast<const char*>(data), size);
  const lx2d::testing::CLatin1CodePage codePage;
  const lx2d::CSettingReader reader(files, codePage);

  library.calls.clear();
  lx2d::ApplySettingsFile(reader, path, dll);
  CNullPreferenceRegistry registry;
  lx2d::WriteEmulatorPreferences(reader, path, u"SOFTWARE\\Korvane\\LX2D_EMU", registry);
  return 0;
}

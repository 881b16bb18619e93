#include "plan.h"

#include <string>
#include <vector>

#include "apply_settings.h"
#include "barcode_dll.h"
#include "emulator_preferences.h"
#include "file_source.h"
#include "parameter_record.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "recording_library.h"
#include "reg.h"
#include "setting_reader.h"
#include "thread_code_page.h"

namespace lx2d {
namespace {

// Reads the real registry, records the writes instead of making them.
class CRecordingPreferenceRegistry final : public IPreferenceRegistry {
 public:
  explicit CRecordingPreferenceRegistry(CReg& registry) : reads(registry) {}

  std::vector<std::string> writes;

  bool WriteStringValue(std::u16string_view, std::u16string_view name,
                        std::span<const uint8_t> data) override {
    std::string line = "RegSetValue " + platform::Utf16ToUtf8(name) + " REG_SZ";
    if (!data.empty()) line += " " + FormatHexPairs(data);
    writes.push_back(line);
    return true;
  }
  bool WriteDwordValue(std::u16string_view, std::u16string_view name, uint32_t value) override {
    writes.push_back("RegSetValue " + platform::Utf16ToUtf8(name) + " REG_DWORD " +
                     std::to_string(value));
    return true;
  }
  std::optional<uint32_t> ReadDwordValue(std::u16string_view key,
                                         std::u16string_view name) override {
    return reads.ReadDwordValue(key, name);
  }

 private:
  CReg& reads;
};

}  // namespace

int RunPlan(const std::filesystem::path& file, std::ostream& out) {
  CRecordingLibrary library;
  CBarcodeDll dll(library, [&library](std::chrono::milliseconds wait) {
    library.calls.push_back("Sleep " + std::to_string(wait.count()));
  });
  dll.LoadBarcodeDll(false);
  library.calls.clear();  // the binding's own Initialize and GetDllVersion

  const CDiskFileSource files;
  const CThreadCodePage codePage;
  const CSettingReader reader(files, codePage);
  const int applied = ApplySettingsFile(reader, file, dll);
  for (const std::string& call : library.calls) out << call << '\n';
  out << "ApplySettingsFile " << applied << '\n';

  CReg reg(platform::DefaultRegistry());
  CRecordingPreferenceRegistry registry(reg);
  const std::u16string emulatorKey =
      reg.ReadEmulatorKeyPath().value_or(std::u16string(kDefaultEmulatorKey));
  const int written = WriteEmulatorPreferences(reader, file, emulatorKey, registry);
  for (const std::string& write : registry.writes) out << write << '\n';
  out << "WriteEmulatorPreferences " << written << '\n';
  return 0;
}

}  // namespace lx2d

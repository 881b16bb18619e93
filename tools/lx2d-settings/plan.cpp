#include "plan.h"

#include <string>
#include <vector>

#include "apply_settings.h"
#include "barcode_dll.h"
#include "emulator_preferences.h"
#include "file_source.h"
#include "parameter_record.h"
#include "platform/registry.h"
#include "platform/sqlite_registry.h"
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

int RunPlan(const std::filesystem::path& file, std::ostream& out, std::ostream& errors) {
  constexpr int kUnusable = 2;
  const CDiskFileSource files;
  std::string bytes;
  if (!files.Exists(file) || !files.ReadAll(file, bytes)) {
    errors << "lx2d-settings: cannot read " << file.string() << '\n';
    return kUnusable;
  }
  // A plan made from a hive that cannot be read would show writes the
  // utility never makes.
  platform::IRegistry& machine = platform::DefaultRegistry();
  platform::HKEY root = 0;
  const platform::LSTATUS hive =
      machine.OpenKey(platform::HKEY_LOCAL_MACHINE, "", platform::KEY_READ, &root);
  if (hive != platform::ERROR_SUCCESS) {
    errors << "lx2d-settings: cannot read the registry hive "
           << platform::DefaultHiveFile(platform::HKEY_LOCAL_MACHINE) << " (registry error " << hive
           << (hive == platform::ERROR_BADDB ? ", hive damaged" : "") << ")\n";
    return kUnusable;
  }
  machine.CloseKey(root);

  CRecordingLibrary library;
  CBarcodeDll dll(library, [&library](std::chrono::milliseconds wait) {
    library.calls.push_back("Sleep " + std::to_string(wait.count()));
  });
  dll.LoadBarcodeDll(false);
  library.calls.clear();  // the binding's own Initialize and GetDllVersion

  const CThreadCodePage codePage;
  const CSettingReader reader(files, codePage);
  const int applied = ApplySettingsFile(reader, file, dll);
  for (const std::string& call : library.calls) out << call << '\n';
  out << "ApplySettingsFile " << applied << '\n';

  CReg reg(machine);
  CRecordingPreferenceRegistry registry(reg);
  const std::u16string emulatorKey =
      reg.ReadEmulatorKeyPath().value_or(std::u16string(kDefaultEmulatorKey));
  const int written = WriteEmulatorPreferences(reader, file, emulatorKey, registry);
  for (const std::string& write : registry.writes) out << write << '\n';
  out << "WriteEmulatorPreferences " << written << '\n';
  return 0;
}

}  // namespace lx2d

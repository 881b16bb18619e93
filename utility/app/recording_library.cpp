#include "recording_library.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

#include "barcode_exports.h"
#include "parameter_record.h"

namespace lx2d {
namespace {

CRecordingLibrary* active = nullptr;

// The module token Load hands out; never dereferenced.
char moduleToken;

uint16_t Record(const char* name, const std::string& line) {
  return active ? active->Answer(name, line) : uint16_t{0};
}

uint16_t Initialize(const char* keyPath, unsigned char* initialized) {
  const uint16_t result = Record("Initialize", std::string("Initialize ") + keyPath);
  *initialized = result == 0 ? 1 : 0;
  return result;
}

uint16_t GetDllVersion(char* output, uint32_t capacity, uint32_t* length) {
  *length = 0;
  const uint16_t result = Record("GetDllVersion", "GetDllVersion");
  if (result != 0 || !active) return result;
  const std::string& version = active->version;
  if (capacity < version.size() + 1) return 2;
  std::memcpy(output, version.c_str(), version.size() + 1);
  *length = static_cast<uint32_t>(version.size());
  return 0;
}

uint16_t DeviceIoControl(uint32_t code, const void* input, uint32_t inputLength, void*, uint32_t,
                         uint32_t* outputLength) {
  *outputLength = 0;
  std::string_view text(static_cast<const char*>(input), inputLength);
  text = text.substr(0, text.find('\0'));
  return Record("DeviceIOControl",
                "DeviceIOControl " + std::to_string(code) + " " + std::string(text));
}

template <const char* kName>
uint16_t Plain() {
  return Record(kName, kName);
}

template <const char* kName>
uint16_t Request(const unsigned char* request, uint32_t requestLength, unsigned char*, uint32_t,
                 uint32_t* replyLength) {
  *replyLength = 0;
  return Record(kName,
                std::string(kName) + " " + FormatHexPairs(std::span(request, requestLength)));
}

template <const char* kName>
uint16_t Read(unsigned char*, uint32_t, uint32_t* length) {
  *length = 0;
  return Record(kName, kName);
}

constexpr char kConnect[] = "Connect";
constexpr char kDisconnect[] = "Disconnect";
constexpr char kConfigurationDialog[] = "ConfigurationDialog";
constexpr char kDeinitialize[] = "Deinitialize";
constexpr char kControlCommand[] = "ControlCommand";
constexpr char kSetupWrite[] = "SetupWrite";
constexpr char kSetupRead[] = "SetupRead";
constexpr char kStatusRead[] = "StatusRead";
constexpr char kImageDataRead[] = "ImageDataRead";
constexpr char kGetBarcodeData[] = "GetBarcodeData";
constexpr char kGetRawData[] = "GetRawData";
constexpr char kGetImageData[] = "GetImageData";
constexpr char kGetEventNotification[] = "GetEventNotification";

struct ExportEntry {
  const char* name;
  void* address;
};

template <typename Function>
void* Address(Function function) {
  return reinterpret_cast<void*>(function);
}

const ExportEntry kExports[] = {
    {"Initialize", Address(&Initialize)},
    {"GetDllVersion", Address(&GetDllVersion)},
    {"DeviceIOControl", Address(&DeviceIoControl)},
    {kConnect, Address(&Plain<kConnect>)},
    {kDisconnect, Address(&Plain<kDisconnect>)},
    {kConfigurationDialog, Address(&Plain<kConfigurationDialog>)},
    {kDeinitialize, Address(&Plain<kDeinitialize>)},
    {kControlCommand, Address(&Request<kControlCommand>)},
    {kSetupWrite, Address(&Request<kSetupWrite>)},
    {kSetupRead, Address(&Request<kSetupRead>)},
    {kStatusRead, Address(&Request<kStatusRead>)},
    {kImageDataRead, Address(&Request<kImageDataRead>)},
    {kGetBarcodeData, Address(&Read<kGetBarcodeData>)},
    {kGetRawData, Address(&Read<kGetRawData>)},
    {kGetImageData, Address(&Read<kGetImageData>)},
    {kGetEventNotification, Address(&Read<kGetEventNotification>)},
};

}  // namespace

CRecordingLibrary::CRecordingLibrary() : previous(active) { active = this; }

CRecordingLibrary::~CRecordingLibrary() { active = previous; }

CRecordingLibrary* CRecordingLibrary::Active() { return active; }

void* CRecordingLibrary::Load(const std::string& path) {
  loadedPaths.push_back(path);
  return &moduleToken;
}

void* CRecordingLibrary::Symbol(void* module, const char* name) {
  if (module != &moduleToken || missing.contains(name)) return nullptr;
  const auto found =
      std::find_if(std::begin(kExports), std::end(kExports),
                   [&](const ExportEntry& entry) { return std::strcmp(entry.name, name) == 0; });
  return found == std::end(kExports) ? nullptr : found->address;
}

void CRecordingLibrary::Free(void*) {}

uint16_t CRecordingLibrary::Answer(const std::string& exportName, const std::string& line) {
  calls.push_back(line);
  const auto found = results.find(exportName);
  return found == results.end() ? 0 : found->second;
}

}  // namespace lx2d

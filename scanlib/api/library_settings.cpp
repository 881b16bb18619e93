// Initialize and the settings under the host's registry key.
#include <algorithm>
#include <cstring>

#include "platform/text.h"
#include "vscp_communication.h"

namespace lx2d {
namespace {

using platform::DefaultRegistry;
using platform::DWORD;
using platform::ERROR_SUCCESS;
using platform::HKEY;

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(text[i]) != lower(prefix[i])) return false;
  }
  return true;
}

// An open key, closed when it goes out of scope.
class CKey {
 public:
  CKey(HKEY root, const std::string& subkey) {
    if (DefaultRegistry().OpenKey(root, subkey, platform::KEY_ALL_ACCESS, &key_) != ERROR_SUCCESS)
      key_ = 0;
  }
  ~CKey() {
    if (key_ != 0) DefaultRegistry().CloseKey(key_);
  }
  CKey(const CKey&) = delete;
  CKey& operator=(const CKey&) = delete;
  bool IsOpen() const { return key_ != 0; }
  HKEY Handle() const { return key_; }

 private:
  HKEY key_ = 0;
};

// The transport's values in an open key.
class CKeySettingStore final : public IPortSettingStore {
 public:
  explicit CKeySettingStore(const CKey& key) : key_(key) {}

  bool ReadNumber(std::string_view name, uint32_t& value) override {
    DWORD type = 0;
    uint32_t number = 0;
    DWORD size = sizeof number;
    if (DefaultRegistry().QueryValue(key_.Handle(), name, &type,
                                     reinterpret_cast<uint8_t*>(&number), &size) != ERROR_SUCCESS ||
        type != platform::REG_DWORD || size != sizeof number) {
      return false;
    }
    value = number;
    return true;
  }

  bool ReadText(std::string_view name, std::string& value) override {
    DWORD type = 0;
    DWORD size = 0;
    if (DefaultRegistry().QueryValue(key_.Handle(), name, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != platform::REG_SZ) {
      return false;
    }
    std::u16string wide(size / 2, u'\0');
    size = static_cast<DWORD>(wide.size() * 2);
    if (DefaultRegistry().QueryValue(key_.Handle(), name, nullptr,
                                     reinterpret_cast<uint8_t*>(wide.data()),
                                     &size) != ERROR_SUCCESS) {
      return false;
    }
    wide.resize(std::min<size_t>(size / 2, wide.find(u'\0')));
    value = platform::Utf16ToAnsi(wide);
    return true;
  }

  void WriteNumber(std::string_view name, uint32_t value) override {
    DefaultRegistry().SetValue(key_.Handle(), name, platform::REG_DWORD,
                               reinterpret_cast<const uint8_t*>(&value), sizeof value);
  }

  void WriteText(std::string_view name, std::string_view value) override {
    const std::u16string wide = platform::AnsiToUtf16(value);  // stored with its terminator
    DefaultRegistry().SetValue(key_.Handle(), name, platform::REG_SZ,
                               reinterpret_cast<const uint8_t*>(wide.c_str()),
                               static_cast<DWORD>((wide.size() + 1) * 2));
  }

 private:
  const CKey& key_;
};

}  // namespace

void CVscpCommunication::SetDefaultSettings() {
  settings_ = LibrarySettings{};
  port_->DefaultSettings();
  std::unique_lock<CCommandMutex> lock(protocol_->CommandMutex(), std::defer_lock);
  if (LockCommands(lock)) protocol_->SetReplyTimeout(static_cast<uint16_t>(settings_.timeout));
}

void CVscpCommunication::ApplyReplyTimeout() {
  if (settings_.timeout < 1 || settings_.timeout > 0xFFFF) return;
  std::unique_lock<CCommandMutex> lock(protocol_->CommandMutex(), std::defer_lock);
  if (LockCommands(lock)) protocol_->SetReplyTimeout(static_cast<uint16_t>(settings_.timeout));
}

bool CVscpCommunication::LoadSettings() {
  CKey key(registryRoot_, registrySubkey_);
  if (!key.IsOpen()) return false;
  LibrarySettings loaded;
  for (const SettingValue& value : kSettingValues) {
    int32_t number = 0;
    DWORD size = sizeof number;
    const bool read =
        DefaultRegistry().QueryValue(key.Handle(), value.name, nullptr,
                                     reinterpret_cast<uint8_t*>(&number), &size) == ERROR_SUCCESS &&
        size == sizeof number;
    loaded.*value.field = read ? number : value.fallback;
  }
  settings_ = loaded;
  CKeySettingStore store(key);
  port_->LoadSettings(store);
  return true;
}

bool CVscpCommunication::SaveSettings() {
  CKey key(registryRoot_, registrySubkey_);
  if (!key.IsOpen()) return false;
  // The version text with its terminating zero.
  if (DefaultRegistry().SetValue(key.Handle(), kVersionValue, platform::REG_BINARY,
                                 reinterpret_cast<const uint8_t*>(versionString_.c_str()),
                                 static_cast<DWORD>(versionString_.size() + 1)) != ERROR_SUCCESS) {
    return false;
  }
  // A single value that cannot be written does not fail the save.
  for (const SettingValue& value : kSettingValues) {
    const int32_t number = settings_.*value.field;
    DefaultRegistry().SetValue(key.Handle(), value.name, platform::REG_DWORD,
                               reinterpret_cast<const uint8_t*>(&number), sizeof number);
  }
  CKeySettingStore store(key);
  port_->SaveSettings(store);
  return true;
}

void CVscpCommunication::StoreSpyRect(int32_t top, int32_t bottom, int32_t left, int32_t right) {
  settings_.spyRectTop = top;
  settings_.spyRectBottom = bottom;
  settings_.spyRectLeft = left;
  settings_.spyRectRight = right;
  SaveSettings();
}

uint16_t CVscpCommunication::Initialize(const char* keyPath, uint8_t* initializedFlag) {
  initialized = false;
  if (initializedFlag != nullptr) *initializedFlag = 0;
  if (keyPath == nullptr || initializedFlag == nullptr) return kResultInvalidInput;
  SetDefaultSettings();

  const std::string_view path = keyPath;
  registryRoot_ = platform::HKEY_LOCAL_MACHINE;
  registrySubkey_ = path;
  if (StartsWithIgnoringCase(path, kUserPrefix)) {
    registryRoot_ = platform::HKEY_CURRENT_USER;
    registrySubkey_ = path.substr(kUserPrefix.size());
  } else if (StartsWithIgnoringCase(path, kMachinePrefix)) {
    registrySubkey_ = path.substr(kMachinePrefix.size());
  }

  bool sameVersion = false;
  {
    CKey key(registryRoot_, registrySubkey_);
    if (key.IsOpen()) {
      // Room for our own text and its terminator: a longer value is another
      // version.
      std::string stored(versionString_.size() + 1, '\0');
      DWORD size = static_cast<DWORD>(stored.size());
      if (DefaultRegistry().QueryValue(key.Handle(), kVersionValue, nullptr,
                                       reinterpret_cast<uint8_t*>(stored.data()),
                                       &size) == ERROR_SUCCESS) {
        stored.resize(std::strlen(stored.c_str()));
        sameVersion = stored == versionString_;
      }
    } else {
      HKEY created = 0;
      if (DefaultRegistry().CreateKey(registryRoot_, registrySubkey_,
                                      platform::REG_OPTION_NON_VOLATILE, platform::KEY_ALL_ACCESS,
                                      &created, nullptr) != ERROR_SUCCESS) {
        return kResultRegistryError;
      }
      DefaultRegistry().CloseKey(created);
    }
  }
  // Same version: the stored values; a new key or another version: the
  // defaults, written down.
  if (sameVersion ? !LoadSettings() : !SaveSettings()) return kResultRegistryError;
  ApplyReplyTimeout();
  *initializedFlag = 1;
  initialized = true;
  return kResultOk;
}

}  // namespace lx2d

// The settings in the per-user registry profile: one key per section under
// HKEY_CURRENT_USER\Software\Vex Applikationen\QL-MKV Stampwise, numbers and
// flags as REG_DWORD, texts as REG_SZ. A named mutex stands for the settings
// file's lock, so that two programs' read-modify-writes do not mix.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "app/base/paths.h"
#include "app/base/windows_text.h"
#include "app/store/settings_keys.h"
#include "app/store/settings_profile.h"
#include "common/ascii.h"

namespace stampwise {

namespace {

constexpr const wchar_t* kMutexName = L"Local\\QL-MKV Stampwise settings";

// kRegistryProfile without its root key.
std::wstring ProfilePath() {
  std::string path = kRegistryProfile;
  return WideText(path.substr(path.find('\\') + 1));
}

class Key {
 public:
  Key() = default;
  explicit Key(HKEY key) : key_(key) {}
  ~Key() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }
  HKEY* out() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

// A section's value as the store holds it: DWORDs as signed decimal text.
std::optional<std::string> ValueText(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD number = 0;
    std::memcpy(&number, data.data(), sizeof number);
    return std::to_string(static_cast<std::int32_t>(number));
  }
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return NarrowText(text);
  }
  return std::nullopt;
}

// Section and key names, compared as the registry does: without case.
struct NoCase {
  bool operator()(const std::pair<std::string, std::string>& a, const std::pair<std::string, std::string>& b) const {
    return Lower(a.first) + '\0' + Lower(a.second) < Lower(b.first) + '\0' + Lower(b.second);
  }
  static std::string Lower(std::string text) {
    for (char& c : text) c = ascii::ToLower(c);
    return text;
  }
};
// What a read found: each value's text and registry type.
using Stored = std::map<std::pair<std::string, std::string>, std::pair<std::string, DWORD>, NoCase>;

void ReadSection(HKEY profile, const std::wstring& section, CIniEx& ini, Stored& stored) {
  Key key;
  if (::RegOpenKeyExW(profile, section.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS) return;
  DWORD count = 0, longestName = 0, longestData = 0;
  if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const std::string sectionName = NarrowText(section);
  std::wstring name(longestName + 1, L'\0');
  std::vector<BYTE> data(longestData + sizeof(wchar_t));
  for (DWORD index = 0; index < count; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (::RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS) {
      continue;
    }
    const std::optional<std::string> text = ValueText(type, data, size);
    if (!text) continue;  // a type this program never writes
    const std::string keyName = NarrowText(std::wstring_view(name.data(), nameLength));
    ini.WriteString(sectionName, keyName, *text);
    stored[{sectionName, keyName}] = {*text, type};
  }
}

Stored ReadProfile(CIniEx& ini) {
  Stored stored;
  Key profile;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, ProfilePath().c_str(), 0, KEY_READ, profile.out()) != ERROR_SUCCESS) {
    return stored;  // nothing saved yet: every key gives its default
  }
  for (DWORD index = 0;; ++index) {
    wchar_t section[256];
    DWORD length = 256;
    if (::RegEnumKeyExW(profile.get(), index, section, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    ReadSection(profile.get(), std::wstring(section, length), ini, stored);
  }
  ini.MarkClean();
  return stored;
}

// Numbers and flags of the key table as REG_DWORD, its texts as REG_SZ; a key
// it does not know keeps the type it has, and is new as a text.
DWORD TypeFor(const std::string& section, const std::string& key, const Stored& stored) {
  if (const std::optional<KeyType> type = KeyTypeOf(section, key)) return *type == KeyType::kText ? REG_SZ : REG_DWORD;
  const auto found = stored.find({section, key});
  return found != stored.end() ? found->second.second : REG_SZ;
}

LSTATUS WriteValue(HKEY section, const std::string& key, const std::string& text, DWORD type) {
  const std::wstring name = WideText(key);
  if (type == REG_DWORD) {
    char* end = nullptr;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (!text.empty() && *end == '\0' && number >= INT32_MIN && number <= UINT32_MAX) {
      const DWORD value = static_cast<DWORD>(number);
      return ::RegSetValueExW(section, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    // Not a number after all: kept as text rather than lost.
  }
  const std::wstring value = WideText(text);
  return ::RegSetValueExW(section, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// Writes every value that differs from what was read.
bool WriteProfile(const CIniEx& ini, const Stored& stored, bool synced, std::string& error) {
  Key profile;
  LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, ProfilePath().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                     profile.out(), nullptr);
  if (status != ERROR_SUCCESS) {
    error = SystemErrorText(kRegistryProfile, static_cast<unsigned long>(status));
    return false;
  }
  for (const CIniEx::Section& section : ini.Sections()) {
    Key sectionKey;
    for (std::size_t i = 0; i < section.keys.size(); ++i) {
      const std::string& key = section.keys[i];
      if (key.empty() || key.front() == ';') continue;  // comments have no place here
      const DWORD type = TypeFor(section.name, key, stored);
      const auto found = stored.find({section.name, key});
      if (found != stored.end() && found->second.first == section.values[i] && found->second.second == type) continue;
      if (sectionKey.get() == nullptr) {
        status = ::RegCreateKeyExW(profile.get(), WideText(section.name).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                   sectionKey.out(), nullptr);
      }
      if (status == ERROR_SUCCESS) status = WriteValue(sectionKey.get(), key, section.values[i], type);
      if (status != ERROR_SUCCESS) {
        error = SystemErrorText(std::string(kRegistryProfile) + "\\" + section.name + "\\" + key,
                                static_cast<unsigned long>(status));
        return false;
      }
    }
    if (synced && sectionKey.get() != nullptr) ::RegFlushKey(sectionKey.get());
  }
  return true;
}

class MutexHold {
 public:
  explicit MutexHold(HANDLE mutex, std::chrono::milliseconds timeout) : mutex_(mutex) {
    const DWORD waited = ::WaitForSingleObject(mutex_, static_cast<DWORD>(timeout.count()));
    // An owner that ended without releasing left its change whole or not at
    // all (every value is one registry write): carry on.
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~MutexHold() {
    if (held_) ::ReleaseMutex(mutex_);
  }
  MutexHold(const MutexHold&) = delete;
  MutexHold& operator=(const MutexHold&) = delete;
  bool Held() const { return held_; }

 private:
  HANDLE mutex_;
  bool held_ = false;
};

class RegistryProfile final : public SettingsProfile {
 public:
  RegistryProfile() : mutex_(::CreateMutexW(nullptr, FALSE, kMutexName)) {}
  ~RegistryProfile() override {
    if (mutex_ != nullptr) ::CloseHandle(mutex_);
  }
  RegistryProfile(const RegistryProfile&) = delete;
  RegistryProfile& operator=(const RegistryProfile&) = delete;

  // The registry tells no change time cheaply: every read asks it again.
  bool Reload(CIniEx& ini, std::string&) override {
    ReadProfile(ini);
    return true;
  }

  bool Update(CIniEx& ini, const std::function<void(CIniEx&)>& change, bool synced,
              std::chrono::milliseconds lockTimeout, std::string& error) override {
    if (mutex_ == nullptr) {
      error = SystemErrorText("settings lock", ::GetLastError());
      return false;
    }
    MutexHold hold(mutex_, lockTimeout);
    if (!hold.Held()) {
      error = std::string(kRegistryProfile) + ": held by another program";
      return false;
    }
    const Stored stored = ReadProfile(ini);
    change(ini);
    if (!ini.IsDirty()) return true;
    if (!WriteProfile(ini, stored, synced, error)) return false;
    ini.MarkClean();
    return true;
  }

 private:
  HANDLE mutex_;
};

}  // namespace

std::unique_ptr<SettingsProfile> OpenRegistryProfile() { return std::make_unique<RegistryProfile>(); }

}  // namespace stampwise

// Where files go on Windows: the per-user known folders, the module's path.
#include <windows.h>
// after windows.h
#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>
#include <system_error>

#include "app/base/paths.h"
#include "app/base/paths_platform.h"
#include "app/base/windows_text.h"

namespace stampwise {

namespace {

// A known folder with "/" separators, like every other path of the program.
std::string KnownFolder(const KNOWNFOLDERID& id) {
  PWSTR folder = nullptr;
  std::string path;
  if (::SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &folder) == S_OK) path = NarrowText(folder);
  ::CoTaskMemFree(folder);
  if (path.empty()) path = Environment("APPDATA");
  return FilePath(path).generic_string();
}

}  // namespace

std::filesystem::path FilePath(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string ExecutablePath() {
  std::wstring module(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (length == 0) return {};
    if (length < module.size()) {
      module.resize(length);
      return std::filesystem::path(module).generic_string();
    }
    module.resize(module.size() * 2);
  }
}

bool IsReadableFile(const std::string& path) {
  HANDLE handle = ::CreateFileW(WideText(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

// Folder permissions are access lists on Windows: trying is the one sure test.
bool IsWritableFolder(const std::string& folder) {
  wchar_t name[MAX_PATH];
  if (::GetTempFileNameW(WideText(folder).c_str(), L"qlw", 0, name) == 0) return false;
  ::DeleteFileW(name);
  return true;
}

// Local, not roaming: the ledger is a database that must not travel with a
// roaming profile.
std::string DataDirectory() { return KnownFolder(FOLDERID_LocalAppData) + "/QL-MKV Stampwise"; }

std::string DefaultSettingsFile() {
  std::string chosen = Environment(kSettingsFileVariable);
  if (!chosen.empty()) return chosen;
  return kRegistryProfile;
}

}  // namespace stampwise

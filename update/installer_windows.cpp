// Starts the downloaded installer as the shell's "open" would.
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include "app/base/windows_text.h"
#include "app/texts/strings.h"
#include "update/installer.h"

namespace stampwise::update {

InstallerStart StartInstaller(const std::string& path) {
  const std::wstring wide = WideText(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return {false, FormatText("The File\n\"%s\"\ndoes not exist!", {path})};
  }
  const auto started =
      reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (started > 32) return {true, {}};
  const int error = static_cast<int>(started);
  return {false, FormatText("The File\n\"%s\"\ncan not be started!\nError %d %d %d", {path, 0, error, error})};
}

}  // namespace stampwise::update

// Where files go on Linux: the XDG base folders, /proc/self/exe.
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "app/base/paths.h"
#include "app/base/paths_platform.h"

namespace stampwise {

namespace {

std::string HomeDirectory() {
  std::string home = Environment("HOME");
  if (!home.empty()) return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/tmp";
}

// An XDG base folder: the variable when it holds an absolute path, else the fallback.
std::string XdgFolder(const char* variable, const char* fallbackUnderHome) {
  std::string folder = Environment(variable);
  if (folder.empty() || folder.front() != '/') folder = HomeDirectory() + "/" + fallbackUnderHome;
  return folder;
}

}  // namespace

std::filesystem::path FilePath(std::string_view name) { return std::filesystem::path(name); }

std::string ExecutablePath() {
  std::error_code error;
  auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : executable.string();
}

bool IsReadableFile(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

bool IsWritableFolder(const std::string& folder) { return ::access(folder.c_str(), W_OK) == 0; }

std::string DataDirectory() { return XdgFolder("XDG_DATA_HOME", ".local/share") + "/QL-MKV Stampwise"; }

std::string DefaultSettingsFile() {
  std::string chosen = Environment(kSettingsFileVariable);
  if (!chosen.empty()) return chosen;
  return XdgFolder("XDG_CONFIG_HOME", ".config") + "/Vex Applikationen/QL-MKV Stampwise.ini";
}

}  // namespace stampwise

#include "app/base/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

// The installed private folder, relative to the program directory.
#ifndef STAMPWISE_PRIVATE_DIRECTORY
#define STAMPWISE_PRIVATE_DIRECTORY "../lib/stampwise"
#endif

namespace stampwise {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

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

std::string WithTrailingSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

std::string ProgramDirectory() {
  std::error_code error;
  auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return WithTrailingSlash(std::filesystem::current_path(error).string());
  return WithTrailingSlash(executable.parent_path().string());
}

std::vector<std::string> ResourceDirectories() {
  const std::string program = ProgramDirectory();
  return {program, WithTrailingSlash(program + STAMPWISE_PRIVATE_DIRECTORY)};
}

std::string ResourceDirectoryOf(const std::string& name) {
  for (const std::string& folder : ResourceDirectories()) {
    if (::access((folder + name).c_str(), R_OK) == 0) return folder;
  }
  return ProgramDirectory();
}

std::string DefaultLogDirectory() {
  std::string program = ProgramDirectory();
  if (::access(program.c_str(), W_OK) == 0) return program;
  std::string data = DataDirectory();
  std::error_code error;
  std::filesystem::create_directories(data, error);
  return WithTrailingSlash(data);
}

std::string DataDirectory() { return XdgFolder("XDG_DATA_HOME", ".local/share") + "/QL-MKV Stampwise"; }

std::string DefaultSettingsFile() {
  std::string chosen = Environment(kSettingsFileVariable);
  if (!chosen.empty()) return chosen;
  return XdgFolder("XDG_CONFIG_HOME", ".config") + "/Vex Applikationen/QL-MKV Stampwise.ini";
}

}  // namespace stampwise

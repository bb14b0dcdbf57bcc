#include "app/base/paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/base/paths_platform.h"

// The installed private folder, relative to the program directory.
#ifndef STAMPWISE_PRIVATE_DIRECTORY
#define STAMPWISE_PRIVATE_DIRECTORY "../lib/stampwise"
#endif

namespace stampwise {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string WithTrailingSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string ProgramDirectory() {
  const std::string executable = ExecutablePath();
  std::error_code error;
  if (executable.empty()) return WithTrailingSlash(std::filesystem::current_path(error).generic_string());
  return WithTrailingSlash(FilePath(executable).parent_path().generic_string());
}

std::vector<std::string> ResourceDirectories() {
  const std::string program = ProgramDirectory();
  return {program, WithTrailingSlash(program + STAMPWISE_PRIVATE_DIRECTORY)};
}

std::string ResourceDirectoryOf(const std::string& name) {
  for (const std::string& folder : ResourceDirectories()) {
    if (IsReadableFile(folder + name)) return folder;
  }
  return ProgramDirectory();
}

std::string DefaultLogDirectory() {
  std::string program = ProgramDirectory();
  if (IsWritableFolder(program)) return program;
  std::string data = DataDirectory();
  std::error_code error;
  std::filesystem::create_directories(FilePath(data), error);
  return WithTrailingSlash(data);
}

}  // namespace stampwise

#include "app/connection/serial_names.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace stampwise {

std::string SerialByIdDirectory() {
  const char* replaced = std::getenv("STAMPWISE_SERIAL_BY_ID_DIR");
  return replaced != nullptr && *replaced != '\0' ? replaced : "/dev/serial/by-id";
}

std::map<std::string, std::string> StableSerialNames(const std::string& directory) {
  namespace fs = std::filesystem;
  std::vector<fs::path> links;
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    links.push_back(it->path());
  }
  std::sort(links.begin(), links.end());
  std::map<std::string, std::string> names;
  for (const fs::path& link : links) {
    std::error_code resolveError;
    const fs::path device = fs::canonical(link, resolveError);
    if (resolveError) continue;  // a dangling link: the device is gone
    // Several links may lead to one device (by-id and a second interface
    // name): the first in name order wins, so the choice stays the same.
    names.emplace(device.string(), link.string());
  }
  return names;
}

TypedPathProblem CheckTypedDevicePath(const std::string& path) {
  if (path.rfind("/dev/", 0) != 0) return TypedPathProblem::kNotUnderDev;
  if (path.find(' ') != std::string::npos) return TypedPathProblem::kHasBlank;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return TypedPathProblem::kMissing;
  if (!S_ISCHR(info.st_mode)) return TypedPathProblem::kNotADevice;
  return TypedPathProblem::kNone;
}

}  // namespace stampwise

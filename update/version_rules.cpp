#include "update/version_rules.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/base/file_ops.h"
#include "app/base/paths.h"
#include "app/connection/open_reader.h"

namespace stampwise::update {
namespace {

struct SplitResult {
  std::string major;
  std::string minor;
};

SplitResult Split(const std::string& version) {
  const std::size_t dot = version.find('.');
  if (dot == std::string::npos || dot == 0) return {version, {}};
  return {version.substr(0, dot), version.substr(dot + 1)};
}

// atoi without its undefined behaviour on overflow: leading blanks, a sign,
// digits; saturated at the limits of long long.
long long LeadingNumber(const std::string& text) {
  char* end = nullptr;
  return std::strtoll(text.c_str(), &end, 10);
}

}  // namespace

bool IsNewerVersion(const std::string& ownVersion, const std::string& ownBuild, const std::string& serverVersion,
                    const std::string& serverBuild) {
  const SplitResult own = Split(ownVersion);
  const SplitResult server = Split(serverVersion);
  const long long ownMajor = LeadingNumber(own.major);
  const long long serverMajor = LeadingNumber(server.major);
  if (ownMajor < serverMajor) return true;
  if (ownMajor == serverMajor && own.minor < server.minor) return true;
  return !serverBuild.empty() && ownBuild < serverBuild;
}

std::string DeviceVersion(char c) {
  int value = 0;
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (c >= 'A' && c <= 'Z') {
    value = 10 + (c - 'A');
  } else if (c >= 'a' && c <= 'z') {
    value = 36 + (c - 'a');
  }
  char text[8];
  std::snprintf(text, sizeof text, "1.%02d", value);
  return text;
}

std::string OwnVersionText(const std::string& productVersion) {
  if (productVersion.empty() || productVersion.size() > 19) return "-.--";
  if (productVersion.size() < 4) return productVersion + " ";
  return productVersion;
}

std::string GetOwnVersion() { return OwnVersionText(ProductVersion()); }

std::string FileDate(const std::string& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return {};
  const std::tm local = LocalTimeOf(info.st_mtime).fields;
  char text[16];
  return std::strftime(text, sizeof text, "%Y-%m-%d", &local) == 0 ? std::string() : std::string(text);
}

std::string GetOwnBuildDate() { return FileDate(ExecutablePath()); }

}  // namespace stampwise::update

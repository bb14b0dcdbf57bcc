#include <sys/stat.h>

#include <cerrno>

#include "app/connection/device_presence.h"

namespace stampwise {

bool DeviceFileGone(const std::string& file) {
  struct stat info {};
  return ::stat(file.c_str(), &info) != 0 && (errno == ENOENT || errno == ENODEV || errno == ENXIO);
}

}  // namespace stampwise

#include <unistd.h>

#include <cerrno>
#include <climits>

#include "app/base/file_ops.h"

namespace stampwise {

bool SyncData(int fd) { return ::fdatasync(fd) == 0; }

bool TruncateFile(int fd, std::int64_t size) {
  for (;;) {
    if (::ftruncate(fd, static_cast<off_t>(size)) == 0) return true;
    if (errno != EINTR) return false;
  }
}

std::int64_t ReadAt(int fd, char* buffer, std::size_t count, std::int64_t offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, count, static_cast<off_t>(offset));
    if (n >= 0 || errno != EINTR) return n;
  }
}

LocalTime LocalTimeOf(std::time_t when) {
  LocalTime local;
  ::localtime_r(&when, &local.fields);
  local.offsetSeconds = local.fields.tm_gmtoff;
  return local;
}

std::time_t UtcSecondsOf(std::tm fields) { return ::timegm(&fields); }

std::string MachineName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace stampwise

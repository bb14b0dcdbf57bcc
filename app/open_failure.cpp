#include "app/open_failure.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/reader_link.h"

namespace stampwise {
namespace {

std::string SystemReason(int error) { return std::strerror(error); }

// The name part of a connection string: without the device address and the
// bracketed description of a list entry.
std::string NameOf(const std::string& connection) {
  std::string name = connection;
  const std::size_t colon = name.rfind(':');
  if (colon != std::string::npos && colon + 1 < name.size() &&
      name.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    name.resize(colon);
  }
  return name.substr(0, name.find(' '));
}

}  // namespace

std::optional<OpenFailure> FindOpenFailure(const std::string& connection) {
  const std::string device = DeviceFileOfConnection(connection);
  if (device.empty()) {
    const std::string name = NameOf(connection);
    struct stat info {};
    if (name.empty() || ::stat(name.c_str(), &info) != 0) return std::nullopt;
    return OpenFailure{name, "not under /dev/, so taken as a D2XX serial number (give the /dev/ name)"};
  }
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenFailure{device, SystemReason(errno)};
  std::optional<OpenFailure> failure;
  if (!::isatty(fd)) {
    failure = OpenFailure{device, "not a terminal"};
  } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // Another program holds the line (serial tools take the same lock).
    failure = OpenFailure{device, SystemReason(errno == EWOULDBLOCK ? EBUSY : errno)};
  }
  ::close(fd);
  return failure;
}

}  // namespace stampwise

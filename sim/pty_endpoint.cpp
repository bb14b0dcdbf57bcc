#include "sim/pty_endpoint.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace mkvsim {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

}  // namespace

PtyEndpoint::PtyEndpoint(const std::string& linkPath) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) Fail("posix_openpt");
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    ::close(master_);
    Fail("grantpt/unlockpt");
  }
  char name[256] = {};
  if (::ptsname_r(master_, name, sizeof name) != 0) {
    ::close(master_);
    Fail("ptsname_r");
  }
  slavePath_ = name;
  slaveKeeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slaveKeeper_ < 0) {
    ::close(master_);
    Fail("open " + slavePath_);
  }
  // Raw from the start: no echo of requests back into our own input, no line editing.
  termios tio{};
  if (::tcgetattr(slaveKeeper_, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(slaveKeeper_, TCSANOW, &tio);
  }
  if (!linkPath.empty()) {
    struct stat st {};
    // Replace only an old link of ours, never a real file.
    if (::lstat(linkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(linkPath.c_str());
    if (::symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
      ::close(slaveKeeper_);
      ::close(master_);
      Fail("symlink " + linkPath);
    }
    linkPath_ = linkPath;
  }
}

PtyEndpoint::~PtyEndpoint() {
  if (!linkPath_.empty()) ::unlink(linkPath_.c_str());
  ::close(slaveKeeper_);
  ::close(master_);
}

}  // namespace mkvsim

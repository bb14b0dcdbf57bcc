#include "transport/custom_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace qlmkv {

int SetCustomBaudRate(int fd, int baud) {
  if (baud <= 0) return EINVAL;
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = static_cast<speed_t>(baud);
  tio.c_ospeed = static_cast<speed_t>(baud);
  if (ioctl(fd, TCSETS2, &tio) != 0) return errno;
  return 0;
}

bool ReadBaudRates(int fd, unsigned& inputBaud, unsigned& outputBaud) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  inputBaud = tio.c_ispeed;
  outputBaud = tio.c_ospeed;
  return true;
}

}  // namespace qlmkv

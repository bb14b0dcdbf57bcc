// A serial line on the POSIX terminal interface. Pseudo-terminals have no
// modem lines and no error counters: those then read as off and zero.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

#include "common/ascii.h"
#include "transport/custom_baud.h"
#include "transport/poll_time.h"
#include "transport/serial_line.h"
#include "transport/serial_listener.h"

namespace qlmkv {
namespace {

bool IsLossErrno(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

speed_t SpeedFor(int baud) {
  struct Pair {
    int baud;
    speed_t speed;
  };
  static constexpr Pair kSpeeds[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
      {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
      {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
      {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
      {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
  };
  for (const Pair& pair : kSpeeds) {
    if (pair.baud == baud) return pair.speed;
  }
  return B0;
}

// Character format from the parity letter, data bits and stop bits; false
// when one of them has no meaning.
bool SetCharacterFormat(const LineSettings& config, termios& tio) {
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
  switch (ascii::ToUpper(config.parity)) {
    case 'N': break;
    case 'E': tio.c_cflag |= PARENB; break;
    case 'O': tio.c_cflag |= PARENB | PARODD; break;
    case 'M': tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 'S': tio.c_cflag |= PARENB | CMSPAR; break;
    default: return false;
  }
  switch (config.dataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    case 8: tio.c_cflag |= CS8; break;
    default: return false;
  }
  if (config.stopBits == 2) {
    tio.c_cflag |= CSTOPB;
  } else if (config.stopBits != 1) {
    return false;
  }
  if (tio.c_cflag & PARENB) tio.c_iflag |= INPCK;
  return true;
}

// Mode 3 (RTS only) has no kernel counterpart: the kernel pairs RTS with CTS
// or does nothing, so RTS simply stays asserted. DSR flow control of mode 1
// does not exist here either; mode 1 is RTS/CTS.
void SetHandshake(int mode, termios& tio) {
  tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  if (mode == 1) {
    tio.c_cflag |= CRTSCTS;
  } else if (mode == 2) {
    tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
  }
}

class TerminalLine final : public SerialLine {
 public:
  explicit TerminalLine(int fd) : fd_(fd) { ReadCounters(counters_); }
  ~TerminalLine() override { Close(); }

  std::string Configure(const LineSettings& config, std::uint32_t /*eventMask*/) override {
    // Time-outs and the event mask have no separate step here: reads never
    // wait (VMIN = VTIME = 0, non-blocking descriptor) and poll() replaces
    // the event mask.
    // Raw mode and the character format go in first, whatever becomes of
    // the rate: a line left canonical with echo on would send every reply
    // straight back to the reader.
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return Fail("GetCommState()");
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const bool formatOk = SetCharacterFormat(config, tio);
    if (!formatOk) {
      tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB)) | CS8;
      tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    }
    SetHandshake(config.handshake, tio);
    const speed_t speed = SpeedFor(config.baudRate);
    if (speed != B0) {
      // A custom input rate left by an earlier open would stay in force:
      // with no input rate of its own the input follows the output.
      tio.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
      cfsetispeed(&tio, speed);
      cfsetospeed(&tio, speed);
    }
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) return Fail("SetCommState()");
    // DTR and RTS on; a pseudo-terminal has neither.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd_, TIOCMBIS, &lines);
    if (!formatOk) return Fail("BuildCommDCB()", EINVAL);
    // Any other rate the driver accepts goes through the custom-speed interface.
    if (speed == B0) {
      const int err = SetCustomBaudRate(fd_, config.baudRate);
      if (err != 0) return Fail("SetCommState()", err);
    }
    return {};
  }

  void Purge() override { (void)tcflush(fd_, TCIOFLUSH); }

  bool SetEventMask(std::uint32_t) override { return true; }

  bool ReadStatus(LineStatus& status) override {
    int waiting = 0;
    if (ioctl(fd_, FIONREAD, &waiting) != 0) return Remember(errno), false;
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0) {
      if (IsLossErrno(errno)) return Remember(errno), false;
      queued = 0;
    }
    status.inQueue = static_cast<std::uint32_t>(waiting);
    status.outQueue = static_cast<std::uint32_t>(queued);
    status.errors = 0;
    serial_icounter_struct now{};
    if (!ReadCounters(now)) return false;
    if (now.frame != counters_.frame) status.errors |= line_error::kFrame;
    if (now.overrun != counters_.overrun) status.errors |= line_error::kOverrun;
    if (now.parity != counters_.parity) status.errors |= line_error::kRxParity;
    if (now.brk != counters_.brk) status.errors |= line_error::kBreak;
    if (now.buf_overrun != counters_.buf_overrun) status.errors |= line_error::kRxOver;
    counters_ = now;
    return true;
  }

  bool ModemStatus(std::uint32_t& bits) override {
    bits = 0;
    if (!hasModemLines_) return true;
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) != 0) {
      Remember(errno);
      if (IsLossErrno(errno)) return false;
      hasModemLines_ = false;  // the driver has none (pseudo-terminal)
      return true;
    }
    if (lines & TIOCM_CTS) bits |= modem::kCtsOn;
    if (lines & TIOCM_DSR) bits |= modem::kDsrOn;
    if (lines & TIOCM_RNG) bits |= modem::kRingOn;
    if (lines & TIOCM_CD) bits |= modem::kRlsdOn;
    return true;
  }

  long Read(std::uint8_t* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return static_cast<long>(n);
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
      Remember(errno);
      return -1;
    }
  }

  bool Write(const std::uint8_t* data, std::size_t size, std::size_t& written, int cancelFd,
             std::chrono::steady_clock::time_point deadline) override {
    written = 0;
    while (written < size) {
      const ssize_t n = ::write(fd_, data + written, size - written);
      if (n > 0) {
        written += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Remember(errno), false;
      // The line is full (flow control or a slow device): wait for room,
      // but not past the deadline.
      const int waitMs = MillisecondsUntil(deadline);
      if (waitMs == 0) return true;
      pollfd fds[2] = {{fd_, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
      if (poll(fds, 2, waitMs) < 0 && errno != EINTR) return Remember(errno), false;
      if (fds[1].revents & POLLIN) return true;
      if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return Remember(EIO), false;
    }
    return true;
  }

  std::size_t WriteAtOnce(const std::uint8_t* data, std::size_t size) override {
    std::size_t written = 0;
    while (written < size) {
      const ssize_t n = ::write(fd_, data + written, size - written);
      if (n > 0) {
        written += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        break;  // full (the descriptor never blocks) or failing: the worker takes the rest
      }
    }
    return written;
  }

  int WaitFd() const override { return fd_; }
  bool HasLineStatus() const override { return hasModemLines_ || hasCounters_; }

  bool Close() override {
    if (fd_ < 0) return true;
    // Clears an exclusive flag an earlier client may have left behind; the
    // advisory lock goes with the descriptor.
    (void)ioctl(fd_, TIOCNXCL);
    const int result = ::close(fd_);
    fd_ = -1;
    if (result != 0) Remember(errno);
    return result == 0;
  }

  LineError LastError() const override {
    return {lastErrno_, std::system_category().message(lastErrno_), IsLossErrno(lastErrno_)};
  }

 private:
  bool ReadCounters(serial_icounter_struct& counters) {
    if (!hasCounters_) return true;
    if (ioctl(fd_, TIOCGICOUNT, &counters) == 0) return true;
    Remember(errno);
    if (IsLossErrno(errno)) return false;
    hasCounters_ = false;  // the driver keeps none (pseudo-terminal)
    counters = counters_;
    return true;
  }

  void Remember(int err) { lastErrno_ = err; }

  std::string Fail(const char* label, int err = errno) {
    Remember(err);
    return label;
  }

  int fd_;
  int lastErrno_ = 0;
  bool hasModemLines_ = true;
  bool hasCounters_ = true;
  serial_icounter_struct counters_{};
};

}  // namespace

std::unique_ptr<SerialLine> OpenTerminalLine(const std::string& path, LineError& error) {
  const int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const int err = path.empty() ? ENOENT : errno;
  if (fd < 0 || !isatty(fd)) {
    const int reason = fd < 0 ? err : ENOTTY;
    if (fd >= 0) ::close(fd);
    // ENOTTY's own text speaks of an ioctl: say what the file is not.
    error = {reason, fd < 0 ? std::system_category().message(reason) : "not a terminal", false};
    return nullptr;
  }
  // No sharing: a line another program (or another port) holds is refused.
  // An advisory lock, as serial tools take it, dies with its process; the
  // kernel's exclusive flag would outlive a killed client and lock out every
  // later open but root's.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int reason = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    error = {reason, std::system_category().message(reason), false};
    return nullptr;
  }
  return std::make_unique<TerminalLine>(fd);
}

}  // namespace qlmkv

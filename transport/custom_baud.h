// Line rates outside the fixed speed table, through the kernel's custom-speed
// interface. Kept apart from <termios.h>, whose definitions clash with it.
#pragma once

namespace qlmkv {

// Sets both directions of the terminal line `fd` to `baud` bits per second.
// 0 on success, otherwise the errno value (EINVAL for a rate the driver refuses).
int SetCustomBaudRate(int fd, int baud);

// The rates the line is set to, as the kernel reports them; false on failure.
bool ReadBaudRates(int fd, unsigned& inputBaud, unsigned& outputBaud);

}  // namespace qlmkv

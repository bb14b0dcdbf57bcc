// Names of serial devices beyond the list entries: the stable names udev
// makes for USB serial ports (/dev/serial/by-id/), which survive reboots and
// re-plugging where /dev/ttyACM0 may become /dev/ttyACM1, and the check of a
// device path the operator typed (a pseudo-terminal, a socat link, a by-id
// name).
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace stampwise {

// Where udev keeps the stable names; STAMPWISE_SERIAL_BY_ID_DIR replaces it.
std::string SerialByIdDirectory();

// Kernel device path ("/dev/ttyACM0") -> stable name, for every link in
// `directory` that leads to a device. Empty when the folder is missing.
std::map<std::string, std::string> StableSerialNames(const std::string& directory = SerialByIdDirectory());

// Why a typed device path cannot be opened as a serial line (kNone: it can
// be tried). The library takes only names under /dev/ for serial lines (any
// other name is a D2XX serial number) and drops what follows a blank, so the
// path must be under /dev/, without blanks, and lead to a character device.
enum class TypedPathProblem { kNone, kNotUnderDev, kHasBlank, kMissing, kNotADevice };
TypedPathProblem CheckTypedDevicePath(const std::string& path);

}  // namespace stampwise

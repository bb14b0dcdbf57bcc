#include "transport/port_name.h"

namespace qlmkv {

// COM1 is the first serial port of the board.
std::string ComDevicePath(int number) { return "/dev/ttyS" + std::to_string(number - 1); }

}  // namespace qlmkv

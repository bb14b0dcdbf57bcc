#include "transport/port_name.h"

namespace qlmkv {

// The device namespace form reaches COM10 and above too.
std::string ComDevicePath(int number) { return "\\\\.\\COM" + std::to_string(number); }

}  // namespace qlmkv

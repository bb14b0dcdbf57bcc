#include "reader/packed_list.h"

#include <cctype>
#include <cstring>

namespace qlmkv {

int PackNames(const std::vector<std::string>& names, char* buffer, int capacity) {
  if (buffer == nullptr || capacity < 1) return 0;
  const std::size_t room = static_cast<std::size_t>(capacity);
  std::size_t used = 0;
  for (const std::string& name : names) {
    // Names stop at an embedded zero, as the receiver will read them.
    const std::size_t length = std::strlen(name.c_str());
    if (used + length + 2 > room) break;
    std::memcpy(buffer + used, name.c_str(), length + 1);
    used += length + 1;
  }
  buffer[used] = '\0';
  return static_cast<int>(used + 1);
}

bool IsReaderUsbName(const std::string& name) {
  int value = 0;
  for (std::size_t i = 0; i < name.size() && i < 4; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) break;
    value = value * 10 + (name[i] - '0');
  }
  return value >= 1700 && value <= 1709;
}

}  // namespace qlmkv

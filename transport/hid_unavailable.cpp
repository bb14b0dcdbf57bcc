// HID readers are not supported yet: the list stays empty and opening fails,
// which the reader library reports as a link that could not be opened.
#include "transport/transports.h"

namespace qlmkv {

std::vector<std::string> EnumHidDevices() { return {}; }
std::unique_ptr<Transport> OpenHidTransport(const std::string&, ByteSink&) { return nullptr; }

}  // namespace qlmkv

// Whether a serial line's device is gone (a USB adapter pulled out), asked
// of the system rather than inferred from a failed exchange.
#pragma once

#include <string>

namespace stampwise {

// True only when the system says the device is not there; a device it
// cannot tell about counts as present.
bool DeviceFileGone(const std::string& file);

}  // namespace stampwise

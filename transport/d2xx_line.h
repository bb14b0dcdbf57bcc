// Line settings in the device-control block that the D2XX library's
// FT_W32_SetCommState takes.
#pragma once

#include "transport/d2xx_types.h"
#include "transport/serial_line.h"

namespace qlmkv {

// Fills baud rate, parity, data bits and stop bits, as the system's parser of
// "baud=%d parity=%c data=%d stop=%d" does. False when one has no meaning.
bool BuildDcb(const LineSettings& config, d2xx::Dcb& dcb);

// The fixed flags and the handshake mode's DTR/RTS control, flow flags and
// XON/XOFF characters.
void ApplyHandshake(int mode, d2xx::Dcb& dcb);

}  // namespace qlmkv

// How long bytes take on a serial line and a tag chip takes for a write: the
// arithmetic behind mkv-sim's paced link, as pure functions.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace mkvsim {

// One character on the line: a start bit, 8 data bits, an optional parity
// bit and one or two stop bits.
struct LineFormat {
  long baudRate = 19200;
  char parity = 'N';  // 'N', 'E' or 'O'
  int stopBits = 1;
};

// A baud code as the tools take it: the rate plus a line-format digit in its
// last two decimal digits (0: 8N1, 1: 8E1, 2: 8O1, 3: 8N2). Nothing for any
// other text, a remainder above 3 or a rate below 50.
std::optional<LineFormat> ParseBaudCode(const std::string& text);

int BitsPerCharacter(const LineFormat& format);

// The time `bytes` characters occupy the line, to the nearest nanosecond.
std::chrono::nanoseconds WireTime(const LineFormat& format, std::size_t bytes);

// A chip writes 16-bit words, each half the time of 32 bits; an odd byte
// count still costs its whole last word.
std::chrono::nanoseconds ChipWriteTime(std::size_t bytes, std::chrono::microseconds per32Bits);

// "19200 8N1"
std::string Describe(const LineFormat& format);

}  // namespace mkvsim

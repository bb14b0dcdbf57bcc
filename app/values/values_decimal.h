// Reading a signed 64-bit decimal number from the start of a text, the way
// the decimal formats read their value.
#pragma once

#include <string_view>

namespace stampwise {

struct ParsedDecimal {
  long long value = 0;    // saturated at the 64-bit limits on overflow
  bool overflow = false;  // the digits do not fit into a signed 64-bit number
};

// Skips leading white space, takes an optional sign and the digits that
// follow; parsing stops at the first other character. No digits give 0.
ParsedDecimal ParseDecimalPrefix(std::string_view text);

}  // namespace stampwise

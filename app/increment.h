// The auto increment of the write value after a successful write.
#pragma once

#include <string>
#include <string_view>

#include "app/params.h"

namespace stampwise {

// A value split into free text around its number ("Zusatztext zulassen").
struct SplitValue {
  std::string prefix;  // before the first digit
  std::string number;  // first to last digit, inclusive
  std::string suffix;  // after the last digit
};

// Splits only when "Zusatztext zulassen" is on in an ASCII format (digits
// are hex digits in format 1, "0"-"9" otherwise); else all is number. A text
// without digits is all suffix.
SplitValue SplitForIncrement(const ParameterSet& params);

// The next write value. The caller runs it only when an auto increment box is
// checked. Hex formats count digit-wise (base 16 with "Auto increment (Hex)",
// else base 10) and wrap or grow by a leading 1; decimal formats add one to
// the 64-bit number; data formats stay unchanged. A value without a number to
// count stays unchanged in the hex formats. A value never grows past what its
// format can write, so a cycle never writes the same number twice by cutting
// it short.
std::string IncrementValue(const ParameterSet& params);

}  // namespace stampwise

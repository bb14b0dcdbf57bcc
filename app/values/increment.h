// The auto increment of the write value after a successful write.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/base/params.h"

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
// else base 10) and grow by a leading 1; decimal formats add one to the
// 64-bit number; data formats stay unchanged. A value without a number to
// count stays unchanged in the hex formats. Nothing wraps: after the last
// value that fits, the result is one past the range (see CounterExhausted),
// so a serial number is never handed out twice.
std::string IncrementValue(const ParameterSet& params);

// True when an auto increment is on and the value is the one that follows
// the last value the length can hold ("100000000" in 8 characters, 2^(8L) in
// format 2): the counter has run out and nothing may be written until the
// operator sets a new start value.
bool CounterExhausted(const ParameterSet& params);

// How many values, the current one included, can still be written before the
// counter runs out, as a decimal number ("0" once it has). Nothing when the
// value does not count: no auto increment, a data format, an unusable length.
std::optional<std::string> ValuesLeft(const ParameterSet& params);

}  // namespace stampwise

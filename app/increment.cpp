#include "app/increment.h"

#include <algorithm>
#include <limits>

#include "app/formats.h"
#include "app/values_decimal.h"

namespace stampwise {

namespace {

char DigitChar(unsigned value) { return "0123456789ABCDEF"[value & 0x0F]; }

// Adds one at the rightmost digit and carries left. A character that is no
// hex digit (free text inside the number) has the value 255: a carry that
// reaches it turns it into "0" and goes on; otherwise it is kept. Returns
// false when there is no digit at all.
bool AddOneDigitwise(std::string& number, unsigned base) {
  bool carry = true;
  const bool anyDigit = std::any_of(number.begin(), number.end(), IsHexDigit);
  if (!anyDigit) return false;
  for (std::size_t i = number.size(); i-- > 0;) {
    const unsigned value = NibbleValue(number[i]);
    if (value == kNotANibble && !carry) continue;
    if (!carry) {
      number[i] = DigitChar(value);  // rebuilt in upper case
      continue;
    }
    if (value + 1 >= base) {
      number[i] = '0';
    } else {
      number[i] = DigitChar(value + 1);
      carry = false;
    }
  }
  // Carry out of the leftmost digit: a new leading 1. Where there is no room
  // for it the counter has run out; the value stays one past the range
  // instead of wrapping to a number that was written before.
  if (carry) number.insert(0, 1, '1');
  return true;
}

std::string NextDecimal(std::string_view number) {
  const ParsedDecimal parsed = ParseDecimalPrefix(number);
  if (parsed.value == std::numeric_limits<long long>::max()) {
    // One past the 64-bit range; the conversion rejects it, nothing wraps.
    return "9223372036854775808";
  }
  return std::to_string(parsed.value + 1);
}

std::string PadNumber(const SplitValue& split, std::string number, std::size_t length) {
  const std::size_t used = split.prefix.size() + number.size() + split.suffix.size();
  if (used < length) number.insert(0, length - used, '0');
  return number;
}

std::string IncrementHex(const ParameterSet& params, SplitValue split) {
  const unsigned base = params.autoIncrementHex ? 16 : 10;
  if (!AddOneDigitwise(split.number, base)) return params.value;
  return split.prefix + split.number + split.suffix;
}

std::string IncrementDecimal(const ParameterSet& params, const SplitValue& split) {
  std::string number = NextDecimal(split.number);
  if (params.format != DataFormat::DecimalAscii || !IsUsableLength(params.lengthBytes)) {
    return split.prefix + number + split.suffix;
  }
  const auto length = static_cast<std::size_t>(params.lengthBytes);
  if (params.leadingZeros) number = PadNumber(split, number, length);
  return split.prefix + number + split.suffix;
}

// "1" followed by zeros only: what a counter becomes when it carries out of
// its last digit.
bool IsOnePastAllDigits(std::string_view number) {
  return number.size() >= 2 && number.front() == '1' && number.find_first_not_of('0', 1) == std::string_view::npos;
}

}  // namespace

SplitValue SplitForIncrement(const ParameterSet& params) {
  const std::string& text = params.value;
  if (!params.additionalText || !IsAsciiFormat(params.format)) return {"", text, ""};
  const bool hexDigits = params.format == DataFormat::HexAscii;
  auto isDigit = [hexDigits](char c) { return hexDigits ? IsHexDigit(c) : IsDecimalDigit(c); };
  const auto first = std::find_if(text.begin(), text.end(), isDigit);
  if (first == text.end()) return {"", "", text};
  const auto last = std::find_if(text.rbegin(), text.rend(), isDigit).base();
  return {std::string(text.begin(), first), std::string(first, last), std::string(last, text.end())};
}

bool CounterExhausted(const ParameterSet& params) {
  if (!params.autoIncrementDec && !params.autoIncrementHex) return false;
  if (IsDataFormat(params.format) || !IsUsableLength(params.lengthBytes)) return false;
  const auto length = static_cast<std::size_t>(params.lengthBytes);
  if (params.format == DataFormat::DecimalBinary) {
    // L bytes hold 0 .. 2^(8L) - 1; the signed 64-bit count ends at 2^63 - 1.
    const ParsedDecimal parsed = ParseDecimalPrefix(params.value);
    if (parsed.overflow) return params.value == "9223372036854775808";
    return length < 8 && parsed.value == (1LL << (8 * length));
  }
  const SplitValue split = SplitForIncrement(params);
  if (!IsOnePastAllDigits(split.number)) return false;
  if (params.format == DataFormat::HexBinary) return split.number.size() == 2 * length + 1;
  return params.value.size() == length + 1;
}

std::string IncrementValue(const ParameterSet& params) {
  if (IsDataFormat(params.format)) return params.value;
  const SplitValue split = SplitForIncrement(params);
  if (IsHexFormat(params.format)) return IncrementHex(params, split);
  return IncrementDecimal(params, split);
}

}  // namespace stampwise

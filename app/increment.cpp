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
bool AddOneDigitwise(std::string& number, unsigned base, long long maxDigits) {
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
  // Carry out of the leftmost digit: grow while there is room, else wrap
  // (all digits are zero by now).
  if (carry && static_cast<long long>(number.size()) < maxDigits) number.insert(0, 1, '1');
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
  const long long length = params.lengthBytes;
  // Format 0 holds 2 digits per byte; format 1 one character per byte,
  // shared with the free text around the number.
  const long long maxDigits =
      params.format == DataFormat::HexBinary
          ? 2 * length
          : length - static_cast<long long>(split.prefix.size() + split.suffix.size());
  if (!AddOneDigitwise(split.number, base, maxDigits)) return params.value;
  return split.prefix + split.number + split.suffix;
}

std::string IncrementDecimal(const ParameterSet& params, const SplitValue& split) {
  std::string number = NextDecimal(split.number);
  if (params.format != DataFormat::DecimalAscii || !IsUsableLength(params.lengthBytes)) {
    return split.prefix + number + split.suffix;
  }
  const auto length = static_cast<std::size_t>(params.lengthBytes);
  if (params.leadingZeros) number = PadNumber(split, number, length);
  std::string next = split.prefix + number + split.suffix;
  // Only the leftmost L characters are written: a value that outgrows them
  // would repeat a number already written. Wrap to zero instead, as the hex
  // formats do, when the zero fits.
  if (params.value.size() <= length && next.size() > length) {
    std::string zero = params.leadingZeros ? PadNumber(split, "0", length) : "0";
    std::string wrapped = split.prefix + zero + split.suffix;
    if (wrapped.size() <= length) next = std::move(wrapped);
  }
  return next;
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

std::string IncrementValue(const ParameterSet& params) {
  if (IsDataFormat(params.format)) return params.value;
  const SplitValue split = SplitForIncrement(params);
  if (IsHexFormat(params.format)) return IncrementHex(params, split);
  return IncrementDecimal(params, split);
}

}  // namespace stampwise

#include "app/values/increment.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "app/values/formats.h"
#include "app/values/values_decimal.h"

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

// A decimal number of any size, in chunks of nine digits, least significant first.
class BigDecimal {
 public:
  void MultiplyAdd(std::uint32_t factor, std::uint32_t add) {
    std::uint64_t carry = add;
    for (std::uint32_t& chunk : chunks_) {
      const std::uint64_t value = std::uint64_t{chunk} * factor + carry;
      chunk = static_cast<std::uint32_t>(value % kChunk);
      carry = value / kChunk;
    }
    for (; carry != 0; carry /= kChunk) chunks_.push_back(static_cast<std::uint32_t>(carry % kChunk));
  }
  std::string Text() const {
    std::string text = std::to_string(chunks_.back());
    for (std::size_t i = chunks_.size() - 1; i-- > 0;) {
      const std::string part = std::to_string(chunks_[i]);
      text += std::string(9 - part.size(), '0') + part;
    }
    return text;
  }

 private:
  static constexpr std::uint64_t kChunk = 1000000000;
  std::vector<std::uint32_t> chunks_{0};
};

// The steps a digit-wise counter of `capacity` digits in `base` has left from
// `number` until it carries out of its last digit: base^capacity - number.
// A hex digit at or above the base (counting in base 10) carries at the next
// step, as the highest digit does; characters that are no digits do not count.
std::string StepsBeforeCarryOut(std::string_view number, std::size_t capacity, unsigned base) {
  std::vector<unsigned> digits;
  for (char c : number) {
    if (IsHexDigit(c)) digits.push_back(std::min(NibbleValue(c), base - 1));
  }
  if (digits.size() > capacity) return "0";
  digits.insert(digits.begin(), capacity - digits.size(), 0);
  // base^n - v is the digit-wise complement of v, plus one.
  BigDecimal left;
  for (const unsigned digit : digits) left.MultiplyAdd(base, base - 1 - digit);
  left.MultiplyAdd(1, 1);
  return left.Text();
}

// The first decimal value that no longer fits: 2^(8L) in L bytes, or the end
// of the signed 64-bit count; 10^D in D digits, or that same end.
constexpr unsigned long long kCountEnd = 1ULL << 63;

std::string DecimalValuesLeft(const SplitValue& split, unsigned long long end) {
  const ParsedDecimal parsed = ParseDecimalPrefix(split.number);
  if (parsed.overflow || parsed.value < 0 || static_cast<unsigned long long>(parsed.value) >= end) return "0";
  return std::to_string(end - static_cast<unsigned long long>(parsed.value));
}

}  // namespace

std::optional<std::string> ValuesLeft(const ParameterSet& params) {
  if (!params.autoIncrementDec && !params.autoIncrementHex) return std::nullopt;
  if (IsDataFormat(params.format) || !IsUsableLength(params.lengthBytes)) return std::nullopt;
  if (CounterExhausted(params)) return "0";
  const auto length = static_cast<std::size_t>(params.lengthBytes);
  const SplitValue split = SplitForIncrement(params);
  const std::size_t around = split.prefix.size() + split.suffix.size();
  const std::size_t room = length > around ? length - around : 0;
  switch (params.format) {
    case DataFormat::HexBinary: return StepsBeforeCarryOut(split.number, 2 * length, params.autoIncrementHex ? 16 : 10);
    case DataFormat::HexAscii: {
      const auto others = static_cast<std::size_t>(
          std::count_if(split.number.begin(), split.number.end(), [](char c) { return !IsHexDigit(c); }));
      return StepsBeforeCarryOut(split.number, room > others ? room - others : 0, params.autoIncrementHex ? 16 : 10);
    }
    case DataFormat::DecimalBinary:
      return DecimalValuesLeft(split, length < 8 ? std::min(1ULL << (8 * length), kCountEnd) : kCountEnd);
    default: {
      unsigned long long end = 1;
      for (std::size_t i = 0; i < room && end < kCountEnd; ++i) end *= 10;
      return DecimalValuesLeft(split, std::min(end, kCountEnd));
    }
  }
}

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

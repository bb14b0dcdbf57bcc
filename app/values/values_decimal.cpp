#include "app/values/values_decimal.h"

#include <limits>

namespace stampwise {

ParsedDecimal ParseDecimalPrefix(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';

  // Accumulate the magnitude unsigned; the negative range is one larger.
  const unsigned long long limit = negative
                                       ? 0ULL - static_cast<unsigned long long>(std::numeric_limits<long long>::min())
                                       : static_cast<unsigned long long>(std::numeric_limits<long long>::max());
  unsigned long long magnitude = 0;
  ParsedDecimal result;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    const auto digit = static_cast<unsigned long long>(text[pos] - '0');
    if (magnitude > (limit - digit) / 10) {
      result.overflow = true;
      magnitude = limit;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (negative) {
    result.value = magnitude == limit ? std::numeric_limits<long long>::min() : -static_cast<long long>(magnitude);
  } else {
    result.value = static_cast<long long>(magnitude);
  }
  return result;
}

}  // namespace stampwise

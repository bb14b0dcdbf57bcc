#include "transport/port_name.h"

#include <cctype>
#include <charconv>
#include <string_view>

#include "common/ascii.h"

namespace qlmkv {
namespace {

constexpr std::string_view kWin32DevicePrefix = "\\\\.\\";
constexpr std::string_view kDevPrefix = "/dev/";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Value of the leading digits of `text`; 0 when there are none or on overflow.
int LeadingNumber(std::string_view text) {
  int value = 0;
  std::size_t digits = 0;
  while (digits < text.size() && IsDigit(text[digits])) ++digits;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + digits, value);
  (void)ptr;
  return ec == std::errc() ? value : 0;
}

int TrailingNumber(std::string_view text) {
  std::size_t start = text.size();
  while (start > 0 && IsDigit(text[start - 1])) --start;
  return LeadingNumber(text.substr(start));
}

}  // namespace

ResolvedPortName ResolvePortName(const std::string& name) {
  std::string_view rest = name;
  if (rest.substr(0, kWin32DevicePrefix.size()) == kWin32DevicePrefix) rest.remove_prefix(kWin32DevicePrefix.size());

  ResolvedPortName result;
  if (rest.substr(0, kDevPrefix.size()) == kDevPrefix) {
    result.target = std::string(rest.substr(0, rest.find(' ')));
    result.portNumber = TrailingNumber(result.target);
    return result;
  }

  if (ascii::StartsWithNoCase(rest, "com") && rest.size() > 3 && rest[3] >= '1' && rest[3] <= '9') {
    std::string_view digits = rest.substr(3);
    std::size_t count = 0;
    while (count < digits.size() && IsDigit(digits[count])) ++count;
    result.portNumber = LeadingNumber(digits.substr(0, count));
    // An absurdly long number cannot name a port: leave the path empty so the
    // open fails instead of reaching some other device.
    if (result.portNumber > 0) result.target = ComDevicePath(result.portNumber);
    return result;
  }

  result.d2xx = true;
  result.target = std::string(rest);
  result.portNumber = LeadingNumber(rest.substr(0, 3));
  return result;
}

}  // namespace qlmkv

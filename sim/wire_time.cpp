#include "sim/wire_time.h"

#include <charconv>

namespace mkvsim {

namespace {

constexpr long kMinBaudRate = 50;
constexpr long long kNanosPerSecond = 1'000'000'000;

}  // namespace

std::optional<LineFormat> ParseBaudCode(const std::string& text) {
  long code = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, code);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  const long digit = code % 100;
  LineFormat format;
  format.baudRate = code - digit;
  if (digit > 3 || format.baudRate < kMinBaudRate) return std::nullopt;
  if (digit == 1) format.parity = 'E';
  if (digit == 2) format.parity = 'O';
  if (digit == 3) format.stopBits = 2;
  return format;
}

int BitsPerCharacter(const LineFormat& format) {
  constexpr int kStartAndData = 1 + 8;
  return kStartAndData + (format.parity == 'N' ? 0 : 1) + format.stopBits;
}

std::chrono::nanoseconds WireTime(const LineFormat& format, std::size_t bytes) {
  const long long bits = static_cast<long long>(bytes) * BitsPerCharacter(format);
  const long long rate = format.baudRate;
  // Whole seconds first, so long runs of bytes cannot overflow.
  return std::chrono::nanoseconds(bits / rate * kNanosPerSecond + (bits % rate * kNanosPerSecond + rate / 2) / rate);
}

std::chrono::nanoseconds ChipWriteTime(std::size_t bytes, std::chrono::microseconds per32Bits) {
  const auto words = static_cast<long long>((bytes + 1) / 2);
  return std::chrono::duration_cast<std::chrono::nanoseconds>(per32Bits) * words / 2;
}

std::string Describe(const LineFormat& format) {
  return std::to_string(format.baudRate) + " 8" + format.parity + std::to_string(format.stopBits);
}

}  // namespace mkvsim

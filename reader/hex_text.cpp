#include "reader/hex_text.h"

#include <algorithm>
#include <cctype>

#include "common/ascii.h"

namespace qlmkv {

namespace {

// Invalid characters count as 0.
int CharValue(char c) { return std::max(ascii::HexDigitValue(c), 0); }

std::uint8_t Convert(const std::string& chars) {
  if (chars.size() == 2) return static_cast<std::uint8_t>(CharValue(chars[0]) * 16 + CharValue(chars[1]));
  if (chars.size() == 1) return static_cast<std::uint8_t>(CharValue(chars[0]));
  return 0;
}

std::string Trimmed(const std::string& text) {
  const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isSpace(text[begin])) ++begin;
  while (end > begin && isSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

std::vector<std::uint8_t> HexToBytes(const std::string& text, int maxCount) {
  std::vector<std::uint8_t> bytes;
  if (text.find("Error") != std::string::npos) return bytes;
  std::string rest = Trimmed(text);
  while (static_cast<int>(bytes.size()) < maxCount) {
    const std::size_t blank = rest.find(' ');
    if (blank != std::string::npos) {
      const std::size_t take = blank < 2 ? blank : 2;
      bytes.push_back(Convert(rest.substr(0, take)));
      rest.erase(0, take);
      rest.erase(0, rest.find_first_not_of(' '));
    } else if (rest.size() < 3) {
      bytes.push_back(Convert(rest));
      break;
    } else {
      bytes.push_back(Convert(rest.substr(0, 2)));
      rest.erase(0, 2);
    }
  }
  return bytes;
}

}  // namespace qlmkv

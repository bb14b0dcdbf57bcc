// Byte sequences that are not UTF-8, as tags, value lists, modules and files
// may hold them, for the tests of every output that turns bytes into text.
#pragma once

#include <string>
#include <vector>

namespace stampwise::testing {

struct OddBytes {
  const char* name;
  std::string bytes;
};

// None holds a line break, a comma or a quote, so each also fits one line of
// a value list.
inline const std::vector<OddBytes>& OddByteSequences() {
  static const std::vector<OddBytes> sequences{
      {"Overlong", "\xC0\x80\xC1\xBF"},           // overlong forms of NUL and '?'
      {"Surrogate", "\xED\xA0\x80\x41"},          // a UTF-16 surrogate half
      {"AboveUnicode", "\xF4\x90\x80\x80"},       // past U+10FFFF
      {"StrayBytes", "\x80\xFF\xFE\x41"},         // continuation byte without lead, never-used bytes
      {"CutShort", "\x41\x42\xE2\x82"},           // a three-byte character cut at the end
      {"Latin1Word", "\xC4RGER"},                 // a name written as Latin-1
      {"OverlongThreeBytes", "\xE0\x80\xAF\x41"}  // overlong '/'
  };
  return sequences;
}

// What the program's one conversion must make of bytes that are not UTF-8:
// each byte as the Latin-1 character of the same number.
inline std::string Latin1AsUtf8(const std::string& bytes) {
  std::string out;
  for (const unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

inline std::string HexOf(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 0xF];
  }
  return hex;
}

}  // namespace stampwise::testing

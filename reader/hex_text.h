// Hexadecimal text to bytes, tolerant of blanks between byte pairs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qlmkv {

// "12 34 AB" and "1234AB" give 12 34 AB; "123 4" gives 12 03 04; an empty
// text gives one byte 0; a text containing "Error" gives nothing. At most
// maxCount bytes are produced; invalid characters count as 0.
std::vector<std::uint8_t> HexToBytes(const std::string& text, int maxCount);

}  // namespace qlmkv

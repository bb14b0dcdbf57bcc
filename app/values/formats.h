// The six data formats of the write value: their classes, captions, log
// names and the text limits of the write field. One character of a value text
// is one byte on the tag.
#pragma once

#include <optional>
#include <string_view>

#include "app/base/params.h"

namespace stampwise {

// Largest length in bytes the tag writer reads or writes in one go.
inline constexpr int kMaxLengthBytes = 1023;

// Largest length in bytes that the decimal binary format can hold.
inline constexpr int kMaxDecimalBinaryBytes = 8;

// Text limit of the decimal fields (20 digits cover every 64-bit number).
inline constexpr int kDecimalTextLimit = 20;

bool IsHexFormat(DataFormat format);      // 0, 1
bool IsDecimalFormat(DataFormat format);  // 2, 3
bool IsDataFormat(DataFormat format);     // 4, 5
bool IsBinaryFormat(DataFormat format);   // 0, 2, 4
bool IsAsciiFormat(DataFormat format);    // 1, 3, 5

// The data formats show their value in the multi-line fields (1023, 1022).
inline bool UsesMultiLineField(DataFormat format) { return IsDataFormat(format); }

// Radio caption, e.g. "Hexadezimalzahl binär" (UTF-8).
std::string_view FormatCaption(DataFormat format);

// Name written into the log files, e.g. "HEX BIN".
std::string_view FormatLogName(DataFormat format);

// Maximum number of characters of the write field for this format and
// length; never negative, even for a nonsensical length.
int WriteFieldTextLimit(DataFormat format, int lengthBytes);

// Index 0..5 as stored in settings and data records; nullopt otherwise.
std::optional<DataFormat> DataFormatFromIndex(int index);
inline int DataFormatIndex(DataFormat format) { return static_cast<int>(format); }

// Nibble value of a hex digit character (either case), 255 for any other.
inline constexpr unsigned kNotANibble = 255;
unsigned NibbleValue(char c);

inline bool IsHexDigit(char c) { return NibbleValue(c) != kNotANibble; }
inline bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// True when the length can be converted at all (1..kMaxLengthBytes).
inline bool IsUsableLength(int lengthBytes) { return lengthBytes >= 1 && lengthBytes <= kMaxLengthBytes; }

}  // namespace stampwise

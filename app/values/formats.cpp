#include "app/values/formats.h"

#include <algorithm>
#include <climits>

#include "common/ascii.h"

namespace stampwise {

namespace {

struct FormatInfo {
  std::string_view caption;
  std::string_view logName;
};

// Both decimal formats are logged as "DEZ ASCII"; the log readers expect it.
constexpr FormatInfo kFormats[] = {
    {"Hexadezimalzahl binär", "HEX BIN"}, {"Hexadezimalzahl ASCII", "HEX ASCII"}, {"Dezimalzahl binär", "DEZ ASCII"},
    {"Dezimalzahl ASCII", "DEZ ASCII"},   {"Daten binär", "DATEN BIN"},           {"Daten ASCII", "DATEN ASCII"},
};

const FormatInfo& InfoOf(DataFormat format) {
  const int index = std::clamp(DataFormatIndex(format), 0, 5);
  return kFormats[index];
}

}  // namespace

bool IsHexFormat(DataFormat format) { return format == DataFormat::HexBinary || format == DataFormat::HexAscii; }

bool IsDecimalFormat(DataFormat format) {
  return format == DataFormat::DecimalBinary || format == DataFormat::DecimalAscii;
}

bool IsDataFormat(DataFormat format) { return format == DataFormat::DataBinary || format == DataFormat::DataAscii; }

bool IsBinaryFormat(DataFormat format) {
  return format == DataFormat::HexBinary || format == DataFormat::DecimalBinary || format == DataFormat::DataBinary;
}

bool IsAsciiFormat(DataFormat format) {
  return format == DataFormat::HexAscii || format == DataFormat::DecimalAscii || format == DataFormat::DataAscii;
}

std::string_view FormatCaption(DataFormat format) { return InfoOf(format).caption; }

std::string_view FormatLogName(DataFormat format) { return InfoOf(format).logName; }

int WriteFieldTextLimit(DataFormat format, int lengthBytes) {
  // 64-bit arithmetic: the length may come unvalidated from the field.
  const long long length = std::max(lengthBytes, 0);
  long long limit = length;
  switch (format) {
    case DataFormat::HexBinary: limit = 2 * length; break;
    case DataFormat::DecimalBinary:
    case DataFormat::DecimalAscii: limit = kDecimalTextLimit; break;
    case DataFormat::DataBinary: limit = 3 * length; break;
    case DataFormat::HexAscii:
    case DataFormat::DataAscii: limit = length; break;
  }
  return static_cast<int>(std::min<long long>(limit, INT_MAX));
}

std::optional<DataFormat> DataFormatFromIndex(int index) {
  if (index < 0 || index > 5) return std::nullopt;
  return static_cast<DataFormat>(index);
}

unsigned NibbleValue(char c) {
  const int value = ascii::HexDigitValue(c);
  return value < 0 ? kNotANibble : static_cast<unsigned>(value);
}

}  // namespace stampwise

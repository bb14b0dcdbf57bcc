#include "app/values/values.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/formats.h"
#include "app/values/values_decimal.h"

namespace stampwise {

namespace {

Message MessageOf(int id) { return {id, LoadString(id)}; }

// The value holds more characters than the format writes: refused, never cut.
Message TooLongMessage(std::size_t maxChars) {
  return {msg::kEnterAtMostChars, FillPlaceholders(LoadString(msg::kEnterAtMostChars), {std::to_string(maxChars)})};
}

Message LengthRangeMessage() {
  return {msg::kEnterIntegerBetween,
          FillPlaceholders(LoadString(msg::kEnterIntegerBetween), {"1", std::to_string(kMaxLengthBytes)})};
}

Result<Bytes> Failure(Message message) { return Result<Bytes>::Failure(std::move(message)); }

Result<Bytes> Success(Bytes bytes) { return bytes; }

void ReverseIf(bool condition, Bytes& bytes) {
  if (condition) std::reverse(bytes.begin(), bytes.end());
}

std::uint8_t CombineNibbles(unsigned high, unsigned low) {
  // A missing or non-hex low character (255) yields FF, whatever the high one.
  return static_cast<std::uint8_t>(((high << 4) | low) & 0xFF);
}

// Format 0: the leftmost 2L hex characters, padded with leading zeros.
Bytes HexBinaryBytes(std::string_view text, std::size_t length, bool msbFirst) {
  std::string digits(text.substr(0, 2 * length));
  digits.insert(0, 2 * length - digits.size(), '0');
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] = CombineNibbles(NibbleValue(digits[2 * i]), NibbleValue(digits[2 * i + 1]));
  }
  ReverseIf(!msbFirst, bytes);
  return bytes;
}

// Formats 1, 3 and 5: character codes, zero filled; without MSB first the
// fill comes first.
Bytes AsciiBytes(std::string_view text, std::size_t length, bool leadingZeros, bool msbFirst) {
  std::string characters(text.substr(0, length));
  if (leadingZeros) characters.insert(0, length - characters.size(), '0');
  Bytes bytes(characters.begin(), characters.end());
  bytes.resize(length, 0);
  ReverseIf(!msbFirst, bytes);
  return bytes;
}

// Format 2. Fails (empty) when the number does not fit into `length` bytes;
// the comparison is exact, so no value near 2^56 slips through as zero.
bool DecimalBinaryBytes(std::string_view text, std::size_t length, bool msbFirst, Bytes& out) {
  const ParsedDecimal parsed = ParseDecimalPrefix(text);
  if (parsed.overflow) return false;
  if (length < 8 && parsed.value > 0 && static_cast<unsigned long long>(parsed.value) > (1ULL << (8 * length)) - 1) {
    return false;
  }
  auto bits = static_cast<unsigned long long>(parsed.value);
  out.assign(length, 0);
  for (std::size_t i = 0; i < length; ++i) {
    out[i] = static_cast<std::uint8_t>(bits & 0xFF);
    bits >>= 8;
  }
  ReverseIf(msbFirst, out);
  return true;
}

// Format 4: pairs of characters, blanks skipped after each pair. `leftOver`
// (when given) tells whether characters remained after the L bytes.
Bytes DataBinaryBytes(std::string_view text, std::size_t length, bool msbFirst, bool* leftOver = nullptr) {
  Bytes bytes;
  std::size_t pos = 0;
  while (pos < text.size() && bytes.size() < length) {
    const unsigned high = NibbleValue(text[pos]);
    const unsigned low = pos + 1 < text.size() ? NibbleValue(text[pos + 1]) : kNotANibble;
    bytes.push_back(CombineNibbles(high, low));
    pos += 2;
    while (pos < text.size() && text[pos] == ' ') ++pos;
  }
  if (leftOver != nullptr) *leftOver = pos < text.size();
  bytes.resize(length, 0);
  ReverseIf(msbFirst, bytes);
  return bytes;
}

std::string HexText(const Bytes& bytes, std::string_view separator) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) text += separator;
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

// The characters of at most `length` bytes, ending before the first zero.
std::string CharactersUpToZero(const Bytes& bytes, std::size_t length) {
  const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(length, bytes.size()));
  return std::string(bytes.begin(), std::find(bytes.begin(), end, 0));
}

// The bytes that the text of the old format stands for, for re-expressing it.
Bytes BytesForSwitch(std::string_view text, const ParameterSet& old, std::vector<Message>& messages) {
  if (old.format == DataFormat::HexBinary) {
    // Re-expressing takes the characters the format writes; a longer text is
    // cut here, as the operator sees the new value at once.
    if (IsUsableLength(old.lengthBytes)) text = text.substr(0, 2 * static_cast<std::size_t>(old.lengthBytes));
    Result<Bytes> converted = TextToBytes(text, old);
    if (!converted) {
      messages.push_back(converted.message());
      return {};
    }
    return std::move(converted).value();
  }
  if (!IsUsableLength(old.lengthBytes)) return {};
  const auto length = static_cast<std::size_t>(old.lengthBytes);
  switch (old.format) {
    case DataFormat::DecimalBinary: {
      Bytes bytes;
      if (length > kMaxDecimalBinaryBytes || !DecimalBinaryBytes(text, length, old.msbFirst, bytes)) {
        return {};
      }
      return bytes;
    }
    case DataFormat::DataBinary: return DataBinaryBytes(text, length, old.msbFirst);
    default: return AsciiBytes(text, length, old.leadingZeros, old.msbFirst);
  }
}

}  // namespace

Result<Bytes> TextToBytes(std::string_view text, const ParameterSet& params) {
  if (text.empty()) return Failure(MessageOf(msg::kNoData));
  if (params.format == DataFormat::DecimalBinary && params.lengthBytes > kMaxDecimalBinaryBytes) {
    return Failure(MessageOf(msg::kDecimalOver8Bytes));
  }
  if (!IsUsableLength(params.lengthBytes)) return Failure(LengthRangeMessage());
  const auto length = static_cast<std::size_t>(params.lengthBytes);
  // A text longer than the format writes would reach the tag cut: refused.
  switch (params.format) {
    case DataFormat::HexBinary: {
      if (text.size() > 2 * length) return Failure(TooLongMessage(2 * length));
      return Success(HexBinaryBytes(text, length, params.msbFirst));
    }
    case DataFormat::DecimalBinary: {
      Bytes bytes;
      if (!DecimalBinaryBytes(text, length, params.msbFirst, bytes)) {
        return Failure(MessageOf(msg::kByteCountTooSmall));
      }
      return Success(std::move(bytes));
    }
    case DataFormat::DataBinary: {
      bool leftOver = false;
      Bytes bytes = DataBinaryBytes(text, length, params.msbFirst, &leftOver);
      if (leftOver) return Failure(MessageOf(msg::kTooMuchData));
      return Success(std::move(bytes));
    }
    case DataFormat::HexAscii:
    case DataFormat::DecimalAscii:
    case DataFormat::DataAscii:
      if (text.size() > length) return Failure(TooLongMessage(length));
      return Success(AsciiBytes(text, length, params.leadingZeros, params.msbFirst));
  }
  return Failure(MessageOf(msg::kNoData));
}

Result<std::string> BytesToText(std::span<const std::uint8_t> input, const ParameterSet& params) {
  if (params.format == DataFormat::DecimalBinary && params.lengthBytes > kMaxDecimalBinaryBytes) {
    return Result<std::string>::Failure(MessageOf(msg::kDecimalOver8Bytes));
  }
  if (!IsUsableLength(params.lengthBytes)) return Result<std::string>::Failure(LengthRangeMessage());
  const auto length = static_cast<std::size_t>(params.lengthBytes);
  Bytes bytes(input.begin(), input.end());
  switch (params.format) {
    case DataFormat::HexBinary:
      bytes.resize(length, 0);
      ReverseIf(!params.msbFirst, bytes);
      return HexText(bytes, "");
    case DataFormat::DecimalBinary: {
      ReverseIf(params.msbFirst, bytes);
      bytes.resize(8, 0);
      unsigned long long bits = 0;
      for (std::size_t i = 8; i-- > 0;) bits = (bits << 8) | bytes[i];
      return std::to_string(static_cast<long long>(bits));
    }
    case DataFormat::DataBinary:
      ReverseIf(params.msbFirst, bytes);
      bytes.resize(length, 0);
      return HexText(bytes, " ");
    case DataFormat::HexAscii:
    case DataFormat::DecimalAscii:
    case DataFormat::DataAscii: ReverseIf(!params.msbFirst, bytes); return CharactersUpToZero(bytes, length);
  }
  return std::string();
}

ParameterSet ApplyFormatRules(ParameterSet params) {
  if (IsDataFormat(params.format)) {
    params.leadingZeros = false;
    params.autoIncrementDec = false;
    params.autoIncrementHex = false;
    params.additionalText = false;
    return params;
  }
  if (IsDecimalFormat(params.format) && params.autoIncrementHex) {
    params.autoIncrementHex = false;
    params.autoIncrementDec = true;
  }
  if (params.format == DataFormat::HexAscii && params.autoIncrementDec) {
    params.autoIncrementDec = false;
    params.autoIncrementHex = true;
  }
  if (params.format == DataFormat::HexBinary || params.format == DataFormat::DecimalBinary) {
    params.additionalText = false;
  }
  return params;
}

FormatSwitchResult SwitchFormat(const ParameterSet& current, std::string_view fieldText, DataFormat newFormat,
                                bool newMsbFirst) {
  FormatSwitchResult result;
  result.params = current;
  if (newFormat != current.format || newMsbFirst != current.msbFirst) {
    Bytes bytes = BytesForSwitch(fieldText, current, result.messages);
    result.params.format = newFormat;
    result.params.msbFirst = newMsbFirst;
    if (newFormat == DataFormat::DataAscii) {
      // Into "Daten ASCII" the byte order flips the other way round.
      ReverseIf(newMsbFirst, bytes);
      result.params.value = IsUsableLength(current.lengthBytes)
                                ? CharactersUpToZero(bytes, static_cast<std::size_t>(current.lengthBytes))
                                : std::string();
    } else {
      Result<std::string> rendered = BytesToText(bytes, result.params);
      if (!rendered) result.messages.push_back(rendered.message());
      result.params.value = rendered ? std::move(rendered).value() : std::string();
    }
    result.valueReexpressed = true;
  }
  result.params = ApplyFormatRules(result.params);
  result.textLimit = WriteFieldTextLimit(newFormat, current.lengthBytes);
  return result;
}

std::string StripLeadingZeros(std::string_view text) {
  const std::size_t first = text.find_first_not_of('0');
  return first == std::string_view::npos ? "0" : std::string(text.substr(first));
}

std::string NormaliseLeadingZeros(const ParameterSet& params) {
  if (params.format != DataFormat::HexAscii && params.format != DataFormat::DecimalAscii) {
    return params.value;
  }
  if (!IsUsableLength(params.lengthBytes)) return params.value;
  const auto length = static_cast<std::size_t>(params.lengthBytes);
  // A value longer than the length is never cut: it stays whole, so that the
  // write refuses it instead of programming part of it.
  std::string text = params.value;
  if (!params.leadingZeros) return StripLeadingZeros(text);
  if (text.size() < length) text.insert(0, length - text.size(), '0');
  return text;
}

}  // namespace stampwise

#include "app/values/values_validation.h"

#include <algorithm>
#include <charconv>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/enabling.h"
#include "app/values/formats.h"

namespace stampwise {

namespace {

constexpr int kMaxStartWord = 1024;
constexpr std::size_t kPasswordChars = 8;

Message MessageError(int messageId, int controlId) { return {messageId, LoadString(messageId), controlId}; }

// Checks of the write value in the order the formats ask for them.
std::optional<Message> CheckValue(std::string_view value, const ParameterSet& params, int controlId) {
  const long long length = params.lengthBytes;
  auto tooLong = [&](long long maxChars) { return static_cast<long long>(value.size()) > maxChars; };
  auto allOf = [&](auto predicate) { return std::all_of(value.begin(), value.end(), predicate); };

  switch (params.format) {
    case DataFormat::HexBinary:
      if (tooLong(2 * length)) return TooLongError(controlId, 2 * length);
      if (!allOf(IsHexDigit)) return MessageError(msg::kNoHexInput, controlId);
      break;
    case DataFormat::HexAscii:
      if (tooLong(length)) return TooLongError(controlId, length);
      if (!params.additionalText && !allOf(IsHexDigit)) {
        return MessageError(msg::kNoHexInput, controlId);
      }
      break;
    case DataFormat::DecimalBinary:
      if (tooLong(kDecimalTextLimit)) return TooLongError(controlId, kDecimalTextLimit);
      if (!allOf(IsDecimalDigit)) return MessageError(msg::kNoDecimalInput, controlId);
      break;
    case DataFormat::DecimalAscii: {
      // One character is one byte here: a text longer than the length would
      // be written cut, free text or not.
      const long long limit = params.additionalText ? length : std::min<long long>(kDecimalTextLimit, length);
      if (tooLong(limit)) return TooLongError(controlId, limit);
      if (!params.additionalText && !allOf(IsDecimalDigit)) return MessageError(msg::kNoDecimalInput, controlId);
      break;
    }
    case DataFormat::DataBinary: {
      if (tooLong(3 * length)) return TooLongError(controlId, 3 * length);
      if (!allOf([](char c) { return c == ' ' || IsHexDigit(c); })) {
        return MessageError(msg::kNoHexInput, controlId);
      }
      const auto nonBlank = std::count_if(value.begin(), value.end(), [](char c) { return c != ' '; });
      if (nonBlank / 2 > length) return MessageError(msg::kTooMuchData, controlId);
      break;
    }
    case DataFormat::DataAscii:
      if (tooLong(length)) return TooLongError(controlId, length);
      break;
  }
  return std::nullopt;
}

Result<ValidControls> Fail(Message error) { return Result<ValidControls>::Failure(std::move(error)); }

}  // namespace

std::optional<int> ParseIntegerField(std::string_view text) {
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

Message NotAnIntegerError(int controlId) { return MessageError(msg::kEnterInteger, controlId); }

Message RangeError(int controlId, long long low, long long high) {
  return {msg::kEnterIntegerBetween,
          FillPlaceholders(LoadString(msg::kEnterIntegerBetween), {std::to_string(low), std::to_string(high)}),
          controlId};
}

Message TooLongError(int controlId, long long maxChars) {
  return {msg::kEnterAtMostChars, FillPlaceholders(LoadString(msg::kEnterAtMostChars), {std::to_string(maxChars)}),
          controlId};
}

Result<ValidControls> ValidateControls(const ControlTexts& texts, const ParameterSet& params, bool skipValueCheck) {
  const std::optional<int> startWord = ParseIntegerField(texts.startWord);
  if (!startWord) return Fail(NotAnIntegerError(ctl::kStartWord));
  if (*startWord < 0 || *startWord > kMaxStartWord) {
    return Fail(RangeError(ctl::kStartWord, 0, kMaxStartWord));
  }

  const std::optional<int> length = ParseIntegerField(texts.lengthBytes);
  if (!length) return Fail(NotAnIntegerError(ctl::kLengthBytes));
  // Every format gets a range: an unchecked length would let "Dezimalzahl
  // ASCII" ask for any amount of tag memory (or none at all).
  const int maxLength = params.format == DataFormat::DecimalBinary ? kMaxDecimalBinaryBytes : kMaxLengthBytes;
  if (*length < 1 || *length > maxLength) return Fail(RangeError(ctl::kLengthBytes, 1, maxLength));

  ParameterSet checked = params;
  checked.startWord = *startWord;
  checked.lengthBytes = *length;
  checked.value = texts.value;

  if (!skipValueCheck) {
    if (auto error = CheckValue(texts.value, checked, ValueFieldId(checked.format))) {
      return Fail(std::move(*error));
    }
  }
  if (texts.accessPassword.size() > kPasswordChars) {
    return Fail(TooLongError(ctl::kAccessPassword, kPasswordChars));
  }

  return ValidControls{std::move(checked), texts.accessPassword};
}

}  // namespace stampwise

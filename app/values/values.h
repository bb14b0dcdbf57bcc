// Conversions of the write value between its text and the bytes on the tag,
// by data format, length in bytes and byte order, and the re-expression of the
// value when the format changes. Pure functions: the GUI, the command line
// tool and the write and read cycles share them.
//
// Texts are byte strings: one char is one byte on the tag (front ends that
// show them should use a one-byte-per-character encoding such as Latin-1).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/base/params.h"
#include "app/base/result.h"

namespace stampwise {

using Bytes = std::vector<std::uint8_t>;

// Text to bytes for writing. Fails on an empty text (32857), a decimal binary
// length above 8 (32854), a decimal number that does not fit (32853), a
// length outside 1..1023 (the framework's range message 61714), and a text
// with more characters than the format writes (61716; 32859 for "Daten
// binär"): what reaches the tag is the whole value or nothing.
// The bytes are exactly lengthBytes long.
Result<Bytes> TextToBytes(std::string_view text, const ParameterSet& params);

// Bytes (as read from a tag) to text in the format of `params`. Fails on a
// decimal binary length above 8 (32854) and a length outside 1..1023.
Result<std::string> BytesToText(std::span<const std::uint8_t> bytes, const ParameterSet& params);

// Result of switching the data format or the byte order.
struct FormatSwitchResult {
  ParameterSet params;            // new format and byte order, value and check boxes adjusted
  bool valueReexpressed = false;  // the value changed form: clear both read fields
  std::vector<Message> messages;  // status messages raised on the way
  int textLimit = 0;              // character limit of the write field now in use
};

// Switches to `newFormat` / `newMsbFirst`. `fieldText` is the current text of
// the write field of the old format. When neither changed, only the limit and
// the format rules for the check boxes are applied.
FormatSwitchResult SwitchFormat(const ParameterSet& current, std::string_view fieldText, DataFormat newFormat,
                                bool newMsbFirst);

// The check-box side of the format rules: clears or moves the flags that the
// format does not allow (data formats clear all four; a decimal format takes
// a checked hex increment over to decimal; format 1 the other way round;
// formats 0 and 2 clear "Zusatztext zulassen").
ParameterSet ApplyFormatRules(ParameterSet params);

// After "Führende Nullen" or "Zusatztext zulassen" was toggled: in formats 1
// and 3 the value is padded with or stripped of leading zeros. A value longer
// than the length is not cut (the write refuses it). Other formats, or an
// unusable length, keep the value.
std::string NormaliseLeadingZeros(const ParameterSet& params);

// Removes every leading "0"; an empty result becomes "0".
std::string StripLeadingZeros(std::string_view text);

}  // namespace stampwise

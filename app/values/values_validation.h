// Checking the texts of the main window's fields before they become the
// parameter set, with the messages the operator sees and the field to focus.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/base/params.h"
#include "app/base/result.h"

namespace stampwise {

// The raw texts of the fields that are parsed or checked.
struct ControlTexts {
  std::string startWord;       // 1000
  std::string lengthBytes;     // 1001
  std::string value;           // 1006, or 1023 for the data formats
  std::string accessPassword;  // 1015
};

// What passed the checks.
struct ValidControls {
  ParameterSet params;  // start word, length and value taken over
  std::string accessPassword;
};

// Parses the start word and the length and checks the write value for the
// format and flags of `params`. With `skipValueCheck` (the read commands) the
// write value is taken over unchecked.
// A failure names the field to give the focus.
Result<ValidControls> ValidateControls(const ControlTexts& texts, const ParameterSet& params, bool skipValueCheck);

// An integer field as the dialog framework reads it: optional blanks, an
// optional sign and decimal digits, within the int range.
std::optional<int> ParseIntegerField(std::string_view text);

// The framework's messages, filled in.
Message NotAnIntegerError(int controlId);
Message RangeError(int controlId, long long low, long long high);
Message TooLongError(int controlId, long long maxChars);

}  // namespace stampwise

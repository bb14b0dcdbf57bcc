// The string table: every text the operator sees that has a string id, in
// German, plus the switch to a second language supplied at run time, and
// printf-style formatting for the texts that carry "%s", "%d" or "%1".
#pragma once

#include <concepts>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace stampwise {

struct StringEntry {
  int id;
  const char* text;  // UTF-8, "\r\n" as real CR LF
};

// The built-in German table, sorted by id.
std::span<const StringEntry> GermanStringTable();

// German text of an id, nullptr when the table has none.
const char* GermanString(int id);

// A second language: returns the text of an id, or nullptr when it has none
// (the German text is then used). The English resource library exports one.
using StringSource = const char* (*)(int id);

// Makes `source` the active language; nullptr goes back to German. Safe to
// call from any thread, though normally done once at start-up.
void SetStringSource(StringSource source);
StringSource ActiveStringSource();

// Text of an id in the active language; "" for an unknown id.
std::string LoadString(int id);

// One argument of FormatText: a number or a text.
class FormatArg {
 public:
  template <std::integral T>
  FormatArg(T number) : value_(static_cast<long long>(number)) {}              // NOLINT(implicit)
  FormatArg(const char* text) : value_(std::string_view(text ? text : "")) {}  // NOLINT
  FormatArg(std::string_view text) : value_(text) {}                           // NOLINT
  FormatArg(const std::string& text) : value_(std::string_view(text)) {}       // NOLINT

  bool IsNumber() const { return std::holds_alternative<long long>(value_); }
  long long Number() const;       // a text counts as its leading decimal number
  std::string_view Text() const;  // empty for a number (see FormatText)

 private:
  std::variant<long long, std::string_view> value_;
};

// printf-style formatting that cannot misbehave on a mismatched pattern:
// understands %d %i %u %x %X %c %s and %% with the flags "-" and "0", a width,
// a precision and the length prefixes l, ll, h, I64. A number given for %s is
// written in decimal; a missing argument counts as 0 or "". Widths and
// precisions are capped so a hostile pattern cannot blow the text up.
std::string FormatText(std::string_view pattern, std::initializer_list<FormatArg> args);

// FormatText over the text of a string id in the active language.
std::string FormatString(int id, std::initializer_list<FormatArg> args);

// The one way from foreign bytes (tag data, value lists, module and device
// names, files, arguments) to UTF-8 text for JSON and the window. Texts are
// kept byte for byte elsewhere; valid UTF-8 stays as it is, anything else is
// taken as Latin-1, one character per byte, so the result is always valid
// UTF-8 and no byte sequence can stop an output.
std::string ToUtf8(const std::string& bytes);

// Fills the framework's numbered place holders %1 .. %9.
std::string FillPlaceholders(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace stampwise

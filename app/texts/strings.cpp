#include "app/texts/strings.h"

#include <algorithm>
#include <atomic>
#include <charconv>

namespace stampwise {

namespace {

std::atomic<StringSource> gActiveSource{nullptr};

// Caps for widths and precisions taken from a pattern.
constexpr int kMaxFieldWidth = 64;

struct Conversion {
  bool leftAlign = false;
  bool zeroPad = false;
  int width = 0;
  int precision = -1;
  char kind = 0;
};

int ReadCount(std::string_view pattern, std::size_t& pos) {
  int value = 0;
  while (pos < pattern.size() && pattern[pos] >= '0' && pattern[pos] <= '9') {
    value = std::min(value * 10 + (pattern[pos] - '0'), kMaxFieldWidth);
    ++pos;
  }
  return value;
}

// Parses the part after '%'; leaves `pos` after the conversion character.
Conversion ReadConversion(std::string_view pattern, std::size_t& pos) {
  Conversion conv;
  for (; pos < pattern.size(); ++pos) {
    const char c = pattern[pos];
    if (c == '-')
      conv.leftAlign = true;
    else if (c == '0')
      conv.zeroPad = true;
    else if (c != '+' && c != ' ' && c != '#')
      break;
  }
  conv.width = ReadCount(pattern, pos);
  if (pos < pattern.size() && pattern[pos] == '.') {
    ++pos;
    conv.precision = ReadCount(pattern, pos);
  }
  if (pattern.substr(pos).starts_with("I64")) pos += 3;
  while (pos < pattern.size() && (pattern[pos] == 'l' || pattern[pos] == 'h')) ++pos;
  if (pos < pattern.size()) conv.kind = pattern[pos++];
  return conv;
}

std::string Digits(unsigned long long magnitude, unsigned base, bool upper) {
  const char* digitChars = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), digitChars[magnitude % base]);
    magnitude /= base;
  } while (magnitude != 0);
  return digits;
}

std::string FormatNumber(const Conversion& conv, long long number) {
  bool negative = false;
  unsigned long long magnitude = 0;
  unsigned base = 10;
  if (conv.kind == 'd' || conv.kind == 'i') {
    negative = number < 0;
    magnitude = negative ? 0ULL - static_cast<unsigned long long>(number) : static_cast<unsigned long long>(number);
  } else {
    magnitude = static_cast<unsigned long long>(number);
    if (conv.kind == 'x' || conv.kind == 'X') base = 16;
  }
  std::string digits = Digits(magnitude, base, conv.kind == 'X');
  if (conv.precision > static_cast<int>(digits.size())) {
    digits.insert(0, static_cast<std::size_t>(conv.precision) - digits.size(), '0');
  }
  const std::size_t signWidth = negative ? 1 : 0;
  const std::size_t width = static_cast<std::size_t>(conv.width);
  if (conv.zeroPad && !conv.leftAlign && conv.precision < 0 && digits.size() + signWidth < width) {
    digits.insert(0, width - digits.size() - signWidth, '0');
  }
  return negative ? "-" + digits : digits;
}

void AppendPadded(std::string& out, std::string_view text, const Conversion& conv) {
  const std::size_t width = static_cast<std::size_t>(conv.width);
  const std::size_t padding = text.size() < width ? width - text.size() : 0;
  if (!conv.leftAlign) out.append(padding, ' ');
  out.append(text);
  if (conv.leftAlign) out.append(padding, ' ');
}

}  // namespace

const char* GermanString(int id) {
  const auto table = GermanStringTable();
  const auto it =
      std::lower_bound(table.begin(), table.end(), id, [](const StringEntry& e, int key) { return e.id < key; });
  return (it != table.end() && it->id == id) ? it->text : nullptr;
}

void SetStringSource(StringSource source) { gActiveSource.store(source); }

StringSource ActiveStringSource() { return gActiveSource.load(); }

std::string LoadString(int id) {
  if (const StringSource source = gActiveSource.load()) {
    if (const char* text = source(id)) return text;
  }
  const char* german = GermanString(id);
  return german ? german : "";
}

long long FormatArg::Number() const {
  if (const auto* number = std::get_if<long long>(&value_)) return *number;
  const std::string_view text = std::get<std::string_view>(value_);
  long long parsed = 0;
  std::from_chars(text.data(), text.data() + text.size(), parsed);
  return parsed;
}

std::string_view FormatArg::Text() const {
  const auto* text = std::get_if<std::string_view>(&value_);
  return text ? *text : std::string_view();
}

std::string FormatText(std::string_view pattern, std::initializer_list<FormatArg> args) {
  std::string out;
  auto next = args.begin();
  // A missing argument reads as "" for %s and as 0 for the numbers.
  const FormatArg none{std::string_view()};
  auto take = [&]() -> const FormatArg& { return next != args.end() ? *next++ : none; };

  std::size_t pos = 0;
  while (pos < pattern.size()) {
    const char c = pattern[pos++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (pos < pattern.size() && pattern[pos] == '%') {
      out += '%';
      ++pos;
      continue;
    }
    const std::size_t start = pos - 1;
    const Conversion conv = ReadConversion(pattern, pos);
    switch (conv.kind) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X': AppendPadded(out, FormatNumber(conv, take().Number()), conv); break;
      case 'c': {
        const char ch = static_cast<char>(take().Number());
        AppendPadded(out, std::string_view(&ch, 1), conv);
        break;
      }
      case 's': {
        const FormatArg& arg = take();
        std::string numberText;
        std::string_view text = arg.Text();
        if (arg.IsNumber()) {
          numberText = std::to_string(arg.Number());
          text = numberText;
        }
        if (conv.precision >= 0) text = text.substr(0, static_cast<std::size_t>(conv.precision));
        AppendPadded(out, text, conv);
        break;
      }
      default:
        // Not a conversion we know: keep the text as written.
        out.append(pattern.substr(start, pos - start));
        break;
    }
  }
  return out;
}

std::string FormatString(int id, std::initializer_list<FormatArg> args) { return FormatText(LoadString(id), args); }

std::string FillPlaceholders(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  for (std::size_t pos = 0; pos < pattern.size(); ++pos) {
    const char c = pattern[pos];
    if (c == '%' && pos + 1 < pattern.size() && pattern[pos + 1] >= '1' && pattern[pos + 1] <= '9') {
      const std::size_t index = static_cast<std::size_t>(pattern[pos + 1] - '1');
      if (index < args.size()) out.append(*(args.begin() + index));
      ++pos;
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

// RFC 3629 exactly, as JSON and Qt read it: no overlong forms, no UTF-16
// surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    unsigned char low = 0x80;  // range of the first continuation byte
    unsigned char high = 0xBF;
    if (lead < 0x80) {
      extra = 0;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;  // cut short at the end
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      const unsigned char min = k == 1 ? low : 0x80;
      const unsigned char max = k == 1 ? high : 0xBF;
      if (next < min || next > max) return false;
    }
    i += extra + 1;
  }
  return true;
}

}  // namespace

std::string ToUtf8(const std::string& bytes) {
  if (IsValidUtf8(bytes)) return bytes;
  std::string out;
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace stampwise

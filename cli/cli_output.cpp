#include "cli/cli_output.h"

#include <cstdio>
#include <iostream>

namespace stampwise::cli {

namespace {

bool IsValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    if (lead >= 0x80) {
      if ((lead >> 5) == 0x6) {
        extra = 1;
      } else if ((lead >> 4) == 0xE) {
        extra = 2;
      } else if ((lead >> 3) == 0x1E) {
        extra = 3;
      } else {
        return false;
      }
    }
    for (std::size_t k = 1; k <= extra; ++k) {
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
    }
    i += extra + 1;
  }
  return true;
}

// Status texts carry CR LF inside messages; one output line per status line.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    line += c == '\n' ? ' ' : c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
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

void Output::Print(const std::string& text, nlohmann::json object) {
  if (json_) {
    std::cout << object.dump() << '\n';
  } else {
    std::cout << text << '\n';
  }
  std::cout.flush();
}

void Output::AppendStatus(const std::string& line) {
  const std::string text = OneLine(line);
  Print(text, {{"type", "status"}, {"text", ToUtf8(text)}});
}

void Output::ShowReadText(const std::string& text) {
  if (text.empty()) return;  // a cleared read field prints nothing
  Print(text, {{"type", "read"}, {"text", ToUtf8(text)}});
}

void Output::ShowReadTagUri(const std::string& uri) {
  if (uri.empty()) return;
  Print(uri, {{"type", "tagUri"}, {"tagUri", uri}});
}

void Output::Error(const std::string& message) {
  const std::string text = OneLine(message);
  if (json_) {
    std::cout << nlohmann::json{{"type", "error"}, {"text", ToUtf8(text)}}.dump() << '\n';
    std::cout.flush();
  } else {
    std::cerr << text << '\n';
  }
}

}  // namespace stampwise::cli

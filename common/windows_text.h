// Text at the Windows API, written once for every folder: the program's
// strings are UTF-8 (its texts are), the wide ("W") functions take UTF-16,
// and the system's error messages come from FormatMessage. Header only, for
// Windows sources alone.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace common {

// UTF-16 for a wide ("W") function.
inline std::wstring WideText(std::string_view text) {
  if (text.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

// UTF-8 from what a wide function returned.
inline std::string NarrowText(std::wstring_view text) {
  if (text.empty()) return {};
  const int size =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
  return narrow;
}

// The system's message for `code`, without its line end ("error 1234" when
// the system has none).
inline std::string SystemMessage(unsigned long code) {
  char* buffer = nullptr;
  const DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string message = length > 0 && buffer != nullptr ? std::string(buffer, length) : "error " + std::to_string(code);
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}

}  // namespace common

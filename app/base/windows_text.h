// Text at the Windows API: the program's strings are in the ANSI code page,
// the wide ("W") functions take UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace stampwise {

std::wstring WideText(std::string_view text);
std::string NarrowText(std::wstring_view text);

// "<what>: <the system's text for error>", the Windows twin of ErrnoText.
std::string SystemErrorText(std::string_view what, unsigned long error);

}  // namespace stampwise

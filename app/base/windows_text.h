// Text at the Windows API: the program's strings are UTF-8 there too (its
// texts are), the wide ("W") functions take UTF-16. stampwise-cli's manifest
// makes UTF-8 the process's ANSI code page (Windows 10 1903 on), so that its
// arguments and the narrow ("A") functions agree.
#pragma once

#include <string>
#include <string_view>

#include "common/windows_text.h"

namespace stampwise {

using common::NarrowText;
using common::WideText;

// "<what>: <the system's text for error>", the Windows twin of ErrnoText.
inline std::string SystemErrorText(std::string_view what, unsigned long error) {
  return std::string(what) + ": " + common::SystemMessage(error);
}

}  // namespace stampwise

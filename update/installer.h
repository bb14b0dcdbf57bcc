// Starting a downloaded installer: made executable and started directly, as
// its own process that outlives the program.
#pragma once

#include <string>

namespace stampwise::update {

struct InstallerStart {
  bool started = false;
  std::string message;  // for a message box when it did not start
};

InstallerStart StartInstaller(const std::string& path);

}  // namespace stampwise::update

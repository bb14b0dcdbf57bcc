#include "transport/diagnostics.h"

#include <cstdio>
#include <cstdlib>

namespace qlmkv::diag {

bool Enabled() {
  // Read once: getenv is not safe against a concurrent setenv, and the
  // worker threads ask too.
  static const bool enabled = std::getenv("QLMKV_DEBUG") != nullptr;
  return enabled;
}

void Debug(const std::string& text) {
  if (!Enabled()) return;
  std::fputs(text.c_str(), stderr);
  if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
}

std::string FormatWarning(const std::string& operation, const std::string& errorText, const std::string& port) {
  return "WARNING:  " + operation + " Failed with the following error: \n" + errorText + "\nPort: " + port + "\n";
}

void Warning(const std::string& operation, const std::string& errorText, const std::string& port) {
  if (Enabled()) std::fputs(FormatWarning(operation, errorText, port).c_str(), stderr);
}

}  // namespace qlmkv::diag

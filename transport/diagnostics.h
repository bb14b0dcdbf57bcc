// Diagnostic texts of the transports. They are never shown to the operator;
// they reach stderr only when the environment variable QLMKV_DEBUG is set.
#pragma once

#include <string>

namespace qlmkv::diag {

bool Enabled();

// Writes one text as it is.
void Debug(const std::string& text);

// "WARNING:  <operation> Failed with the following error: \n<error>\nPort: <port>\n"
std::string FormatWarning(const std::string& operation, const std::string& errorText, const std::string& port);
void Warning(const std::string& operation, const std::string& errorText, const std::string& port);

}  // namespace qlmkv::diag

// Device lists handed to callers as packed names: zero-terminated names one
// after another, ended by an empty name.
#pragma once

#include <string>
#include <vector>

namespace qlmkv {

// Copies names while the buffer holds the name, its terminator and one more
// byte; the first name that does not fit ends the list. Returns the bytes
// used including the final zero (0 when not even that fits).
int PackNames(const std::vector<std::string>& names, char* buffer, int capacity);

// The USB list shows only reader devices: names whose first four characters
// read as a decimal number from 1700 to 1709.
bool IsReaderUsbName(const std::string& name);

}  // namespace qlmkv

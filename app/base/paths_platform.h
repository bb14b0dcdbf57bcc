// What paths.cpp needs from each platform (paths_posix.cpp,
// paths_windows.cpp) besides the functions of paths.h.
#pragma once

#include <string>

namespace stampwise {

std::string Environment(const char* name);  // "" when unset
std::string WithTrailingSlash(std::string folder);
bool IsReadableFile(const std::string& path);
// True when a file can be made in the folder.
bool IsWritableFolder(const std::string& folder);

}  // namespace stampwise

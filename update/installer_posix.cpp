#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/texts/strings.h"
#include "update/installer.h"

extern char** environ;

namespace stampwise::update {

InstallerStart StartInstaller(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return {false, FormatText("The File\n\"%s\"\ndoes not exist!", {path})};
  }
  const int chmodError = ::chmod(path.c_str(), (info.st_mode & 07777) | S_IRWXU) == 0 ? 0 : errno;
  pid_t child = 0;
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  const int spawnError = ::posix_spawn(&child, path.c_str(), nullptr, nullptr, argv, environ);
  if (spawnError == 0) return {true, {}};
  return {false, FormatText("The File\n\"%s\"\ncan not be started!\nError %d %d %d",
                            {path, chmodError, spawnError, spawnError})};
}

}  // namespace stampwise::update

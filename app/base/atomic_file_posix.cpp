// The file primitives on POSIX: flock, fsync, rename.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <filesystem>

#include "app/base/atomic_file.h"
#include "app/base/file_ops.h"

namespace stampwise {

namespace {

std::int64_t Nanoseconds(const std::timespec& time) { return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec; }

FileIdentity FromStat(const struct stat& info) {
  FileIdentity identity;
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  identity.size = info.st_size;
  identity.modified = Nanoseconds(info.st_mtim);
  identity.changed = Nanoseconds(info.st_ctim);
  return identity;
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

bool SyncFolderOf(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  const std::string folder = parent.empty() ? std::string(".") : parent.string();
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

std::optional<FileIdentity> IdentityOfPath(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FromStat(info);
}

std::optional<FileIdentity> IdentityOfDescriptor(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::nullopt;
  return FromStat(info);
}

int OpenRegularFile(const std::string& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  // Regular files never block; clear the flag so reads behave normally.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

LockAttempt TryLockExclusive(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return LockAttempt::kLocked;
  return errno == EWOULDBLOCK || errno == EINTR ? LockAttempt::kHeld : LockAttempt::kFailed;
}

Status ReplaceFileAtomically(const std::string& requestedPath, std::string_view content, bool synced) {
  const std::string path = ResolveLink(requestedPath);
  const std::string temporary = path + ".tmp";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return Failed{{0, ErrnoText(temporary)}};
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);

  bool written = WriteAll(fd, content) && (!synced || ::fsync(fd) == 0);
  std::string error = written ? std::string() : ErrnoText(temporary);
  if (::close(fd) != 0 && written) {
    written = false;
    error = ErrnoText(temporary);
  }
  if (!written) {
    ::unlink(temporary.c_str());
    return Failed{{0, error}};
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    error = ErrnoText(path);
    ::unlink(temporary.c_str());
    return Failed{{0, error}};
  }
  if (synced && !SyncFolderOf(path)) {
    // The new contents are in place; only their survival of a power cut is
    // in doubt. Report it, the caller keeps its data dirty and saves again.
    return Failed{{0, ErrnoText("sync folder of " + path)}};
  }
  return Done{};
}

}  // namespace stampwise

#include "app/base/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

namespace stampwise {

namespace {

FileIdentity FromStat(const struct stat& info) {
  FileIdentity identity;
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  identity.size = info.st_size;
  identity.modified = info.st_mtim;
  identity.changed = info.st_ctim;
  return identity;
}

bool SameTime(const std::timespec& a, const std::timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// A save through a symbolic link replaces the file it points to, not the link.
std::string ResolveLink(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_symlink(path, error)) return path;
  auto target = std::filesystem::canonical(path, error);
  return error ? path : target.string();
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

bool FileIdentity::operator==(const FileIdentity& other) const {
  return device == other.device && inode == other.inode && size == other.size && SameTime(modified, other.modified) &&
         SameTime(changed, other.changed);
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

std::string ErrnoText(std::string_view what) {
  std::string text(what);
  text += ": ";
  text += std::strerror(errno);
  return text;
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

Result<FileLock> FileLock::Acquire(const std::string& path, bool writable, bool create,
                                   std::chrono::milliseconds timeout) {
  int flags = writable ? O_RDWR : O_RDONLY;
  if (create) flags |= O_CREAT;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int fd = OpenRegularFile(path, flags);
    if (fd < 0) return Failed{{0, ErrnoText(path)}};
    bool locked = false;
    for (;;) {
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        locked = true;
        break;
      }
      if (errno != EWOULDBLOCK && errno != EINTR) break;
      if (std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(kRetryInterval);
    }
    if (!locked) {
      ::close(fd);
      return Failed{{0, path + ": held by another program"}};
    }
    // While we waited, the holder may have replaced the file: then our lock
    // sits on a dead inode and we must lock the new one.
    auto held = IdentityOfDescriptor(fd);
    auto current = IdentityOfPath(path);
    if (held && current && held->device == current->device && held->inode == current->inode) {
      return FileLock(fd);
    }
    ::close(fd);
    if (std::chrono::steady_clock::now() >= deadline) return Failed{{0, path + ": replaced while waiting for it"}};
  }
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the last descriptor drops the flock
}

Result<std::string> ReadAllFromDescriptor(int fd, std::size_t maxBytes) {
  if (::lseek(fd, 0, SEEK_SET) < 0) return Failed{{0, ErrnoText("seek")}};
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Failed{{0, ErrnoText("read")}};
    }
    if (got == 0) return content;
    if (content.size() + static_cast<std::size_t>(got) > maxBytes) return Failed{{0, "file too large"}};
    content.append(buffer, static_cast<std::size_t>(got));
  }
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

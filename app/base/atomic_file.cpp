#include "app/base/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "app/base/file_ops.h"
#include "app/base/paths.h"

namespace stampwise {

std::string ResolveLink(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_symlink(FilePath(path), error)) return path;
  auto target = std::filesystem::canonical(FilePath(path), error);
  return error ? path : target.string();
}

bool FileIdentity::operator==(const FileIdentity& other) const {
  return device == other.device && inode == other.inode && size == other.size && modified == other.modified &&
         changed == other.changed;
}

std::string ErrnoText(std::string_view what) {
  std::string text(what);
  text += ": ";
  text += std::strerror(errno);
  return text;
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
      const LockAttempt attempt = TryLockExclusive(fd);
      if (attempt == LockAttempt::kLocked) {
        locked = true;
        break;
      }
      if (attempt == LockAttempt::kFailed) break;
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
  if (fd_ >= 0) ::close(fd_);  // closing the last descriptor drops the lock
}

Result<std::string> ReadAllFromDescriptor(int fd, std::size_t maxBytes) {
  if (::lseek(fd, 0, SEEK_SET) < 0) return Failed{{0, ErrnoText("seek")}};
  std::string content;
  char buffer[65536];
  for (;;) {
    const auto got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Failed{{0, ErrnoText("read")}};
    }
    if (got == 0) return content;
    if (content.size() + static_cast<std::size_t>(got) > maxBytes) return Failed{{0, "file too large"}};
    content.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace stampwise

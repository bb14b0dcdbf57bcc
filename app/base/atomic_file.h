// File primitives for stores that must survive a crash mid-save and share
// their files with other programs: an advisory whole-file lock, a bounded
// whole-file read, and a replace-by-rename write.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/base/result.h"

namespace stampwise {

// Who a path refers to and what it looked like: a save replaces the inode
// (on Windows: the volume's file index), an edit changes size or times, so
// any difference means "changed".
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified = 0;  // nanoseconds, from the platform's own epoch
  std::int64_t changed = 0;

  bool operator==(const FileIdentity& other) const;
};

std::optional<FileIdentity> IdentityOfPath(const std::string& path);
std::optional<FileIdentity> IdentityOfDescriptor(int fd);

// Opens a regular file without blocking on FIFOs and devices, in binary mode
// and not inherited by child programs. Returns -1 and sets errno (EINVAL for
// a file that is not a regular one) on failure.
int OpenRegularFile(const std::string& path, int flags);

// An exclusive lock on a file (flock; LockFileEx on a byte beyond any
// content on Windows, so that it keeps writers out, not readers), released
// on destruction. Everyone who saves
// through ReplaceFileAtomically holds it, so the lock always sits on the
// inode the path currently names.
class FileLock {
 public:
  static constexpr std::chrono::milliseconds kRetryInterval{10};
  static constexpr std::chrono::milliseconds kDefaultTimeout{2000};

  // Retries every 10 ms while another descriptor holds the lock, up to
  // timeout. Fails with an error text when the file cannot be opened (for
  // writing when writable), is missing (unless created) or stays locked.
  static Result<FileLock> Acquire(const std::string& path, bool writable, bool create,
                                  std::chrono::milliseconds timeout);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

  int Descriptor() const { return fd_; }

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// Reads a whole regular file from its start; fails beyond maxBytes so that a
// wrong file cannot eat the memory.
constexpr std::size_t kMaxStoreFileBytes = std::size_t{64} << 20;
Result<std::string> ReadAllFromDescriptor(int fd, std::size_t maxBytes = kMaxStoreFileBytes);

// Writes content to "<path>.tmp" in the same folder, flushes it to disk,
// renames it over path and flushes the folder: a crash leaves either the old
// or the new file, never a mix. The caller holds the FileLock on path, which
// also keeps two savers off the temporary file. Keeps an existing file's
// permission bits.
// `synced`: flushed to the disk before it replaces the file (and the folder
// after it); without, a killed program still leaves the old or the new file
// whole, only a power cut may take the new one back.
Status ReplaceFileAtomically(const std::string& path, std::string_view content, bool synced = true);

// Flushes the folder holding `path`, so that a file's new name survives a
// power cut. False when it could not.
bool SyncFolderOf(const std::string& path);

// "<what>: <strerror(errno)>" for error texts.
std::string ErrnoText(std::string_view what);

}  // namespace stampwise

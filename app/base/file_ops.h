// Small file and system operations whose calls differ by platform
// (file_ops_posix.cpp and atomic_file_posix.cpp, or their _windows twins),
// on the C run time's descriptors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace stampwise {

enum class LockAttempt { kLocked, kHeld, kFailed };

// One try at the exclusive lock on an open file; kHeld: someone else has it.
LockAttempt TryLockExclusive(int fd);

// The file a symbolic link points to; the path itself otherwise.
std::string ResolveLink(const std::string& path);

// The file's data on the disk (fdatasync; FlushFileBuffers).
bool SyncData(int fd);
bool TruncateFile(int fd, std::int64_t size);
// Reads at `offset` without moving the file position; -1 on failure.
std::int64_t ReadAt(int fd, char* buffer, std::size_t count, std::int64_t offset);

// The local time of `when`, and how far local time is ahead of UTC.
struct LocalTime {
  std::tm fields{};
  long offsetSeconds = 0;
};
LocalTime LocalTimeOf(std::time_t when);
// The seconds since the epoch of broken-down UTC fields (timegm).
std::time_t UtcSecondsOf(std::tm fields);

// The machine's name; empty when it has none.
std::string MachineName();

}  // namespace stampwise

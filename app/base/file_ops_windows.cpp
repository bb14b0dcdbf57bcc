#include <io.h>
#include <windows.h>

#include "app/base/file_ops.h"

namespace stampwise {

namespace {

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

}  // namespace

bool SyncData(int fd) { return ::FlushFileBuffers(HandleOf(fd)) != 0; }

bool TruncateFile(int fd, std::int64_t size) { return ::_chsize_s(fd, size) == 0; }

// An overlapped offset on a synchronous handle moves its position too: put
// it back, so appends and reads by position stay where they were.
std::int64_t ReadAt(int fd, char* buffer, std::size_t count, std::int64_t offset) {
  const std::int64_t position = ::_lseeki64(fd, 0, SEEK_CUR);
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD chunk = static_cast<DWORD>(count > (1u << 30) ? (1u << 30) : count);
  const bool read = ::ReadFile(HandleOf(fd), buffer, chunk, &got, &at) || ::GetLastError() == ERROR_HANDLE_EOF;
  if (position >= 0) ::_lseeki64(fd, position, SEEK_SET);
  return read ? static_cast<std::int64_t>(got) : -1;
}

LocalTime LocalTimeOf(std::time_t when) {
  LocalTime local;
  ::localtime_s(&local.fields, &when);
  std::tm copy = local.fields;
  local.offsetSeconds = static_cast<long>(::_mkgmtime(&copy) - when);
  return local;
}

std::time_t UtcSecondsOf(std::tm fields) { return ::_mkgmtime(&fields); }

std::string MachineName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!::GetComputerNameA(name, &size)) return {};
  return std::string(name, size);
}

}  // namespace stampwise

// The file primitives on Windows: LockFileEx, FlushFileBuffers, ReplaceFileW
// and MoveFileExW.
// Descriptors are the C run time's, over handles opened with every sharing
// mode, so that a locked file can still be read and replaced.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "app/base/atomic_file.h"
#include "app/base/file_ops.h"
#include "app/base/windows_text.h"

namespace stampwise {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The lock sits on one byte far beyond any content: Windows locks keep
// every other handle off their range, and readers must still get through.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

// 100 ns ticks since 1601; only equality matters, so no epoch shift.
std::int64_t FromFileTime(std::int64_t ticks) { return ticks * 100; }

std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandle(handle, &info) ||
      !::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
    return std::nullopt;
  }
  FileIdentity identity;
  identity.device = info.dwVolumeSerialNumber;
  identity.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  identity.size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  identity.modified = FromFileTime(basic.LastWriteTime.QuadPart);
  identity.changed = FromFileTime(basic.ChangeTime.QuadPart);
  return identity;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    default: return EIO;
  }
}

bool WriteAll(HANDLE handle, std::string_view content) {
  while (!content.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 30));
    if (!::WriteFile(handle, content.data(), chunk, &written, nullptr)) return false;
    content.remove_prefix(written);
  }
  return true;
}

}  // namespace

// The replace has written the new name through already.
bool SyncFolderOf(const std::string&) { return true; }

std::optional<FileIdentity> IdentityOfPath(const std::string& path) {
  HANDLE handle =
      ::CreateFileW(WideText(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<FileIdentity> identity = IdentityOfHandle(handle);
  ::CloseHandle(handle);
  return identity;
}

std::optional<FileIdentity> IdentityOfDescriptor(int fd) {
  HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  return IdentityOfHandle(handle);
}

int OpenRegularFile(const std::string& path, int flags) {
  const int access = flags & (O_RDONLY | O_WRONLY | O_RDWR);
  const DWORD desired = access == O_WRONLY ? GENERIC_WRITE
                        : access == O_RDWR ? GENERIC_READ | GENERIC_WRITE
                                           : GENERIC_READ;
  const DWORD disposition = (flags & O_CREAT) ? OPEN_ALWAYS : OPEN_EXISTING;
  HANDLE handle =
      ::CreateFileW(WideText(path).c_str(), desired, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(::GetLastError());
    return -1;
  }
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    errno = EINVAL;
    return -1;
  }
  int crtFlags = _O_BINARY | _O_NOINHERIT;
  if (access == O_RDONLY) crtFlags |= _O_RDONLY;
  if (flags & O_APPEND) crtFlags |= _O_APPEND;
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), crtFlags);
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

LockAttempt TryLockExclusive(int fd) {
  OVERLAPPED where{};
  where.Offset = kLockOffsetLow;
  where.OffsetHigh = kLockOffsetHigh;
  if (::LockFileEx(HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
    return LockAttempt::kLocked;
  }
  return ::GetLastError() == ERROR_LOCK_VIOLATION ? LockAttempt::kHeld : LockAttempt::kFailed;
}

Status ReplaceFileAtomically(const std::string& requestedPath, std::string_view content, bool synced) {
  const std::string path = ResolveLink(requestedPath);
  const std::string temporary = path + ".tmp";
  const std::wstring wideTemporary = WideText(temporary);
  HANDLE handle =
      ::CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Failed{{0, SystemErrorText(temporary, ::GetLastError())}};
  const bool written = WriteAll(handle, content) && (!synced || ::FlushFileBuffers(handle));
  const DWORD writeError = ::GetLastError();
  ::CloseHandle(handle);
  if (!written) {
    ::DeleteFileW(wideTemporary.c_str());
    return Failed{{0, SystemErrorText(temporary, writeError)}};
  }
  // MoveFileExW refuses to replace a file that is open (our own lock holds
  // it); ReplaceFileW takes its place whole, open or not, and keeps its
  // attributes and access list. A file not there yet is simply moved in.
  const std::wstring widePath = WideText(path);
  bool replaced = ::ReplaceFileW(widePath.c_str(), wideTemporary.c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr);
  if (!replaced && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
    const DWORD how = MOVEFILE_REPLACE_EXISTING | (synced ? MOVEFILE_WRITE_THROUGH : 0);
    replaced = ::MoveFileExW(wideTemporary.c_str(), widePath.c_str(), how);
  }
  if (!replaced) {
    const DWORD replaceError = ::GetLastError();
    ::DeleteFileW(wideTemporary.c_str());
    return Failed{{0, SystemErrorText(path, replaceError)}};
  }
  return Done{};
}

}  // namespace stampwise

#include "sim/write_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace mkvsim {

std::string ToHex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

std::string FormatWriteEntry(const WriteEntry& entry) {
  return "tag=" + std::to_string(entry.tagId) + " bank=" + std::to_string(entry.bank) +
         " word=" + std::to_string(entry.word) + " data=" + ToHex(entry.data);
}

WriteJournal::~WriteJournal() {
  if (fd_ >= 0) ::close(fd_);
}

bool WriteJournal::OpenFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  return true;
}

bool WriteJournal::Add(const WriteEntry& entry) {
  entries_.push_back(entry);
  if (fd_ < 0) return true;
  const std::string line = FormatWriteEntry(entry) + '\n';
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace mkvsim

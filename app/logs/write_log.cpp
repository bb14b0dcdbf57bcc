#include "app/logs/write_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "app/base/file_ops.h"

namespace stampwise {

const char* LogFormatName(DataFormat format) {
  switch (format) {
    case DataFormat::HexBinary: return "HEX BIN";
    case DataFormat::HexAscii: return "HEX ASCII";
    case DataFormat::DecimalBinary:
    case DataFormat::DecimalAscii: return "DEZ ASCII";
    case DataFormat::DataBinary: return "DATEN BIN";
    case DataFormat::DataAscii: return "DATEN ASCII";
  }
  return "";
}

std::string FormatLogLine(long long lineNumber, const std::tm& localTime, DataFormat format, int startWord,
                          int lengthBytes, std::string_view value) {
  char number[32];
  std::snprintf(number, sizeof number, "%6lld\t", lineNumber);
  char date[64];
  if (std::strftime(date, sizeof date, "%d.%m.%Y %H:%M:%S\t", &localTime) == 0) date[0] = '\0';
  char position[32];
  std::snprintf(position, sizeof position, "%4d\t%4d\t", startWord, lengthBytes);

  std::string line = number;
  line += date;
  line += LogFormatName(format);
  line += '\t';
  line += position;
  line += value;
  line += "\r\r\n";
  return line;
}

LogFile::LogFile(std::string fileName) : fileName_(std::move(fileName)) {}

void LogFile::SetFileName(std::string fileName) {
  fileName_ = std::move(fileName);
  count_.reset();
}

std::optional<LogFile::Count> LogFile::CountLines(int fd) {
  Count count;
  if (::lseek(fd, 0, SEEK_SET) < 0) return std::nullopt;
  char buffer[65536];
  char last = '\n';
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;
    count.lineFeeds += std::count(buffer, buffer + got, '\n');
    last = buffer[got - 1];
  }
  count.openLastLine = last != '\n';
  return count;
}

// A line is in the file whole or not at all: after a short write (a full
// disk) the piece that went in is cut off again, or the next line would be
// glued to it and its number counted twice. Only when nobody appended after
// the piece; their line must not be cut.
void LogFile::CutPartialLine(int fd, std::size_t written) {
  if (written == 0) return;
  const std::int64_t end = ::lseek(fd, 0, SEEK_CUR);
  const auto now = IdentityOfDescriptor(fd);
  if (end < static_cast<std::int64_t>(written) || !now || now->size != end) return;
  TruncateFile(fd, end - static_cast<std::int64_t>(written));
}

bool LogFile::Append(DataFormat format, int startWord, int lengthBytes, std::string_view value,
                     std::chrono::system_clock::time_point when) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  const std::tm local = LocalTimeOf(seconds).fields;
  if (fileName_.empty()) return false;

  int fd = OpenRegularFile(fileName_, O_RDWR | O_CREAT | O_APPEND);
  if (fd < 0) return false;
  auto before = IdentityOfDescriptor(fd);
  std::optional<Count> count = count_;
  if (!before || !count || !(count->file == *before)) count = CountLines(fd);
  if (!count) {
    ::close(fd);
    count_.reset();
    return false;
  }

  // An unfinished last line counts as a line, as it always has.
  long long number = count->lineFeeds + (count->openLastLine ? 1 : 0) + 1;
  std::string line = FormatLogLine(number, local, format, startWord, lengthBytes, value);
  std::string_view rest = line;
  while (!rest.empty()) {
    ssize_t written = ::write(fd, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
  if (!rest.empty()) CutPartialLine(fd, line.size() - rest.size());
  auto after = IdentityOfDescriptor(fd);
  ::close(fd);
  // Keep the count only when the file grew by exactly our line; anything else
  // means another writer got in between, and the next line recounts.
  if (rest.empty() && after && before && after->size == before->size + static_cast<std::int64_t>(line.size())) {
    count->lineFeeds += std::count(line.begin(), line.end(), '\n');
    count->openLastLine = false;
    count->file = *after;
    count_ = count;
  } else {
    count_.reset();
  }
  return rest.empty();
}

}  // namespace stampwise

// The write and read log files: one tab-separated, numbered line per tag.
#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "app/base/atomic_file.h"
#include "app/base/params.h"

namespace stampwise {

// The format column: "HEX BIN", "HEX ASCII", "DEZ ASCII" (both decimal
// formats), "DATEN BIN", "DATEN ASCII".
const char* LogFormatName(DataFormat format);

// One complete line: number ("%6d"), local date and time, format, start word
// ("%4d"), length ("%4d") and value, tab-separated, ended by CR CR LF (the
// bytes the tool has always left on disk).
std::string FormatLogLine(long long lineNumber, const std::tm& localTime, DataFormat format, int startWord,
                          int lengthBytes, std::string_view value);

// Appends lines to one log file, numbering each as "lines in the file plus
// one". The file stays closed between lines, so other programs may read or
// append to it. The line count is kept with the file's identity and size
// and recounted only when the file changed behind our back.
class LogFile {
 public:
  explicit LogFile(std::string fileName = {});

  void SetFileName(std::string fileName);
  const std::string& FileName() const { return fileName_; }

  // False when the line was skipped: no file name, or the file cannot be
  // opened or written. The caller carries on either way.
  bool Append(DataFormat format, int startWord, int lengthBytes, std::string_view value,
              std::chrono::system_clock::time_point when = std::chrono::system_clock::now());

 private:
  struct Count {
    FileIdentity file;  // as we left it after our last line
    long long lineFeeds = 0;
    bool openLastLine = false;  // the file ends inside a line (no LF)
  };
  static std::optional<Count> CountLines(int fd);
  static void CutPartialLine(int fd, std::size_t written);

  std::string fileName_;
  std::optional<Count> count_;
};

}  // namespace stampwise

// Value lists: a CSV or text file of values, one per tag, taken in order.
// The file has no header row and standard CSV quoting (RFC 4180); a plain
// text file is a list of one column. The values are texts as the write
// field takes them (one byte per character).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"
#include "app/settings.h"

namespace stampwise {

// The records of a CSV text, each as its fields. Line ends are LF or CR LF;
// a quoted field may hold separators, doubled quotes and line breaks. Empty
// lines are no records. `ok` is false (with the line of the trouble) for an
// unterminated quote or characters after a closing quote.
struct CsvRecords {
  std::vector<std::vector<std::string>> records;
  std::vector<int> lines;  // the line each record starts on, from 1
  bool ok = true;
  int badLine = 0;
};
CsvRecords ParseCsv(std::string_view text);

// The values of column `column` (from 1) of every record of `path`. Refused
// with a message naming the file, and the line where one is at fault: an
// unreadable or empty file, bad quoting, a record without that column.
Result<std::vector<std::string>> LoadValueList(const std::string& path, int column);

// Stands for the first `count` values: a list whose used part changed is
// not the list a stored position belongs to.
std::uint64_t ValuesFingerprint(const std::vector<std::string>& values, std::size_t count);

// The position in one value list, kept in the settings store ("Werteliste")
// so that every program on the store continues it. Each line is taken under
// the store's lock and the position after it saved before the line is
// handed out; the line stays "open" until its outcome is journaled, so a
// crash in between never reuses a line and never skips one silently.
class ValueListCursor {
 public:
  struct Line {
    int number = 0;  // from 1
    std::string value;
  };
  enum class Take { kTaken, kEnd, kChanged, kStoreFailed };

  ValueListCursor(Settings& settings, std::string path, int column, std::vector<std::string> values);

  const std::string& Path() const { return path_; }
  int Size() const { return static_cast<int>(values_.size()); }
  // Lines not given out yet, as the store said when last asked.
  int Left() const { return Size() - (next_ - 1); }

  // The next line. kEnd when the list is used up, kChanged when the lines
  // already given out are not the ones the store's position belongs to.
  Take TakeNext(Line* line);
  // The line's outcome is journaled (or there is no journal): it is closed.
  bool Close(int number);
  // Nothing of the line reached a tag: it is the next line again, unless
  // another program took a later one meanwhile.
  bool GiveBack(int number);
  // A line taken before a crash whose outcome was never journaled.
  std::optional<Line> OpenLine();
  // Starts the list from its first line (the operator chose it anew).
  bool Restart();
  const std::string& LastError() const { return settings_.LastError(); }

 private:
  bool SameList(const CIniEx& ini) const;

  Settings& settings_;
  std::string path_;
  int column_;
  std::vector<std::string> values_;
  int next_ = 1;
};

}  // namespace stampwise

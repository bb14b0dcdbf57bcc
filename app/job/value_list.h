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

#include "app/base/result.h"

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
// The same for every count at once: element k stands for the first k values
// (a list's position is checked with every tag; hashing its used part anew
// each time would cost milliseconds a tag far down a long list).
std::vector<std::uint64_t> PrefixFingerprints(const std::vector<std::string>& values);

}  // namespace stampwise

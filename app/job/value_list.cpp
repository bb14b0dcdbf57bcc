#include "app/job/value_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>

#include "app/base/atomic_file.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise {

CsvRecords ParseCsv(std::string_view text) {
  CsvRecords result;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false;        // inside a quoted field
  bool afterQuote = false;    // the field's closing quote was seen
  bool fieldStarted = false;  // the record has content (a field or a separator)
  int line = 1;
  int recordLine = 1;
  const auto endRecord = [&] {
    if (fieldStarted) {
      record.push_back(std::move(field));
      result.records.push_back(std::move(record));
      result.lines.push_back(recordLine);
    }
    record.clear();
    field.clear();
    fieldStarted = false;
    afterQuote = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          quoted = false;
          afterQuote = true;
        }
      } else {
        if (c == '\n') ++line;
        field += c;
      }
      continue;
    }
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n') {
      endRecord();
      recordLine = ++line;
      continue;
    }
    if (!fieldStarted) recordLine = line;
    fieldStarted = true;
    if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
      afterQuote = false;
    } else if (c == '"' && field.empty() && !afterQuote) {
      quoted = true;
    } else if (afterQuote) {
      result.ok = false;
      result.badLine = line;
      return result;
    } else {
      field += c;
    }
  }
  if (quoted) {
    result.ok = false;
    result.badLine = recordLine;
    return result;
  }
  endRecord();
  return result;
}

Result<std::vector<std::string>> LoadValueList(const std::string& path, int column) {
  const auto refuse = [&](int id, std::initializer_list<FormatArg> args) {
    return Result<std::vector<std::string>>::Failure({id, FormatString(id, args)});
  };
  const int fd = OpenRegularFile(path, O_RDONLY);
  if (fd < 0) return refuse(msg::kValueListUnreadable, {ErrnoText(path)});
  Result<std::string> read = ReadAllFromDescriptor(fd);
  ::close(fd);
  if (!read) return refuse(msg::kValueListUnreadable, {read.message().text});
  std::string content = std::move(read).value();
  // A byte-order mark says how the file is encoded; it is no part of the first value.
  if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);
  const CsvRecords csv = ParseCsv(content);
  if (!csv.ok) return refuse(msg::kValueListBadQuoting, {path, csv.badLine});
  if (csv.records.empty()) return refuse(msg::kValueListEmpty, {path});
  std::vector<std::string> values;
  values.reserve(csv.records.size());
  for (std::size_t i = 0; i < csv.records.size(); ++i) {
    const std::vector<std::string>& fields = csv.records[i];
    if (column < 1 || static_cast<std::size_t>(column) > fields.size()) {
      return refuse(msg::kValueListNoColumn, {path, csv.lines[i], column});
    }
    values.push_back(fields[static_cast<std::size_t>(column) - 1]);
  }
  return values;
}

namespace {

constexpr std::uint64_t kFingerprintStart = 14695981039346656037ull;

// FNV-1a over the value and its length, so ["ab","c"] and ["a","bc"] differ.
std::uint64_t MixValue(std::uint64_t hash, const std::string& value) {
  const auto mix = [&](unsigned char byte) {
    hash ^= byte;
    hash *= 1099511628211ull;
  };
  for (const char c : value) mix(static_cast<unsigned char>(c));
  for (std::size_t size = value.size(), k = 0; k < 8; ++k, size >>= 8) mix(static_cast<unsigned char>(size));
  return hash;
}

}  // namespace

std::uint64_t ValuesFingerprint(const std::vector<std::string>& values, std::size_t count) {
  std::uint64_t hash = kFingerprintStart;
  for (std::size_t i = 0; i < count && i < values.size(); ++i) hash = MixValue(hash, values[i]);
  return hash;
}

std::vector<std::uint64_t> PrefixFingerprints(const std::vector<std::string>& values) {
  std::vector<std::uint64_t> prefixes{kFingerprintStart};
  prefixes.reserve(values.size() + 1);
  for (const std::string& value : values) prefixes.push_back(MixValue(prefixes.back(), value));
  return prefixes;
}

}  // namespace stampwise

#include "app/value_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>

#include "app/atomic_file.h"
#include "app/messages.h"
#include "app/settings_keys.h"
#include "app/strings.h"

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
  std::string content;
  std::string error;
  const int fd = OpenRegularFile(path, O_RDONLY | O_CLOEXEC);
  const bool read = fd >= 0 && ReadAllFromDescriptor(fd, &content, &error);
  if (fd < 0) error = ErrnoText(path);
  if (fd >= 0) ::close(fd);
  if (!read) return refuse(msg::kValueListUnreadable, {error});
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

std::uint64_t ValuesFingerprint(const std::vector<std::string>& values, std::size_t count) {
  // FNV-1a over each value and its length, so ["ab","c"] and ["a","bc"] differ.
  std::uint64_t hash = 14695981039346656037ull;
  const auto mix = [&](unsigned char byte) {
    hash ^= byte;
    hash *= 1099511628211ull;
  };
  for (std::size_t i = 0; i < count && i < values.size(); ++i) {
    for (const char c : values[i]) mix(static_cast<unsigned char>(c));
    for (std::size_t size = values[i].size(), k = 0; k < 8; ++k, size >>= 8) mix(static_cast<unsigned char>(size));
  }
  return hash;
}

namespace {

std::string FingerprintText(const std::vector<std::string>& values, int count) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, ValuesFingerprint(values, static_cast<std::size_t>(count)));
  return text;
}

int StoredNumber(const CIniEx& ini, const SettingKey& key) { return ini.GetInt(key.section, key.name, key.number); }

}  // namespace

ValueListCursor::ValueListCursor(Settings& settings, std::string path, int column, std::vector<std::string> values)
    : settings_(settings), path_(std::move(path)), column_(column), values_(std::move(values)) {}

bool ValueListCursor::SameList(const CIniEx& ini) const {
  return StoredText(ini, keys::kValueListFile) == path_ && StoredNumber(ini, keys::kValueListColumn) == column_;
}

ValueListCursor::Take ValueListCursor::TakeNext(Line* line) {
  Take result = Take::kTaken;
  const bool saved = settings_.WriteBatch([&](CIniEx& ini) {
    // Another list (or another column of it) starts from its first line.
    int next = SameList(ini) ? StoredNumber(ini, keys::kValueListNext) : 1;
    if (next < 1) next = 1;
    if (next > 1 &&
        (next - 1 > Size() || StoredText(ini, keys::kValueListFingerprint) != FingerprintText(values_, next - 1))) {
      result = Take::kChanged;
      return;
    }
    next_ = next;
    if (next > Size()) {
      result = Take::kEnd;
      return;
    }
    WriteKey(ini, keys::kValueListFile, path_);
    WriteKey(ini, keys::kValueListColumn, column_);
    WriteKey(ini, keys::kValueListNext, next + 1);
    WriteKey(ini, keys::kValueListFingerprint, FingerprintText(values_, next));
    WriteKey(ini, keys::kValueListOpen, next);
    *line = {next, values_[static_cast<std::size_t>(next) - 1]};
  });
  if (!saved) return Take::kStoreFailed;
  if (result == Take::kTaken) next_ = line->number + 1;
  return result;
}

bool ValueListCursor::Close(int number) {
  return settings_.WriteBatch([&](CIniEx& ini) {
    if (SameList(ini) && StoredNumber(ini, keys::kValueListOpen) == number) WriteKey(ini, keys::kValueListOpen, 0);
  });
}

bool ValueListCursor::GiveBack(int number) {
  return settings_.WriteBatch([&](CIniEx& ini) {
    if (!SameList(ini) || StoredNumber(ini, keys::kValueListNext) != number + 1) return;
    WriteKey(ini, keys::kValueListNext, number);
    WriteKey(ini, keys::kValueListFingerprint, FingerprintText(values_, number - 1));
    if (StoredNumber(ini, keys::kValueListOpen) == number) WriteKey(ini, keys::kValueListOpen, 0);
    next_ = number;
  });
}

std::optional<ValueListCursor::Line> ValueListCursor::OpenLine() {
  std::optional<Line> open;
  settings_.WriteBatch([&](CIniEx& ini) {
    if (!SameList(ini)) return;
    const int number = StoredNumber(ini, keys::kValueListOpen);
    next_ = std::max(1, StoredNumber(ini, keys::kValueListNext));
    if (number >= 1 && number <= Size()) open = Line{number, values_[static_cast<std::size_t>(number) - 1]};
  });
  return open;
}

bool ValueListCursor::Restart() {
  next_ = 1;
  return settings_.WriteBatch([&](CIniEx& ini) {
    WriteKey(ini, keys::kValueListFile, path_);
    WriteKey(ini, keys::kValueListColumn, column_);
    WriteKey(ini, keys::kValueListNext, 1);
    WriteKey(ini, keys::kValueListFingerprint, FingerprintText(values_, 0));
    WriteKey(ini, keys::kValueListOpen, 0);
  });
}

}  // namespace stampwise

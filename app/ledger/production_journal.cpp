#include "app/ledger/production_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/base/atomic_file.h"
#include "app/base/file_ops.h"
#include "app/base/paths.h"
#include "app/texts/strings.h"

namespace stampwise {
namespace {

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// RFC 4180: a field with a separator, a quote, a line break or blanks at
// its ends is quoted, its quotes doubled.
std::string CsvField(std::string_view text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return std::string(text);
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::vector<std::string> Fields(const JournalEntry& e) {
  return {e.time,  e.station, e.tid,    e.epcBefore, e.bank,   std::to_string(e.start), std::to_string(e.length),
          e.value, e.data,    e.verify, e.outcome,   e.message};
}

bool WriteFully(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

const std::vector<std::string>& JournalColumns() {
  static const std::vector<std::string> columns{"time",   "station", "tid",  "epc_before", "bank",    "start",
                                                "length", "value",   "data", "verify",     "outcome", "message"};
  return columns;
}

JournalFormat JournalFormatOf(const std::string& path) {
  return EndsWith(path, ".jsonl") ? JournalFormat::kJsonLines : JournalFormat::kCsv;
}

std::string IsoLocalTime(std::chrono::system_clock::time_point when) {
  const auto sinceEpoch = when.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
  const std::time_t t = static_cast<std::time_t>(seconds.count());
  const LocalTime localTime = LocalTimeOf(t);
  const std::tm& local = localTime.fields;
  const long offsetMinutes = localTime.offsetSeconds / 60;
  const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis),
                offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
  return text;
}

std::string JournalHeader() {
  std::string line;
  for (const std::string& column : JournalColumns()) line += (line.empty() ? "" : ",") + column;
  return line + "\r\n";
}

std::string JournalRecord(JournalFormat format, const JournalEntry& entry) {
  const std::vector<std::string> fields = Fields(entry);
  if (format == JournalFormat::kJsonLines) {
    nlohmann::ordered_json object;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const std::string& column = JournalColumns()[i];
      if (column == "start") {
        object[column] = entry.start;
      } else if (column == "length") {
        object[column] = entry.length;
      } else {
        object[column] = ToUtf8(fields[i]);
      }
    }
    return object.dump() + "\n";
  }
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) line += (i == 0 ? "" : ",") + CsvField(fields[i]);
  return line + "\r\n";
}

namespace {

// "2026-12-09T": the start of every record (its time).
bool RecordStartsAt(std::string_view text, std::size_t at) {
  static constexpr std::string_view kShape = "dddd-dd-ddT";
  if (text.size() - at < kShape.size()) return false;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const char c = text[at + i];
    if (kShape[i] == 'd' ? (c < '0' || c > '9') : c != kShape[i]) return false;
  }
  return true;
}

// True when `text` is exactly one whole CSV record with its line end.
bool OneWholeCsvRecord(std::string_view text) {
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (text[i] == '\n' && !quoted) return i + 1 == text.size();
  }
  return false;
}

}  // namespace

std::size_t TornTailStart(JournalFormat format, std::string_view tail, bool atFileStart) {
  if (tail.empty()) return 0;
  if (format == JournalFormat::kJsonLines) {
    // JSON strings escape their line breaks: every LF ends a record.
    if (tail.back() == '\n') return tail.size();
    const std::size_t lastEnd = tail.rfind('\n');
    return lastEnd == std::string_view::npos ? 0 : lastEnd + 1;
  }
  // A CSV record may hold line breaks inside quotes: the last record is the
  // one from the last line that starts like a record (its time), or the
  // header at the file's start.
  std::size_t start = std::string_view::npos;
  for (std::size_t at = tail.size(); at-- > 0;) {
    const bool lineStart = at == 0 || tail[at - 1] == '\n';
    if (lineStart && (RecordStartsAt(tail, at) || (at == 0 && atFileStart))) {
      start = at;
      break;
    }
  }
  if (start == std::string_view::npos) return tail.size();  // nothing we know: leave it
  return OneWholeCsvRecord(tail.substr(start)) ? tail.size() : start;
}

std::optional<JournalEntry> ParseJsonRecord(std::string_view line) {
  const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
  if (!object.is_object()) return std::nullopt;
  const auto text = [&](const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  const auto number = [&](const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_number_integer() ? it->get<int>() : 0;
  };
  JournalEntry entry;
  entry.time = text("time");
  entry.station = text("station");
  entry.tid = text("tid");
  entry.epcBefore = text("epc_before");
  entry.bank = text("bank");
  entry.start = number("start");
  entry.length = number("length");
  entry.value = text("value");
  entry.data = text("data");
  entry.verify = text("verify");
  entry.outcome = text("outcome");
  entry.message = text("message");
  return entry;
}

std::string DefaultStationName() {
  const std::string name = MachineName();
  return name.empty() ? "station" : name;
}

namespace {

constexpr std::size_t kTailBytes = 64 * 1024;

// The last `count` bytes of the file (fewer when it is shorter), and where they begin.
bool ReadTail(int fd, std::size_t count, std::string* tail, std::int64_t* at, std::string* error) {
  const std::int64_t size = IdentityOfDescriptor(fd).value_or(FileIdentity{.size = -1}).size;
  if (size < 0) return false;
  *at = size > static_cast<std::int64_t>(count) ? size - static_cast<std::int64_t>(count) : 0;
  tail->assign(static_cast<std::size_t>(size - *at), '\0');
  std::size_t done = 0;
  while (done < tail->size()) {
    const std::int64_t n = ReadAt(fd, tail->data() + done, tail->size() - done, *at + static_cast<std::int64_t>(done));
    if (n <= 0) {
      if (error) *error = "read failed";
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Cuts a torn last record off an open journal.
bool CutTornTail(int fd, JournalFormat format, std::string* error) {
  std::string tail;
  std::int64_t at = 0;
  if (!ReadTail(fd, kTailBytes, &tail, &at, error)) return false;
  // Start the tail at a line start unless it is the whole file.
  std::size_t from = 0;
  if (at > 0) {
    from = tail.find('\n');
    if (from == std::string::npos) return true;  // one huge line: not ours to judge
    ++from;
  }
  const std::size_t torn = TornTailStart(format, std::string_view(tail).substr(from), at == 0);
  if (from + torn >= tail.size()) return true;
  return TruncateFile(fd, at + static_cast<std::int64_t>(from + torn)) && SyncData(fd);
}

}  // namespace

Result<ProductionJournal> ProductionJournal::Open(const std::string& path) {
  const bool existed = std::filesystem::exists(FilePath(path));
  const int fd = OpenRegularFile(path, O_RDWR | O_CREAT | O_APPEND);
  if (fd < 0) return Failed{{0, ErrnoText(path)}};
  ProductionJournal journal(fd, path, JournalFormatOf(path));
  // One program writes a journal at a time: two would interleave their lines.
  if (const LockAttempt locked = TryLockExclusive(fd); locked != LockAttempt::kLocked) {
    return Failed{{0, locked == LockAttempt::kHeld ? path + ": in use by another program" : ErrnoText(path)}};
  }
  std::string error;
  if (!CutTornTail(fd, journal.format_, &error)) return Failed{{0, error.empty() ? ErrnoText(path) : error}};
  if (journal.format_ == JournalFormat::kCsv && ::lseek(fd, 0, SEEK_END) == 0 &&
      !journal.AppendBytes(JournalHeader())) {
    return Failed{{0, journal.lastError_}};
  }
  // A new file's name reaches the disk with the folder.
  if (!existed) SyncFolderOf(path);
  return journal;
}

ProductionJournal::ProductionJournal(ProductionJournal&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      format_(other.format_),
      lastError_(std::move(other.lastError_)),
      restarted_(other.restarted_) {}

ProductionJournal& ProductionJournal::operator=(ProductionJournal&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    format_ = other.format_;
    lastError_ = std::move(other.lastError_);
    restarted_ = other.restarted_;
  }
  return *this;
}

ProductionJournal::~ProductionJournal() {
  if (fd_ < 0) return;
  // Once per job: the lines so far reach the disk (the ledger has them anyway).
  SyncData(fd_);
  ::close(fd_);
}

bool ProductionJournal::StillOurs() const {
  // A deleted or replaced journal no longer answers to its path.
  const std::optional<FileIdentity> ours = IdentityOfDescriptor(fd_);
  const std::optional<FileIdentity> atPath = IdentityOfPath(path_);
  return ours && atPath && atPath->device == ours->device && atPath->inode == ours->inode;
}

bool ProductionJournal::Reopen() {
  Result<ProductionJournal> fresh = Open(path_);
  if (!fresh) {
    lastError_ = fresh.message().text;
    return false;
  }
  ::close(fd_);
  fd_ = std::exchange(fresh->fd_, -1);
  restarted_ = true;
  return true;
}

bool ProductionJournal::TakeRestarted() { return std::exchange(restarted_, false); }

bool ProductionJournal::Append(const std::string& record) {
  if (!StillOurs() && !Reopen()) return false;
  return AppendBytes(record);
}

bool ProductionJournal::CatchUp(const std::vector<std::string>& records) {
  if (records.empty()) return true;
  std::size_t total = 0;
  for (const std::string& record : records) total += record.size();
  std::string tail;
  std::int64_t at = 0;
  if (!ReadTail(fd_, total, &tail, &at, &lastError_)) return false;
  // The longest run of the first records that ends the file is there already.
  std::size_t there = 0;
  std::string run;
  for (std::size_t count = 1; count <= records.size(); ++count) {
    run += records[count - 1];
    if (run.size() <= tail.size() && tail.compare(tail.size() - run.size(), run.size(), run) == 0) there = count;
  }
  for (std::size_t i = there; i < records.size(); ++i) {
    if (!AppendBytes(records[i])) return false;
  }
  return true;
}

bool ProductionJournal::AppendBytes(std::string_view bytes) {
  const std::int64_t before = IdentityOfDescriptor(fd_).value_or(FileIdentity{.size = -1}).size;
  if (before >= 0 && WriteFully(fd_, bytes)) return true;
  lastError_ = ErrnoText(path_);
  // Half a record would tear the line after it: take it back.
  if (before >= 0 && TruncateFile(fd_, before)) SyncData(fd_);
  return false;
}

}  // namespace stampwise

#include "app/journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/atomic_file.h"
#include "app/gs1_epc.h"
#include "app/strings.h"
#include "common/ascii.h"

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
  return {IsoLocalTime(e.time),     e.station, e.tid,  e.epcBefore, e.bank,    std::to_string(e.start),
          std::to_string(e.length), e.value,   e.data, e.verify,    e.outcome, e.message};
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

// The value's exact bytes beside its text in the pending attempt: the text of
// bytes that are not UTF-8 is their Latin-1 reading, which cannot be told
// from the same characters typed as UTF-8.
std::optional<std::string> FromHex(const std::string& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = ascii::HexDigitValue(hex[i]);
    const int low = ascii::HexDigitValue(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

// A new file's name reaches the disk with the folder.
void SyncFolderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
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
  std::tm local{};
  ::localtime_r(&t, &local);
  const long offsetMinutes = local.tm_gmtoff / 60;
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

std::size_t EndOfCompleteRecords(JournalFormat format, std::string_view content) {
  bool quoted = false;
  std::size_t end = 0;
  for (std::size_t i = 0; i < content.size(); ++i) {
    const char c = content[i];
    // JSON strings escape their quotes and line breaks: every LF ends a line.
    if (format == JournalFormat::kCsv && c == '"') quoted = !quoted;
    if (c == '\n' && !quoted) end = i + 1;
  }
  return end;
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
  entry.time = std::chrono::system_clock::now();
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
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "station";
  return name;
}

std::optional<ProductionJournal> ProductionJournal::Open(const std::string& path, std::string* error) {
  const bool existed = std::filesystem::exists(path);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = ErrnoText(path);
    return std::nullopt;
  }
  ProductionJournal journal(fd, path, JournalFormatOf(path));
  // Another station on the same file waits while the end is repaired.
  ::flock(fd, LOCK_EX);
  std::string content;
  bool ok = ReadAllFromDescriptor(fd, &content, error, std::size_t{1} << 40);
  if (ok) {
    const std::size_t end = EndOfCompleteRecords(journal.format_, content);
    if (end < content.size() && (::ftruncate(fd, static_cast<off_t>(end)) != 0 || ::fdatasync(fd) != 0)) {
      *error = ErrnoText(path);
      ok = false;
    }
    if (ok && end == 0 && journal.format_ == JournalFormat::kCsv && !journal.AppendBytes(JournalHeader())) {
      *error = journal.lastError_;
      ok = false;
    }
  }
  ::flock(fd, LOCK_UN);
  if (!ok) return std::nullopt;
  // The pending attempt is this program's while it writes the journal: a
  // second program on the same journal would mix up their attempts.
  journal.pendingFd_ = ::open((path + ".pending").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (journal.pendingFd_ < 0 || ::flock(journal.pendingFd_, LOCK_EX | LOCK_NB) != 0) {
    *error = errno == EWOULDBLOCK ? path + ": in use by another program" : ErrnoText(path + ".pending");
    return std::nullopt;
  }
  if (!existed) SyncFolderOf(path);
  return journal;
}

ProductionJournal::ProductionJournal(ProductionJournal&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      pendingFd_(std::exchange(other.pendingFd_, -1)),
      path_(std::move(other.path_)),
      format_(other.format_),
      lastError_(std::move(other.lastError_)) {}

ProductionJournal& ProductionJournal::operator=(ProductionJournal&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    if (pendingFd_ >= 0) ::close(pendingFd_);
    fd_ = std::exchange(other.fd_, -1);
    pendingFd_ = std::exchange(other.pendingFd_, -1);
    path_ = std::move(other.path_);
    format_ = other.format_;
    lastError_ = std::move(other.lastError_);
  }
  return *this;
}

ProductionJournal::~ProductionJournal() {
  if (fd_ >= 0) ::close(fd_);
  if (pendingFd_ >= 0) ::close(pendingFd_);
}

bool ProductionJournal::Intend(const JournalEntry& entry) {
  // Where its record will begin: a journal already longer has it.
  nlohmann::ordered_json object = nlohmann::ordered_json::parse(JournalRecord(JournalFormat::kJsonLines, entry));
  object["at"] = static_cast<long long>(::lseek(fd_, 0, SEEK_END));
  object["value_hex"] = gs1::Hex(std::vector<std::uint8_t>(entry.value.begin(), entry.value.end()));
  const std::string record = object.dump() + "\n";
  if (::ftruncate(pendingFd_, 0) == 0 &&
      ::pwrite(pendingFd_, record.data(), record.size(), 0) == static_cast<ssize_t>(record.size()) &&
      ::fdatasync(pendingFd_) == 0) {
    return true;
  }
  lastError_ = ErrnoText(path_ + ".pending");
  return false;
}

std::optional<JournalEntry> ProductionJournal::TakePending() {
  std::string content;
  std::string error;
  if (::lseek(pendingFd_, 0, SEEK_SET) != 0 || !ReadAllFromDescriptor(pendingFd_, &content, &error))
    return std::nullopt;
  // Torn by a crash while it was written: the tag had not been touched yet.
  if (content.empty() || content.back() != '\n') return std::nullopt;
  const nlohmann::json object = nlohmann::json::parse(content, nullptr, false);
  const long long at = object.is_object() && object.contains("at") && object["at"].is_number_integer()
                           ? object["at"].get<long long>()
                           : -1;
  // Cut off after its record reached the journal: nothing is missing.
  if (at < 0 || ::lseek(fd_, 0, SEEK_END) > at) {
    ClearPending();
    return std::nullopt;
  }
  // Cleared when its record is appended.
  std::optional<JournalEntry> pending = ParseJsonRecord(content);
  if (pending && object.contains("value_hex") && object["value_hex"].is_string()) {
    if (const std::optional<std::string> value = FromHex(object["value_hex"].get<std::string>()))
      pending->value = *value;
  }
  return pending;
}

bool ProductionJournal::ClearPending() {
  if (::ftruncate(pendingFd_, 0) == 0 && ::fdatasync(pendingFd_) == 0) return true;
  lastError_ = ErrnoText(path_ + ".pending");
  return false;
}

bool ProductionJournal::Append(const JournalEntry& entry) {
  ::flock(fd_, LOCK_EX);
  const bool ok = AppendBytes(JournalRecord(format_, entry));
  ::flock(fd_, LOCK_UN);
  return ok && ClearPending();
}

bool ProductionJournal::AppendBytes(std::string_view bytes) {
  const off_t before = ::lseek(fd_, 0, SEEK_END);
  if (before >= 0 && WriteFully(fd_, bytes) && ::fdatasync(fd_) == 0) return true;
  lastError_ = ErrnoText(path_);
  // Half a record would tear the line after it: take it back.
  if (before >= 0 && ::ftruncate(fd_, before) == 0) ::fdatasync(fd_);
  return false;
}

}  // namespace stampwise

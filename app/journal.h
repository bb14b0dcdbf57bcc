// The production journal: one line per write attempt (which chip, what it
// carried, what it was meant to get, what went out, and how it ended), each
// on stable storage before the next tag is touched. CSV with a header, or
// JSON lines when the file name ends in ".jsonl". A crash loses at most the
// line being written: a torn last record is cut off when the journal is
// opened again, so no earlier line is ever damaged.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stampwise {

struct JournalEntry {
  std::chrono::system_clock::time_point time;
  std::string station;
  std::string tid;        // hex, empty when not read
  std::string epcBefore;  // hex
  std::string bank;       // "res", "epc", "tid", "user"
  int start = 0;          // word
  int length = 0;         // bytes
  std::string value;      // the value text (one byte per character)
  std::string data;       // the bytes that went out, hex; empty when none did
  std::string verify;     // "ok", "mismatch", "off"
  std::string outcome;    // "ok", "failed", "unknown", "mismatch"
  std::string message;    // the status line
};

// The columns, in order; also the keys of a JSON line.
const std::vector<std::string>& JournalColumns();

enum class JournalFormat { kCsv, kJsonLines };
JournalFormat JournalFormatOf(const std::string& path);

// Extended ISO 8601 in local time with milliseconds and the offset:
// "2026-12-09T14:03:07.125+01:00".
std::string IsoLocalTime(std::chrono::system_clock::time_point when);

// One record with its line end; the CSV header line.
std::string JournalRecord(JournalFormat format, const JournalEntry& entry);
std::string JournalHeader();

// Where the last complete record of a journal's content ends (a line end
// outside quotes); everything after it is a record torn by a crash.
std::size_t EndOfCompleteRecords(JournalFormat format, std::string_view content);

// The station name by default: the host name.
std::string DefaultStationName();

class ProductionJournal {
 public:
  // Opens or creates the file, cuts a torn last record and writes the CSV
  // header into an empty file. Nothing, with the reason in `error`, when the
  // file cannot be opened, read or repaired.
  static std::optional<ProductionJournal> Open(const std::string& path, std::string* error);

  ProductionJournal(ProductionJournal&& other) noexcept;
  ProductionJournal& operator=(ProductionJournal&& other) noexcept;
  ProductionJournal(const ProductionJournal&) = delete;
  ProductionJournal& operator=(const ProductionJournal&) = delete;
  ~ProductionJournal();

  const std::string& Path() const { return path_; }
  // Appends the record and flushes it to the disk. False when it did not get
  // there whole (what was written of it is cut back); LastError says why.
  bool Append(const JournalEntry& entry);
  const std::string& LastError() const { return lastError_; }

 private:
  ProductionJournal(int fd, std::string path, JournalFormat format)
      : fd_(fd), path_(std::move(path)), format_(format) {}
  bool AppendBytes(std::string_view bytes);

  int fd_ = -1;
  std::string path_;
  JournalFormat format_ = JournalFormat::kCsv;
  std::string lastError_;
};

}  // namespace stampwise

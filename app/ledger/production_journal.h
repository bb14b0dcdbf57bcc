// The production journal: one line per write attempt (which chip, what it
// carried, what it was meant to get, what went out, and how it ended). CSV
// with a header, or JSON lines when the file name ends in ".jsonl". The lines
// are written from the ledger's settled claims, which are the record that
// survives a crash: a journal whose last lines a crash took is completed from
// the ledger when it is opened again, and a torn last record is cut off, so no
// earlier line is ever damaged. The journal is never read whole.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/base/result.h"

namespace stampwise {

struct JournalEntry {
  std::string time;  // see IsoLocalTime
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

// Where the torn last record of a journal's tail begins (the tail's size
// when the last record is whole). `tail` ends at the file's end and starts
// at a line start; `atFileStart` when it is the whole file.
std::size_t TornTailStart(JournalFormat format, std::string_view tail, bool atFileStart);

// A record of the JSON lines format read back; nothing when it is not one.
std::optional<JournalEntry> ParseJsonRecord(std::string_view line);

// The station name by default: the host name.
std::string DefaultStationName();

class ProductionJournal {
 public:
  // Opens or creates the file, cuts a torn last record and writes the CSV
  // header into an empty file. Fails with the reason when the file cannot be
  // opened, read or repaired, or another program writes it.
  static Result<ProductionJournal> Open(const std::string& path);

  ProductionJournal(ProductionJournal&& other) noexcept;
  ProductionJournal& operator=(ProductionJournal&& other) noexcept;
  ProductionJournal(const ProductionJournal&) = delete;
  ProductionJournal& operator=(const ProductionJournal&) = delete;
  ~ProductionJournal();

  const std::string& Path() const { return path_; }
  JournalFormat Format() const { return format_; }

  // Appends the records that are not at the journal's end already (a crash
  // after they were written, before the ledger knew): `records` in order,
  // the first of them possibly there, and so on.
  bool CatchUp(const std::vector<std::string>& records);
  // Appends one record. A journal that was deleted or replaced meanwhile is
  // begun anew at its path (Restarted says so once). False when the record
  // did not get there whole (what was written of it is cut back); LastError
  // says why.
  bool Append(const std::string& record);
  // True once after Append began a new file.
  bool TakeRestarted();
  const std::string& LastError() const { return lastError_; }

 private:
  ProductionJournal(int fd, std::string path, JournalFormat format)
      : fd_(fd), path_(std::move(path)), format_(format) {}
  bool AppendBytes(std::string_view bytes);
  // The file at the path is still the one this journal writes.
  bool StillOurs() const;
  bool Reopen();

  int fd_ = -1;
  std::string path_;
  JournalFormat format_ = JournalFormat::kCsv;
  std::string lastError_;
  bool restarted_ = false;
};

}  // namespace stampwise

// Every write that reached a tag: counted, kept in memory and, when a file is
// given, appended to it with write(2) before the reply leaves, so another
// process sees each write even when the simulator is killed right after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mkvsim {

using Bytes = std::vector<std::uint8_t>;

struct WriteEntry {
  std::uint32_t tagId = 0;
  int bank = 0;
  std::size_t word = 0;
  Bytes data;
};

// "tag=<id> bank=<n> word=<n> data=<HEX>"
std::string FormatWriteEntry(const WriteEntry& entry);
std::string ToHex(const Bytes& bytes);

class WriteJournal {
 public:
  WriteJournal() = default;
  ~WriteJournal();
  WriteJournal(const WriteJournal&) = delete;
  WriteJournal& operator=(const WriteJournal&) = delete;

  // Opens (creates, appends to) the record file. False with errno set on failure.
  bool OpenFile(const std::string& path);
  // False when the record file could not take the line (the write itself stands).
  bool Add(const WriteEntry& entry);

  std::size_t Count() const { return entries_.size(); }
  const std::vector<WriteEntry>& Entries() const { return entries_; }

 private:
  int fd_ = -1;
  std::vector<WriteEntry> entries_;
};

}  // namespace mkvsim

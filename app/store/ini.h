// INI-style text files held whole in memory: ordered sections with ordered
// keys, comments kept in place, lookups from memory, changes tracked, the
// whole file written back atomically (optionally after a numbered backup).
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "app/base/atomic_file.h"

namespace stampwise {

class CIniEx {
 public:
  struct Section {
    std::string name;
    std::vector<std::string> keys;    // a comment line is a key beginning with ";"
    std::vector<std::string> values;  // same length as keys
  };

  struct SaveOutcome {
    bool ok = true;              // false: nothing written, the store stays dirty
    std::string backupFileName;  // empty unless a backup was made
  };

  static constexpr std::size_t kMaxErrorText = 200;

  CIniEx();
  virtual ~CIniEx();
  CIniEx(const CIniEx&) = delete;
  CIniEx& operator=(const CIniEx&) = delete;

  // Reads the file into the store. Waits while another program holds the
  // file's lock (see SetLockTimeout), then gives up with false. A read error
  // keeps the store empty, stores the error text and still returns true; such
  // a store never writes the file back, so an unreadable file is not lost.
  bool Open(const std::string& fileName, bool writable, bool create, bool ignoreCase, bool backupOnSave);
  void LoadFromText(std::string_view text);

  // Lookups never fail: a missing section or key gives the default.
  std::string GetString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
  int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
  bool HasKey(std::string_view section, std::string_view key) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInt(std::string_view section, std::string_view key, int value);

  SaveOutcome Save(bool backup);
  // Saves a writable store (with its backup-on-save flag) and empties it.
  bool Close();

  // The file image a save writes; lines end with CR LF.
  std::string ToText() const;

  bool IsDirty() const { return dirty_; }
  void MarkClean() { dirty_ = false; }
  const std::string& LastError() const { return lastError_; }
  bool ReadFailed() const { return readFailed_; }
  const std::string& FileName() const { return fileName_; }
  const std::vector<Section>& Sections() const { return sections_; }
  void SetIgnoreCase(bool ignoreCase) { ignoreCase_ = ignoreCase; }
  void SetLockTimeout(std::chrono::milliseconds timeout) { lockTimeout_ = timeout; }

 private:
  bool NamesEqual(std::string_view a, std::string_view b) const;
  const Section* FindSection(std::string_view name) const;
  Section* FindSection(std::string_view name);
  static int FindKey(const Section& section, std::string_view key, bool ignoreCase);
  void Discard();
  void SetLastError(const std::string& text);
  std::string NextBackupName() const;

  std::string lastError_;
  std::vector<Section> sections_;
  int lastSection_ = 0;
  std::string pendingName_;  // header read, waiting for the section's first line
  bool ignoreCase_ = true;
  bool saveOnClose_ = false;
  std::string backupFileName_;
  std::string fileName_;
  bool backupOnSave_ = false;
  bool dirty_ = false;
  bool readFailed_ = false;
  std::chrono::milliseconds lockTimeout_ = FileLock::kDefaultTimeout;
};

// The store the program uses: case-insensitive names, opened for writing and
// created when missing.
class CPrivateProfile : public CIniEx {
 public:
  CPrivateProfile() = default;
  explicit CPrivateProfile(const std::string& fileName);
};

}  // namespace stampwise

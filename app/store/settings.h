// The tool's remembered working state: sections "Settings", "Protokoll",
// "MainWnd", "Port" and "Version" of the per-user settings file, read and
// written by the key table (settings_keys.h), and the load and save sets.
#pragma once

#include <chrono>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/base/atomic_file.h"
#include "app/base/params.h"
#include "app/base/paths.h"
#include "app/gs1/gs1_job.h"
#include "app/store/ini.h"
#include "app/store/settings_keys.h"
#include "app/store/settings_profile.h"

namespace stampwise {

// Range of the cycle period ("ZyklusZeit"): a stored value outside it is
// brought into it when loaded (0 would fire on every pass of the event loop).
inline constexpr int kMinCycleTimeMs = 100;
inline constexpr int kMaxCycleTimeMs = 10000;

// "Res", "EPC", "TID", "User", matched exactly; anything else is unknown.
std::optional<Bank> BankFromMemoryType(std::string_view text);
const char* MemoryTypeText(Bank bank);

struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const WindowRect&) const = default;
};

// Where the main window goes at start: nothing when the saved rectangle has
// no width (keep the default position); otherwise the saved rectangle moved,
// not resized, into the bounding rectangle of the screens.
std::optional<WindowRect> PlaceSavedWindow(const WindowRect& saved, const std::vector<WindowRect>& screens);

struct LogFileSettings {
  std::string writeLogFile;  // "LogFileNameSchreiben"
  std::string readLogFile;   // "LogFileNameLesen"
  bool writeLogEnabled = false;
  bool readLogEnabled = false;
};

// What the main dialog loads at creation and saves at its end.
struct AppSettings {
  ParameterSet params;
  WriteOptions options;
  int beepTimeMs = 300;  // loaded, written only by WriteTimings
  int cycleTimeMs = 250;
  LogFileSettings logs;  // names are loaded; saving writes only the flags
  WindowRect window;     // saved; read at start with ReadWindowRect
};

// Section "GS1": the GS1 panel as typed and the job's next tag URI.
struct Gs1Settings {
  bool enabled = false;  // GS1 EPC chosen instead of the six formats
  Gs1Inputs inputs;
  bool increment = true;
  std::string nextUri;  // "NextUri": the tag URI for the next tag
};

// The load set over a store in memory: reads with the defaults and writes the
// missing keys back into the store. logDirectory ends with "/".
AppSettings LoadSettingsFrom(CIniEx& ini, const std::string& logDirectory);
// The save set into a store in memory.
void SaveSettingsTo(CIniEx& ini, const AppSettings& settings);

// The first line of a settings file that is no section, key, comment or
// blank line (a file that is something else altogether); nothing when the
// file is sound or missing. Such a file is not used: its defaults would
// restart every job from scratch.
std::optional<int> DamagedSettingsLine(const std::string& fileName);

// The settings file. Reads answer from memory and pick up changes that other
// programs saved; each write is one locked read-modify-write of the file,
// saved atomically before it returns, so nothing written is lost to a crash
// or to another instance writing other keys. Not for use from two threads.
class Settings {
 public:
  // `fileName` kRegistryProfile: the registry profile where there is one.
  explicit Settings(std::string fileName = DefaultSettingsFile(), std::string logDirectory = DefaultLogDirectory());
  ~Settings();
  Settings(Settings&&) noexcept;
  Settings& operator=(Settings&&) noexcept;

  const std::string& FileName() const { return fileName_; }
  const std::string& LogDirectory() const { return logDirectory_; }
  std::chrono::milliseconds LockTimeout() const { return lockTimeout_; }
  const std::string& LastError() const { return lastError_; }
  void SetLockTimeout(std::chrono::milliseconds timeout) { lockTimeout_ = timeout; }

  // The four store operations. Writes return false when the file could not
  // be saved (see LastError).
  int ReadInt(std::string_view sectionName, std::string_view key, int defaultValue);
  std::string ReadString(std::string_view sectionName, std::string_view key, std::string_view defaultValue);
  bool WriteInt(std::string_view sectionName, std::string_view key, int value);
  bool WriteString(std::string_view sectionName, std::string_view key, std::string_view value);
  // The same by the key table: reads with the entry's default, never written back.
  int ReadInt(const SettingKey& key) { return ReadInt(key.section, key.name, key.number); }
  std::string ReadString(const SettingKey& key) { return ReadString(key.section, key.name, key.text); }
  bool WriteInt(const SettingKey& key, int value) { return WriteInt(key.section, key.name, value); }
  bool WriteString(const SettingKey& key, std::string_view value) { return WriteString(key.section, key.name, value); }

  // Several writes in one locked read-modify-write of the file, saved once.
  bool WriteBatch(const std::function<void(CIniEx&)>& change);

  // A key that follows the ledger ("LastData", "NextUri"): `value` is
  // written unless the stored one is ahead of it (another program's job went
  // further). Saved without a flush: the ledger, not this file, is what
  // survives a power cut.
  bool FollowKey(const SettingKey& key, const std::string& value,
                 const std::function<bool(const std::string& stored)>& storedAhead);
  // A value given back: `value` replaces the stored key only while it still
  // holds `ahead`, what this program stored when it took the value.
  bool PutBackKey(const SettingKey& key, const std::string& ahead, const std::string& value);

  // Load set (all of "Settings" but "Sprache", plus "Protokoll"); missing
  // keys are written back at once.
  AppSettings Load();
  // Save set, incl. the log flags and the window rectangle.
  bool Save(const AppSettings& settings);

  // Section "GS1". Saving keeps a stored "NextUri" that is further on the
  // same item (another program's job went on).
  Gs1Settings LoadGs1();
  bool SaveGs1(const Gs1Settings& gs1);
  int ReadLanguage();  // "Sprache", 0 German, >0 English
  bool WriteLanguage(int language);
  bool WriteTimings(int beepTimeMs, int cycleTimeMs);
  int ReadBeepTime();   // 300 when missing, written back
  int ReadCycleTime();  // 250 when missing, written back
  int ReadLeaseSize();  // "Ledger"/"Blockgroesse", 100 when missing, brought into 1..100000
  bool WriteWriteLogFile(std::string_view path);
  bool WriteReadLogFile(std::string_view path);
  WindowRect ReadWindowRect();
  bool ReadUpdateCheck();  // "Version"/"Update", default on
  bool WriteUpdateCheck(bool enabled);
  int ReadPortTimeout();   // "Port"/"Timeout", default 500 ms
  int ReadPortBaudrate();  // "Port"/"Baudrate", default 19200

 private:
  template <typename Change>
  bool Update(Change&& change);
  void Refresh();
  // True when the stored "LastData" (in *stored) was changed by another program.
  bool ForeignLastData(const CIniEx& ini, std::string* stored) const;
  // A number with the sentinel rule, written back when missing.
  int ReadNumber(const SettingKey& key, int low = std::numeric_limits<int>::min(),
                 int high = std::numeric_limits<int>::max());

  std::string fileName_;
  std::string logDirectory_;
  std::unique_ptr<SettingsProfile> profile_;
  std::unique_ptr<CIniEx> ini_;
  // "LastData" as this store last loaded, saved or handed it out; a stored
  // value that differs was written by another program.
  std::optional<std::string> lastDataSeen_;
  std::optional<std::string> nextUriSeen_;  // the same for "GS1"/"NextUri"
  std::string lastError_;
  std::chrono::milliseconds lockTimeout_ = FileLock::kDefaultTimeout;
  bool synced_ = true;  // saves are flushed to the disk
};

}  // namespace stampwise

#include "app/settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <system_error>

namespace stampwise {

namespace {

constexpr int kFlagSentinel = 255;
constexpr int kNumberSentinel = -1;
constexpr std::array<const char*, 4> kMemoryTypes{"Res", "EPC", "TID", "User"};
constexpr const char* kDefaultPassword = "3C5A9E71";

// Reads of one section that apply the sentinel rule: a missing (or
// unreadable) key gives the real default, written back when asked.
class SectionReader {
 public:
  SectionReader(CIniEx& ini, const char* name) : ini_(ini), name_(name) {}

  bool Flag(const char* key, bool defaultValue) {
    return Sentinel(key, kFlagSentinel, defaultValue ? 1 : 0) != 0;
  }
  int Number(const char* key, int defaultValue) { return Sentinel(key, kNumberSentinel, defaultValue); }
  // A number that must lie within limits: one outside them is brought to the
  // nearest limit and written back.
  int NumberIn(const char* key, int defaultValue, int low, int high) {
    const int value = Number(key, defaultValue);
    const int bounded = std::clamp(value, low, high);
    if (bounded != value) ini_.WriteInt(name_, key, bounded);
    return bounded;
  }
  // Keys that are not written back until the save set stores them.
  bool PlainFlag(const char* key) { return ini_.GetInt(name_, key, 0) != 0; }
  // A missing or empty text gives the default, which is written back.
  std::string Text(const char* key, const std::string& defaultValue) {
    std::string value = ini_.GetString(name_, key, "");
    if (value.empty()) {
      value = defaultValue;
      ini_.WriteString(name_, key, value);
    }
    return value;
  }

 private:
  int Sentinel(const char* key, int sentinel, int defaultValue) {
    int value = ini_.GetInt(name_, key, sentinel);
    if (value != sentinel) return value;
    ini_.WriteInt(name_, key, defaultValue);
    return defaultValue;
  }

  CIniEx& ini_;
  const char* name_;
};

int Saturate(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

}  // namespace

std::optional<Bank> BankFromMemoryType(std::string_view text) {
  for (std::size_t index = 0; index < kMemoryTypes.size(); ++index) {
    if (text == kMemoryTypes[index]) return static_cast<Bank>(index);
  }
  return std::nullopt;
}

const char* MemoryTypeText(Bank bank) {
  auto index = static_cast<std::size_t>(bank);
  return index < kMemoryTypes.size() ? kMemoryTypes[index] : "User";
}

std::optional<WindowRect> PlaceSavedWindow(const WindowRect& saved,
                                           const std::vector<WindowRect>& screens) {
  // Stored numbers may be anything; compute wide so that nothing overflows.
  std::int64_t left = saved.left, top = saved.top, right = saved.right, bottom = saved.bottom;
  if (right - left <= 0) return std::nullopt;

  bool any = false;
  std::int64_t boundLeft = 0, boundTop = 0, boundRight = 0, boundBottom = 0;
  for (const auto& screen : screens) {
    if (screen.right <= screen.left || screen.bottom <= screen.top) continue;
    boundLeft = any ? std::min<std::int64_t>(boundLeft, screen.left) : screen.left;
    boundTop = any ? std::min<std::int64_t>(boundTop, screen.top) : screen.top;
    boundRight = any ? std::max<std::int64_t>(boundRight, screen.right) : screen.right;
    boundBottom = any ? std::max<std::int64_t>(boundBottom, screen.bottom) : screen.bottom;
    any = true;
  }
  if (!any) return saved;

  auto shift = [](std::int64_t& low, std::int64_t& high, std::int64_t by) {
    low += by;
    high += by;
  };
  if (left < boundLeft) shift(left, right, boundLeft - left);
  if (top < boundTop) shift(top, bottom, boundTop - top);
  if (right > boundRight) shift(left, right, boundRight - right);
  if (bottom > boundBottom) shift(top, bottom, boundBottom - bottom);
  return WindowRect{Saturate(left), Saturate(top), Saturate(right), Saturate(bottom)};
}

AppSettings LoadSettingsFrom(CIniEx& ini, const std::string& logDirectory) {
  AppSettings loaded;
  SectionReader settings(ini, section::kSettings);
  loaded.beepTimeMs = settings.Number("BeepTime", 300);
  loaded.cycleTimeMs = settings.NumberIn("ZyklusZeit", 250, kMinCycleTimeMs, kMaxCycleTimeMs);
  loaded.params.value = settings.Text("LastData", "0");
  loaded.params.autoIncrementDec = settings.Flag("AutoIncrement", true);
  loaded.params.autoIncrementHex = settings.Flag("AutoIncHex", true);
  loaded.params.leadingZeros = settings.Flag("AutoNull", false);
  loaded.params.additionalText = settings.Flag("PrefixZulassen", false);
  int format = settings.Number("Datenformat", 0);
  if (format < 0 || format > 5) {
    // A format the tool does not know would index past its tables.
    format = 0;
    ini.WriteInt(section::kSettings, "Datenformat", format);
  }
  loaded.params.format = static_cast<DataFormat>(format);
  loaded.params.msbFirst = settings.Flag("MSBFirst", true);

  auto bank = BankFromMemoryType(ini.GetString(section::kSettings, "MemoryType", ""));
  if (!bank) {
    bank = Bank::User;
    ini.WriteString(section::kSettings, "MemoryType", MemoryTypeText(Bank::User));
  }
  loaded.params.bank = *bank;

  loaded.options.epcLengthFix = settings.PlainFlag("EPCLenKorrigieren");
  loaded.params.startWord = settings.Number("Startblock", 0);
  loaded.params.lengthBytes = settings.Number("Byteanzahl", 4);
  loaded.options.setPassword = settings.Flag("PasswortSetzen", false);
  loaded.options.activatePassword = settings.Flag("PasswortAktivieren", false);
  loaded.options.accessPassword = settings.Text("AccessPasswort", kDefaultPassword);

  SectionReader log(ini, section::kLog);
  loaded.logs.writeLogFile = log.Text("LogFileNameSchreiben", logDirectory + kWriteLogFileName);
  loaded.logs.readLogFile = log.Text("LogFileNameLesen", logDirectory + kReadLogFileName);
  loaded.logs.writeLogEnabled = log.PlainFlag("LogFileEnableSchreiben");
  loaded.logs.readLogEnabled = log.PlainFlag("LogFileEnableLesen");
  return loaded;
}

void SaveSettingsTo(CIniEx& ini, const AppSettings& settings) {
  const ParameterSet& params = settings.params;
  const WriteOptions& options = settings.options;
  const char* name = section::kSettings;
  ini.WriteInt(name, "ZyklusZeit", settings.cycleTimeMs);
  ini.WriteString(name, "LastData", params.value);
  ini.WriteInt(name, "AutoIncrement", params.autoIncrementDec ? 1 : 0);
  ini.WriteInt(name, "AutoIncHex", params.autoIncrementHex ? 1 : 0);
  ini.WriteInt(name, "AutoNull", params.leadingZeros ? 1 : 0);
  ini.WriteInt(name, "PrefixZulassen", params.additionalText ? 1 : 0);
  ini.WriteInt(name, "Byteanzahl", params.lengthBytes);
  ini.WriteInt(name, "Startblock", params.startWord);
  ini.WriteString(name, "MemoryType", MemoryTypeText(params.bank));
  ini.WriteInt(name, "EPCLenKorrigieren", options.epcLengthFix ? 1 : 0);
  ini.WriteInt(name, "Datenformat", static_cast<int>(params.format));
  ini.WriteInt(name, "MSBFirst", params.msbFirst ? 1 : 0);
  ini.WriteInt(name, "PasswortSetzen", options.setPassword ? 1 : 0);
  ini.WriteInt(name, "PasswortAktivieren", options.activatePassword ? 1 : 0);
  ini.WriteString(name, "AccessPasswort", options.accessPassword);
  ini.WriteInt(section::kLog, "LogFileEnableSchreiben", settings.logs.writeLogEnabled ? 1 : 0);
  ini.WriteInt(section::kLog, "LogFileEnableLesen", settings.logs.readLogEnabled ? 1 : 0);
  ini.WriteInt(section::kMainWindow, "left", settings.window.left);
  ini.WriteInt(section::kMainWindow, "top", settings.window.top);
  ini.WriteInt(section::kMainWindow, "right", settings.window.right);
  ini.WriteInt(section::kMainWindow, "bottom", settings.window.bottom);
}

Settings::Settings(std::string fileName, std::string logDirectory)
    : fileName_(std::move(fileName)),
      logDirectory_(std::move(logDirectory)),
      ini_(std::make_unique<CIniEx>()) {}

void Settings::Refresh() {
  auto now = IdentityOfPath(fileName_);
  if (now == seen_) return;
  ini_ = std::make_unique<CIniEx>();
  seen_.reset();
  int fd = OpenRegularFile(fileName_, O_RDONLY);
  if (fd < 0) return;  // missing or unreadable: every key gives its default
  std::string content;
  if (ReadAllFromDescriptor(fd, &content, &lastError_)) {
    ini_->LoadFromText(content);
    seen_ = IdentityOfDescriptor(fd);
  }
  ::close(fd);
}

template <typename Change>
bool Settings::Update(Change&& change) {
  std::error_code ignored;
  auto folder = std::filesystem::path(fileName_).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ignored);

  auto lock = FileLock::Acquire(fileName_, true, true, lockTimeout_, &lastError_);
  if (!lock) return false;
  // Another program may have saved since we last looked: start from its
  // file, always. Its identity is no proof of "unchanged": a file system
  // reuses a freed inode, and two saves within one clock tick of the same
  // size look alike, which would let a stale "LastData" hand out a value
  // twice.
  auto held = IdentityOfDescriptor(lock->Descriptor());
  std::string content;
  if (!ReadAllFromDescriptor(lock->Descriptor(), &content, &lastError_)) {
    seen_.reset();
    return false;  // never overwrite what we could not read
  }
  ini_ = std::make_unique<CIniEx>();
  ini_->LoadFromText(content);
  seen_ = held;
  change(*ini_);
  if (!ini_->IsDirty()) return true;
  if (!ReplaceFileAtomically(fileName_, ini_->ToText(), &lastError_)) {
    seen_.reset();  // reload on the next access; memory holds unsaved changes
    return false;
  }
  ini_->MarkClean();
  seen_ = IdentityOfPath(fileName_);
  return true;
}

int Settings::ReadInt(std::string_view sectionName, std::string_view key, int defaultValue) {
  Refresh();
  return ini_->GetInt(sectionName, key, defaultValue);
}

std::string Settings::ReadString(std::string_view sectionName, std::string_view key,
                                 std::string_view defaultValue) {
  Refresh();
  return ini_->GetString(sectionName, key, defaultValue);
}

bool Settings::WriteInt(std::string_view sectionName, std::string_view key, int value) {
  return Update([&](CIniEx& ini) { ini.WriteInt(sectionName, key, value); });
}

bool Settings::WriteString(std::string_view sectionName, std::string_view key,
                           std::string_view value) {
  return Update([&](CIniEx& ini) { ini.WriteString(sectionName, key, value); });
}

AppSettings Settings::Load() {
  AppSettings loaded;
  bool saved = Update([&](CIniEx& ini) { loaded = LoadSettingsFrom(ini, logDirectory_); });
  if (!saved) {
    // The file cannot be written: still run with what can be read.
    Refresh();
    CIniEx copy;
    copy.LoadFromText(ini_->ToText());
    loaded = LoadSettingsFrom(copy, logDirectory_);
  }
  lastDataSeen_ = loaded.params.value;
  return loaded;
}

bool Settings::ForeignLastData(const CIniEx& ini, std::string* stored) const {
  *stored = ini.GetString(section::kSettings, "LastData", "");
  return lastDataSeen_ && !stored->empty() && *stored != *lastDataSeen_;
}

bool Settings::Save(const AppSettings& settings) {
  std::string kept;
  const bool saved = Update([&](CIniEx& ini) {
    // A value another program moved on is newer than ours: writing ours back
    // would hand its values out a second time.
    std::string stored;
    if (ForeignLastData(ini, &stored)) {
      AppSettings copy = settings;
      copy.params.value = stored;
      SaveSettingsTo(ini, copy);
      kept = stored;
    } else {
      SaveSettingsTo(ini, settings);
      kept = settings.params.value;
    }
  });
  if (saved) lastDataSeen_ = kept;
  return saved;
}

bool Settings::StoreLastData(std::string_view value) {
  const bool saved = WriteString(section::kSettings, "LastData", value);
  if (saved) lastDataSeen_ = std::string(value);
  return saved;
}

Settings::Take Settings::TakeLastData(
    std::string& value, const std::function<std::optional<std::string>(const std::string&)>& next) {
  bool refused = false;
  std::string after;
  const bool saved = Update([&](CIniEx& ini) {
    std::string stored;
    if (ForeignLastData(ini, &stored)) value = stored;
    const std::optional<std::string> following = next(value);
    if (!following) {
      refused = true;
      return;
    }
    after = *following;
    ini.WriteString(section::kSettings, "LastData", after);
  });
  if (!saved) return Take::kStoreFailed;
  // A refused stored value has been seen all the same: the operator's next
  // value then wins over it.
  lastDataSeen_ = refused ? value : after;
  return refused ? Take::kRefused : Take::kTaken;
}

bool Settings::PutBackLastData(std::string_view value, std::string_view next) {
  bool putBack = false;
  const bool saved = Update([&](CIniEx& ini) {
    if (ini.GetString(section::kSettings, "LastData", "") != next) return;
    ini.WriteString(section::kSettings, "LastData", value);
    putBack = true;
  });
  if (saved && putBack) lastDataSeen_ = std::string(value);
  return saved && putBack;
}

int Settings::ReadLanguage() { return ReadInt(section::kSettings, "Sprache", 0); }

bool Settings::WriteLanguage(int language) {
  return WriteInt(section::kSettings, "Sprache", language);
}

bool Settings::WriteTimings(int beepTimeMs, int cycleTimeMs) {
  return Update([&](CIniEx& ini) {
    ini.WriteInt(section::kSettings, "BeepTime", beepTimeMs);
    ini.WriteInt(section::kSettings, "ZyklusZeit", cycleTimeMs);
  });
}

int Settings::ReadNumber(const char* sectionName, const char* key, int defaultValue, int low, int high) {
  int value = defaultValue;
  auto read = [&](CIniEx& ini) { value = SectionReader(ini, sectionName).NumberIn(key, defaultValue, low, high); };
  if (!Update(read)) {
    // The file cannot be written back: answer from what can be read.
    Refresh();
    CIniEx copy;
    copy.LoadFromText(ini_->ToText());
    read(copy);
  }
  return value;
}

int Settings::ReadBeepTime() { return ReadNumber(section::kSettings, "BeepTime", 300); }

int Settings::ReadCycleTime() {
  return ReadNumber(section::kSettings, "ZyklusZeit", 250, kMinCycleTimeMs, kMaxCycleTimeMs);
}

bool Settings::WriteWriteLogFile(std::string_view path) {
  return WriteString(section::kLog, "LogFileNameSchreiben", path);
}

bool Settings::WriteReadLogFile(std::string_view path) {
  return WriteString(section::kLog, "LogFileNameLesen", path);
}

WindowRect Settings::ReadWindowRect() {
  Refresh();
  return WindowRect{ini_->GetInt(section::kMainWindow, "left", 0),
                    ini_->GetInt(section::kMainWindow, "top", 0),
                    ini_->GetInt(section::kMainWindow, "right", 0),
                    ini_->GetInt(section::kMainWindow, "bottom", 0)};
}

bool Settings::ReadUpdateCheck() { return ReadInt(section::kVersion, "Update", 1) != 0; }

bool Settings::WriteUpdateCheck(bool enabled) {
  return WriteInt(section::kVersion, "Update", enabled ? 1 : 0);
}

int Settings::ReadPortTimeout() { return ReadInt(section::kPort, "Timeout", 500); }

int Settings::ReadPortBaudrate() { return ReadInt(section::kPort, "Baudrate", 19200); }

}  // namespace stampwise

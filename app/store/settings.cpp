#include "app/store/settings.h"

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

// Reads by the key table. A key written back when missing is read with a
// sentinel (255 for flags, -1 for numbers), so that a missing or unreadable
// key gives the real default and is written back; any other key is read
// with its default and only appears when the save set stores it.
class KeyReader {
 public:
  explicit KeyReader(CIniEx& ini) : ini_(ini) {}

  bool Flag(const SettingKey& key) { return Number(key) != 0; }
  int Number(const SettingKey& key) {
    if (!key.writtenBack) return ini_.GetInt(key.section, key.name, key.number);
    const int sentinel = key.type == KeyType::kFlag ? kFlagSentinel : kNumberSentinel;
    const int value = ini_.GetInt(key.section, key.name, sentinel);
    if (value != sentinel) return value;
    WriteKey(ini_, key, key.number);
    return key.number;
  }
  // A number that must lie within limits: one outside them is brought to the
  // nearest limit and written back.
  int NumberIn(const SettingKey& key, int low, int high) {
    const int value = Number(key);
    const int bounded = std::clamp(value, low, high);
    if (bounded != value) WriteKey(ini_, key, bounded);
    return bounded;
  }
  // A missing or empty text gives the default (the entry's, unless the
  // caller knows better), written back when the table says so.
  std::string Text(const SettingKey& key) { return Text(key, key.text); }
  std::string Text(const SettingKey& key, const std::string& defaultValue) {
    std::string value = StoredText(ini_, key);
    if (value.empty()) {
      value = defaultValue;
      if (key.writtenBack) WriteKey(ini_, key, value);
    }
    return value;
  }

 private:
  CIniEx& ini_;
};

void WriteFlag(CIniEx& ini, const SettingKey& key, bool on) { WriteKey(ini, key, on ? 1 : 0); }

int Saturate(std::int64_t value) {
  return static_cast<int>(
      std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

std::optional<Bank> BankFromMemoryType(std::string_view text) {
  for (const BankName& name : kBankNames) {
    if (text == name.stored) return name.bank;
  }
  return std::nullopt;
}

const char* MemoryTypeText(Bank bank) { return NamesOf(bank).stored; }

std::optional<WindowRect> PlaceSavedWindow(const WindowRect& saved, const std::vector<WindowRect>& screens) {
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
  using namespace keys;
  AppSettings loaded;
  KeyReader read(ini);
  loaded.beepTimeMs = read.Number(kBeepTime);
  loaded.cycleTimeMs = read.NumberIn(kCycleTime, kMinCycleTimeMs, kMaxCycleTimeMs);
  loaded.params.value = read.Text(kLastData);
  loaded.params.autoIncrementDec = read.Flag(kAutoIncrement);
  loaded.params.autoIncrementHex = read.Flag(kAutoIncHex);
  loaded.params.leadingZeros = read.Flag(kAutoNull);
  loaded.params.additionalText = read.Flag(kPrefixZulassen);
  int format = read.Number(kDatenformat);
  if (format < 0 || format > 5) {
    // A format the tool does not know would index past its tables.
    format = kDatenformat.number;
    WriteKey(ini, kDatenformat, format);
  }
  loaded.params.format = static_cast<DataFormat>(format);
  loaded.params.msbFirst = read.Flag(kMsbFirst);

  auto bank = BankFromMemoryType(StoredText(ini, kMemoryType));
  if (!bank) {
    bank = BankFromMemoryType(kMemoryType.text);
    WriteKey(ini, kMemoryType, kMemoryType.text);
  }
  loaded.params.bank = *bank;

  loaded.options.epcLengthFix = read.Flag(kEpcLenKorrigieren);
  loaded.params.startWord = read.Number(kStartblock);
  loaded.params.lengthBytes = read.Number(kByteanzahl);
  loaded.options.setPassword = read.Flag(kPasswortSetzen);
  loaded.options.activatePassword = read.Flag(kPasswortAktivieren);
  loaded.options.accessPassword = read.Text(kAccessPasswort);

  loaded.logs.writeLogFile = read.Text(kWriteLogFile, logDirectory + kWriteLogFile.text);
  loaded.logs.readLogFile = read.Text(kReadLogFile, logDirectory + kReadLogFile.text);
  loaded.logs.writeLogEnabled = read.Flag(kWriteLogEnabled);
  loaded.logs.readLogEnabled = read.Flag(kReadLogEnabled);
  return loaded;
}

void SaveSettingsTo(CIniEx& ini, const AppSettings& settings) {
  using namespace keys;
  const ParameterSet& params = settings.params;
  const WriteOptions& options = settings.options;
  WriteKey(ini, kCycleTime, settings.cycleTimeMs);
  WriteKey(ini, kLastData, params.value);
  WriteFlag(ini, kAutoIncrement, params.autoIncrementDec);
  WriteFlag(ini, kAutoIncHex, params.autoIncrementHex);
  WriteFlag(ini, kAutoNull, params.leadingZeros);
  WriteFlag(ini, kPrefixZulassen, params.additionalText);
  WriteKey(ini, kByteanzahl, params.lengthBytes);
  WriteKey(ini, kStartblock, params.startWord);
  WriteKey(ini, kMemoryType, MemoryTypeText(params.bank));
  WriteFlag(ini, kEpcLenKorrigieren, options.epcLengthFix);
  WriteKey(ini, kDatenformat, static_cast<int>(params.format));
  WriteFlag(ini, kMsbFirst, params.msbFirst);
  WriteFlag(ini, kPasswortSetzen, options.setPassword);
  WriteFlag(ini, kPasswortAktivieren, options.activatePassword);
  WriteKey(ini, kAccessPasswort, options.accessPassword);
  WriteFlag(ini, kWriteLogEnabled, settings.logs.writeLogEnabled);
  WriteFlag(ini, kReadLogEnabled, settings.logs.readLogEnabled);
  WriteKey(ini, kWindowLeft, settings.window.left);
  WriteKey(ini, kWindowTop, settings.window.top);
  WriteKey(ini, kWindowRight, settings.window.right);
  WriteKey(ini, kWindowBottom, settings.window.bottom);
}

Settings::Settings(std::string fileName, std::string logDirectory)
    : fileName_(std::move(fileName)), logDirectory_(std::move(logDirectory)), ini_(std::make_unique<CIniEx>()) {
  if (fileName_ == kRegistryProfile) profile_ = OpenRegistryProfile();
  if (!profile_) profile_ = OpenFileProfile(fileName_);
}

Settings::~Settings() = default;
Settings::Settings(Settings&&) noexcept = default;
Settings& Settings::operator=(Settings&&) noexcept = default;

void Settings::Refresh() {
  auto fresh = std::make_unique<CIniEx>();
  if (profile_->Reload(*fresh, lastError_)) ini_ = std::move(fresh);
}

template <typename Change>
bool Settings::Update(Change&& change) {
  ini_ = std::make_unique<CIniEx>();
  return profile_->Update(*ini_, change, synced_, lockTimeout_, lastError_);
}

int Settings::ReadInt(std::string_view sectionName, std::string_view key, int defaultValue) {
  Refresh();
  return ini_->GetInt(sectionName, key, defaultValue);
}

std::string Settings::ReadString(std::string_view sectionName, std::string_view key, std::string_view defaultValue) {
  Refresh();
  return ini_->GetString(sectionName, key, defaultValue);
}

bool Settings::WriteInt(std::string_view sectionName, std::string_view key, int value) {
  return Update([&](CIniEx& ini) { ini.WriteInt(sectionName, key, value); });
}

bool Settings::WriteString(std::string_view sectionName, std::string_view key, std::string_view value) {
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
  *stored = StoredText(ini, keys::kLastData);
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

namespace {

// True when the stored "NextUri" went further than `ours`: the same item
// (every component but the one that counts) with a higher serial.
bool StoredUriAhead(const std::string& stored, const std::string& ours) {
  const Result<gs1::TagEpc> a = gs1::ParseTagUri(stored);
  const Result<gs1::TagEpc> b = gs1::ParseTagUri(ours);
  if (!a || !b) return !b && a;  // a URI of ours that cannot be read gives way
  const gs1::TagEpc& x = a.value();
  const gs1::TagEpc& y = b.value();
  if (x.scheme != y.scheme || x.parts.size() != y.parts.size() || x.parts.empty()) return false;
  if (!std::equal(x.parts.begin(), x.parts.end() - 1, y.parts.begin())) return false;
  const auto significant = [](const std::string& digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? std::string() : digits.substr(first);
  };
  const std::string their = significant(x.parts.back());
  const std::string own = significant(y.parts.back());
  return their.size() != own.size() ? their.size() > own.size() : their > own;
}

}  // namespace

Gs1Settings Settings::LoadGs1() {
  using namespace keys;
  Refresh();
  Gs1Settings gs1;
  const CIniEx& ini = *ini_;
  auto text = [&](const SettingKey& key) { return ini.GetString(key.section, key.name, key.text); };
  gs1.enabled = ini.GetInt(kGs1Enabled.section, kGs1Enabled.name, kGs1Enabled.number) != 0;
  gs1.inputs.scheme = text(kGs1Scheme);
  gs1.inputs.filter = text(kGs1Filter);
  gs1.inputs.companyDigits = text(kGs1CompanyDigits);
  gs1.inputs.identifier = text(kGs1Identifier);
  gs1.inputs.serial = text(kGs1NextSerial);
  gs1.increment = ini.GetInt(kGs1Increment.section, kGs1Increment.name, kGs1Increment.number) != 0;
  gs1.nextUri = text(kGs1NextUri);
  nextUriSeen_ = gs1.nextUri;
  return gs1;
}

bool Settings::SaveGs1(const Gs1Settings& gs1) {
  using namespace keys;
  std::string kept;
  const bool saved = Update([&](CIniEx& ini) {
    const std::string stored = StoredText(ini, kGs1NextUri);
    // Another program's job went further on the same item: its URI stays
    // (the ledger, not this file, decides what comes next).
    kept = StoredUriAhead(stored, gs1.nextUri) ? stored : gs1.nextUri;
    Gs1Inputs inputs = gs1.inputs;
    if (kept != gs1.nextUri) {
      // Another program moved the numbering on: the panel's serial follows it.
      if (const Result<gs1::TagEpc> epc = gs1::ParseTagUri(kept)) inputs.serial = InputsFromEpc(epc.value()).serial;
    }
    WriteKey(ini, kGs1Enabled, gs1.enabled ? 1 : 0);
    WriteKey(ini, kGs1Scheme, inputs.scheme);
    WriteKey(ini, kGs1Filter, inputs.filter);
    WriteKey(ini, kGs1CompanyDigits, inputs.companyDigits);
    WriteKey(ini, kGs1Identifier, inputs.identifier);
    WriteKey(ini, kGs1NextSerial, inputs.serial);
    WriteKey(ini, kGs1Increment, gs1.increment ? 1 : 0);
    WriteKey(ini, kGs1NextUri, kept);
  });
  if (saved) nextUriSeen_ = kept;
  return saved;
}

bool Settings::WriteBatch(const std::function<void(CIniEx&)>& change) { return Update(change); }

std::optional<int> DamagedSettingsLine(const std::string& fileName) {
  const int fd = OpenRegularFile(fileName, O_RDONLY);
  if (fd < 0) return std::nullopt;
  const Result<std::string> read = ReadAllFromDescriptor(fd);
  ::close(fd);
  if (!read) return 1;
  const std::string& content = read.value();
  int number = 0;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string_view line(content.data() + start, end - start);
    ++number;
    start = end + 1;
    if (number == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.find('\0') != std::string_view::npos) return number;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[' && line.back() == ']') continue;
    if (line.find('=') != std::string_view::npos && line.front() != '=') continue;
    return number;
  }
  return std::nullopt;
}

bool Settings::FollowKey(const SettingKey& key, const std::string& value,
                         const std::function<bool(const std::string& stored)>& storedAhead) {
  synced_ = false;
  std::string kept;
  const bool saved = Update([&](CIniEx& ini) {
    const std::string stored = StoredText(ini, key);
    kept = !stored.empty() && storedAhead(stored) ? stored : value;
    if (kept != stored) WriteKey(ini, key, kept);
  });
  synced_ = true;
  if (saved && &key == &keys::kLastData) lastDataSeen_ = kept;
  if (saved && &key == &keys::kGs1NextUri) nextUriSeen_ = kept;
  return saved;
}

bool Settings::PutBackKey(const SettingKey& key, const std::string& ahead, const std::string& value) {
  synced_ = false;
  bool replaced = false;
  const bool saved = Update([&](CIniEx& ini) {
    replaced = StoredText(ini, key) == ahead;
    if (replaced) WriteKey(ini, key, value);
  });
  synced_ = true;
  if (saved && replaced && &key == &keys::kLastData) lastDataSeen_ = value;
  if (saved && replaced && &key == &keys::kGs1NextUri) nextUriSeen_ = value;
  return saved;
}

int Settings::ReadLanguage() { return ReadInt(keys::kLanguage); }

bool Settings::WriteLanguage(int language) { return WriteInt(keys::kLanguage, language); }

bool Settings::WriteTimings(int beepTimeMs, int cycleTimeMs) {
  return Update([&](CIniEx& ini) {
    WriteKey(ini, keys::kBeepTime, beepTimeMs);
    WriteKey(ini, keys::kCycleTime, cycleTimeMs);
  });
}

int Settings::ReadNumber(const SettingKey& key, int low, int high) {
  int value = key.number;
  auto read = [&](CIniEx& ini) { value = KeyReader(ini).NumberIn(key, low, high); };
  if (!Update(read)) {
    // The file cannot be written back: answer from what can be read.
    Refresh();
    CIniEx copy;
    copy.LoadFromText(ini_->ToText());
    read(copy);
  }
  return value;
}

int Settings::ReadBeepTime() { return ReadNumber(keys::kBeepTime); }

int Settings::ReadCycleTime() { return ReadNumber(keys::kCycleTime, kMinCycleTimeMs, kMaxCycleTimeMs); }

int Settings::ReadLeaseSize() { return ReadNumber(keys::kLeaseSize, 1, ledger::kMaxLeaseSize); }

bool Settings::WriteWriteLogFile(std::string_view path) { return WriteString(keys::kWriteLogFile, path); }

bool Settings::WriteReadLogFile(std::string_view path) { return WriteString(keys::kReadLogFile, path); }

WindowRect Settings::ReadWindowRect() {
  return WindowRect{ReadInt(keys::kWindowLeft), ReadInt(keys::kWindowTop), ReadInt(keys::kWindowRight),
                    ReadInt(keys::kWindowBottom)};
}

bool Settings::ReadUpdateCheck() { return ReadInt(keys::kUpdateCheck) != 0; }

bool Settings::WriteUpdateCheck(bool enabled) { return WriteInt(keys::kUpdateCheck, enabled ? 1 : 0); }

int Settings::ReadPortTimeout() { return ReadInt(keys::kPortTimeout); }

int Settings::ReadPortBaudrate() { return ReadInt(keys::kPortBaudrate); }

}  // namespace stampwise

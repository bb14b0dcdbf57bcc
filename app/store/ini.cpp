#include "app/store/ini.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/base/paths.h"
#include "common/ascii.h"

namespace stampwise {

namespace {

std::string_view TrimTrailing(std::string_view text, std::string_view characters) {
  auto end = text.find_last_not_of(characters);
  return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

std::string_view TrimLeading(std::string_view text, std::string_view characters) {
  auto begin = text.find_first_not_of(characters);
  return begin == std::string_view::npos ? std::string_view{} : text.substr(begin);
}

// A line break inside a name or value would turn into new lines of the file.
std::string WithoutLineBreaks(std::string_view text) {
  std::string clean(text);
  std::erase_if(clean, [](char c) { return c == '\r' || c == '\n'; });
  return clean;
}

// Reading cuts a value at its last ";" (a trailing comment). A value that
// itself holds a ";" gets one more at its end, so it reads back whole.
std::string EncodeValue(std::string_view value) {
  std::string encoded = WithoutLineBreaks(value);
  if (encoded.find(';') != std::string::npos) encoded += ';';
  return encoded;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

CIniEx::CIniEx() { sections_.resize(1); }

CIniEx::~CIniEx() { Close(); }

bool CIniEx::NamesEqual(std::string_view a, std::string_view b) const {
  return ignoreCase_ ? ascii::EqualsNoCase(a, b) : a == b;
}

const CIniEx::Section* CIniEx::FindSection(std::string_view name) const {
  for (const auto& section : sections_) {
    if (NamesEqual(section.name, name)) return &section;
  }
  return nullptr;
}

CIniEx::Section* CIniEx::FindSection(std::string_view name) {
  return const_cast<Section*>(static_cast<const CIniEx*>(this)->FindSection(name));
}

int CIniEx::FindKey(const Section& section, std::string_view key, bool ignoreCase) {
  for (int index = static_cast<int>(section.keys.size()) - 1; index >= 0; --index) {
    const auto& candidate = section.keys[static_cast<std::size_t>(index)];
    if (ignoreCase ? ascii::EqualsNoCase(candidate, key) : candidate == key) return index;
  }
  return -1;
}

void CIniEx::Discard() {
  sections_.assign(1, Section{});
  lastSection_ = 0;
  pendingName_.clear();
  dirty_ = false;
  readFailed_ = false;
  saveOnClose_ = false;
  fileName_.clear();
  backupFileName_.clear();
}

void CIniEx::SetLastError(const std::string& text) { lastError_ = text.substr(0, kMaxErrorText); }

bool CIniEx::Open(const std::string& fileName, bool writable, bool create, bool ignoreCase, bool backupOnSave) {
  if (saveOnClose_) Save(false);
  Discard();
  ignoreCase_ = ignoreCase;
  backupOnSave_ = backupOnSave;

  const Result<FileLock> lock = FileLock::Acquire(fileName, writable, create, lockTimeout_);
  if (!lock) {
    SetLastError(lock.message().text);
    return false;
  }
  fileName_ = fileName;
  saveOnClose_ = writable;
  const Result<std::string> content = ReadAllFromDescriptor(lock.value().Descriptor());
  if (!content) {
    SetLastError(content.message().text);
    readFailed_ = true;
    return true;
  }
  if (!content.value().empty()) LoadFromText(content.value());
  return true;
}

void CIniEx::LoadFromText(std::string_view text) {
  std::size_t position = 0;
  while (position < text.size()) {
    std::size_t end = text.find_first_of("\r\n", position);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = TrimTrailing(text.substr(position, end - position), "\r\n\t");
    position = text.find_first_not_of("\r\n", end);
    if (position == std::string_view::npos) position = text.size();
    if (line.empty()) continue;

    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      ++lastSection_;
      if (sections_.size() <= static_cast<std::size_t>(lastSection_)) {
        sections_.resize(static_cast<std::size_t>(lastSection_) + 1);
      }
      // The name waits until a line arrives: a bare header stays an unnamed,
      // empty section that a save drops.
      pendingName_ = std::string(line.substr(1, line.size() - 2));
      continue;
    }
    Section& section = sections_[static_cast<std::size_t>(lastSection_)];
    if (section.keys.empty() && section.name.empty()) section.name = pendingName_;
    if (line.front() == ';') {
      section.keys.emplace_back(line);
      section.values.emplace_back();
      continue;
    }
    auto equals = line.find('=');
    if (equals == std::string_view::npos) {
      section.keys.emplace_back(line);
      section.values.emplace_back();
    } else {
      section.keys.emplace_back(TrimTrailing(line.substr(0, equals), " "));
      section.values.emplace_back(TrimLeading(line.substr(equals + 1), " "));
    }
  }
}

std::string CIniEx::GetString(std::string_view sectionName, std::string_view key, std::string_view defaultValue) const {
  const Section* section = FindSection(sectionName);
  if (!section) return std::string(defaultValue);
  int index = FindKey(*section, key, ignoreCase_);
  if (index < 0) return std::string(defaultValue);
  const std::string& value = section->values[static_cast<std::size_t>(index)];
  auto cut = value.rfind(';');
  return cut == std::string::npos ? value : value.substr(0, cut);
}

int CIniEx::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
  const std::string text = GetString(section, key, "");
  std::string_view digits = TrimLeading(text, " \t");
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  // Anything that is not a number in range counts as missing.
  if (error != std::errc{} || end == digits.data()) return defaultValue;
  return value;
}

bool CIniEx::HasKey(std::string_view sectionName, std::string_view key) const {
  const Section* section = FindSection(sectionName);
  return section && FindKey(*section, key, ignoreCase_) >= 0;
}

void CIniEx::WriteString(std::string_view sectionName, std::string_view key, std::string_view value) {
  Section* section = FindSection(sectionName);
  if (!section) {
    sections_.push_back(Section{WithoutLineBreaks(sectionName), {}, {}});
    lastSection_ = static_cast<int>(sections_.size()) - 1;
    section = &sections_.back();
    dirty_ = true;
  }
  std::string stored = EncodeValue(value);
  int index = FindKey(*section, key, ignoreCase_);
  if (index < 0) {
    section->keys.push_back(WithoutLineBreaks(key));
    section->values.push_back(std::move(stored));
    dirty_ = true;
    return;
  }
  // Byte-wise: a value that changes only in case ("abc" -> "ABC") is data too.
  std::string& current = section->values[static_cast<std::size_t>(index)];
  if (current != stored) {
    current = std::move(stored);
    dirty_ = true;
  }
}

void CIniEx::WriteInt(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

std::string CIniEx::ToText() const {
  std::string text;
  for (const auto& section : sections_) {
    if (!section.name.empty()) text += "[" + section.name + "]\r\n";
    for (std::size_t index = 0; index < section.keys.size(); ++index) {
      const std::string& key = section.keys[index];
      if (!key.empty() && key.front() == ';') {
        text += key;
      } else {
        text += key;
        if (!key.empty()) text += '=';
        text += section.values[index];
      }
      text += "\r\n";
    }
  }
  return text;
}

std::string CIniEx::NextBackupName() const {
  namespace fs = std::filesystem;
  const fs::path file = FilePath(fileName_);
  const std::string prefix = file.filename().string() + ".";
  fs::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  int highest = 0;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string_view number = std::string_view(name).substr(prefix.size());
    int value = 0;
    if (!AllDigits(number)) continue;
    if (std::from_chars(number.data(), number.data() + number.size(), value).ec == std::errc{}) {
      highest = std::max(highest, value);
    }
  }
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".%.3d", highest + 1);
  return fileName_ + suffix;
}

CIniEx::SaveOutcome CIniEx::Save(bool backup) {
  SaveOutcome outcome;
  if (!dirty_) return outcome;
  outcome.ok = false;
  if (fileName_.empty()) {
    SetLastError("store has no file");
    return outcome;
  }
  if (readFailed_) {
    SetLastError(fileName_ + ": not written back, it could not be read");
    return outcome;
  }
  const Result<FileLock> lock = FileLock::Acquire(fileName_, true, true, lockTimeout_);
  if (!lock) {
    SetLastError(lock.message().text);
    return outcome;
  }
  if (backup) {
    if (backupFileName_.empty()) backupFileName_ = NextBackupName();
    const Result<std::string> old = ReadAllFromDescriptor(lock.value().Descriptor());
    const Status kept = old ? ReplaceFileAtomically(backupFileName_, old.value()) : Status(Failed{old.message()});
    if (!kept) {
      SetLastError(kept.message().text);
      return outcome;
    }
    outcome.backupFileName = backupFileName_;
  }
  if (const Status saved = ReplaceFileAtomically(fileName_, ToText()); !saved) {
    SetLastError(saved.message().text);
    return outcome;
  }
  dirty_ = false;
  outcome.ok = true;
  return outcome;
}

bool CIniEx::Close() {
  bool ok = true;
  if (saveOnClose_) ok = Save(backupOnSave_).ok;
  Discard();
  return ok;
}

CPrivateProfile::CPrivateProfile(const std::string& fileName) { Open(fileName, true, true, true, false); }

}  // namespace stampwise

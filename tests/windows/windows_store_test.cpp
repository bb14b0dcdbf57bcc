// The application's Windows pieces under Wine: settings in the registry
// profile, the file primitives, the per-user folders and the ledger.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

#include "app/base/atomic_file.h"
#include "app/base/paths.h"
#include "app/ledger/open_ledger.h"
#include "app/store/settings.h"
#include "app/texts/messages.h"

namespace stampwise {
namespace {

// A fresh folder under the temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("stampwise-win-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return (path_ / name).generic_string(); }

 private:
  std::filesystem::path path_;
};

const wchar_t* const kProfileKey = L"Software\\Vex Applikationen\\QL-MKV Stampwise";

void DeleteProfile() { ::RegDeleteTreeW(HKEY_CURRENT_USER, kProfileKey); }

struct RawValue {
  DWORD type = REG_NONE;
  std::wstring text;
  DWORD number = 0;
};

std::optional<RawValue> ReadRaw(const std::wstring& section, const std::wstring& name) {
  const std::wstring path = std::wstring(kProfileKey) + L"\\" + section;
  RawValue value;
  BYTE data[1024] = {};
  DWORD size = sizeof data;
  if (::RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_DWORD | RRF_RT_REG_SZ, &value.type, data,
                     &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  if (value.type == REG_DWORD) std::memcpy(&value.number, data, sizeof value.number);
  if (value.type == REG_SZ) value.text = reinterpret_cast<const wchar_t*>(data);
  return value;
}

// Every (section, key) the registry profile holds, in lower case.
std::set<std::string> ProfileKeys() {
  std::set<std::string> keys;
  HKEY profile = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kProfileKey, 0, KEY_READ, &profile) != ERROR_SUCCESS) return keys;
  wchar_t section[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumKeyExW(profile, i, section, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY sectionKey = nullptr;
    if (::RegOpenKeyExW(profile, section, 0, KEY_READ, &sectionKey) != ERROR_SUCCESS) continue;
    wchar_t name[256];
    for (DWORD j = 0;; ++j) {
      DWORD nameLength = 256;
      if (::RegEnumValueW(sectionKey, j, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        break;
      }
      std::wstring pair = std::wstring(section) + L"/" + name;
      std::string narrow(pair.begin(), pair.end());
      for (char& c : narrow) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      keys.insert(narrow);
    }
    ::RegCloseKey(sectionKey);
  }
  ::RegCloseKey(profile);
  return keys;
}

std::set<std::string> FileKeys(const std::string& file) {
  CIniEx ini;
  std::ifstream in(file, std::ios::binary);
  ini.LoadFromText(std::string(std::istreambuf_iterator<char>(in), {}));
  std::set<std::string> keys;
  for (const CIniEx::Section& section : ini.Sections()) {
    for (const std::string& key : section.keys) {
      std::string pair = section.name + "/" + key;
      for (char& c : pair) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      keys.insert(pair);
    }
  }
  return keys;
}

class RegistrySettings : public ::testing::Test {
 protected:
  void SetUp() override { DeleteProfile(); }
  void TearDown() override { DeleteProfile(); }
  TempDir folder_;
  std::string logs_ = folder_.File("logs") + "/";
};

TEST_F(RegistrySettings, IsTheDefaultStoreOnWindows) {
  ::SetEnvironmentVariableA(kSettingsFileVariable, nullptr);
  ::_putenv_s(kSettingsFileVariable, "");
  EXPECT_EQ(DefaultSettingsFile(), kRegistryProfile);
}

// Loading an empty profile gives the defaults and writes back the keys that
// are written back: numbers and flags as REG_DWORD, texts as REG_SZ.
TEST_F(RegistrySettings, LoadWritesTheDefaultsBackTyped) {
  Settings settings(kRegistryProfile, logs_);
  const AppSettings loaded = settings.Load();
  EXPECT_EQ(loaded.cycleTimeMs, 250);
  EXPECT_EQ(loaded.beepTimeMs, 300);

  struct Expected {
    const wchar_t* section;
    const wchar_t* name;
    DWORD type;
    DWORD number;
    const wchar_t* text;
  };
  const Expected cases[] = {
      {L"Settings", L"ZyklusZeit", REG_DWORD, 250, L""},  {L"Settings", L"BeepTime", REG_DWORD, 300, L""},
      {L"Settings", L"AutoIncrement", REG_DWORD, 1, L""}, {L"Settings", L"LastData", REG_SZ, 0, L"0"},
      {L"Settings", L"MemoryType", REG_SZ, 0, L"User"},   {L"Settings", L"AccessPasswort", REG_SZ, 0, L"3C5A9E71"},
  };
  for (const Expected& expected : cases) {
    const std::optional<RawValue> raw = ReadRaw(expected.section, expected.name);
    ASSERT_TRUE(raw.has_value()) << std::string(expected.name, expected.name + wcslen(expected.name));
    EXPECT_EQ(raw->type, expected.type);
    if (expected.type == REG_DWORD) {
      EXPECT_EQ(raw->number, expected.number);
    } else {
      EXPECT_EQ(raw->text, expected.text);
    }
  }
}

// Written through one Settings, read back by another (another program): the
// values, the types, and what a key given as text but known as a number becomes.
TEST_F(RegistrySettings, WritesAreReadBackByAnotherInstance) {
  {
    Settings writer(kRegistryProfile, logs_);
    ASSERT_TRUE(writer.WriteInt("Settings", "ZyklusZeit", 1500)) << writer.LastError();
    ASSERT_TRUE(writer.WriteString("Settings", "LastData", "000123")) << writer.LastError();
    ASSERT_TRUE(writer.WriteInt("Settings", "Sprache", -1)) << writer.LastError();
    ASSERT_TRUE(writer.WriteString("Port", "Name", "COM7")) << writer.LastError();
    ASSERT_TRUE(writer.WriteString("Settings", "Datenformat", "3")) << writer.LastError();
    ASSERT_TRUE(writer.WriteString("Eigenes", "Notiz", "frei")) << writer.LastError();
  }
  Settings reader(kRegistryProfile, logs_);
  EXPECT_EQ(reader.ReadInt("Settings", "ZyklusZeit", 0), 1500);
  EXPECT_EQ(reader.ReadString("Settings", "LastData", ""), "000123");
  EXPECT_EQ(reader.ReadInt("Settings", "Sprache", 0), -1);
  EXPECT_EQ(reader.ReadString("port", "name", ""), "COM7");  // names without case, as the registry has them
  EXPECT_EQ(reader.ReadString("Eigenes", "Notiz", ""), "frei");
  EXPECT_EQ(reader.ReadInt("Settings", "Fehlt", 42), 42);

  EXPECT_EQ(ReadRaw(L"Settings", L"ZyklusZeit")->type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(ReadRaw(L"Settings", L"LastData")->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(ReadRaw(L"Settings", L"LastData")->text, L"000123");
  EXPECT_EQ(ReadRaw(L"Settings", L"Sprache")->number, 0xFFFFFFFFu);
  EXPECT_EQ(ReadRaw(L"Settings", L"Datenformat")->type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(ReadRaw(L"Eigenes", L"Notiz")->type, static_cast<DWORD>(REG_SZ));
}

// A value another program put there, as text where a number is expected, is read.
TEST_F(RegistrySettings, ValuesOfOtherProgramsAreRead) {
  HKEY section = nullptr;
  const std::wstring path = std::wstring(kProfileKey) + L"\\Settings";
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &section, nullptr),
            ERROR_SUCCESS);
  const wchar_t text[] = L"700";
  ::RegSetValueExW(section, L"BeepTime", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  ::RegCloseKey(section);
  Settings settings(kRegistryProfile, logs_);
  EXPECT_EQ(settings.ReadBeepTime(), 700);
}

// The keys a first start writes are the same in the registry as in the
// settings file of the Linux build.
TEST_F(RegistrySettings, HoldsTheSameKeysAsTheSettingsFile) {
  const std::string file = folder_.File("QL-MKV Stampwise.ini");
  Settings(file, logs_).Load();
  Settings(kRegistryProfile, logs_).Load();
  const std::set<std::string> inFile = FileKeys(file);
  ASSERT_FALSE(inFile.empty());
  EXPECT_EQ(ProfileKeys(), inFile);
}

// Saving replaces the file whole; a lock keeps a second holder out but not a
// reader; the replaced file is found anew by the next lock.
TEST(WindowsFiles, ReplaceAndLock) {
  TempDir folder;
  const std::string path = folder.File("record.ini");
  ASSERT_TRUE(ReplaceFileAtomically(path, "first\r\n"));
  {
    Result<FileLock> held = FileLock::Acquire(path, true, false, std::chrono::milliseconds(0));
    ASSERT_TRUE(held) << held.message().text;
    Result<FileLock> second = FileLock::Acquire(path, true, false, std::chrono::milliseconds(30));
    EXPECT_FALSE(second);
    const int reader = OpenRegularFile(path, O_RDONLY);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(ReadAllFromDescriptor(reader).value(), "first\r\n");
    ::_close(reader);
    // The holder saves while it holds the lock, as the stores do.
    ASSERT_TRUE(ReplaceFileAtomically(path, "second\r\n"));
  }
  Result<FileLock> again = FileLock::Acquire(path, true, false, std::chrono::milliseconds(0));
  ASSERT_TRUE(again) << again.message().text;
  EXPECT_EQ(ReadAllFromDescriptor(again.value().Descriptor()).value(), "second\r\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  EXPECT_FALSE(FileLock::Acquire(folder.File("missing.ini"), true, false, std::chrono::milliseconds(0)));
}

TEST(WindowsPaths, PerUserFolders) {
  const std::string program = ProgramDirectory();
  EXPECT_TRUE(std::filesystem::exists(program + "windows_app_tests.exe")) << program;
  EXPECT_NE(DataDirectory().find("QL-MKV Stampwise"), std::string::npos);
  EXPECT_EQ(DataDirectory().find('\\'), std::string::npos) << DataDirectory();
}

TEST(WindowsLedger, SqliteOpensAndSharedLedgersAreAbsent) {
  TempDir folder;
  Result<std::unique_ptr<ledger::Ledger>> local = ledger::OpenLedger(folder.File("ledger.sqlite3"));
  ASSERT_TRUE(local) << local.message().text;
  Result<std::optional<std::string>> position = local.value()->Position("pool");
  ASSERT_TRUE(position) << position.message().text;
  EXPECT_FALSE(position.value().has_value());
  local = Result<std::unique_ptr<ledger::Ledger>>::Failure({});

  Result<std::unique_ptr<ledger::Ledger>> shared = ledger::OpenLedger("postgresql://host/db");
  ASSERT_FALSE(shared);
  EXPECT_EQ(shared.message().id, msg::kLedgerFailed);
  EXPECT_NE(shared.message().text.find("PostgreSQL"), std::string::npos) << shared.message().text;
}

}  // namespace
}  // namespace stampwise

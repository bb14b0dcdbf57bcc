#include "app/store/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>

#include "tests/app/temp_folder.h"

namespace stampwise {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

// Two sets of settings are the same when saving them makes the same file.
std::string SaveImage(const AppSettings& settings) {
  CIniEx ini;
  SaveSettingsTo(ini, settings);
  return ini.ToText();
}

class SettingsFile : public ::testing::Test {
 protected:
  std::string Key(const char* sectionName, const char* key) {
    CIniEx ini;
    ini.LoadFromText(ReadFile(path_));
    return ini.HasKey(sectionName, key) ? ini.GetString(sectionName, key, "") : "<missing>";
  }

  TempFolder folder_;
  std::string path_ = folder_.File("config/Vex Applikationen/QL-MKV Stampwise.ini");
  std::string logs_ = "/var/log/stampwise/";
};

// 0 would fire the cycle timer on every pass of the event loop, a negative
// period would stop "Zyklisch" without a word: a stored period outside
// 100..10000 ms is brought into range and written back, by both readers.
TEST_F(SettingsFile, CyclePeriodIsBroughtIntoRangeAndWrittenBack) {
  const std::pair<const char*, int> cases[] = {{"0", 100},     {"-5", 100},      {"99", 100},     {"100", 100},
                                               {"2500", 2500}, {"10000", 10000}, {"99999", 10000}};
  const std::string file = folder_.File("cycle.ini");
  auto KeyIn = [](const std::string& path, const char* key) {
    CIniEx ini;
    ini.LoadFromText(ReadFile(path));
    return ini.GetString("Settings", key, "<missing>");
  };
  for (const auto& [stored, expected] : cases) {
    WriteFile(file, std::string("[Settings]\r\nZyklusZeit=") + stored + "\r\n");
    {
      Settings settings(file, logs_);
      EXPECT_EQ(settings.Load().cycleTimeMs, expected) << stored;
    }
    EXPECT_EQ(KeyIn(file, "ZyklusZeit"), std::to_string(expected)) << stored;
    WriteFile(file, std::string("[Settings]\r\nZyklusZeit=") + stored + "\r\n");
    Settings settings(file, logs_);
    EXPECT_EQ(settings.ReadCycleTime(), expected) << stored;
    EXPECT_EQ(KeyIn(file, "ZyklusZeit"), std::to_string(expected)) << stored;
  }
}

// The window's lease size from a shared ledger: 100 when missing or not a
// number; outside 1..100000 it is brought into range.
TEST_F(SettingsFile, LeaseSizeIsBroughtIntoRange) {
  const std::pair<const char*, int> cases[] = {{"", 100}, {"abc", 100}, {"1", 1},           {"250", 250},
                                               {"0", 1},  {"-5", 1},    {"100000", 100000}, {"100001", 100000}};
  const std::string file = folder_.File("lease.ini");
  for (const auto& [stored, expected] : cases) {
    WriteFile(file, std::string("[Ledger]\r\nBlockgroesse=") + stored + "\r\n");
    Settings settings(file, logs_);
    EXPECT_EQ(settings.ReadLeaseSize(), expected) << stored;
  }
}

TEST_F(SettingsFile, FirstStartWritesBackTheKeysThatAreMarkedSo) {
  Settings settings(path_, logs_);
  AppSettings loaded = settings.Load();
  EXPECT_EQ(loaded.params.value, "0");
  EXPECT_EQ(loaded.params.bank, Bank::User);
  EXPECT_EQ(loaded.logs.writeLogFile, "/var/log/stampwise/Protokoll_S.txt");

  const std::pair<const char*, const char*> written[] = {
      {"BeepTime", "300"},
      {"ZyklusZeit", "250"},
      {"LastData", "0"},
      {"AutoIncrement", "1"},
      {"AutoIncHex", "1"},
      {"AutoNull", "0"},
      {"PrefixZulassen", "0"},
      {"Datenformat", "0"},
      {"MSBFirst", "1"},
      {"MemoryType", "User"},
      {"Startblock", "0"},
      {"Byteanzahl", "4"},
      {"PasswortSetzen", "0"},
      {"PasswortAktivieren", "0"},
      {"AccessPasswort", "3C5A9E71"},
      {"EPCLenKorrigieren", "<missing>"},
      {"Sprache", "<missing>"},
  };
  for (const auto& [key, value] : written) EXPECT_EQ(Key("Settings", key), value) << key;
  EXPECT_EQ(Key("Protokoll", "LogFileNameSchreiben"), "/var/log/stampwise/Protokoll_S.txt");
  EXPECT_EQ(Key("Protokoll", "LogFileNameLesen"), "/var/log/stampwise/Protokoll_L.txt");
  EXPECT_EQ(Key("Protokoll", "LogFileEnableSchreiben"), "<missing>");
  EXPECT_EQ(Key("Protokoll", "LogFileEnableLesen"), "<missing>");
  EXPECT_EQ(Key("MainWnd", "left"), "<missing>");
}

TEST_F(SettingsFile, StoredValuesAndTheirReplacements) {
  struct Case {
    const char* key;
    const char* stored;
    const char* afterLoad;  // what the file holds afterwards
  };
  const Case cases[] = {
      {"MemoryType", "EPC", "EPC"},  {"MemoryType", "Res", "Res"},  {"MemoryType", "Res.", "User"},
      {"MemoryType", "epc", "User"}, {"AutoIncrement", "255", "1"}, {"AutoIncrement", "0", "0"},
      {"ZyklusZeit", "-1", "250"},   {"ZyklusZeit", "fast", "250"}, {"ZyklusZeit", "100", "100"},
      {"Datenformat", "9", "0"},     {"LastData", "", "0"},         {"AccessPasswort", "", "3C5A9E71"},
  };
  for (const auto& test : cases) {
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    WriteFile(path_, std::string("[Settings]\r\n") + test.key + "=" + test.stored + "\r\n");
    AppSettings loaded = Settings(path_, logs_).Load();
    EXPECT_EQ(Key("Settings", test.key), test.afterLoad) << test.key << "=" << test.stored;
    if (std::string(test.key) == "MemoryType") {
      EXPECT_EQ(loaded.params.bank, BankFromMemoryType(test.afterLoad)) << test.stored;
    }
  }
}

TEST_F(SettingsFile, SaveSetComesBackOnTheNextStart) {
  AppSettings saved;
  saved.params.format = DataFormat::DataAscii;
  saved.params.lengthBytes = 12;
  saved.params.startWord = 2;
  saved.params.bank = Bank::Epc;
  saved.params.msbFirst = false;
  saved.params.autoIncrementDec = false;
  saved.params.leadingZeros = true;
  saved.params.value = "Lot;42 abc";
  saved.options = {true, true, true, "11223344"};
  saved.cycleTimeMs = 500;
  saved.beepTimeMs = 5;  // not part of the save set
  saved.logs = {"ignored", "ignored", true, true};
  saved.window = {10, 20, 410, 320};
  ASSERT_TRUE(Settings(path_, logs_).Save(saved));

  Settings again(path_, logs_);
  AppSettings loaded = again.Load();
  loaded.window = again.ReadWindowRect();
  EXPECT_EQ(SaveImage(loaded), SaveImage(saved));
  EXPECT_EQ(loaded.beepTimeMs, 300);
  EXPECT_EQ(loaded.logs.writeLogFile, logs_ + "Protokoll_S.txt");
}

TEST_F(SettingsFile, TwoInstancesKeepEachOthersWrites) {
  Settings dialog(path_, logs_);
  Settings portDialog(path_, logs_);
  dialog.Load();
  ASSERT_TRUE(portDialog.WriteInt("Port", "Timeout", 900));
  ASSERT_TRUE(dialog.WriteString(keys::kLastData, "0042"));
  ASSERT_TRUE(portDialog.WriteLanguage(1));
  EXPECT_EQ(dialog.ReadPortTimeout(), 900);
  EXPECT_EQ(dialog.ReadLanguage(), 1);
  EXPECT_EQ(portDialog.ReadString("Settings", "LastData", ""), "0042");
  EXPECT_EQ(Key("Port", "Timeout"), "900");
  EXPECT_EQ(Key("Settings", "LastData"), "0042");
}

TEST_F(SettingsFile, ImmediateWritesAndTheirDefaults) {
  Settings settings(path_, logs_);
  EXPECT_EQ(settings.ReadPortTimeout(), 500);
  EXPECT_EQ(settings.ReadPortBaudrate(), 19200);
  EXPECT_TRUE(settings.ReadUpdateCheck());
  EXPECT_EQ(settings.ReadLanguage(), 0);
  EXPECT_EQ(settings.ReadBeepTime(), 300);
  EXPECT_EQ(Key("Settings", "BeepTime"), "300");

  ASSERT_TRUE(settings.WriteTimings(0, 1000));
  ASSERT_TRUE(settings.WriteUpdateCheck(false));
  ASSERT_TRUE(settings.WriteWriteLogFile("/data/write.txt"));
  ASSERT_TRUE(settings.WriteReadLogFile("/data/read.txt"));
  Settings fresh(path_, logs_);
  EXPECT_EQ(fresh.ReadBeepTime(), 0);
  EXPECT_EQ(fresh.ReadCycleTime(), 1000);
  EXPECT_FALSE(fresh.ReadUpdateCheck());
  EXPECT_EQ(fresh.Load().logs.readLogFile, "/data/read.txt");
  EXPECT_EQ(Key("Protokoll", "LogFileNameSchreiben"), "/data/write.txt");
}

TEST(SettingsLocation, EnvironmentChoosesTheFile) {
  ::setenv(kSettingsFileVariable, "/tmp/elsewhere.ini", 1);
  EXPECT_EQ(DefaultSettingsFile(), "/tmp/elsewhere.ini");
  ::unsetenv(kSettingsFileVariable);
  ::setenv("XDG_CONFIG_HOME", "/home/op/cfg", 1);
  EXPECT_EQ(DefaultSettingsFile(), "/home/op/cfg/Vex Applikationen/QL-MKV Stampwise.ini");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(ProgramDirectory().back(), '/');
}

TEST(WindowPlacement, MovesTheSavedRectangleOntoTheDesktop) {
  const std::vector<WindowRect> twoScreens = {{0, 0, 1920, 1080}, {1920, 0, 3840, 1080}};
  const std::vector<WindowRect> oneScreen = {{0, 0, 1920, 1080}};
  struct Case {
    const char* name;
    WindowRect saved;
    std::vector<WindowRect> screens;
    std::optional<WindowRect> expected;
  };
  const Case cases[] = {
      {"inside stays", {100, 100, 500, 400}, oneScreen, WindowRect{100, 100, 500, 400}},
      {"removed right screen", {2500, 100, 2900, 400}, oneScreen, WindowRect{1520, 100, 1920, 400}},
      {"still on second screen", {2500, 100, 2900, 400}, twoScreens, WindowRect{2500, 100, 2900, 400}},
      {"off the top left", {-300, -50, 100, 250}, oneScreen, WindowRect{0, 0, 400, 300}},
      {"below the bottom", {10, 2000, 110, 2100}, oneScreen, WindowRect{10, 980, 110, 1080}},
      {"no width keeps the default", {100, 100, 100, 400}, oneScreen, std::nullopt},
      {"never saved", {0, 0, 0, 0}, oneScreen, std::nullopt},
      {"wider than the desktop keeps its size", {-10, 0, 2000, 100}, oneScreen, WindowRect{-90, 0, 1920, 100}},
      {"extreme numbers do not overflow", {INT_MIN, 0, INT_MAX, 100}, oneScreen, WindowRect{INT_MIN, 0, 1920, 100}},
      {"no screens known", {5, 5, 50, 50}, {}, WindowRect{5, 5, 50, 50}},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(PlaceSavedWindow(test.saved, test.screens), test.expected) << test.name;
  }
}

}  // namespace
}  // namespace stampwise

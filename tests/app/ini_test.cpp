#include "app/store/ini.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <random>

#include "tests/app/temp_folder.h"

namespace stampwise {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

struct LookupCase {
  const char* name;
  std::string text;
  const char* section;
  const char* key;
  std::string expected;
};

TEST(IniLookup, FindsValuesByTheFileRules) {
  const LookupCase cases[] = {
      {"second of two equal keys", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "2"},
      {"comment after a value", "[S]\r\nk=5 ; five\r\n", "S", "k", "5 "},
      {"cut at the last semicolon", "[S]\r\nk=a;b;c\r\n", "S", "k", "a;b"},
      {"section in other case", "[settings]\nZyklusZeit=100\n", "Settings", "ZyklusZeit", "100"},
      {"key in other case", "[S]\nZYKLUSZEIT=7\n", "S", "zykluszeit", "7"},
      {"blanks around the equals sign", "[S]\nkey   =   v w \n", "S", "key", "v w "},
      {"trailing tabs dropped", "[S]\nk=v\t\t\r\n", "S", "k", "v"},
      {"line without equals sign", "[S]\nlonely\n", "S", "lonely", ""},
      {"lines before the first header", "k=top\n[S]\nk=inner\n", "", "k", "top"},
      {"bare carriage returns", "[S]\rk=1\r\rj=2\r", "S", "j", "2"},
      {"first of two equal sections", "[S]\nk=1\n[S]\nk=2\n", "S", "k", "1"},
      {"missing key", "[S]\nk=1\n", "S", "x", "default"},
      {"missing section", "[S]\nk=1\n", "T", "k", "default"},
      {"header without lines", "[Empty]\n[S]\nk=1\n", "Empty", "k", "default"},
      {"comment is not a key value", "[S]\n;k=1\n", "S", "k", "default"},
  };
  for (const auto& test : cases) {
    CIniEx ini;
    ini.LoadFromText(test.text);
    EXPECT_EQ(ini.GetString(test.section, test.key, "default"), test.expected) << test.name;
  }
}

TEST(IniLookup, IntegersFallBackOnAnythingThatIsNoNumber) {
  const std::pair<const char*, int> cases[] = {
      {"42", 42},  {" 7", 7}, {"+3", 3}, {"-5", -5},          {"12abc", 12},
      {"abc", -1}, {"", -1},  {"-", -1}, {"99999999999", -1}, {"0x10", 0},
  };
  for (const auto& [text, expected] : cases) {
    CIniEx ini;
    ini.LoadFromText(std::string("[S]\nk=") + text + "\n");
    EXPECT_EQ(ini.GetInt("S", "k", -1), expected) << '"' << text << '"';
  }
}

TEST(IniText, WritesBackWhatItReadInPlace) {
  const std::pair<std::string, std::string> cases[] = {
      {"top=1\n[A]\n; note\nk=v\n", "top=1\r\n[A]\r\n; note\r\nk=v\r\n"},
      {"[Gone]\n[A]\nk=v\n[AlsoGone]\n", "[A]\r\nk=v\r\n"},
      {"[A]\n\n\nk = v\n;end\n", "[A]\r\nk=v\r\n;end\r\n"},
      {"[A]\nflag\n", "[A]\r\nflag=\r\n"},
      {"", ""},
  };
  for (const auto& [input, expected] : cases) {
    CIniEx ini;
    ini.LoadFromText(input);
    EXPECT_EQ(ini.ToText(), expected) << input;
    CIniEx again;
    again.LoadFromText(ini.ToText());
    EXPECT_EQ(again.ToText(), expected) << "second round of " << input;
  }
}

TEST(IniWrite, TracksChangesAndPlacesNewEntries) {
  struct Case {
    const char* name;
    const char* section;
    const char* key;
    const char* value;
    bool dirty;
    std::string text;
  };
  const std::string start = "[A]\r\nk=1\r\n; c\r\nk=b\r\n";
  const Case cases[] = {
      {"same value", "A", "k", "b", false, start},
      {"same value, other case of names", "a", "K", "b", false, start},
      {"updates the last of two keys", "A", "k", "3", true, "[A]\r\nk=1\r\n; c\r\nk=3\r\n"},
      {"a change of case is a change", "A", "k", "B", true, "[A]\r\nk=1\r\n; c\r\nk=B\r\n"},
      {"new key appended", "A", "j", "x", true, start + "j=x\r\n"},
      {"new section appended", "B", "j", "x", true, start + "[B]\r\nj=x\r\n"},
      {"line breaks never make new lines", "A", "j", "x\r\n[Evil]", true, start + "j=x[Evil]\r\n"},
  };
  for (const auto& test : cases) {
    CIniEx ini;
    ini.LoadFromText(start);
    ini.WriteString(test.section, test.key, test.value);
    EXPECT_EQ(ini.IsDirty(), test.dirty) << test.name;
    EXPECT_EQ(ini.ToText(), test.text) << test.name;
  }
}

TEST(IniWrite, ValuesWithSemicolonsAndCaseChangesReadBackWhole) {
  const char* values[] = {"a;b", ";", "x ; y;", "abc", "ABC"};
  CIniEx ini;
  ini.LoadFromText("[S]\nk=abc\n");
  for (const char* value : values) {
    ini.WriteString("S", "k", value);
    CIniEx reread;
    reread.LoadFromText(ini.ToText());
    EXPECT_EQ(reread.GetString("S", "k", "?"), value);
  }
}

TEST(IniJunk, ArbitraryBytesNeverBreakTheStore) {
  std::mt19937 random(7);
  std::vector<std::string> inputs = {std::string(10 << 20, 'x'), "[" + std::string(1 << 20, '[') + "=",
                                     std::string("[S]\nk=\0\0\xff\n", 10)};
  for (int round = 0; round < 50; ++round) {
    std::string junk(static_cast<std::size_t>(random() % 4096), '\0');
    for (char& c : junk) c = static_cast<char>(random());
    inputs.push_back(junk);
  }
  for (const auto& input : inputs) {
    CIniEx ini;
    ini.LoadFromText(input);
    EXPECT_EQ(ini.GetInt("S", "number", 17), ini.GetInt("S", "number", 17));
    ini.WriteInt("S", "number", 5);
    CIniEx reread;
    reread.LoadFromText(ini.ToText());
    EXPECT_EQ(reread.GetInt("S", "number", 0), 5);
  }
}

class IniFile : public ::testing::Test {
 protected:
  TempFolder folder_;
  std::string path_ = folder_.File("Job.MKVDat");
};

TEST_F(IniFile, OpenCreatesAMissingFileAndSavesWithCrLf) {
  {
    CPrivateProfile profile(path_);
    EXPECT_TRUE(std::filesystem::exists(path_));
    profile.WriteString("Settings", "LastData", "0815");
  }
  EXPECT_EQ(ReadFile(path_), "[Settings]\r\nLastData=0815\r\n");
}

TEST_F(IniFile, ACleanStoreDoesNotRewriteTheFile) {
  WriteFile(path_, "[S]\r\nk=1\r\n");
  struct stat before {};
  ASSERT_EQ(::stat(path_.c_str(), &before), 0);
  {
    CPrivateProfile profile(path_);
    profile.WriteString("S", "k", "1");
  }
  struct stat after {};
  ASSERT_EQ(::stat(path_.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(IniFile, BackupsAreNumberedAfterTheHighestOne) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, ".001"},
      {{".001", ".007"}, ".008"},
      {{".999"}, ".1000"},
      {{".tmp", ".12a", "x.005"}, ".001"},
  };
  for (const auto& [existing, expected] : cases) {
    TempFolder folder;
    std::string path = folder.File("Job.MKVDat");
    WriteFile(path, "[S]\r\nk=old\r\n");
    for (const auto& suffix : existing) WriteFile(path + suffix, "other");
    CIniEx ini;
    ASSERT_TRUE(ini.Open(path, true, true, true, true));
    ini.WriteString("S", "k", "new");
    auto outcome = ini.Save(true);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.backupFileName, path + expected);
    EXPECT_EQ(ReadFile(path + expected), "[S]\r\nk=old\r\n");
    EXPECT_EQ(ReadFile(path), "[S]\r\nk=new\r\n");
  }
}

TEST_F(IniFile, AFileHeldByAnotherProgramIsLeftAlone) {
  WriteFile(path_, "[S]\r\nk=1\r\n");
  int holder = ::open(path_.c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);

  CIniEx blocked;
  blocked.SetLockTimeout(std::chrono::milliseconds(50));
  EXPECT_FALSE(blocked.Open(path_, true, true, true, false));

  CIniEx writer;
  writer.SetLockTimeout(std::chrono::milliseconds(50));
  ::flock(holder, LOCK_UN);
  ASSERT_TRUE(writer.Open(path_, true, true, true, false));
  ::flock(holder, LOCK_EX);
  writer.WriteString("S", "k", "2");
  EXPECT_FALSE(writer.Save(false).ok);
  EXPECT_TRUE(writer.IsDirty());
  EXPECT_EQ(ReadFile(path_), "[S]\r\nk=1\r\n");

  ::close(holder);
  EXPECT_TRUE(writer.Save(false).ok);
  EXPECT_EQ(ReadFile(path_), "[S]\r\nk=2\r\n");
}

TEST_F(IniFile, ThingsThatAreNoRegularFileAreRefused) {
  ASSERT_EQ(::mkfifo(folder_.File("fifo").c_str(), 0600), 0);
  CIniEx ini;
  EXPECT_FALSE(ini.Open(folder_.File("fifo"), false, false, true, false));
  EXPECT_FALSE(ini.Open(folder_.Path(), false, false, true, false));
}

}  // namespace
}  // namespace stampwise

// stampwise-cli refuses what it cannot write exactly as given: nothing reaches
// a tag, nothing of the refused job is stored.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::HasSubstr;

struct RefusedCase {
  const char* name;
  std::vector<std::string> args;  // after --settings and --port
  const char* message;            // part of what the tool prints
};

class CliRefusesTest : public CliTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(CliRefusesTest, ExitsTwoWritesNothingStoresNothing) {
  const RefusedCase& c = GetParam();
  StartSim();
  const RunResult result = Cli(c.args);
  EXPECT_EQ(result.exitCode, 2) << result.out << result.err;
  EXPECT_THAT(result.err, HasSubstr(c.message));
  EXPECT_TRUE(ReadRecord(RecordFile()).empty()) << "a tag was written";
  // Only first-start defaults may have been written, nothing of the job.
  EXPECT_THAT(Stored("LastData"), ::testing::AnyOf("<missing>", "0"));
  EXPECT_THAT(Stored("AccessPasswort"), ::testing::AnyOf("<missing>", "3C5A9E71"));
  EXPECT_THAT(Stored("PasswortSetzen"), ::testing::AnyOf("<missing>", "0"));
}

INSTANTIATE_TEST_SUITE_P(
    Input, CliRefusesTest,
    ::testing::Values(
        // The free text would have been cut to "AB".
        RefusedCase{"ValueLongerThanLength",
                    {"write", "--format", "hex-ascii", "--length", "2", "--value", "ABC", "--extra-text", "on"},
                    "Geben Sie höchstens 2 Zeichen ein."},
        RefusedCase{"DecimalAsciiLongerThanLength",
                    {"write", "--format", "dec-ascii", "--length", "4", "--value", "12345"},
                    "Geben Sie höchstens 4 Zeichen ein."},
        RefusedCase{"HexBinaryLongerThanLength",
                    {"write", "--format", "hex-bin", "--length", "1", "--value", "123"},
                    "Geben Sie höchstens 2 Zeichen ein."},
        RefusedCase{"PasswordNotFourBytes",
                    {"write", "--format", "hex-bin", "--length", "4", "--value", "1", "--password", "XYZ"},
                    "Das Passwort muss 4 Byte lang sein!"},
        RefusedCase{"TimeoutZero", {"--timeout", "0", "write", "--value", "1"}, "--timeout: 10..300000, got \"0\""},
        RefusedCase{"TimeoutNotANumber", {"--timeout", "5s", "write", "--value", "1"}, "--timeout: 10..300000"},
        RefusedCase{"CountZero", {"write", "--value", "1", "--cycle", "--count", "0"}, "--count: 1..2147483647"},
        RefusedCase{"PeriodTooLong", {"write", "--value", "1", "--cycle", "--period", "10001"}, "--period: 1..10000"},
        RefusedCase{"MaxTimeNegative",
                    {"write", "--value", "1", "--cycle", "--max-time", "-1"},
                    "--max-time: a number of seconds above 0"},
        // A read takes nothing of the write job: a later plain write would
        // otherwise set a password nobody asked for.
        RefusedCase{"ReadTakesNoValue", {"read", "--value", "ABCD"}, "--value"},
        RefusedCase{"ReadTakesNoPassword", {"read", "--password", "11223344"}, "--password"},
        RefusedCase{"ReadTakesNoLock", {"read", "--lock", "on"}, "--lock"},
        RefusedCase{"ReadTakesNoIncrement", {"read", "--inc", "dec"}, "--inc"},
        RefusedCase{"ReadTakesNoWriteLog", {"read", "--write-log", "on"}, "--write-log"}),
    [](const auto& test) { return std::string(test.param.name); });

// The help of read lists what a read uses, nothing of the write job.
TEST_F(CliTest, ReadHelpListsOnlyWhatAReadUses) {
  const RunResult help = RunProgram(CommandLine({"read", "--help"}, false));
  EXPECT_EQ(help.exitCode, 0) << help.err;
  for (const char* used :
       {"--bank", "--start", "--length", "--format", "--msb", "--read-log", "--keep-last", "--cycle"})
    EXPECT_THAT(help.out, HasSubstr(used));
  for (const char* unused : {"--value", "--inc", "--password", "--lock", "--leading-zeros", "--write-log"})
    EXPECT_THAT(help.out, ::testing::Not(HasSubstr(unused)));
}

TEST_F(CliTest, RecordSaveValidatesFirstAndWritesNoFile) {
  {
    Settings settings(SettingsFile(), folder_.Path() + "/");
    settings.WriteInt("Settings", "Datenformat", 0);
    settings.WriteString("Settings", "LastData", "XYZ");
  }
  const std::string file = folder_.File("job.MKVDat");
  const RunResult result = RunProgram(CommandLine({"record", "save", file}, false));
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_THAT(result.err, HasSubstr("Keine Hex-Eingabe"));
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(CliTest, RecordLoadRefusesAFileThatIsNoRecord) {
  {
    Settings settings(SettingsFile(), folder_.Path() + "/");
    settings.WriteString("Settings", "LastData", "SN000123");
  }
  const std::string file = folder_.File("noise.MKVDat");
  WriteFile(file, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  const RunResult result = RunProgram(CommandLine({"record", "load", file}, false));
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_THAT(result.err, HasSubstr("Die Datei ist kein Datensatz"));
  EXPECT_EQ(Stored("LastData"), "SN000123");
}

TEST_F(CliTest, RecordLoadAppliesTheFormatRules) {
  const std::string file = folder_.File("job.MKVDat");
  // "Daten ASCII" allows no increment: the rules clear the stored flags.
  WriteFile(file,
            "[Settings]\r\nLastData=Lot 7\r\nAutoIncrement=1\r\nAutoIncHex=1\r\nAutoNull=1\r\n"
            "Datenformat=5\r\nByteanzahl=8\r\n");
  const RunResult result = RunProgram(CommandLine({"record", "load", file}, false));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Stored("LastData"), "Lot 7");
  EXPECT_EQ(Stored("AutoIncrement"), "0");
  EXPECT_EQ(Stored("AutoIncHex"), "0");
  EXPECT_EQ(Stored("AutoNull"), "0");
}

}  // namespace
}  // namespace stampwise::testing

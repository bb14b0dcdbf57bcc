// stampwise-cli end to end: commands, output, exit statuses and the stored
// parameter set.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST_F(CliTest, PortsListsAndParsesAsJson) {
  const RunResult plain = RunProgram(CommandLine({"ports"}, false));
  EXPECT_EQ(plain.exitCode, 0) << plain.err;
  const RunResult json = RunProgram(CommandLine({"--json", "ports"}, false));
  EXPECT_EQ(json.exitCode, 0) << json.err;
  const std::vector<nlohmann::json> objects = JsonLines(json.out);
  ASSERT_EQ(objects.size(), Lines(plain.out).size());
  for (std::size_t i = 0; i < objects.size(); ++i) {
    EXPECT_EQ(objects[i]["type"], "port");
    EXPECT_EQ(objects[i]["name"], Lines(plain.out)[i]);
  }
}

TEST_F(CliTest, InfoNamesModelFirmwareAndLink) {
  StartSim();
  const RunResult plain = Cli({"info"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_THAT(Lines(plain.out), ElementsAre("model: QL-MKV39", "firmware: FW V1.05[QL-MKV simulated reader]",
                                            "link: " + sim_->PtyPath(), "device text: QL-MKV simulated reader"));
  const RunResult json = Cli({"--json", "info"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const std::vector<nlohmann::json> objects = JsonLines(json.out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["type"], "info");
  EXPECT_EQ(objects[0]["model"], "QL-MKV39");
  EXPECT_EQ(objects[0]["link"], sim_->PtyPath());
  EXPECT_EQ(objects[0]["txPowerAdjustable"], true);
}

TEST_F(CliTest, WriteOnceThenReadBack) {
  StartSim();
  const RunResult write = Cli(UserHexJob({}, "0000ABCD"));
  ASSERT_EQ(write.exitCode, 0) << write.err;
  EXPECT_THAT(Lines(write.out), ElementsAre("Wert <0000ABCD> erfolgreich geschrieben"));
  EXPECT_EQ(UserWritesByTag().size(), 1u);
  EXPECT_EQ(Stored("LastData"), "0000ABCE");

  const RunResult read = Cli({"--json", "read"});
  ASSERT_EQ(read.exitCode, 0) << read.err;
  const std::vector<nlohmann::json> objects = OfType(JsonLines(read.out), "read");
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["type"], "read");
  EXPECT_EQ(objects[0]["text"], "0000ABCD");

  // No tag: the read fails with the tool's status.
  ASSERT_EQ(sim_->Command("remove all"), "OK");
  EXPECT_EQ(Cli({"read"}).exitCode, 1);
  EXPECT_EQ(Cli(UserHexJob({}, "")).exitCode, 1);
  EXPECT_EQ(Stored("LastData"), "0000ABCE");
}

TEST_F(CliTest, CycleWritesCountTagsAndStoresTheParameterSet) {
  StartSim({"--tags", "0", "--conveyor", "5,10"});
  std::vector<std::string> args = UserHexJob({"--cycle", "--count", "5", "--period", "5"}, "000000FD");
  args.insert(args.begin(), "--json");
  const RunResult run = Cli(args);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> texts;
  for (const nlohmann::json& object : OfType(JsonLines(run.out), "status")) texts.push_back(object["text"]);
  EXPECT_THAT(texts, ElementsAre("Wert <000000FD> erfolgreich geschrieben", "Wert <000000FE> erfolgreich geschrieben",
                                 "Wert <000000FF> erfolgreich geschrieben", "Wert <00000100> erfolgreich geschrieben",
                                 "Wert <00000101> erfolgreich geschrieben"));
  const auto byTag = UserWritesByTag();
  EXPECT_EQ(byTag.size(), 5u);
  for (const auto& [tag, data] : byTag) EXPECT_EQ(data.size(), 1u) << "tag " << tag;
  EXPECT_EQ(Stored("LastData"), "00000102");
  EXPECT_EQ(Stored("MemoryType"), "User");
  EXPECT_EQ(Stored("Byteanzahl"), "4");
  EXPECT_EQ(Stored("AutoIncHex"), "1");
  EXPECT_EQ(Stored("AutoIncrement"), "0");
}

// A HID reader of the fake hidapi library: listed by `ports`, and reached by
// its name, also in the listed form, for every command.
TEST_F(CliTest, HidReadersAreListedAndServeEveryCommand) {
  setenv("QLMKV_FAKE_HID_RECORD", RecordFile().c_str(), 1);
  qlmkv::test::FakeHid hid("1C40:05AB:17050001:9:9,1C40:05AC:17050002:9:9");
  const RunResult ports = RunProgram(CommandLine({"ports"}, false));
  EXPECT_EQ(ports.exitCode, 0) << ports.err;
  EXPECT_THAT(Lines(ports.out), ::testing::Contains("USB: 17050001 HID"));
  EXPECT_THAT(Lines(ports.out), ::testing::Not(::testing::Contains("USB: 17050002 HID")));

  const auto on = [&](const std::string& port, std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", port});
    return RunProgram(CommandLine(args, false));
  };
  for (const std::string port : {"17050001 HID", "USB: 17050001 HID", "17050001 HID:1"}) {
    SCOPED_TRACE(port);
    const RunResult info = on(port, {"info"});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_THAT(Lines(info.out), ::testing::Contains(StartsWith("link: USB:17050001 HID")));
  }
  const RunResult write = on("17050001 HID", UserHexJob({}, "0000ABCD"));
  ASSERT_EQ(write.exitCode, 0) << write.err;
  EXPECT_THAT(Lines(write.out), ElementsAre("Wert <0000ABCD> erfolgreich geschrieben"));
  EXPECT_EQ(UserWritesByTag().size(), 1u);
  // Each run of the tool has a fresh simulated reader: a blank tag.
  const RunResult read = on("17050001 HID", {"read"});
  ASSERT_EQ(read.exitCode, 0) << read.err;
  EXPECT_THAT(Lines(read.out), ElementsAre("00000000"));
  const RunResult power = on("17050001 HID", {"power"});
  EXPECT_EQ(power.exitCode, 0) << power.err;

  const RunResult missing = on("17059999 HID", {"info"});
  EXPECT_EQ(missing.exitCode, 3) << missing.out;
  EXPECT_FALSE(missing.err.empty());
  unsetenv("QLMKV_FAKE_HID_RECORD");
}

// The stored reader, or none: a stored USB reader that is not plugged in is
// not replaced by the one that is (another station's), and nothing is saved.
TEST_F(CliTest, AStoredReaderThatIsNotThereIsNeverReplaced) {
  qlmkv::test::FakeHid hid("1C40:05AB:17050001:9:9");
  Settings(SettingsFile(), folder_.Path() + "/").WriteString("Port", "Name", "USB: 17059999 HID");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"info"}, std::vector<std::string>{"--json", "info"}, UserHexJob({}, "0000ABCD")}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const RunResult run = RunProgram(CommandLine(args, false));
    EXPECT_EQ(run.exitCode, 3) << run.out;
    EXPECT_THAT(run.err, HasSubstr("17059999 HID"));
    EXPECT_EQ(Stored("Name", "Port"), "USB: 17059999 HID");
  }
}

// Bad arguments and failed validation end with 2 before any reader is opened.
struct BadArgumentsCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;  // in the error output
};

class CliBadArgumentsTest : public CliTest, public ::testing::WithParamInterface<BadArgumentsCase> {};

TEST_P(CliBadArgumentsTest, EndsWithStatus2AndSaysWhy) {
  const RunResult result = Cli(GetParam().args);
  EXPECT_EQ(result.exitCode, 2) << result.out << result.err;
  EXPECT_THAT(result.err, HasSubstr(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliBadArgumentsTest,
    ::testing::Values(
        BadArgumentsCase{"UnknownCommand", {"frobnicate"}, "unknown command 'frobnicate'"},
        BadArgumentsCase{"UnknownRecordCommand", {"record", "frobnicate"}, "unknown command 'frobnicate'"},
        BadArgumentsCase{"BaudLineDigitAbove3", {"--baud", "19204", "info"}, "--baud: a baud rate plus"},
        BadArgumentsCase{"BaudWithoutRate", {"--baud", "3", "info"}, "--baud: a baud rate plus"},
        BadArgumentsCase{"BaudNotANumber", {"--baud", "fast", "info"}, "--baud: a baud rate plus"},
        BadArgumentsCase{"EmptyWriteValue", {"write", "--value", ""}, "Keine Daten vorhanden!"},
        BadArgumentsCase{"UnknownBank", {"write", "--bank", "foo"}, "--bank"},
        BadArgumentsCase{"CountWithoutCycle", {"write", "--count", "3"}, "--cycle"},
        BadArgumentsCase{"PasswordAndNoPassword", {"write", "--password", "11223344", "--no-password"}, "--password"},
        BadArgumentsCase{
            "NotHex", {"write", "--format", "hex-bin", "--length", "4", "--value", "XYZ"}, "Keine Hex-Eingabe"},
        BadArgumentsCase{"LengthZero", {"write", "--length", "0"}, "zwischen 1 und 1023"},
        BadArgumentsCase{
            "DecimalTooLong", {"write", "--format", "dec-bin", "--length", "9", "--value", "1"}, "zwischen 1 und 8"},
        BadArgumentsCase{"PowerOutOfRange", {"power", "--set", "40"}, "zwischen 13 und 27"},
        BadArgumentsCase{"RecordMissing", {"record", "load", "/nonexistent/x.MKVDat"}, "/nonexistent/x.MKVDat"},
        BadArgumentsCase{"LanSetWithoutChange", {"lan", "set", "10.0.0.1"}, "give --ip ADDRESS or --dhcp NAME"},
        BadArgumentsCase{"EpcEncodeWithoutEpc", {"epc", "encode"}, "give a TAG-URI, or --scheme"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

class CliNoReaderTest : public CliTest, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(CliNoReaderTest, EndsWithStatus3) {
  const RunResult result = Cli(GetParam());
  EXPECT_EQ(result.exitCode, 3) << result.out << result.err;
  EXPECT_THAT(result.err, HasSubstr("Fehler beim Port öffnen"));
}

INSTANTIATE_TEST_SUITE_P(Cli, CliNoReaderTest,
                         ::testing::Values(std::vector<std::string>{"info"},
                                           std::vector<std::string>{"write", "--value", "1"},
                                           std::vector<std::string>{"read"}, std::vector<std::string>{"power"}));

struct LanguageCase {
  const char* lang;
  const char* written;
  const char* noReader;
};

class CliLanguageTest : public CliTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(CliLanguageTest, StatusLinesInTheChosenLanguage) {
  const RunResult noReader = Cli({"--lang", GetParam().lang, "info"});
  EXPECT_THAT(noReader.err, HasSubstr(GetParam().noReader));
  StartSim();
  const RunResult run =
      Cli({"--lang", GetParam().lang, "write", "--format", "hex-bin", "--length", "2", "--value", "12ab"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(Lines(run.out), ElementsAre(GetParam().written));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliLanguageTest,
    ::testing::Values(LanguageCase{"de", "Wert <12AB> erfolgreich geschrieben", "Fehler beim Port"},
                      LanguageCase{"en", "Value <12AB> written successfully", "Error opening the port"}),
    [](const auto& testCase) { return std::string(testCase.param.lang); });

TEST_F(CliTest, RecordSaveAndLoadRoundTrip) {
  StartSim();
  ASSERT_EQ(Cli({"write", "--bank", "user", "--start", "2", "--length", "6", "--format", "dec-ascii", "--value", "4711",
                 "--password", "11223344"})
                .exitCode,
            0);
  const std::string first = folder_.File("first.MKVDat");
  ASSERT_EQ(Cli({"record", "save", first}).exitCode, 0);
  const std::string storedValue = Stored("LastData");

  // Something else in between, then back to the saved record.
  ASSERT_EQ(Cli(UserHexJob({"--no-password"}, "0000FFFF")).exitCode, 0);
  ASSERT_NE(Stored("LastData"), storedValue);
  ASSERT_EQ(Cli({"record", "load", first}).exitCode, 0);
  EXPECT_EQ(Stored("LastData"), storedValue);
  EXPECT_EQ(Stored("Startblock"), "2");
  EXPECT_EQ(Stored("Byteanzahl"), "6");
  EXPECT_EQ(Stored("Datenformat"), "3");
  EXPECT_EQ(Stored("PasswortSetzen"), "1");
  EXPECT_EQ(Stored("AccessPasswort"), "11223344");

  const std::string second = folder_.File("second.MKVDat");
  ASSERT_EQ(Cli({"record", "save", second}).exitCode, 0);
  EXPECT_EQ(ReadFile(first), ReadFile(second));
}

TEST_F(CliTest, PowerShowsAndSetsTheTransmitPower) {
  StartSim();
  const RunResult shown = Cli({"power"});
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_THAT(Lines(shown.out), ElementsAre("27 dBm"));
  const RunResult set = Cli({"power", "--set", "20"});
  ASSERT_EQ(set.exitCode, 0) << set.err;
  EXPECT_EQ(sim_->Command("power"), "OK 200");
  const RunResult json = Cli({"--json", "power"});
  const std::vector<nlohmann::json> objects = JsonLines(json.out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["dbm"], 20);
}

TEST_F(CliTest, PowerOnAReaderWithoutAdjustablePower) {
  StartSim({"--tags", "1", "--model", "3135"});
  const RunResult result = Cli({"power", "--set", "20"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_FALSE(result.err.empty());
  EXPECT_EQ(sim_->Command("power"), "OK 270");
}

// A stop signal ends the cycle cleanly: the parameter set is stored with the
// value that follows the last tag written.
class CliStopSignalTest : public CliTest, public ::testing::WithParamInterface<int> {};

TEST_P(CliStopSignalTest, StoresTheParameterSetAndExits) {
  StartSim({"--tags", "0", "--conveyor", "5,10"});
  ChildProcess cli(CommandLine(UserHexJob({"--cycle", "--period", "5", "--max-time", "120"})));
  ASSERT_TRUE(cli.Pump(60000, "Wert <00000003>")) << cli.Out() << cli.Err();
  cli.Signal(GetParam());
  const int status = cli.Wait(60000);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);

  unsigned highest = 0;
  for (const auto& [tag, data] : UserWritesByTag())
    for (const std::string& value : data)
      highest = std::max(highest, static_cast<unsigned>(std::stoul(value, nullptr, 16)));
  ASSERT_GE(highest, 3u);
  EXPECT_EQ(std::stoul(Stored("LastData"), nullptr, 16), highest + 1);
  EXPECT_EQ(Stored("Byteanzahl"), "4");
}

// SIGHUP: a closed terminal or ssh session.
INSTANTIATE_TEST_SUITE_P(Cli, CliStopSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP), [](const auto& testCase) {
  return testCase.param == SIGTERM ? "Sigterm" : testCase.param == SIGINT ? "Sigint" : "Sighup";
});

// A command that waits long (here for a reader that does not answer, with a
// long reply time-out) ends on a stop signal with 128 + its number; on main
// it waited the whole time-out. No time is measured: the status tells.
class CliSignalDuringAWaitTest : public CliTest, public ::testing::WithParamInterface<int> {};

TEST_P(CliSignalDuringAWaitTest, EndsWith128PlusTheSignal) {
  StartSim();
  ASSERT_THAT(sim_->Command("fault drop 5"), StartsWith("OK"));
  ChildProcess cli(CommandLine({"--timeout", "300000", "info"}));
  ASSERT_TRUE(cli.AwaitBlocked(GetParam(), 60000));
  cli.Signal(GetParam());
  const int status = cli.Wait(120000);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 128 + GetParam()) << cli.Err();
}

INSTANTIATE_TEST_SUITE_P(Cli, CliSignalDuringAWaitTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& testCase) {
                           return testCase.param == SIGTERM  ? "Sigterm"
                                  : testCase.param == SIGINT ? "Sigint"
                                                             : "Sighup";
                         });

// A reader that goes away during a cycle (unplugged, its simulator gone)
// ends the cycle with a message and status 3 instead of a wait for ever.
TEST_F(CliTest, ALostReaderEndsTheCycleWithStatus3) {
  StartSim({"--tags", "0", "--conveyor", "5,10"});
  ChildProcess cli(CommandLine(UserHexJob({"--cycle", "--period", "5", "--max-time", "60"})));
  ASSERT_TRUE(cli.Pump(60000, "Wert <00000002>")) << cli.Out() << cli.Err();
  const std::string port = sim_->PtyPath();
  sim_->Stop();
  const int status = cli.Wait(90000);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 3) << cli.Out() << cli.Err();
  EXPECT_THAT(cli.Err(), ::testing::HasSubstr(FormatString(msg::kLinkLost, {port})));
}

// The counter's last value is written, then the cycle stops with a message;
// a later run writes nothing until a new start value is given.
TEST_F(CliTest, ACounterAtItsEndStopsTheCycle) {
  StartSim({"--tags", "0", "--conveyor", "5,0"});
  const std::string exhausted = FormatString(msg::kCounterExhausted, {4});
  const RunResult run = Cli(UserHexJob({"--cycle", "--period", "5", "--max-time", "60", "--count", "5"}, "FFFFFFFE"));
  EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr(exhausted));
  std::vector<std::string> written;
  for (const auto& [tag, data] : UserWritesByTag()) written.insert(written.end(), data.begin(), data.end());
  EXPECT_THAT(written, ElementsAre("FFFFFFFE", "FFFFFFFF"));
  EXPECT_EQ(Stored("LastData"), "100000000");

  const RunResult again = Cli(UserHexJob({"--cycle", "--period", "5", "--max-time", "5"}, ""));
  EXPECT_NE(again.exitCode, 0);
  EXPECT_THAT(again.out + again.err, HasSubstr(exhausted));
  EXPECT_EQ(UserWritesByTag().size(), 2u);
  const RunResult fresh = Cli(UserHexJob({}, "00000001"));
  EXPECT_EQ(fresh.exitCode, 0) << fresh.out << fresh.err;
}

// A next value that cannot be stored ends the cycle after the first failure,
// with status 1, and nothing reaches a tag.
TEST_F(CliTest, ACycleThatCannotStoreTheNextValueEnds) {
  StartSim({"--tags", "1"});
  // The store's temporary file cannot be made, so no save can go through.
  std::filesystem::create_directory(SettingsFile() + ".tmp");
  const RunResult result = Cli(UserHexJob({"--cycle", "--period", "5", "--max-time", "30"}));
  EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
  const std::string failure = FormatString(msg::kSettingsStoreFailed, {""});
  int failures = 0;
  for (const std::string& line : Lines(result.out)) failures += line.rfind(failure, 0) == 0 ? 1 : 0;
  EXPECT_EQ(failures, 1) << result.out;
  EXPECT_THAT(UserWritesByTag(), ::testing::IsEmpty());
}

TEST_F(CliTest, CycleEndsAfterItsMaximumTime) {
  StartSim({"--tags", "0"});
  const RunResult result = Cli(UserHexJob({"--cycle", "--period", "10", "--max-time", "0.3"}));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Stored("LastData"), "00000001");
  const RunResult counted = Cli(UserHexJob({"--cycle", "--period", "10", "--max-time", "0.3", "--count", "1"}, ""));
  EXPECT_EQ(counted.exitCode, 1) << counted.err;
}

}  // namespace
}  // namespace stampwise::testing

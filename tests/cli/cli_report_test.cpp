// What stampwise-cli tells the operator: why a link did not open, what the
// record commands did, the tag events and the summary of a cycle, and
// argument errors.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

struct OpenFailureCase {
  const char* name;
  std::string port;  // "" : the simulator's pseudo-terminal, held by another program
  const char* reason;
};

class CliOpenFailureTest : public CliTest, public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(CliOpenFailureTest, NamesThePathAndTheSystemsReason) {
  std::string port = GetParam().port;
  int holder = -1;
  if (port.empty()) {
    StartSim();
    port = sim_->PtyPath();
    holder = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  } else if (port == "plain") {
    port = folder_.File("ttyV0");
    WriteFile(port, "");
  }
  const std::vector<std::string> base{kCliPath, "--settings", SettingsFile(), "--port", port};
  std::vector<std::string> plain = base;
  plain.push_back("info");
  const RunResult text = RunProgram(plain);
  EXPECT_EQ(text.exitCode, 3);
  EXPECT_THAT(Lines(text.err), ElementsAre(LoadString(msg::kPortOpenFailed), port + ": " + GetParam().reason));

  std::vector<std::string> json = base;
  json.insert(json.begin() + 1, "--json");
  json.push_back("info");
  const RunResult structured = RunProgram(json);
  EXPECT_EQ(structured.exitCode, 3);
  EXPECT_EQ(structured.out, "");
  const std::vector<nlohmann::json> errors = JsonLines(structured.err);
  ASSERT_EQ(errors.size(), 1u) << structured.err;
  EXPECT_EQ(errors[0]["type"], "error");
  EXPECT_EQ(errors[0]["messageId"], msg::kPortOpenFailed);
  EXPECT_EQ(errors[0]["path"], port);
  EXPECT_EQ(errors[0]["reason"], GetParam().reason);
  if (holder >= 0) ::close(holder);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliOpenFailureTest,
    ::testing::Values(OpenFailureCase{"Missing", "/dev/stampwise-no-such-port", "No such file or directory"},
                      OpenFailureCase{"NotATerminal", "/dev/null", "not a terminal"},
                      OpenFailureCase{"HeldByAnotherProgram", "", "Device or resource busy"},
                      OpenFailureCase{"FileOutsideDev", "plain",
                                      "not under /dev/, so taken as a D2XX serial number (give the /dev/ name)"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(CliTest, RecordCommandsSayWhatTheyDidAndNameAMissingFileOnce) {
  const std::string file = folder_.File("job.MKVDat");
  const RunResult saved = RunProgram(CommandLine({"record", "save", file}, false));
  ASSERT_EQ(saved.exitCode, 0) << saved.err;
  EXPECT_THAT(Lines(saved.out), ElementsAre(FormatString(msg::kRecordSaved, {file})));
  const RunResult loaded = RunProgram(CommandLine({"--json", "record", "load", file}, false));
  ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
  const std::vector<nlohmann::json> objects = JsonLines(loaded.out);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["type"], "record");
  EXPECT_EQ(objects[0]["action"], "load");
  EXPECT_EQ(objects[0]["file"], file);
  EXPECT_EQ(objects[0]["next"], Stored("LastData"));

  const std::string missing = folder_.File("missing.MKVDat");
  const RunResult failed = RunProgram(CommandLine({"record", "load", missing}, false));
  EXPECT_EQ(failed.exitCode, 2);
  EXPECT_THAT(failed.err, HasSubstr("No such file or directory"));
  EXPECT_EQ(Occurrences(failed.err, missing), 1u) << failed.err;
  const RunResult unwritable = RunProgram(CommandLine({"record", "save", folder_.File("none/job.MKVDat")}, false));
  EXPECT_EQ(unwritable.exitCode, 2);
  EXPECT_EQ(Occurrences(unwritable.err, folder_.File("none/job.MKVDat")), 1u) << unwritable.err;
}

TEST_F(CliTest, ACycleReportsEachTagAsDataAndEndsWithASummary) {
  StartSim({"--tags", "0", "--conveyor", "5,10"});
  std::vector<std::string> args = UserHexJob({"--cycle", "--count", "2", "--period", "5"}, "000000FF");
  const RunResult text = Cli(args);
  ASSERT_EQ(text.exitCode, 0) << text.err;
  const std::vector<std::string> lines = Lines(text.out);
  ASSERT_EQ(lines.size(), 3u) << text.out;
  EXPECT_THAT(lines[2], StartsWith("Zyklus beendet: 2 geschrieben, 0 fehlgeschlagen, 0 mit unbekanntem Ergebnis, "
                                   "nächster Wert <00000101>, "));

  args.insert(args.begin(), "--json");
  args.erase(std::find(args.begin(), args.end(), "--value") + 1);
  args.erase(std::find(args.begin(), args.end(), "--value"));
  const RunResult json = Cli(args);
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const std::vector<nlohmann::json> objects = JsonLines(json.out);
  const std::vector<nlohmann::json> tags = OfType(objects, "tag");
  ASSERT_EQ(tags.size(), 2u) << json.out;
  for (int i = 0; i < 2; ++i) {
    const std::string value = i == 0 ? "00000101" : "00000102";
    EXPECT_EQ(tags[i]["kind"], "write");
    EXPECT_EQ(tags[i]["outcome"], "written");
    EXPECT_EQ(tags[i]["value"], value);
    EXPECT_EQ(tags[i]["bytes"], value);
    EXPECT_EQ(tags[i]["counter"], i + 1);
    EXPECT_EQ(tags[i]["epc"].get<std::string>().size(), 24u);
    EXPECT_FALSE(tags[i].contains("status"));
  }
  EXPECT_NE(tags[0]["epc"], tags[1]["epc"]);
  ASSERT_EQ(objects.back()["type"], "summary");
  EXPECT_EQ(objects.back()["written"], 2);
  EXPECT_EQ(objects.back()["failed"], 0);
  EXPECT_EQ(objects.back()["unknown"], 0);
  EXPECT_EQ(objects.back()["next"], "00000103");
  EXPECT_TRUE(objects.back()["seconds"].is_number());
}

// The write frame refused, or never answered: the seventh request, after the
// four of opening the reader (two version queries, the mode, the device
// text), the inventory and the select.
struct FailureCase {
  const char* name;
  const char* fault;
  const char* outcome;
  int status;
  int messageId;
};

class CliTagFailureTest : public CliTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CliTagFailureTest, CarriesTheStatusCodeAndTheMessageId) {
  StartSim();
  ASSERT_THAT(sim_->Command("fault skip 6"), StartsWith("OK"));
  ASSERT_THAT(sim_->Command(GetParam().fault), StartsWith("OK"));
  std::vector<std::string> args = UserHexJob({}, "0000ABCD");
  args.insert(args.begin(), {"--json", "--timeout", "200"});
  const RunResult run = Cli(args);
  EXPECT_EQ(run.exitCode, 1) << run.err;
  const std::vector<nlohmann::json> tags = OfType(JsonLines(run.out), "tag");
  ASSERT_EQ(tags.size(), 1u) << run.out;
  EXPECT_EQ(tags[0]["kind"], "write");
  EXPECT_EQ(tags[0]["outcome"], GetParam().outcome);
  EXPECT_EQ(tags[0]["value"], "0000ABCD");
  EXPECT_EQ(tags[0]["bytes"], "0000ABCD");
  EXPECT_EQ(tags[0]["status"], GetParam().status);
  EXPECT_EQ(tags[0]["messageId"], GetParam().messageId);
}

INSTANTIATE_TEST_SUITE_P(Cli, CliTagFailureTest,
                         ::testing::Values(FailureCase{"Refused", "fault refuse 24 1", "failed", 24,
                                                       msg::kUnknownCommand},
                                           FailureCase{"NoReply", "fault drop 1", "unknown", 4, msg::kOutcomeUnknown}),
                         [](const auto& test) { return std::string(test.param.name); });

// No tag in the field: a one-shot write or read says so and reports the
// attempt as outcome "none" (exit 1, as any tag operation that did not happen).
class CliEmptyFieldTest : public CliTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CliEmptyFieldTest, SaysSoInTextAndJson) {
  StartSim({"--tags", "0"});
  const std::string command = GetParam();
  std::vector<std::string> args = command == "write" ? UserHexJob({}, "0000ABCD") : std::vector<std::string>{"read"};
  const RunResult text = Cli(args);
  EXPECT_EQ(text.exitCode, 1) << text.err;
  EXPECT_THAT(Lines(text.out), ElementsAre(LoadString(msg::kNoValidTag)));

  args.insert(args.begin(), "--json");
  const RunResult json = Cli(args);
  EXPECT_EQ(json.exitCode, 1) << json.err;
  const std::vector<nlohmann::json> objects = JsonLines(json.out);
  ASSERT_EQ(objects.size(), 2u) << json.out;
  EXPECT_EQ(objects[0]["type"], "status");
  EXPECT_EQ(objects[0]["text"], LoadString(msg::kNoValidTag));
  EXPECT_EQ(objects[1]["type"], "tag");
  EXPECT_EQ(objects[1]["kind"], command);
  EXPECT_EQ(objects[1]["outcome"], "none");
  EXPECT_EQ(objects[1]["bytes"], "");
  EXPECT_EQ(objects[1]["epc"], "");
  EXPECT_EQ(objects[1]["messageId"], msg::kNoValidTag);
  EXPECT_TRUE(ReadRecord(RecordFile()).empty());
}

INSTANTIATE_TEST_SUITE_P(Cli, CliEmptyFieldTest, ::testing::Values("write", "read"),
                         [](const auto& test) { return std::string(test.param); });

TEST_F(CliTest, ArgumentErrorsComeAsOneJsonObjectOnStderr) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--json", "frobnicate"}, std::vector<std::string>{"--json", "--baud", "19205", "info"},
        std::vector<std::string>{"--json", "write", "--bank", "x"}}) {
    const RunResult result = RunProgram(CommandLine(args, false));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    const std::vector<nlohmann::json> errors = JsonLines(result.err);
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_EQ(errors[0]["type"], "error");
    EXPECT_EQ(errors[0]["kind"], "arguments");
  }
}

}  // namespace
}  // namespace stampwise::testing

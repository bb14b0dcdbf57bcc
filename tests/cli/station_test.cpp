// stampwise-cli station driven by a real Modbus client the project does not
// write (Debian's pymodbus, tests/cli/plc_client.py), with mkv-sim's belt
// moved by the test: what each trigger leaves in the registers, a trigger
// while one runs, a conveyor of 500 tags, and clients that never speak or
// send garbage beside the PLC.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <fstream>
#include <memory>
#include <set>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

// Debian's Python, where Debian's pymodbus is installed.
const std::string kPlcPython = PLC_PYTHON;
const std::string kPlcClient = PLC_CLIENT;

// Input registers and discrete inputs, as the register map numbers them.
constexpr int kOutcome = 6;
constexpr int kStatus = 7;
constexpr int kByteCount = 8;
constexpr int kFirstBytes = 9;
constexpr int kTid = 41;
enum Input { kReady, kBusy, kPassed, kRejected, kHalted };

// An unsigned 32-bit count, high word first.
unsigned Count(const nlohmann::json& step, int first) {
  return step["registers"][first].get<unsigned>() << 16 | step["registers"][first + 1].get<unsigned>();
}

class StationTest : public CliTest {
 protected:
  void TearDown() override {
    if (station_) StopStation();
    CliTest::TearDown();
  }

  // A four-byte hex job on the User bank as a station on any free port;
  // `globals` go before the command.
  void StartStation(std::vector<std::string> extra = {}, const std::string& value = "00000001",
                    const std::vector<std::string>& globals = {}) {
    std::vector<std::string> args = UserHexJob({"--modbus", "127.0.0.1:0"}, value);
    args[0] = "station";
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.begin(), globals.begin(), globals.end());
    station_ = std::make_unique<ChildProcess>(CommandLine(args));
    const std::string ready = LoadString(msg::kStationReady);
    const std::string prefix = ready.substr(0, ready.find("%s"));
    ASSERT_TRUE(station_->Pump(30000, prefix)) << station_->Out() << station_->Err();
    const std::string& out = station_->Out();
    const std::size_t line = out.find(prefix);
    const std::size_t colon = out.find(':', line + prefix.size());
    port_ = std::stoi(out.substr(colon + 1));
  }

  // SIGTERM ends the station after the attempt in hand, with its summary.
  int StopStation() {
    station_->Signal(SIGTERM);
    const int status = station_->Wait(30000);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Runs the PLC through `steps`; one object per step.
  std::vector<nlohmann::json> Plc(const std::vector<std::string>& steps) {
    std::vector<std::string> argv{kPlcPython, kPlcClient, std::to_string(port_), sim_->ControlPath()};
    argv.insert(argv.end(), steps.begin(), steps.end());
    const RunResult run = RunProgram(argv, 600000);
    std::vector<nlohmann::json> objects;
    for (const std::string& line : Lines(run.out)) objects.push_back(nlohmann::json::parse(line, nullptr, false));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(objects.size(), steps.size()) << run.out << run.err;
    objects.resize(steps.size());
    return objects;
  }

  std::unique_ptr<ChildProcess> station_;
  int port_ = 0;
};

TEST_F(StationTest, EachTriggerLeavesItsOutcomeInTheRegisters) {
  StartSim({"--tags", "0"});
  StartStation({"--verify"});
  struct Case {
    std::vector<std::string> setUp;  // the belt and the faults before the trigger
    int outcome;
    int status;
    int bytes;  // byte count: the data went out to a tag
  };
  const Case cases[] = {
      {{"conveyor next 1"}, 1, 0, 4},                        // written
      {{"conveyor next 0"}, 5, 21, 0},                       // no tag in the field
      {{"conveyor next 2"}, 6, 0, 0},                        // several tags
      {{"conveyor next 1", "fault refuse 24 1"}, 2, 24, 0},  // the reader refused: failed
      {{"fault skip 2", "fault drop 1"}, 3, 4, 4},           // the write's reply lost: unknown
      {{"conveyor next 1", "fault corrupt 1"}, 4, 0, 4},     // the read-back differs: mismatch
      {{"conveyor next 1"}, 1, 0, 4},                        // and the next tag is written again
  };
  std::vector<std::string> steps;
  for (const Case& c : cases) {
    for (const std::string& command : c.setUp) steps.push_back("sim:" + command);
    steps.push_back("trigger");
  }
  const std::vector<nlohmann::json> results = Plc(steps);
  std::size_t at = 0;
  for (const Case& c : cases) {
    at += c.setUp.size();
    const nlohmann::json& step = results[at++];
    SCOPED_TRACE(step.dump());
    const nlohmann::json& r = step["registers"];
    EXPECT_EQ(r[kOutcome], c.outcome);
    EXPECT_EQ(r[kStatus], c.status);
    EXPECT_EQ(r[kByteCount], c.bytes);
    EXPECT_EQ(step["inputs"][kPassed], c.outcome == 1 ? 1 : 0);
    EXPECT_EQ(step["inputs"][kRejected], c.outcome == 1 ? 0 : 1);
    EXPECT_EQ(step["inputs"][kReady], 1);
    EXPECT_EQ(step["inputs"][kBusy], 0);
    EXPECT_EQ(step["inputs"][kHalted], 0);
  }
  // Counted across the attempts: 2 written, 5 rejected, 1 of them unknown.
  const nlohmann::json& last = results.back();
  EXPECT_EQ(Count(last, 0), 2u);
  EXPECT_EQ(Count(last, 2), 5u);
  EXPECT_EQ(Count(last, 4), 1u);
  // The bytes of the last tag written: the third value counted (the unknown
  // and the mismatch used theirs up), first byte high.
  EXPECT_EQ(last["registers"][kFirstBytes], 0x0000);
  EXPECT_EQ(last["registers"][kFirstBytes + 1], 0x0004);
  EXPECT_EQ(last["registers"][kFirstBytes + 2], 0);
  EXPECT_EQ(StopStation(), 0);
}

TEST_F(StationTest, ATriggerWhileOneRunsIsRefusedNeverQueued) {
  StartSim({"--tags", "0"});
  // The simulator holds its replies until the client has its answer to the
  // second trigger; the reply time-out is only the bound of a stalled test.
  StartStation({}, "00000001", {"--timeout", "60000"});
  const std::vector<nlohmann::json> results = Plc({"sim:conveyor next 1", "busy", "sim:conveyor next 1", "trigger"});
  EXPECT_EQ(results[1]["second"], 6);  // slave device busy
  EXPECT_EQ(results[1]["registers"][kOutcome], 1);
  // The refused trigger never ran: two triggers accepted, two tags written.
  EXPECT_EQ(Count(results[3], 0), 2u);
  EXPECT_EQ(Count(results[3], 2), 0u);
  EXPECT_EQ(UserWritesByTag().size(), 2u);
}

TEST_F(StationTest, FiveHundredTagsOnTheConveyorGetOneValueEach) {
  StartSim({"--tags", "0"});
  StartStation({"--tid", "on"}, "00000001");
  const std::vector<nlohmann::json> results = Plc({"loop:500"});
  EXPECT_EQ(results[0]["outcomes"], nlohmann::json({{"1", 500}}));
  EXPECT_EQ(Count(results[0], 0), 500u);
  // The TID of the last tag: read for the PLC when the job reads TIDs.
  EXPECT_NE(results[0]["registers"][kTid], 0);
  const auto byTag = UserWritesByTag();
  ASSERT_EQ(byTag.size(), 500u);
  std::set<std::string> values;
  for (const auto& [tag, data] : byTag) {
    EXPECT_EQ(data.size(), 1u) << "tag " << tag;
    values.insert(data.begin(), data.end());
  }
  EXPECT_EQ(values.size(), 500u);
  EXPECT_EQ(values.count("000001F4"), 1u);
  EXPECT_EQ(StopStation(), 0);
  EXPECT_THAT(station_->Out(), ::testing::HasSubstr("500"));
  // The ledger holds the same 500 values, each written once, with its TID;
  // the settings file the station was given goes on after them.
  const RunResult listed = RunProgram(CommandLine({"--json", "ledger", "list"}, false));
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  std::set<std::string> claimed;
  for (const nlohmann::json& claim : JsonLines(listed.out)) {
    EXPECT_EQ(claim["outcome"], "written") << claim.dump();
    EXPECT_EQ(claim["reuse"], false) << claim.dump();
    EXPECT_NE(claim["tid"], "") << claim.dump();
    claimed.insert(claim["bytes"].get<std::string>());
  }
  EXPECT_EQ(JsonLines(listed.out).size(), 500u);
  EXPECT_EQ(claimed, values);
  EXPECT_EQ(Stored("LastData"), "000001F5");
}

TEST_F(StationTest, SilentAndGarbageClientsNeverStallThePlc) {
  StartSim({"--tags", "0"});
  StartStation();
  const std::vector<nlohmann::json> results = Plc({"silent", "partial", "garbage", "loop:3", "map"});
  EXPECT_EQ(results[2]["closed"], true);
  EXPECT_EQ(results[3]["outcomes"], nlohmann::json({{"1", 3}}));
  // Outside the map: illegal data address; holding register 0 reads 0 and
  // takes no writes.
  EXPECT_EQ(results[4], nlohmann::json({{"step", "map"},
                                        {"coil1", 2},
                                        {"coils0to1", 2},
                                        {"input5", 2},
                                        {"register49", 2},
                                        {"holding0", {0}},
                                        {"holding1", 2},
                                        {"writeHolding0", 2},
                                        {"writeCoil1", 2}}));
}

// What halts a station, and what does not: the last trigger's outcome, the
// inputs after it, a trigger after it, and the exit status. The ledger is the
// one the global --ledger names, as for write.
struct HaltCase {
  enum Used { kNowhere, kStationLedger, kDefaultLedger };
  const char* name;
  std::vector<std::string> job;  // station options beside the four-byte hex job
  std::string value;             // --value; "" for none
  Used usedBefore;               // where `write` recorded 00000001 on a tag first
  bool readerLost;               // mkv-sim ends before the last trigger
  bool ledgerDamaged;            // another program breaks the ledger before the last trigger
  int outcome;
  bool halted;
  int exitStatus;
};

class StationHaltTest : public StationTest, public ::testing::WithParamInterface<HaltCase> {};

TEST_P(StationHaltTest, TheLastTriggerAndWhatFollows) {
  const HaltCase& c = GetParam();
  StartSim({"--tags", "1"});
  const std::string ledger = folder_.File("station-ledger.sqlite3");
  if (c.usedBefore != HaltCase::kNowhere) {
    std::vector<std::string> write = UserHexJob({}, "00000001");
    if (c.usedBefore == HaltCase::kStationLedger) write.insert(write.begin(), {"--ledger", ledger});
    ASSERT_EQ(Cli(write).exitCode, 0);
  }
  std::vector<std::string> job = c.job;
  const std::string list = folder_.File("values.txt");
  std::ofstream(list) << "0000000A\n";
  for (std::string& option : job) {
    if (option == "LIST") option = list;
  }
  StartStation(job, c.value, {"--ledger", ledger});
  std::vector<std::string> steps{"sim:conveyor next 1"};
  if (c.ledgerDamaged) steps.insert(steps.end(), {"trigger", "damage:" + ledger, "sim:conveyor next 1"});
  steps.push_back("trigger");
  if (c.readerLost) {
    // A first tag written, then the reader gone. Its line is known lost at
    // once when its device file went with it; when another program's new
    // pseudo-terminal took the name meanwhile, once five exchanges in a row
    // went unanswered.
    Plc(steps);
    sim_->Stop();
    steps = {"halt:5"};
  }
  // Halted: a trigger is refused (server device failure) and nothing changes.
  if (c.halted) steps.insert(steps.end(), {"refused", "image"});
  const std::vector<nlohmann::json> results = Plc(steps);
  const nlohmann::json& last = results[results.size() - (c.halted ? 3 : 1)];
  SCOPED_TRACE(last.dump());
  EXPECT_EQ(last["registers"][kOutcome], c.outcome);
  const int passed = c.outcome == 1 ? 1 : 0;
  const int halted = c.halted ? 1 : 0;
  EXPECT_EQ(last["inputs"], nlohmann::json({1 - halted, 0, passed, 1 - passed, halted}));
  if (c.halted) {
    EXPECT_EQ(results[results.size() - 2]["code"], 4);
    EXPECT_EQ(results.back()["registers"], last["registers"]);
  }
  EXPECT_EQ(StopStation(), c.exitStatus);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StationHaltTest,
    ::testing::Values(
        // The last value that fits is written, and the station halts at once:
        // the PLC brings no tag for a value there is none of.
        HaltCase{"CounterAtItsEnd", {}, "FFFFFFFF", HaltCase::kNowhere, false, false, 1, true, 1},
        HaltCase{"ValueListAtItsEnd", {"--values-file", "LIST"}, "", HaltCase::kNowhere, false, false, 1, true, 1},
        // The bytes are on a tag already: the claim is refused, nothing written.
        HaltCase{"BytesUsedBefore", {}, "00000001", HaltCase::kStationLedger, false, false, 2, true, 1},
        HaltCase{"BytesUsedBeforeWithAllowReuse",
                 {"--allow-reuse"},
                 "00000001",
                 HaltCase::kStationLedger,
                 false,
                 false,
                 1,
                 false,
                 0},
        // Not in the ledger the station was given.
        HaltCase{"BytesUsedInAnotherLedgerOnly", {}, "00000001", HaltCase::kDefaultLedger, false, false, 1, false, 0},
        HaltCase{"LedgerDamaged", {}, "00000001", HaltCase::kNowhere, false, true, 2, true, 1},
        HaltCase{"ReaderLost", {}, "00000001", HaltCase::kNowhere, true, false, 2, true, 3}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(StationTest, AnAddressThatCannotBeServedEndsBeforeAnyTrigger) {
  StartSim({"--tags", "1"});
  struct Case {
    std::string address;
    int messageId;
  };
  const Case cases[] = {
      {"localhost:1502", msg::kStationBadAddress},
      {"127.0.0.1:70000", msg::kStationBadAddress},
      {"127.0.0.1:", msg::kStationBadAddress},
      {"10.254.254.254:1502", msg::kStationListenFailed},  // not this machine's
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = UserHexJob({"--modbus", c.address});
    args[0] = "station";
    const RunResult run = Cli(args);
    EXPECT_EQ(run.exitCode, 2) << c.address;
    const std::string text = LoadString(c.messageId);
    EXPECT_THAT(run.err, ::testing::HasSubstr(text.substr(0, text.find("%s")))) << c.address;
  }
}

}  // namespace
}  // namespace stampwise::testing

// A cyclic write killed at random moments and restarted with the same
// settings file, a cycle whose replies are lost, cut or late at random
// moments, and two programs on one settings file: none ever hands one value
// to two tags (checked against the simulator's write record), and the stored
// value is always past every value that reached a tag.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include "app/ledger/sqlite_ledger.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

constexpr std::size_t kTags = 200;

class CliKillTest : public CliTest {
 protected:
  std::size_t DistinctTags() const { return UserWritesByTag().size(); }
};

using ByTag = std::map<unsigned, std::vector<std::string>>;

// Every value on at most one tag of all readers' records; returns the highest value.
unsigned long ExpectEachValueOnOneTag(const std::vector<ByTag>& readers) {
  std::map<std::string, std::pair<std::size_t, unsigned>> tagOfValue;
  unsigned long highest = 0;
  for (std::size_t reader = 0; reader < readers.size(); ++reader) {
    for (const auto& [tag, values] : readers[reader]) {
      for (const std::string& value : values) {
        const auto [at, fresh] = tagOfValue.emplace(value, std::make_pair(reader, tag));
        EXPECT_TRUE(fresh || at->second == std::make_pair(reader, tag))
            << "value " << value << " on reader " << at->second.first << " tag " << at->second.second << " and reader "
            << reader << " tag " << tag;
        highest = std::max(highest, std::stoul(value, nullptr, 16));
      }
    }
  }
  return highest;
}

ByTag UserWritesOf(const std::string& recordFile) {
  ByTag byTag;
  for (const RecordedWrite& w : ReadRecord(recordFile))
    if (w.bank == 3) byTag[w.tagId].push_back(w.data);
  return byTag;
}

TEST_F(CliKillTest, KilledCyclesNeverRepeatAValue) {
  StartSim({"--tags", "0", "--conveyor", "5,15"});
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const int kills = std::uniform_int_distribution<int>(20, 40)(random);
  std::uniform_int_distribution<int> delayMs(10, 250);

  const std::vector<std::string> limits{"--cycle", "--period", "5", "--max-time", "60"};
  bool first = true;
  for (int kill = 0; kill < kills && DistinctTags() < kTags; ++kill) {
    ChildProcess cli(CommandLine(UserHexJob(limits, first ? "00000001" : "")));
    first = false;
    cli.Pump(delayMs(random));
    cli.Signal(SIGKILL);
    cli.Wait(30000);
  }
  // Then runs that end by themselves until every tag is programmed.
  std::string lastRun;
  for (int run = 0; run < 10 && DistinctTags() < kTags; ++run) {
    // A new program does not know the tag its predecessor wrote last; give
    // the belt time to carry it off (15 ms hold), or the run spends its
    // count on writing that tag once more.
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    std::vector<std::string> counted = limits;
    counted.insert(counted.end(), {"--count", std::to_string(kTags - DistinctTags())});
    const RunResult result = RunProgram(CommandLine(UserHexJob(counted, first ? "00000001" : "")), 90000);
    first = false;
    EXPECT_NE(result.exitCode, -1) << result.err;
    lastRun =
        "run " + std::to_string(run) + " exit " + std::to_string(result.exitCode) + "\n" + result.out + result.err;
  }
  ASSERT_GE(DistinctTags(), kTags) << lastRun;

  std::map<std::string, unsigned> tagOfValue;
  unsigned long highest = 0;
  for (const auto& [tag, values] : UserWritesByTag()) {
    for (const std::string& value : values) {
      const auto [at, fresh] = tagOfValue.emplace(value, tag);
      EXPECT_TRUE(fresh || at->second == tag) << "value " << value << " on tags " << at->second << " and " << tag;
      highest = std::max(highest, std::stoul(value, nullptr, 16));
    }
  }
  EXPECT_GT(std::stoul(Stored("LastData"), nullptr, 16), highest);
}

// A 500-tag run on a belt whose tags leave as soon as they are written, with
// acknowledgements lost, replies cut and replies late at random moments: a
// write whose outcome is unknown uses its value up, so no value reaches two
// tags.
TEST_F(CliKillTest, LostCutAndLateRepliesNeverRepeatAValue) {
  constexpr std::size_t kRunTags = 800;
  StartSim({"--tags", "0", "--conveyor", "3,0"});
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  // Far enough apart that the reader answers in between: a time-out and the
  // quiet wait after it take 300-350 ms here, and a reader that leaves five
  // exchanges in a row unanswered counts as lost.
  std::uniform_int_distribution<int> pauseMs(400, 700);
  // A reply 500 ms late comes after the time-out and the quiet wait after it:
  // in the middle of a later exchange.
  const std::vector<std::string> faults{"fault lostack 1", "fault truncate 1", "fault late 200 1", "fault late 500 1"};
  std::uniform_int_distribution<std::size_t> pick(0, faults.size() - 1);

  std::vector<std::string> line{kCliPath, "--settings", SettingsFile(), "--port", sim_->PtyPath(), "--timeout", "150"};
  for (const std::string& arg : UserHexJob({"--cycle", "--period", "2", "--max-time", "240"})) line.push_back(arg);
  ChildProcess cli(line);
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(240);
  int faultsSent = 0;
  // Enough tags and enough faults: a fast cycle writes the tags before the
  // faults, which come at their own pace, have had their say.
  constexpr int kFaults = 21;
  while ((DistinctTags() < kRunTags || faultsSent < kFaults) && cli.Running() &&
         std::chrono::steady_clock::now() < giveUp) {
    cli.Pump(pauseMs(random));
    ASSERT_THAT(sim_->Command(faults[pick(random)]), ::testing::StartsWith("OK"));
    ++faultsSent;
  }
  cli.Signal(SIGTERM);
  const int status = cli.Wait(30000);
  EXPECT_TRUE(WIFEXITED(status)) << status;
  ASSERT_GE(DistinctTags(), kRunTags) << cli.Out() << cli.Err();
  EXPECT_GT(faultsSent, 20);
  EXPECT_THAT(cli.Out(), ::testing::HasSubstr(FormatString(msg::kOutcomeUnknown, {"", ""}).substr(0, 10)));

  const unsigned long highest = ExpectEachValueOnOneTag({UserWritesByTag()});
  EXPECT_GT(std::stoul(Stored("LastData"), nullptr, 16), highest);
}

// Two stations on one number range: two programs share one settings file,
// each with its own reader and belt, for 30 seconds.
TEST_F(CliKillTest, TwoProgramsOnOneSettingsFileNeverShareAValue) {
  StartSim({"--tags", "0", "--conveyor", "5,5"});
  const std::string otherRecord = folder_.File("other-record.txt");
  mkvsim::SimProcess otherSim({"--tags", "0", "--conveyor", "5,5", "--quiet", "--record", otherRecord});

  const std::vector<std::string> limits{"--cycle", "--period", "2", "--max-time", "30"};
  ChildProcess first(CommandLine(UserHexJob(limits, "00000001")));
  // The second station continues the stored numbering.
  ASSERT_TRUE(first.Pump(30000, "Wert <00000002>")) << first.Out() << first.Err();
  std::vector<std::string> line{kCliPath, "--settings", SettingsFile(), "--port", otherSim.PtyPath()};
  for (const std::string& arg : UserHexJob(limits, "")) line.push_back(arg);
  ChildProcess second(line);

  const int firstStatus = first.Wait(90000);
  const int secondStatus = second.Wait(90000);
  otherSim.Stop();
  EXPECT_TRUE(WIFEXITED(firstStatus) && WEXITSTATUS(firstStatus) == 0) << firstStatus << first.Err();
  EXPECT_TRUE(WIFEXITED(secondStatus) && WEXITSTATUS(secondStatus) == 0) << secondStatus << second.Err();

  const ByTag firstWrites = UserWritesByTag();
  const ByTag secondWrites = UserWritesOf(otherRecord);
  EXPECT_GT(firstWrites.size(), 50u);
  EXPECT_GT(secondWrites.size(), 50u);
  const unsigned long highest = ExpectEachValueOnOneTag({firstWrites, secondWrites});
  EXPECT_GT(std::stoul(Stored("LastData"), nullptr, 16), highest);
}

// The same for a GS1 job: cycles killed at random moments, each continuing
// from the stored "NextUri", never put one serial on two tags, and the
// stored URI is always past every serial that reached a tag.
TEST_F(CliKillTest, KilledGs1CyclesNeverRepeatASerial) {
  constexpr std::size_t kGs1Tags = 150;
  constexpr std::uint64_t kFirstSerial = 1000;
  StartSim({"--tags", "0", "--conveyor", "5,15"});
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const int kills = std::uniform_int_distribution<int>(20, 40)(random);
  std::uniform_int_distribution<int> delayMs(10, 250);

  // The serial of each EPC write (PC word, then the SGTIN-96), by tag.
  auto serialsByTag = [this] {
    std::map<unsigned, std::vector<std::uint64_t>> byTag;
    for (const RecordedWrite& w : ReadRecord(RecordFile())) {
      EXPECT_EQ(w.bank, 1);
      EXPECT_EQ(w.data.substr(0, 16), "30003074257BF719") << w.data;
      byTag[w.tagId].push_back(std::stoull(w.data.substr(w.data.size() - 10), nullptr, 16) & ((1ULL << 38) - 1));
    }
    return byTag;
  };
  auto job = [&](std::vector<std::string> limits) {
    std::vector<std::string> args{"write"};
    if (Stored("NextUri", "GS1") == "<missing>") {
      args.insert(args.end(), {"--epc-uri", "urn:epc:tag:sgtin-96:3.0614141.812345." + std::to_string(kFirstSerial)});
    } else {
      args.push_back("--gs1");
    }
    args.insert(args.end(), limits.begin(), limits.end());
    return CommandLine(args);
  };
  const std::vector<std::string> limits{"--cycle", "--period", "5", "--max-time", "60"};
  // Every kill is made, however many tags the runs reach before it.
  for (int kill = 0; kill < kills; ++kill) {
    ChildProcess cli(job(limits));
    cli.Pump(delayMs(random));
    cli.Signal(SIGKILL);
    cli.Wait(30000);
  }
  std::string lastRun;
  for (int run = 0; run < 10 && serialsByTag().size() < kGs1Tags; ++run) {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    std::vector<std::string> counted = limits;
    counted.insert(counted.end(), {"--count", std::to_string(kGs1Tags - serialsByTag().size())});
    const RunResult result = RunProgram(job(counted), 90000);
    EXPECT_NE(result.exitCode, -1) << result.err;
    lastRun =
        "run " + std::to_string(run) + " exit " + std::to_string(result.exitCode) + "\n" + result.out + result.err;
  }
  ASSERT_GE(serialsByTag().size(), kGs1Tags) << lastRun;

  std::map<std::uint64_t, unsigned> tagOfSerial;
  std::uint64_t highest = 0;
  for (const auto& [tag, serials] : serialsByTag()) {
    for (const std::uint64_t serial : serials) {
      const auto [at, fresh] = tagOfSerial.emplace(serial, tag);
      EXPECT_TRUE(fresh || at->second == tag) << "serial " << serial << " on tags " << at->second << " and " << tag;
      EXPECT_GE(serial, kFirstSerial);
      highest = std::max(highest, serial);
    }
  }
  const std::string stored = Stored("NextUri", "GS1");
  ASSERT_THAT(stored, ::testing::StartsWith("urn:epc:tag:sgtin-96:3.0614141.812345."));
  EXPECT_GT(std::stoull(stored.substr(stored.rfind('.') + 1)), highest);
}

// Every value source, with two or three stations on one ledger and one
// settings file, each on its own belt: replies lost, cut and late, programs
// killed at random moments and started again. Afterwards every value is on
// at most one tag, every write that reached a tag is in the ledger exactly
// once as written or unknown, and the ledger passes SQLite's own check.
struct SourceCase {
  std::string name;
  int stations;
  int bank;
  // The job's options for the `start`th program start (0: the very first).
  std::function<std::vector<std::string>(int start, const std::string& folder)> job;
};

std::vector<std::string> Gs1Job(const std::string& uri, int start) {
  if (start == 0) return {"write", "--epc-uri", uri};
  return {"write", "--gs1"};
}

std::vector<std::string> ListJob(const std::string& list) {
  return {"write", "--bank", "user", "--start", "0", "--length", "6", "--format", "data-ascii", "--values-file", list};
}

// Six-character lines from "<prefix>00001" on.
std::string WriteList(const std::string& path, char prefix, int lines) {
  std::string text;
  for (int i = 1; i <= lines; ++i) {
    const std::string number = std::to_string(i);
    text += prefix + std::string(5 - number.size(), '0') + number + "\n";
  }
  WriteFile(path, text);
  return path;
}

class EverySourceKillTest : public CliKillTest, public ::testing::WithParamInterface<SourceCase> {};

TEST_P(EverySourceKillTest, StationsKilledAndFaultedNeverShareAValue) {
  const SourceCase& source = GetParam();
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  WriteList(folder_.File("a.txt"), 'A', 3000);
  WriteList(folder_.File("b.txt"), 'B', 3000);

  struct Station {
    std::unique_ptr<mkvsim::SimProcess> sim;
    std::string record;
    std::unique_ptr<ChildProcess> cli;
    bool killed = false;
  };
  std::vector<Station> stations(static_cast<std::size_t>(source.stations));
  for (std::size_t i = 0; i < stations.size(); ++i) {
    stations[i].record = folder_.File("record-" + std::to_string(i) + ".txt");
    stations[i].sim = std::make_unique<mkvsim::SimProcess>(
        std::vector<std::string>{"--tags", "0", "--conveyor", "5,5", "--quiet", "--record", stations[i].record});
  }
  int starts = 0;
  const auto start = [&](Station& station) {
    std::vector<std::string> line{kCliPath,    "--settings", SettingsFile(), "--port", station.sim->PtyPath(),
                                  "--timeout", "150"};
    for (const std::string& arg : source.job(starts++, folder_.Path())) line.push_back(arg);
    line.insert(line.end(), {"--cycle", "--period", "2", "--max-time", "60"});
    station.cli = std::make_unique<ChildProcess>(line);
    station.killed = false;
  };
  const auto pumpAll = [&] {
    for (Station& station : stations) station.cli->Pump(5);
  };
  // The first station sets the range up; the others continue it.
  start(stations[0]);
  for (int i = 0; i < 1000 && ReadRecord(stations[0].record).empty(); ++i) stations[0].cli->Pump(10);
  ASSERT_FALSE(ReadRecord(stations[0].record).empty()) << stations[0].cli->Out() << stations[0].cli->Err();
  for (std::size_t i = 1; i < stations.size(); ++i) start(stations[i]);

  // A time-out and the quiet wait after it take 300-350 ms: faults far
  // enough apart that a reader is not taken for lost every time.
  const std::vector<std::string> faults{"fault lostack 1", "fault truncate 1", "fault late 200 1", "fault late 500 1"};
  std::uniform_int_distribution<std::size_t> pickFault(0, faults.size() - 1);
  std::uniform_int_distribution<std::size_t> pickStation(0, stations.size() - 1);
  std::uniform_int_distribution<int> pauseMs(20, 300);
  int kills = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(7);
  while (std::chrono::steady_clock::now() < until) {
    const auto pause = std::chrono::steady_clock::now() + std::chrono::milliseconds(pauseMs(random));
    while (std::chrono::steady_clock::now() < pause) pumpAll();
    Station& station = stations[pickStation(random)];
    if (random() % 3 == 0) {
      ASSERT_THAT(station.sim->Command(faults[pickFault(random)]), ::testing::StartsWith("OK"));
    } else {
      station.cli->Signal(SIGKILL);
      station.killed = true;
      ++kills;
    }
    // A program that ended (killed, or its reader taken for lost) starts again.
    for (Station& s : stations) {
      if (s.cli->Ended()) start(s);
    }
  }
  // The last ones run a while undisturbed, settle what the killed left open,
  // and end on a stop signal.
  for (Station& station : stations) {
    ASSERT_EQ(station.sim->Command("fault clear"), "OK none");
    if (station.killed) {
      station.cli->Wait(30000);
      start(station);
    }
  }
  const auto calm = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  while (std::chrono::steady_clock::now() < calm) pumpAll();
  for (Station& station : stations) {
    if (station.cli->Running()) station.cli->Signal(SIGTERM);
  }
  for (Station& station : stations) {
    const int status = station.cli->Wait(30000);
    EXPECT_TRUE(WIFEXITED(status)) << status << station.cli->Out() << station.cli->Err();
  }
  for (Station& station : stations) station.sim->Stop();
  EXPECT_GT(kills, 5);

  // Every value on one tag at most, over all belts.
  std::map<std::string, std::pair<std::size_t, unsigned>> tagOf;
  for (std::size_t i = 0; i < stations.size(); ++i) {
    for (const RecordedWrite& w : ReadRecord(stations[i].record)) {
      EXPECT_EQ(w.bank, source.bank);
      const auto [at, fresh] = tagOf.emplace(w.data, std::make_pair(i, w.tagId));
      EXPECT_TRUE(fresh || at->second == std::make_pair(i, w.tagId))
          << w.data << " on station " << at->second.first << " tag " << at->second.second << " and station " << i
          << " tag " << w.tagId;
    }
  }
  EXPECT_GT(tagOf.size(), 50u);

  // Every write that reached a tag is in the ledger once, written or unknown.
  const RunResult listed = RunProgram(CommandLine({"--json", "ledger", "list"}, false));
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  std::map<std::string, int> tagged;  // bytes -> claims that may have reached a tag
  for (const nlohmann::json& claim : OfType(JsonLines(listed.out), "claim")) {
    const std::string outcome = claim["outcome"];
    EXPECT_NE(outcome, "open") << claim.dump();
    if (outcome == "written" || outcome == "unknown") ++tagged[claim["bytes"].get<std::string>()];
  }
  for (const auto& [data, where] : tagOf) {
    // An EPC write carries its protocol-control word before the EPC.
    const std::string bytes = tagged.count(data) != 0 || source.bank != 1 ? data : data.substr(4);
    EXPECT_EQ(tagged[bytes], 1) << data << " on station " << where.first << " tag " << where.second;
  }

  Result<std::unique_ptr<ledger::SqliteLedger>> opened = ledger::SqliteLedger::Open(ledger_.Path());
  ASSERT_TRUE(opened) << opened.message().text;
  EXPECT_EQ(opened.value()->IntegrityCheck(), "ok");
}

INSTANTIATE_TEST_SUITE_P(
    Sources, EverySourceKillTest,
    ::testing::Values(
        SourceCase{"Counter", 3, 3,
                   [](int start, const std::string&) { return UserHexJob({}, start == 0 ? "00000001" : ""); }},
        SourceCase{
            "Sgtin96", 2, 1,
            [](int start, const std::string&) { return Gs1Job("urn:epc:tag:sgtin-96:3.0614141.812345.1000", start); }},
        SourceCase{
            "Sscc96", 3, 1,
            [](int start, const std::string&) { return Gs1Job("urn:epc:tag:sscc-96:3.0614141.0000001000", start); }},
        SourceCase{"Giai96", 2, 1,
                   [](int start, const std::string&) { return Gs1Job("urn:epc:tag:giai-96:3.0614141.1000", start); }},
        SourceCase{"ValueList", 3, 3, [](int, const std::string& folder) { return ListJob(folder + "/a.txt"); }},
        SourceCase{"TwoListsInTurn", 2, 3,
                   [](int start, const std::string& folder) {
                     return ListJob(folder + (start % 2 == 0 ? "/a.txt" : "/b.txt"));
                   }}),
    [](const ::testing::TestParamInfo<SourceCase>& param) { return param.param.name; });

// Programs killed while their claims are being committed, again and again:
// the ledger stays readable and whole, and the next program goes on from it.
TEST_F(CliKillTest, KillsDuringCommitsLeaveTheLedgerWhole) {
  StartSim({"--tags", "0", "--conveyor", "3,0"});
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> afterUs(0, 20000);
  bool first = true;
  for (int kill = 0; kill < 20; ++kill) {
    ChildProcess cli(
        CommandLine(UserHexJob({"--cycle", "--period", "1", "--max-time", "60"}, first ? "00000001" : "")));
    first = false;
    // Claims follow each other every few milliseconds from the first tag on.
    ASSERT_TRUE(cli.Pump(10000, "erfolgreich geschrieben")) << cli.Out() << cli.Err();
    std::this_thread::sleep_for(std::chrono::microseconds(afterUs(random)));
    cli.Signal(SIGKILL);
    cli.Wait(30000);
    Result<std::unique_ptr<ledger::SqliteLedger>> opened = ledger::SqliteLedger::Open(ledger_.Path());
    ASSERT_TRUE(opened) << opened.message().text;
    ASSERT_EQ(opened.value()->IntegrityCheck(), "ok") << "after kill " << kill;
  }
  const RunResult last = RunProgram(CommandLine(UserHexJob({"--cycle", "--count", "5", "--period", "2"}, "")));
  EXPECT_EQ(last.exitCode, 0) << last.out << last.err;
  const RunResult listed = RunProgram(CommandLine({"--json", "ledger", "list"}, false));
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  for (const nlohmann::json& claim : OfType(JsonLines(listed.out), "claim")) EXPECT_NE(claim["outcome"], "open");
  ExpectEachValueOnOneTag({UserWritesByTag()});
}

}  // namespace
}  // namespace stampwise::testing

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
#include <random>
#include <set>
#include <thread>

#include "app/messages.h"
#include "app/strings.h"
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
  while (DistinctTags() < kRunTags && cli.Running() && std::chrono::steady_clock::now() < giveUp) {
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

}  // namespace
}  // namespace stampwise::testing

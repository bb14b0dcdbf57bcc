// Verified writes, the production journal and value lists of stampwise-cli
// against mkv-sim: faults that spoil, refuse or lose a write, two tags in the
// field, bad options, and runs killed at random moments.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::HasSubstr;

class CliTraceTest : public CliTest {
 protected:
  std::string Journal() const { return folder_.File("journal.jsonl"); }
  std::vector<nlohmann::json> JournalLines() const {
    std::vector<nlohmann::json> lines;
    for (const std::string& line : Lines(ReadFile(Journal()))) lines.push_back(nlohmann::json::parse(line));
    return lines;
  }
  // The simulator's tag id from the serial at the end of its TID.
  static unsigned TagOfTid(const std::string& tid) {
    return tid.size() == 24 ? static_cast<unsigned>(std::stoull(tid.substr(8), nullptr, 16)) : 0;
  }
  void NewTag() {
    ASSERT_EQ(sim_->Command("remove all"), "OK");
    ASSERT_THAT(sim_->Command("add"), HasSubstr("OK"));
  }
};

TEST_F(CliTraceTest, EveryKindOfAttemptHasItsJournalLine) {
  StartSim({"--tags", "1"});
  const std::vector<std::string> traced{"--verify", "--journal", Journal()};
  struct Step {
    std::string fault;  // before the write ("" none, "two" a second tag)
    int exitCode;
    std::string outcome, verify, lastData;  // the stored value afterwards
    bool dataSent;
  };
  const Step steps[] = {
      {"", 0, "ok", "ok", "00000002", true},
      {"fault corrupt 1", 1, "mismatch", "mismatch", "00000003", true},  // the value stays used
      {"fault refuse 24 1", 1, "failed", "off", "00000003", false},      // nothing reached the tag
      // The write's reply lost, past the opening's four exchanges, the
      // inventory, the select and the TID read.
      {"fault skip 7|fault drop 1", 1, "unknown", "off", "00000004", true},
      {"two", 1, "failed", "off", "00000004", false},
  };
  bool first = true;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.fault);
    NewTag();
    if (step.fault == "two") {
      sim_->Command("add");
    } else if (!step.fault.empty()) {
      std::istringstream faults(step.fault);
      for (std::string fault; std::getline(faults, fault, '|');) ASSERT_THAT(sim_->Command(fault), HasSubstr("OK"));
    }
    const RunResult result = Cli(UserHexJob(traced, first ? "00000001" : ""));
    first = false;
    EXPECT_EQ(result.exitCode, step.exitCode) << result.out << result.err;
    const nlohmann::json line = JournalLines().back();
    EXPECT_EQ(line["outcome"], step.outcome);
    EXPECT_EQ(line["verify"], step.verify);
    EXPECT_EQ(line["data"].get<std::string>().empty(), !step.dataSent);
    EXPECT_EQ(line["bank"], "user");
    EXPECT_EQ(line["length"], 4);
    EXPECT_EQ(line["tid"].get<std::string>().empty(), step.fault == "two") << "the TID names the chip";
    EXPECT_FALSE(line["message"].get<std::string>().empty());
    EXPECT_EQ(Stored("LastData"), step.lastData);
    ASSERT_EQ(sim_->Command("fault clear"), "OK none");
  }
  const std::vector<nlohmann::json> lines = JournalLines();
  ASSERT_EQ(lines.size(), std::size(steps));
  EXPECT_THAT(lines[1]["message"].get<std::string>(), HasSubstr("Schreiben nicht bestätigt"));
  EXPECT_EQ(lines[4]["message"], LoadString(msg::kTagNotUnique));
  // The spoilt value is never handed to another tag.
  std::set<std::string> values;
  for (const auto& [tag, data] : UserWritesByTag())
    for (const std::string& d : data) EXPECT_TRUE(values.insert(d).second) << d;
}

TEST_F(CliTraceTest, CsvJournalHasOneHeaderAndOptionsAreChecked) {
  StartSim({"--tags", "1"});
  const std::string csv = folder_.File("journal.csv");
  ASSERT_EQ(Cli(UserHexJob({"--journal", csv})).exitCode, 0);
  NewTag();
  ASSERT_EQ(Cli(UserHexJob({"--journal", csv, "--station", "LINIE 3", "--tid", "off"}, "")).exitCode, 0);
  const std::vector<std::string> lines = Lines(ReadFile(csv));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "time,station,tid,epc_before,bank,start,length,value,data,verify,outcome,message\r");
  EXPECT_THAT(lines[2], HasSubstr(",LINIE 3,,"));

  const std::string list = folder_.File("list.csv");
  std::ofstream(list) << "A1\n";
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  } refused[] = {
      {{"--values-file", folder_.File("missing.csv")}, 2, "missing.csv"},
      {{"--values-file", list, "--column", "0"}, 2, "--column"},
      {{"--values-file", list, "--column", "2"}, 2, "hat keine Spalte 2"},
      {{"--column", "2"}, 2, "--column"},
      {{"--station", "X"}, 2, "--station"},
      {{"--journal", folder_.File("no/such/folder.csv")}, 1, "Journal kann nicht geschrieben werden"},
  };
  for (const auto& c : refused) {
    const RunResult result = Cli(UserHexJob(c.args, ""));
    EXPECT_EQ(result.exitCode, c.exitCode) << c.args.back() << result.err;
    EXPECT_THAT(result.out + result.err, HasSubstr(c.message)) << c.args.back();
  }
  const RunResult gs1 = Cli({"write", "--gs1", "--values-file", list});
  EXPECT_EQ(gs1.exitCode, 2) << gs1.err;
  EXPECT_EQ(UserWritesByTag().size(), 2u) << "no refused job wrote anything";
}

// Runs of `args` killed after a random while, then runs that end by
// themselves until `done` says so.
template <typename Done>
void KillAndFinish(const std::function<std::vector<std::string>(bool first)>& job, Done done, std::mt19937& random) {
  const int kills = std::uniform_int_distribution<int>(15, 30)(random);
  std::uniform_int_distribution<int> delayMs(10, 250);
  bool first = true;
  for (int kill = 0; kill < kills && !done(); ++kill) {
    ChildProcess cli(job(first));
    first = false;
    cli.Pump(delayMs(random));
    cli.Signal(SIGKILL);
    cli.Wait(30000);
  }
  for (int run = 0; run < 10 && !done(); ++run) {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const RunResult result = RunProgram(job(first), 120000);
    first = false;
    EXPECT_NE(result.exitCode, -1) << result.err;
  }
}

TEST_F(CliTraceTest, KilledRunsLeaveOneJournalLinePerWrittenTag) {
  constexpr std::size_t kTracedTags = 200;
  StartSim({"--tags", "0", "--conveyor", "5,15"});
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  // A run that is not killed ends after a few dozen tags, not at its time
  // limit: thousands of tags would only slow the test down.
  // The value is given until a run stored one: a run killed before its first
  // claim leaves only the default "0" that loading the settings wrote back,
  // and counting from it would journal a shorter text than the tag's bytes.
  const auto job = [&](bool) {
    const std::string stored = Stored("LastData");
    return CommandLine(
        UserHexJob({"--cycle", "--count", "60", "--period", "5", "--max-time", "90", "--journal", Journal()},
                   stored == "<missing>" || stored == "0" ? "00000001" : ""));
  };
  KillAndFinish(
      job, [&] { return UserWritesByTag().size() >= kTracedTags; }, random);
  ASSERT_GE(UserWritesByTag().size(), kTracedTags);

  // Every write that reached a tag has exactly one line naming its chip and
  // value: "ok", or "unknown" where a kill came between the write and its
  // line. No value is on two tags.
  std::map<std::pair<unsigned, std::string>, int> linesOf;
  for (const nlohmann::json& line : JournalLines()) {
    const std::string outcome = line["outcome"];
    if (outcome != "ok" && outcome != "unknown") continue;
    ++linesOf[{TagOfTid(line["tid"]), line["value"]}];
  }
  std::map<std::string, unsigned> tagOfValue;
  for (const auto& [tag, values] : UserWritesByTag()) {
    for (const std::string& value : values) {
      EXPECT_EQ(linesOf[std::make_pair(tag, value)], 1) << "tag " << tag << " value " << value;
      const auto [at, fresh] = tagOfValue.emplace(value, tag);
      EXPECT_TRUE(fresh) << value << " on tags " << at->second << " and " << tag;
    }
  }
  for (const auto& [line, count] : linesOf) {
    EXPECT_LE(count, 1) << "tag " << line.first << " value " << line.second;
  }
}

TEST_F(CliTraceTest, KilledListRunsUseEveryLineOnceAndSkipNoneSilently) {
  constexpr int kLines = 100;
  StartSim({"--tags", "0", "--conveyor", "5,15"});
  const std::string list = folder_.File("lot.csv");
  {
    std::ofstream out(list);
    for (int i = 1; i <= kLines; ++i) out << i << ",L" << 1000 + i << "\n";
  }
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const auto job = [&](bool) {
    return CommandLine({"write",    "--bank",     "user",          "--start", "0",         "--length", "6",
                        "--format", "data-ascii", "--values-file", list,      "--column",  "2",        "--cycle",
                        "--period", "5",          "--max-time",    "90",      "--journal", Journal()});
  };
  const auto used = [&] { return Stored("Naechste", "Werteliste") == std::to_string(kLines + 1); };
  KillAndFinish(job, used, random);
  ASSERT_TRUE(used()) << Stored("Naechste", "Werteliste");

  std::map<std::string, int> onTags;  // value -> tags that carry it
  for (const auto& [tag, values] : UserWritesByTag()) {
    for (const std::string& hex : values) {
      std::string text;
      for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
      ++onTags[text.substr(0, 5)];
    }
  }
  std::map<std::string, int> journaled;
  for (const nlohmann::json& line : JournalLines()) ++journaled[line["value"].get<std::string>()];
  for (int i = 1; i <= kLines; ++i) {
    const std::string value = "L" + std::to_string(1000 + i);
    EXPECT_LE(onTags[value], 1) << value << " on more than one tag";
    EXPECT_GE(journaled[value], 1) << value << " skipped without a journal line";
  }
}

}  // namespace
}  // namespace stampwise::testing

// A cyclic write killed at random moments and restarted with the same
// settings file never hands one value to two tags, and the stored value is
// always past every value that reached a tag.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

constexpr std::size_t kTags = 200;

class CliKillTest : public CliTest {
 protected:
  std::size_t DistinctTags() const { return UserWritesByTag().size(); }
};

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
  for (int run = 0; run < 10 && DistinctTags() < kTags; ++run) {
    std::vector<std::string> counted = limits;
    counted.insert(counted.end(), {"--count", std::to_string(kTags - DistinctTags())});
    const RunResult result = RunProgram(CommandLine(UserHexJob(counted, first ? "00000001" : "")), 90000);
    first = false;
    EXPECT_NE(result.exitCode, -1) << result.err;
  }
  ASSERT_GE(DistinctTags(), kTags);

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

}  // namespace
}  // namespace stampwise::testing

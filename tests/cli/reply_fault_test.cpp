// Replies that come late, refused writes whose refusal comes late, and readers
// that stop answering, as an operator meets them on a line: nothing is called
// written that did not reach the tag, no value goes to two tags, and a cycle
// on a silent reader ends by itself.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "sim/sim_process.h"
#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::HasSubstr;

class CliReplyFaultTest : public CliTest {
 protected:
  std::string Journal() const { return folder_.File("journal.jsonl"); }
  std::vector<nlohmann::json> JournalLines() const {
    std::vector<nlohmann::json> lines;
    for (const std::string& line : Lines(ReadFile(Journal()))) lines.push_back(nlohmann::json::parse(line));
    return lines;
  }
  void SendFaults(const std::string& faults) {
    std::istringstream list(faults);
    for (std::string fault; std::getline(list, fault, '|');) ASSERT_THAT(sim_->Command(fault), HasSubstr("OK"));
  }
  // Every journal line that says "ok" names a write the simulator made, on
  // the tag of its TID; no value is on two tags.
  void ExpectJournalMatchesTheTags() {
    std::map<std::string, unsigned> tagOfValue;
    for (const auto& [tag, values] : UserWritesByTag()) {
      for (const std::string& value : values) {
        const auto [at, fresh] = tagOfValue.emplace(value, tag);
        EXPECT_TRUE(fresh) << value << " on tags " << at->second << " and " << tag;
      }
    }
    for (const nlohmann::json& line : JournalLines()) {
      if (line["outcome"] != "ok") continue;
      const std::string value = line["value"];
      const std::string tid = line["tid"];
      ASSERT_EQ(tagOfValue.count(value), 1u) << value << " journaled as written, but no tag holds it";
      EXPECT_EQ(std::stoull(tid.substr(8), nullptr, 16), tagOfValue[value]) << value;
    }
  }
};

// Each run starts with the faults and a fresh job of one tag (once) or a
// conveyor (cycle); the replies that come late stand for other commands'.
TEST_F(CliReplyFaultTest, LateRepliesNeverPassForTheCommandsOwn) {
  const std::vector<std::string> kConveyor{"--tags", "0", "--conveyor", "60,30"};
  const std::vector<std::string> kCycle{"--timeout", "300", "--cycle", "--count", "5", "--period", "10"};
  struct Case {
    const char* name;
    std::vector<std::string> sim;
    std::string faults;
    std::vector<std::string> job;
  };
  const Case cases[] = {
      // The TID read's reply stood in for the write's acknowledgement: the
      // write's refusal came later still.
      {"late TID read, refused write",
       {"--tags", "1"},
       "fault skip 6|fault late 700 4|fault refuse 21 1",
       {"--timeout", "500"}},
      // Tag 1's refusal comes after its time-out, in tag 2's exchanges. The
      // simulated belt keeps a tag until something is written to it, and a
      // tag whose outcome is unknown is not written again: the cycle may wait
      // for a next tag that never comes, so it ends by its time.
      {"late refusal on a conveyor",
       {"--tags", "0", "--conveyor", "100,50"},
       "fault skip 7|fault refuse 6 1|fault late 1850 1",
       {"--timeout", "500", "--cycle", "--count", "6", "--period", "10", "--max-time", "15"}},
      // Replies that come after the time-out and the quiet wait after it, in
      // the middle of a cycle: inventories, selects and TID reads mostly.
      {"late reply 9", kConveyor, "fault skip 9|fault late 900 1", kCycle},
      {"late reply 10", kConveyor, "fault skip 10|fault late 900 1", kCycle},
      {"late reply 11", kConveyor, "fault skip 11|fault late 900 1", kCycle},
      {"two late replies 13", kConveyor, "fault skip 13|fault late 700 2", kCycle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartSim(c.sim);
    SendFaults(c.faults);
    std::vector<std::string> line{kCliPath, "--settings", SettingsFile(), "--port", sim_->PtyPath()};
    line.insert(line.end(), c.job.begin(), c.job.begin() + 2);  // the global --timeout
    std::vector<std::string> extra{"--journal", Journal()};
    extra.insert(extra.end(), c.job.begin() + 2, c.job.end());
    for (const std::string& arg : UserHexJob(extra)) line.push_back(arg);
    const RunResult result = RunProgram(line, 120000);
    EXPECT_NE(result.exitCode, -1) << result.err;
    ExpectJournalMatchesTheTags();
    sim_->Stop();
    std::remove(Journal().c_str());
    std::remove(RecordFile().c_str());
    std::remove(SettingsFile().c_str());
    ledger_.Remove();
  }
}

// A reader that stops answering, or whose replies are all bad, ends a cycle
// with the lost-reader message and status 3, on a serial line and on TCP.
TEST_F(CliReplyFaultTest, ACycleOnASilentReaderEndsByItself) {
  struct Case {
    const char* name;
    bool tcp;
    std::string action;  // "stop", "kill" or a fault
  };
  const Case cases[] = {
      {"stopped reader", false, "stop"},          {"every reply lost", false, "fault drop"},
      {"every reply bad", false, "fault badcrc"}, {"every reply cut", true, "fault truncate"},
      {"LAN module gone", true, "kill"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> sim{"--tags", "0", "--conveyor", "50,20"};
    if (c.tcp) sim.insert(sim.end(), {"--tcp", "0"});
    StartSim(sim);
    const std::string port = c.tcp ? "127.0.0.1-" + std::to_string(sim_->TcpPort()) : sim_->PtyPath();
    std::vector<std::string> line{kCliPath, "--settings", SettingsFile(), "--port", port, "--timeout", "100"};
    for (const std::string& arg : UserHexJob({"--cycle", "--period", "10", "--max-time", "120"})) line.push_back(arg);
    ChildProcess cli(line);
    ASSERT_TRUE(cli.Pump(30000, "erfolgreich geschrieben")) << cli.Out() << cli.Err();
    if (c.action == "stop") {
      ::kill(sim_->Pid(), SIGSTOP);
    } else if (c.action == "kill") {
      sim_->Stop();
    } else {
      ASSERT_THAT(sim_->Command(c.action), HasSubstr("OK"));
    }
    const int status = cli.Wait(100000);
    if (c.action == "stop") ::kill(sim_->Pid(), SIGCONT);
    ASSERT_TRUE(WIFEXITED(status)) << cli.Out() << cli.Err();
    EXPECT_EQ(WEXITSTATUS(status), 3) << cli.Out() << cli.Err();
    EXPECT_THAT(cli.Err(), HasSubstr(FormatString(msg::kLinkLost, {port})));
    sim_->Stop();
    ledger_.Remove();  // every case starts its counter at 1 again
  }
}

}  // namespace
}  // namespace stampwise::testing

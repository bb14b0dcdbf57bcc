// Each attempt on an MQTT broker: Debian's mosquitto, started by the test on
// loopback with a configuration of its own, and mosquitto_sub as the
// client. A conveyor run in order with the journal's values; the broker
// stopped mid-run and started again; `ledger publish` for what a broker missed.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>

#include "tests/cli/cli_fixture.h"
#include "tests/cli/loopback_port.h"

namespace stampwise::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr int kGuardMs = 60000;  // only for a test that has gone wrong

// A broker of the test's own: its port, its configuration, its persistence
// file (a subscriber's session outlives a restart, as on a plant's broker).
class Broker {
 public:
  explicit Broker(const TempFolder& folder) : port_(ClosedLoopbackPort()), config_(folder.File("mosquitto.conf")) {
    const passwd* user = ::getpwuid(::getuid());
    std::ofstream(config_) << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\npersistence true\n"
                           << "persistence_location " << folder.Path() << "/\nlog_dest stderr\n"
                           << "user " << (user != nullptr ? user->pw_name : "root") << "\n";
  }
  ~Broker() { Stop(); }
  void Start() {
    process_ = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/sbin/mosquitto", "-c", config_});
    ASSERT_TRUE(AwaitListening()) << process_->Out() << process_->Err();
  }
  void Stop() {
    if (!process_) return;
    process_->Signal(SIGTERM);
    process_->Wait(kGuardMs);
    process_.reset();
  }
  std::string Uri(const std::string& topic) const { return "mqtt://127.0.0.1:" + std::to_string(port_) + "/" + topic; }
  int Port() const { return port_; }

 private:
  // Its log is buffered in a pipe: a connection tells when it listens.
  bool AwaitListening() {
    for (int waited = 0; waited < kGuardMs; waited += 20) {
      const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<std::uint16_t>(port_));
      const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      ::close(fd);
      if (connected) return true;
      if (process_->Ended()) return false;
      process_->Pump(20);
    }
    return false;
  }

  int port_;
  std::string config_;
  std::unique_ptr<ChildProcess> process_;
};

// mosquitto_sub on TOPIC and TOPIC/state with a session the broker keeps: it
// reconnects by itself after the broker's restart and gets what waited.
class Subscriber {
 public:
  Subscriber(const Broker& broker, const std::string& topic) : topic_(topic) {
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/stdbuf", "-oL", "/usr/bin/mosquitto_sub", "-d", "-h", "127.0.0.1", "-p",
                                 std::to_string(broker.Port()), "-c", "-i", "stampwise-test", "-q", "1", "-t", topic,
                                 "-t", topic + "/state", "-v"});
    EXPECT_TRUE(process_->Pump(kGuardMs, "SUBACK")) << process_->Out() << process_->Err();
  }
  ~Subscriber() {
    process_->Signal(SIGTERM);
    process_->Wait(kGuardMs);
  }
  // Waits until the station's state `state` came `times` times.
  bool AwaitState(const std::string& state, int times = 1) {
    const std::string text = "\"state\":\"" + state + "\"";
    for (int waited = 0; waited < kGuardMs; waited += 100) {
      if (Count(text) >= times) return true;
      process_->Pump(100);
    }
    return false;
  }
  // Waits until `count` attempts came.
  bool AwaitAttempts(std::size_t count) {
    for (int waited = 0; waited < kGuardMs; waited += 100) {
      if (Attempts().size() >= count) return true;
      process_->Pump(100);
    }
    return false;
  }
  // The attempts' messages in the order they came, one per claim (QoS 1
  // may bring one twice after a reconnect).
  std::vector<nlohmann::json> Attempts() const { return Messages(topic_ + " ", true); }
  std::vector<std::string> States() const {
    std::vector<std::string> states;
    for (const nlohmann::json& m : Messages(topic_ + "/state ", false)) states.push_back(m["state"]);
    return states;
  }

 private:
  int Count(const std::string& text) const {
    int count = 0;
    for (std::size_t at = process_->Out().find(text); at != std::string::npos; at = process_->Out().find(text, at + 1))
      ++count;
    return count;
  }
  std::vector<nlohmann::json> Messages(const std::string& prefix, bool oncePerClaim) const {
    std::vector<nlohmann::json> messages;
    std::set<std::int64_t> claims;
    std::istringstream in(process_->Out());
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(prefix, 0) != 0) continue;
      nlohmann::json message = nlohmann::json::parse(line.substr(prefix.size()));
      if (oncePerClaim && !claims.insert(message["claim"].get<std::int64_t>()).second) continue;
      messages.push_back(message);
    }
    return messages;
  }
  std::string topic_;
  std::unique_ptr<ChildProcess> process_;
};

class MqttCliTest : public CliTest {
 protected:
  std::string Journal() const { return folder_.File("journal.jsonl"); }
  // A hex job on the User bank, journaled, its attempts to the broker.
  std::vector<std::string> Job(std::vector<std::string> extra) const {
    std::vector<std::string> args = UserHexJob({"--journal", Journal(), "--mqtt", broker_.Uri("line/3")});
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  // The journal's records, each as its MQTT message carries it.
  std::vector<nlohmann::json> JournalRecords() const {
    std::vector<nlohmann::json> records;
    std::ifstream in(Journal());
    for (std::string line; std::getline(in, line);) records.push_back(nlohmann::json::parse(line));
    return records;
  }
  // The messages match the journal one to one, in order, and their claim
  // numbers rise.
  void ExpectJournalsMessages(const std::vector<nlohmann::json>& attempts, std::size_t count) const {
    const std::vector<nlohmann::json> records = JournalRecords();
    ASSERT_EQ(records.size(), count);
    ASSERT_EQ(attempts.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
      nlohmann::json message = attempts[i];
      if (i > 0) {
        EXPECT_GT(message["claim"], attempts[i - 1]["claim"]) << i;
      }
      message.erase("claim");
      EXPECT_EQ(message, records[i]) << i;
    }
  }
  int WrittenLines(const ChildProcess& cli) const {
    int count = 0;
    std::istringstream in(cli.Out());
    for (std::string line; std::getline(in, line);) count += line.find("erfolgreich geschrieben") != std::string::npos;
    return count;
  }
  // Lets `cli` run until it has written `count` tags.
  bool AwaitWritten(ChildProcess& cli, int count) const {
    for (int waited = 0; waited < kGuardMs; waited += 50) {
      if (WrittenLines(cli) >= count) return true;
      cli.Pump(50);
    }
    return false;
  }

  Broker broker_{folder_};
};

TEST_F(MqttCliTest, AConveyorRunSendsEachAttemptInOrderWithTheJournalsValues) {
  broker_.Start();
  Subscriber subscriber(broker_, "line/3");
  StartSim({"--tags", "0", "--conveyor", "5,0"});
  const RunResult run = Cli(Job({"--cycle", "--count", "200", "--period", "5"}));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.err, ::testing::Not(HasSubstr("MQTT")));
  ASSERT_TRUE(subscriber.AwaitState("stopped"));
  ASSERT_TRUE(subscriber.AwaitAttempts(200));
  ExpectJournalsMessages(subscriber.Attempts(), 200);
  EXPECT_THAT(subscriber.States(), ElementsAre("started", "stopped"));
}

// The writer goes on while the broker is away; what waited arrives when it
// is back, in order.
TEST_F(MqttCliTest, ABrokerStoppedMidRunGetsTheQueuedMessagesWhenItIsBack) {
  broker_.Start();
  auto subscriber = std::make_unique<Subscriber>(broker_, "line/3");
  StartSim({"--tags", "0", "--conveyor", "5,0"});
  ChildProcess cli(CommandLine(Job({"--cycle", "--period", "5"})));
  ASSERT_TRUE(subscriber->AwaitAttempts(30));
  broker_.Stop();
  const int atStop = WrittenLines(cli);
  // Encoding never waits for the broker: 40 more tags while it is away.
  ASSERT_TRUE(AwaitWritten(cli, atStop + 40)) << cli.Out() << cli.Err();
  broker_.Start();
  // What waited arrives, and what follows after it.
  ASSERT_TRUE(AwaitWritten(cli, WrittenLines(cli) + 40)) << cli.Out() << cli.Err();
  ASSERT_TRUE(subscriber->AwaitAttempts(static_cast<std::size_t>(WrittenLines(cli))));
  ASSERT_TRUE(cli.AwaitBlocked(SIGTERM, kGuardMs));
  cli.Signal(SIGTERM);
  const int status = cli.Wait(kGuardMs);
  ASSERT_TRUE(WIFEXITED(status)) << cli.Err();
  EXPECT_THAT(cli.Err(), ::testing::Not(HasSubstr("MQTT")));
  ASSERT_TRUE(subscriber->AwaitState("stopped"));
  const std::size_t written = JournalRecords().size();
  ASSERT_TRUE(subscriber->AwaitAttempts(written));
  ExpectJournalsMessages(subscriber->Attempts(), written);
}

// A broker that is not there: the job runs, says what did not arrive and
// since when; `ledger publish` sends it once the broker is there.
TEST_F(MqttCliTest, LedgerPublishSendsWhatTheBrokerMissed) {
  StartSim({"--tags", "0", "--conveyor", "5,0"});
  const RunResult run = Cli(Job({"--cycle", "--count", "20", "--period", "5"}));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::smatch found;
  ASSERT_TRUE(std::regex_search(run.err, found, std::regex(R"((\d+) Meldungen.*--since (\S+)\")"))) << run.err;
  EXPECT_EQ(found[1], "20");
  const std::string since = found[2];
  broker_.Start();
  Subscriber subscriber(broker_, "line/3");
  const RunResult published =
      RunProgram(CommandLine({"ledger", "publish", "--since", since, "--mqtt", broker_.Uri("line/3")}, false));
  ASSERT_EQ(published.exitCode, 0) << published.out << published.err;
  ASSERT_TRUE(subscriber.AwaitAttempts(20));
  ExpectJournalsMessages(subscriber.Attempts(), 20);
}

TEST_F(MqttCliTest, BadBrokerAddressesAreRefusedBeforeAnyTag) {
  StartSim();
  const struct {
    const char* uri;
    const char* says;
  } cases[] = {
      {"http://127.0.0.1/line", "mqtt://"}, {"mqtt://127.0.0.1", "/TOPIC"},
      {"mqtt://127.0.0.1/line/#", "TOPIC"}, {"mqtt://127.0.0.1:99999/line", "PORT"},
      {"mqtt://user:s3cret@/line", "HOST"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.uri);
    const RunResult run = Cli(UserHexJob({"--mqtt", c.uri}));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.err, HasSubstr(c.says));
    EXPECT_THAT(run.err + run.out, ::testing::Not(HasSubstr("s3cret")));
    EXPECT_TRUE(ReadRecord(RecordFile()).empty());
  }
}

}  // namespace
}  // namespace stampwise::testing

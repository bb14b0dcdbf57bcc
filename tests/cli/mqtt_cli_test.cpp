// Each attempt on an MQTT broker: Debian's mosquitto, started by the test on
// loopback with a configuration of its own, and mosquitto_sub as the
// client. A conveyor run in order with the journal's values; the broker
// stopped mid-run and started again; `ledger publish` for what a broker missed;
// mqtts:// against a broker whose certificate comes from a CA of the test's own.
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
#include "tests/cli/mqtt_broker.h"

namespace stampwise::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr int kGuardMs = 60000;  // only for a test that has gone wrong

// mosquitto_sub on TOPIC and TOPIC/state with a session the broker keeps: it
// reconnects by itself after the broker's restart and gets what waited.
// `ca`: over TLS to "localhost", the broker's certificate checked against it.
class Subscriber {
 public:
  Subscriber(const Broker& broker, const std::string& topic, const std::string& ca = "") : topic_(topic) {
    std::vector<std::string> line{"/usr/bin/stdbuf",
                                  "-oL",
                                  "/usr/bin/mosquitto_sub",
                                  "-d",
                                  "-p",
                                  std::to_string(broker.Port()),
                                  "-c",
                                  "-i",
                                  "stampwise-test",
                                  "-q",
                                  "1",
                                  "-t",
                                  topic,
                                  "-t",
                                  topic + "/state",
                                  "-v"};
    const std::vector<std::string> host = ca.empty() ? std::vector<std::string>{"-h", "127.0.0.1"}
                                                     : std::vector<std::string>{"-h", "localhost", "--cafile", ca};
    line.insert(line.end(), host.begin(), host.end());
    process_ = std::make_unique<ChildProcess>(line);
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
  // What mosquitto_sub printed, its debug lines included: a failure's evidence.
  const std::string& Seen() const { return process_->Out(); }
  // The station's states in the order they came, one repeated at once
  // counted once: QoS 1 delivers at least once, and a subscriber that
  // reconnects is sent the retained state again.
  std::vector<std::string> StateChanges() const {
    std::vector<std::string> states;
    for (const nlohmann::json& m : Messages(topic_ + "/state ", false)) {
      if (states.empty() || states.back() != m["state"]) states.push_back(m["state"]);
    }
    return states;
  }
  // State messages the broker sent as the station's last will: it vanished
  // without saying goodbye.
  int Wills() const {
    int wills = 0;
    for (const nlohmann::json& m : Messages(topic_ + "/state ", false)) wills += m.value("lost", false) ? 1 : 0;
    return wills;
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
    // Only whole lines: the pipe may have brought the last one in part.
    const std::string& out = process_->Out();
    std::istringstream in(out.substr(0, out.rfind('\n') + 1));
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
  EXPECT_THAT(subscriber.StateChanges(), ElementsAre("started", "stopped")) << subscriber.Seen() << broker_.Log();
  EXPECT_EQ(subscriber.Wills(), 0) << subscriber.Seen() << broker_.Log();
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

// A station that vanishes mid-run (killed, its power cut) is told to the
// line by the broker: its last will, "stopped" and lost, retained.
TEST_F(MqttCliTest, AKilledStationIsStoppedAndLostOnTheStateTopic) {
  broker_.Start();
  Subscriber subscriber(broker_, "line/3");
  StartSim({"--tags", "0", "--conveyor", "5,0"});
  ChildProcess cli(CommandLine(Job({"--cycle", "--period", "5"})));
  ASSERT_TRUE(subscriber.AwaitAttempts(5)) << cli.Out() << cli.Err();
  cli.Signal(SIGKILL);
  cli.Wait(kGuardMs);
  ASSERT_TRUE(subscriber.AwaitState("stopped")) << subscriber.Seen() << broker_.Log();
  EXPECT_THAT(subscriber.StateChanges(), ElementsAre("started", "stopped"));
  EXPECT_EQ(subscriber.Wills(), 1);
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

// Refused before any tag and before anything is stored: not even the
// settings file the command line names is made.
TEST_F(MqttCliTest, BadBrokerAddressesAreRefusedBeforeAnyTag) {
  StartSim();
  const std::string missing = folder_.File("missing.pem");
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"--mqtt", "http://127.0.0.1/line"}, "mqtt://"},
      {{"--mqtt", "mqtt://127.0.0.1"}, "/TOPIC"},
      {{"--mqtt", "mqtt://127.0.0.1/line/#"}, "TOPIC"},
      {{"--mqtt", "mqtt://127.0.0.1:99999/line"}, "PORT"},
      {{"--mqtt", "mqtt://127.0.0.1:/line"}, "PORT"},
      {{"--mqtt", "mqtt://user:s3cret@/line"}, "HOST"},
      {{"--mqtt", "mqtts://127.0.0.1/line", "--mqtt-ca", missing}, "missing.pem"},
      {{"--mqtt", "mqtts://127.0.0.1/line", "--mqtt-credentials", missing}, "missing.pem"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args.back());
    const RunResult run = Cli(UserHexJob(c.args));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.err, HasSubstr(c.says));
    EXPECT_THAT(run.err + run.out, ::testing::Not(HasSubstr("s3cret")));
    EXPECT_TRUE(ReadRecord(RecordFile()).empty());
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
  }
}

// A CA of the test's own with a certificate for "localhost" (made with
// openssl), and a second CA that signed nothing of the broker's.
class TestCertificates {
 public:
  explicit TestCertificates(const TempFolder& folder) : folder_(folder) {
    for (const std::string name : {"ca", "other-ca"}) {
      Openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
               File(name + ".key"), "-out", File(name + ".pem"), "-days", "2", "-subj", "/CN=Stampwise test " + name});
    }
    std::ofstream(File("server.ext")) << "subjectAltName=DNS:localhost\n";
    Openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", Key(), "-out",
             File("server.csr"), "-subj", "/CN=localhost"});
    Openssl({"x509", "-req", "-in", File("server.csr"), "-CA", Ca(), "-CAkey", File("ca.key"), "-CAcreateserial",
             "-out", File("server.pem"), "-days", "2", "-extfile", File("server.ext")});
  }
  std::string Ca() const { return File("ca.pem"); }
  std::string OtherCa() const { return File("other-ca.pem"); }
  std::string Key() const { return File("server.key"); }
  // The broker's TLS listener.
  std::string Listener() const {
    return "cafile " + Ca() + "\ncertfile " + File("server.pem") + "\nkeyfile " + Key() + "\n";
  }

 private:
  std::string File(const std::string& name) const { return folder_.File(name); }
  static void Openssl(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/openssl");
    const RunResult made = RunProgram(args);
    ASSERT_EQ(made.exitCode, 0) << made.err;
  }
  const TempFolder& folder_;
};

// mqtts://: the broker's certificate is checked against --mqtt-ca and its
// host name. A broker that fails either check gets nothing (never in the
// clear); the job writes every tag all the same and says why the broker was
// refused and how to send what it missed.
TEST_F(MqttCliTest, MqttsChecksTheBrokersCertificateAndHostName) {
  const TestCertificates certificates(folder_);
  Broker broker(folder_, certificates.Listener());
  broker.Start();
  const struct {
    const char* name;
    std::string host;
    std::string ca;
    bool arrives;
  } cases[] = {
      {"the broker's CA", "localhost", certificates.Ca(), true},
      {"another CA", "localhost", certificates.OtherCa(), false},
      {"a host name the certificate does not name", "127.0.0.1", certificates.Ca(), false},
  };
  StartSim({"--tags", "0", "--conveyor", "5,0"});
  int topic = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string line = "line/" + std::to_string(++topic);
    Subscriber subscriber(broker, line, certificates.Ca());
    const RunResult run = Cli(UserHexJob(
        {"--mqtt", broker.TlsUri(c.host, line), "--mqtt-ca", c.ca, "--cycle", "--count", "20", "--period", "5"}, ""));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Zyklus beendet: 20 geschrieben"));
    if (c.arrives) {
      EXPECT_THAT(run.err, ::testing::Not(HasSubstr("MQTT")));
      ASSERT_TRUE(subscriber.AwaitState("stopped"));
      EXPECT_EQ(subscriber.Attempts().size(), 20u);
    } else {
      EXPECT_THAT(run.err, HasSubstr("certificate verify failed"));
      EXPECT_THAT(run.err, HasSubstr("20 Meldungen erreichten den MQTT-Broker " + broker.TlsUri(c.host, line)));
      EXPECT_TRUE(subscriber.Attempts().empty());
    }
  }
}

}  // namespace
}  // namespace stampwise::testing

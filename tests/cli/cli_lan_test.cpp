// The "lan" commands of stampwise-cli against a simulated LAN module in a
// private network namespace (skipped where namespaces cannot be made).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "app/store/settings.h"
#include "sim/sim_process.h"
#include "tests/app/temp_folder.h"
#include "tests/cli/child_process.h"
#include "tests/lan/net_lab.h"

namespace stampwise::testing {
namespace {

using ::testing::HasSubstr;

class CliLan : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    lab_ = qlmkv::test::NetLab::Create(whyNot);
    if (lab_ == nullptr) GTEST_SKIP() << "no private network for LAN tests: " << whyNot;
    lab_->Wire(lab_->HostNamespace(), "h0", {"10.77.0.1/24"});
    moduleNs_ = lab_->AddNamespace("module");
    lab_->Wire(moduleNs_, "eth0", {"10.77.0.2/24"});
    module_ = std::make_unique<mkvsim::SimProcess>(
        std::vector<std::string>{"--quiet", "--lan", "--lan-iface", "eth0", "--lan-address", "10.77.0.2", "--lan-name",
                                 "HALLE", "--lan-gateway", "10.77.0.254"},
        mkvsim::SimProcess::DefaultBinary(), lab_->Launcher(moduleNs_));
  }
  void TearDown() override {
    module_.reset();
    lab_.reset();
  }
  RunResult Cli(const std::vector<std::string>& args) const {
    std::vector<std::string> line{STAMPWISE_CLI_PATH, "--settings", folder_.File("settings.ini")};
    line.insert(line.end(), args.begin(), args.end());
    return RunProgram(line);
  }

  std::unique_ptr<qlmkv::test::NetLab> lab_;
  std::string moduleNs_;
  std::unique_ptr<mkvsim::SimProcess> module_;
  TempFolder folder_;
};

TEST_F(CliLan, ListShowPingAndSet) {
  RunResult result = Cli({"lan", "list"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "10.77.0.2-10001\n");
  result = Cli({"--json", "lan", "list", "--all"});
  EXPECT_EQ(result.out, "{\"entry\":\"10.77.0.2-10001\",\"type\":\"lan\"}\n");

  result = Cli({"lan", "show", "10.77.0.2"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "address 10.77.0.2\nmask 255.255.255.0\ngateway 10.77.0.254\nport 10001\nname HALLE\n");

  EXPECT_EQ(Cli({"lan", "ping", "10.77.0.2"}).exitCode, 0);
  result = Cli({"lan", "ping", "10.77.0.250"});
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.out, "10.77.0.250 does not answer\n");

  const struct {
    std::vector<std::string> args;
    std::string message;  // part of what stderr says
  } refused[] = {{{"lan", "set", "10.77.0.2"}, ""},
                 {{"lan", "set", "10.77.0.2", "--dhcp", "NEUNNAMEN"}, "Geben Sie höchstens 8 Zeichen ein."},
                 {{"lan", "set", "10.77.0.2", "--ip", "10.77.0.300"}, ""},
                 {{"lan", "set", "10.77.0.2", "--dhcp", "X", "--ip", "10.77.0.7"}, ""}};
  for (const auto& c : refused) {
    result = Cli(c.args);
    EXPECT_EQ(result.exitCode, 2) << c.args.back();
    EXPECT_THAT(result.err, HasSubstr(c.message)) << c.args.back();
  }
  EXPECT_EQ(module_->Command("lan counts"), "OK writes=0 assignments=0 restarts=0");

  result = Cli({"lan", "set", "10.77.0.2", "--ip", "10.77.0.7", "--port", "4001"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "10.77.0.7-4001\n");
  // The gateway not asked for stayed.
  EXPECT_THAT(Cli({"lan", "show", "10.77.0.7"}).out, HasSubstr("gateway 10.77.0.254\nport 4001\n"));
  // Job commands take the module's connection string.
  result = Cli({"--port", "10.77.0.7-4001", "info"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
}

// A module's name is bytes: one that is not UTF-8 (an old module named in
// Latin-1) shows as Latin-1 text in JSON, and lists and shows do not stop.
TEST_F(CliLan, AModuleNameThatIsNotUtf8IsCarriedAsLatin1) {
  const std::string name = "\xC4RGER";
  module_.reset();
  // Automatic addressing: the list names the module.
  module_ =
      std::make_unique<mkvsim::SimProcess>(std::vector<std::string>{"--quiet", "--lan", "--lan-iface", "eth0",
                                                                    "--lan-name", name, "--lan-gateway", "10.77.0.254"},
                                           mkvsim::SimProcess::DefaultBinary(), lab_->Launcher(moduleNs_));
  RunResult result = Cli({"lan", "list", "--all"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "[" + name + "]10.77.0.2-10001\n");
  result = Cli({"--json", "lan", "list", "--all"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(nlohmann::json::parse(result.out)["entry"], "[\xC3\x84RGER]10.77.0.2-10001");
  result = Cli({"--json", "lan", "show", "10.77.0.2"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(nlohmann::json::parse(result.out)["name"], "\xC3\x84RGER");
}

// A stored LAN reader that does not answer is not replaced by another module
// found on the network: the job fails with exit 3 naming it, nothing saved.
TEST_F(CliLan, AStoredReaderThatDoesNotAnswerIsNeverReplaced) {
  {
    Settings settings(folder_.File("settings.ini"), folder_.Path() + "/");
    settings.WriteString("Port", "Name", "LAN: 10.77.0.99-10001");
    settings.WriteString("Port", "EthernetAktiv", "1");
  }
  const RunResult run = Cli({"info"});
  EXPECT_EQ(run.exitCode, 3) << run.out;
  EXPECT_THAT(run.err, HasSubstr("10.77.0.99-10001"));
  EXPECT_EQ(Settings(folder_.File("settings.ini"), folder_.Path() + "/").ReadString("Port", "Name", ""),
            "LAN: 10.77.0.99-10001");
}

// lan set waits up to 25 s for the module to answer at its new address; a
// stop signal ends that wait with 128 + its number (on main: 25 s, exit 3).
TEST_F(CliLan, ASignalEndsTheWaitAfterASet) {
  std::vector<std::string> ignorePings{"/usr/bin/env"};
  for (const std::string& word : lab_->Launcher(moduleNs_)) ignorePings.push_back(word);
  ignorePings.insert(ignorePings.end(), {"sysctl", "-q", "-w", "net.ipv4.icmp_echo_ignore_all=1"});
  ASSERT_EQ(RunProgram(ignorePings).exitCode, 0);
  ChildProcess cli(
      {STAMPWISE_CLI_PATH, "--settings", folder_.File("settings.ini"), "lan", "set", "10.77.0.2", "--ip", "10.77.0.9"});
  ASSERT_TRUE(cli.AwaitBlocked(SIGINT, 60000));
  // Once the module has its change, the tool waits for an answer.
  for (int i = 0; i < 6000 && module_->Command("lan counts") != "OK writes=1 assignments=1 restarts=1"; ++i) {
    cli.Pump(5);
  }
  cli.Signal(SIGINT);
  const int status = cli.Wait(120000);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 130) << cli.Err();
}

TEST_F(CliLan, AModuleThatDoesNotAnswerIsNoReader) {
  ASSERT_EQ(module_->Command("lan silent on"), "OK");
  EXPECT_EQ(Cli({"lan", "show", "10.77.0.2"}).exitCode, 3);
  EXPECT_EQ(Cli({"lan", "set", "10.77.0.2", "--ip", "10.77.0.8"}).exitCode, 3);
  EXPECT_EQ(Cli({"lan", "list", "--all"}).out, "");
}

}  // namespace
}  // namespace stampwise::testing

// "stampwise-cli update" and "--version" run as a program against the
// loopback HTTPS server and mkv-sim.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

#include "tests/cli/cli_fixture.h"
#include "tests/update/https_test_server.h"

namespace stampwise::testing {
namespace {

using ::testing::ElementsAre;

const char kNewerSoftware[] = "[QL_MKV_Stampwise]\r\nVersion=1.10\r\nBuild=2099-01-01\r\nInstaller=";
const std::string kDeviceVersions =
    "[Alias]\r\n312=MKV39\r\n[MKV39]\r\nVersion=1.12\r\nInstaller=https://127.0.0.1/mkv39.run\r\n";

class UpdateCliTest : public CliTest {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<HttpsTestServer>(); }
  static void TearDownTestSuite() { server_.reset(); }

  // The tool with the server's base address on its command line.
  RunResult Update(const std::string& folder, std::vector<std::string> args, bool withPort = false) const {
    std::vector<std::string> line{"update", "--server", server_->Base() + folder};
    line.insert(line.end(), args.begin(), args.end());
    return RunProgram(CommandLine(line, withPort));
  }
  // A folder on the server with a software versions file (and the device's).
  static void ServeFolder(const std::string& folder, const std::string& software) {
    std::filesystem::create_directories(server_->Root() + "/" + folder);
    server_->Serve(folder + "/RFIDVersionsUHF.txt", software);
    server_->Serve(folder + "/RFIDDeviceVersions.txt", kDeviceVersions);
  }

  static inline std::unique_ptr<HttpsTestServer> server_;
  ScopedCaBundle trust_{server_->CaFile()};
};

TEST_F(UpdateCliTest, VersionIsProductVersionAndBuildDate) {
  const RunResult result = RunProgram({kCliPath, "--version"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(std::regex_match(result.out, std::regex(R"(stampwise-cli \d+\.\d+ \(\d{4}-\d{2}-\d{2}\)\n)")))
      << result.out;
}

TEST_F(UpdateCliTest, SoftwareCheckLinesAndExitStatuses) {
  ServeFolder("newer", std::string(kNewerSoftware) + "https://127.0.0.1/setup.run\r\n");
  ServeFolder("current", "[QL_MKV_Stampwise]\r\nVersion=1.00\r\nBuild=2000-01-01\r\n");
  ServeFolder("nobuild", "[QL_MKV_Stampwise]\r\nVersion=1.10\r\n");
  struct Case {
    const char* folder;
    std::vector<std::string> global;
    const char* line;
    int exitCode;
  };
  const Case cases[] = {
      {"newer", {}, "Neue Version:QL-MKV Stampwise => V 1.10 (2099-01-01)", 4},
      {"newer", {"--lang", "en"}, "New version:QL-MKV Stampwise => V 1.10 (2099-01-01)", 4},
      {"current", {}, "QL-MKV Stampwise ist aktuell", 0},
      {"current", {"--lang", "en"}, "QL-MKV Stampwise is up to date", 0},
      {"nobuild", {}, "Keine Datei gefunden: Update Prüfung nicht möglich!", 5},
      {"missing", {}, "Keine Internet Verbindung: Update Prüfung nicht möglich!", 5},
  };
  for (const Case& c : cases) {
    std::vector<std::string> line = c.global;
    line.insert(line.end(), {"update", "--server", server_->Base() + c.folder});
    const RunResult result = RunProgram(CommandLine(line, false));
    EXPECT_EQ(result.exitCode, c.exitCode) << c.folder << result.err;
    EXPECT_THAT(Lines(result.out), ElementsAre(c.line)) << c.folder;
  }
}

TEST_F(UpdateCliTest, ServerSettingIsUsedWithASlashAddedAndOnlyTrustedCertificates) {
  ServeFolder("stored", std::string(kNewerSoftware) + "https://127.0.0.1/setup.run\r\n");
  Settings(SettingsFile(), folder_.Path() + "/").WriteString("Version", "Server", server_->Base() + "stored");
  EXPECT_EQ(RunProgram(CommandLine({"update"}, false)).exitCode, 4);
  ScopedCaBundle other(server_->OtherCaFile());
  const RunResult untrusted = RunProgram(CommandLine({"update"}, false));
  EXPECT_EQ(untrusted.exitCode, 5);
  EXPECT_THAT(Lines(untrusted.out), ElementsAre("Keine Internet Verbindung: Update Prüfung nicht möglich!"));
}

// Unknown is not up to date: without a versions file the device line says
// only that the check was not possible (JSON: "possible" false, "newer"
// null). A file that was fetched keeps its rules, a missing entry for the
// reader's family included.
TEST_F(UpdateCliTest, DeviceCheckWithoutAnyFileIsNotPossible) {
  ServeFolder("no-family", "[QL_MKV_Stampwise]\r\nVersion=1.00\r\nBuild=2000-01-01\r\n");
  server_->Serve("no-family/RFIDDeviceVersions.txt", "[Alias]\r\n322=MKV380\r\n[MKV380]\r\nVersion=1.12\r\n");
  StartSim({"--tags", "1", "--model", "312B"});
  struct Case {
    const char* folder;
    const char* deviceLine;
    int exitCode;
    nlohmann::json possible;
    nlohmann::json newer;
  };
  const Case cases[] = {
      {"nothing-here", "QL-MKV39 V1.11: Keine Internet Verbindung: Update Prüfung nicht möglich!", 5, false, nullptr},
      {"no-family", "QL-MKV39 V1.11  ist aktuell", 0, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    const RunResult result = Update(c.folder, {"--reader"}, true);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    ASSERT_EQ(Lines(result.out).size(), 2u) << result.out;
    EXPECT_EQ(Lines(result.out)[1], c.deviceLine);
    const RunResult json =
        RunProgram(CommandLine({"--json", "update", "--server", server_->Base() + c.folder, "--reader"}, true));
    ASSERT_EQ(Lines(json.out).size(), 2u) << json.out;
    const nlohmann::json device = nlohmann::json::parse(Lines(json.out)[1]);
    EXPECT_EQ(device["possible"], c.possible);
    EXPECT_EQ(device["newer"], c.newer);
    EXPECT_EQ(device["text"], c.deviceLine);
  }
}

// A server that stalls: a stop signal ends the check at once, with 128 + the
// signal's number (on main the check waited for the stall limit, exit 5).
class UpdateStopTest : public UpdateCliTest, public ::testing::WithParamInterface<int> {};

TEST_P(UpdateStopTest, ASignalEndsTheCheckAtOnce) {
  server_->Serve("RFIDVersionsUHF.txt", std::string(kNewerSoftware) + "https://127.0.0.1/setup.run\r\n");
  ChildProcess cli(CommandLine({"update", "--server", server_->Base() + "stall/"}, false));
  ASSERT_TRUE(cli.AwaitBlocked(GetParam(), 60000));
  cli.Signal(GetParam());
  const int status = cli.Wait(120000);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 128 + GetParam()) << cli.Out() << cli.Err();
  EXPECT_EQ(cli.Out(), "") << "no check result: nothing was known";
}

INSTANTIATE_TEST_SUITE_P(Update, UpdateStopTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP), [](const auto& testCase) {
  return testCase.param == SIGTERM ? "Sigterm" : testCase.param == SIGINT ? "Sigint" : "Sighup";
});

TEST_F(UpdateCliTest, NoReaderAndBadArguments) {
  ServeFolder("any", "[QL_MKV_Stampwise]\r\nVersion=1.00\r\nBuild=2000-01-01\r\n");
  EXPECT_EQ(Update("any", {"--reader"}, true).exitCode, 3);
  EXPECT_EQ(Update("any", {"--download", folder_.File("no-such-folder")}).exitCode, 2);
  EXPECT_EQ(Update("any", {"--no-such-option"}).exitCode, 2);
}

TEST_F(UpdateCliTest, JsonHasOneObjectPerCheck) {
  ServeFolder("json", std::string(kNewerSoftware) + "https://127.0.0.1/setup.run\r\n");
  StartSim({"--tags", "1", "--model", "312B"});
  const RunResult result =
      RunProgram(CommandLine({"--json", "update", "--server", server_->Base() + "json", "--reader"}));
  EXPECT_EQ(result.exitCode, 4) << result.err;
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 2u);
  const nlohmann::json software = nlohmann::json::parse(lines[0]);
  const nlohmann::json device = nlohmann::json::parse(lines[1]);
  EXPECT_EQ(software["check"], "software");
  EXPECT_EQ(software["server"], "1.10");
  EXPECT_EQ(software["build"], "2099-01-01");
  EXPECT_EQ(software["newer"], true);
  EXPECT_EQ(software["installer"], "https://127.0.0.1/setup.run");
  EXPECT_EQ(software["text"], "Neue Version:QL-MKV Stampwise => V 1.10 (2099-01-01)");
  EXPECT_TRUE(software.contains("own"));
  EXPECT_FALSE(software.contains("path"));
  EXPECT_EQ(device["check"], "device");
  EXPECT_EQ(device["own"], "1.11");
  EXPECT_EQ(device["server"], "1.12");
  EXPECT_EQ(device["build"], "");
  EXPECT_EQ(device["newer"], true);
  EXPECT_EQ(device["text"], "Update QL-MKV39 V1.11 => V1.12");
}

TEST_F(UpdateCliTest, DownloadSavesButNeverStartsTheInstaller) {
  TempFolder target("stampwise-target");
  const std::string mark = target.File("installer-ran");
  server_->Serve("mark.run", "#!/bin/sh\ntouch '" + mark + "'\n");
  ServeFolder("download", std::string(kNewerSoftware) + server_->Base() + "mark.run\r\n");
  const RunResult result = Update("download", {"--download", target.Path()});
  EXPECT_EQ(result.exitCode, 4) << result.err;
  EXPECT_THAT(Lines(result.out),
              ElementsAre("Neue Version:QL-MKV Stampwise => V 1.10 (2099-01-01)", target.File("mark.run")));
  EXPECT_EQ(ReadFile(target.File("mark.run")), "#!/bin/sh\ntouch '" + mark + "'\n");
  EXPECT_FALSE(std::filesystem::exists(mark));

  const RunResult json = RunProgram(
      CommandLine({"--json", "update", "--server", server_->Base() + "download", "--download", target.Path()}, false));
  EXPECT_EQ(nlohmann::json::parse(json.out)["path"], target.File("mark.run"));
}

TEST_F(UpdateCliTest, FailedDownloadsExitFiveAndLeaveNothing) {
  TempFolder target("stampwise-target");
  server_->Serve("setup.run", std::string(100000, 'x'));
  const std::string port = std::to_string(server_->Port());
  ServeFolder("cut", std::string(kNewerSoftware) + server_->Base() + "cut/setup.run\r\n");
  ServeFolder("plain", std::string(kNewerSoftware) + "http://127.0.0.1:" + port + "/setup.run\r\n");
  for (const char* folder : {"cut", "plain"}) {
    const RunResult result = Update(folder, {"--download", target.Path()});
    EXPECT_EQ(result.exitCode, 5) << folder;
    EXPECT_TRUE(std::filesystem::is_empty(target.Path())) << folder;
  }
}

}  // namespace
}  // namespace stampwise::testing

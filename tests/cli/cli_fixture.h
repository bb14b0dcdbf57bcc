// stampwise-cli run as a program against mkv-sim, with its own settings file.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim_process.h"
#include "tests/app/cycle_fixture.h"
#include "tests/app/temp_folder.h"
#include "tests/cli/child_process.h"

namespace stampwise::testing {

inline const std::string kCliPath = STAMPWISE_CLI_PATH;

class CliTest : public ::testing::Test {
 protected:
  void StartSim(std::vector<std::string> args = {"--tags", "1"}) {
    args.insert(args.end(), {"--quiet", "--record", RecordFile()});
    sim_ = std::make_unique<mkvsim::SimProcess>(args);
  }
  void TearDown() override {
    if (sim_) sim_->Stop();
  }

  // The tool's command line: global options for this test, then `args`.
  std::vector<std::string> CommandLine(const std::vector<std::string>& args, bool withPort = true) const {
    std::vector<std::string> line{kCliPath, "--settings", SettingsFile()};
    if (withPort) {
      line.push_back("--port");
      line.push_back(sim_ ? sim_->PtyPath() : "/dev/nonexistent-stampwise-port");
    }
    line.insert(line.end(), args.begin(), args.end());
    return line;
  }
  RunResult Cli(const std::vector<std::string>& args) const { return RunProgram(CommandLine(args)); }

  std::string SettingsFile() const { return folder_.File("settings.ini"); }
  std::string RecordFile() const { return folder_.File("record.txt"); }
  std::string Stored(const char* key, const char* sectionName = "Settings") const {
    Settings settings(SettingsFile(), folder_.Path() + "/");
    return settings.ReadString(sectionName, key, "<missing>");
  }
  // Data written to the User bank, by tag.
  std::map<unsigned, std::vector<std::string>> UserWritesByTag() const {
    std::map<unsigned, std::vector<std::string>> byTag;
    for (const RecordedWrite& w : ReadRecord(RecordFile()))
      if (w.bank == 3) byTag[w.tagId].push_back(w.data);
    return byTag;
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
  }

  // Every line of JSON output is one object with a type.
  static std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::vector<nlohmann::json> objects;
    for (const std::string& line : Lines(out)) {
      nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
      EXPECT_TRUE(object.is_object() && object.contains("type")) << line;
      objects.push_back(object);
    }
    return objects;
  }
  // The objects of one type.
  static std::vector<nlohmann::json> OfType(const std::vector<nlohmann::json>& objects, const std::string& type) {
    std::vector<nlohmann::json> found;
    for (const nlohmann::json& object : objects)
      if (object.value("type", "") == type) found.push_back(object);
    return found;
  }

  TempFolder folder_;
  PrivateLedger ledger_{folder_};
  std::unique_ptr<mkvsim::SimProcess> sim_;
};

// A four-byte hex write job on the User bank with hex increment; without a
// value the stored one goes on.
inline std::vector<std::string> UserHexJob(std::vector<std::string> extra, const std::string& value = "00000001") {
  std::vector<std::string> args{"write", "--bank",   "user",    "--start", "0",  "--length",
                                "4",     "--format", "hex-bin", "--inc",   "hex"};
  if (!value.empty()) args.insert(args.end(), {"--value", value});
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

}  // namespace stampwise::testing

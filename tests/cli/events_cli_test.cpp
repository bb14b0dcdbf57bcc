// What the ledger tells other systems: `ledger epcis` checked against GS1's
// published schema for EPCIS 2.0 documents (Debian's python3-jsonschema).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "app/store/settings_keys.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Debian's Python, where Debian's jsonschema is installed.
const std::string kPython = EVENTS_PYTHON;
const std::string kValidator = EPCIS_VALIDATOR;
const std::string kSchema = EPCIS_SCHEMA;

class EventsCliTest : public CliTest {
 protected:
  void Store(const SettingKey& key, const std::string& value) const {
    Settings settings(SettingsFile(), folder_.Path() + "/");
    settings.WriteString(key, value);
  }
  // `count` SGTINs from serial 6789 on the conveyor, as station "Line 3".
  void WriteSgtins(int count) {
    StartSim({"--tags", "0", "--conveyor", "5,0"});
    Store(keys::kJournalStation, "Line 3");
    const RunResult run = Cli({"write", "--epc-uri", "urn:epc:tag:sgtin-96:3.0614141.812345.6789", "--cycle", "--count",
                               std::to_string(count), "--period", "5"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  }
  // `ledger epcis` with `args`; the document goes to a file.
  RunResult Epcis(const std::vector<std::string>& args = {}) const {
    std::vector<std::string> line{"ledger", "epcis"};
    line.insert(line.end(), args.begin(), args.end());
    RunResult run = RunProgram(CommandLine(line, false));
    std::ofstream(DocumentFile()) << run.out;
    return run;
  }
  std::string DocumentFile() const { return folder_.File("events.jsonld"); }
  // GS1's schema's verdict: empty when the document passes.
  std::string SchemaViolations() const {
    const RunResult check = RunProgram({kPython, kValidator, kSchema, DocumentFile()});
    return check.exitCode == 0 ? std::string()
                               : check.out + check.err + "(exit " + std::to_string(check.exitCode) + ")";
  }
  static std::vector<std::string> Epcs(const nlohmann::json& document) {
    std::vector<std::string> epcs;
    for (const nlohmann::json& event : document["epcisBody"]["eventList"]) epcs.push_back(event["epcList"][0]);
    return epcs;
  }
};

TEST_F(EventsCliTest, WrittenSgtinsMakeADocumentGs1sSchemaTakes) {
  WriteSgtins(3);
  Store(keys::kReadPoint, "urn:epc:tag:sgln-96:3.0614141.07346.1234");
  const RunResult run = Epcis();
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(SchemaViolations(), IsEmpty()) << run.out;
  const nlohmann::json document = nlohmann::json::parse(run.out);
  EXPECT_EQ(Epcs(document),
            (std::vector<std::string>{"urn:epc:id:sgtin:0614141.812345.6789", "urn:epc:id:sgtin:0614141.812345.6790",
                                      "urn:epc:id:sgtin:0614141.812345.6791"}));
  for (const nlohmann::json& event : document["epcisBody"]["eventList"]) {
    EXPECT_EQ(event["readPoint"]["id"], "urn:epc:id:sgln:0614141.07346.1234");
    EXPECT_EQ(event["action"], "ADD");
  }
  EXPECT_THAT(run.err, IsEmpty());
}

// The window, and a read point that is none: the document stays valid.
TEST_F(EventsCliTest, AWindowAndAPlainNameForTheReadPoint) {
  WriteSgtins(2);
  Store(keys::kReadPoint, "Line 3");
  const struct {
    std::vector<std::string> args;
    std::size_t events;
  } cases[] = {
      {{"--since", "2000-01-01"}, 2},
      {{"--since", "2999-01-01T00:00Z"}, 0},
      {{"--until", "2000-01-01T00:00:00+01:00"}, 0},
      {{"--station", "Line 3"}, 2},
      {{"--station", "Line 4"}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const RunResult run = Epcis(c.args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(SchemaViolations(), IsEmpty()) << run.out;
    const nlohmann::json document = nlohmann::json::parse(run.out);
    EXPECT_EQ(Epcs(document).size(), c.events);
    for (const nlohmann::json& event : document["epcisBody"]["eventList"]) EXPECT_FALSE(event.contains("readPoint"));
    EXPECT_THAT(run.err, HasSubstr("Line 3"));
  }
}

// The shift report in a real browser: chromium renders it headless, charts
// included, into a screenshot (kept as STAMPWISE_REPORT_SCREENSHOT names it,
// for a person to look at).
TEST_F(EventsCliTest, TheShiftReportRendersInABrowser) {
  WriteSgtins(30);
  const std::string page = folder_.File("shift.html");
  const RunResult report =
      RunProgram(CommandLine({"ledger", "report", "--since", "2000-01-01", "--html", page}, false));
  ASSERT_EQ(report.exitCode, 0) << report.err;
  const std::string html = ReadFile(page);
  EXPECT_NE(html.find("<td>Line 3</td><td>30</td><td>30</td>"), std::string::npos) << html;
  EXPECT_NE(html.find("<rect"), std::string::npos);
  const char* kept = std::getenv("STAMPWISE_REPORT_SCREENSHOT");
  const std::string shot = kept != nullptr ? kept : folder_.File("shift.png");
  const RunResult browser = RunProgram({"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                                        "--user-data-dir=" + folder_.File("chromium"), "--window-size=900,1000",
                                        "--screenshot=" + shot, "file://" + page},
                                       120000);
  ASSERT_EQ(browser.exitCode, 0) << browser.err;
  const std::string png = ReadFile(shot);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
}

TEST_F(EventsCliTest, ABadTimeOrNoLedgerIsRefused) {
  const RunResult badTime = Epcis({"--since", "yesterday"});
  EXPECT_EQ(badTime.exitCode, 2);
  EXPECT_THAT(badTime.err, HasSubstr("yesterday"));
  const RunResult noLedger = Epcis();
  EXPECT_EQ(noLedger.exitCode, 1);
  EXPECT_THAT(noLedger.out, IsEmpty());
}

}  // namespace
}  // namespace stampwise::testing

// What the ledger's exports make of its claims: times as the operator types
// them and as the ledger stamps them, read points, and which attempts become
// supply-chain events.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/events/epcis.h"
#include "app/events/mqtt_publisher.h"
#include "app/events/shift_report.h"
#include "app/events/time_window.h"

namespace stampwise::testing {
namespace {

using events::ParseIsoTime;
using std::chrono::milliseconds;
using std::chrono::system_clock;

TEST(IsoTimeTest, ReadsTheFormsTheOperatorAndTheLedgerWrite) {
  // 2026-12-09T13:03:07Z
  const system_clock::time_point base = system_clock::from_time_t(1796821387);
  const struct {
    const char* text;
    std::optional<system_clock::time_point> when;
  } cases[] = {
      {"2026-12-09T13:03:07Z", base},
      {"2026-12-09T14:03:07.125+01:00", base + milliseconds(125)},
      {"2026-12-09T08:03:07.5-05:00", base + milliseconds(500)},
      {"2026-12-09 13:03:07+00:00", base},
      {"2026-12-09T13:03Z", base - std::chrono::seconds(7)},
      {"2026-12-09", std::nullopt},  // local midnight: only its being read is checked below
      {"2026-13-09", std::nullopt},
      {"2026-12-09T25:00Z", std::nullopt},
      {"2026-12-09T13:03:07+0100", std::nullopt},
      {"2026-12-09T13:03:07.Z", std::nullopt},
      {"yesterday", std::nullopt},
      {"2026-12-09T13:03:07Z junk", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<system_clock::time_point> read = ParseIsoTime(c.text);
    if (std::string(c.text) == "2026-12-09") {
      EXPECT_TRUE(read.has_value());
    } else {
      EXPECT_EQ(read, c.when);
    }
  }
}

TEST(IsoTimeTest, AWindowComparesPointsInTimeNotTexts) {
  events::TimeWindow window{ParseIsoTime("2026-12-09T13:00:00Z"), ParseIsoTime("2026-12-09T14:00:00Z")};
  EXPECT_TRUE(window.Contains("2026-12-09T14:30:00.000+01:00"));   // 13:30Z
  EXPECT_FALSE(window.Contains("2026-12-09T13:30:00.000-05:00"));  // 18:30Z
  EXPECT_TRUE(window.Contains("2026-12-09T13:00:00.000+00:00"));   // since is inside
  EXPECT_FALSE(window.Contains("2026-12-09T14:00:00.000+00:00"));  // until is not
  EXPECT_FALSE(window.Contains(""));
  EXPECT_TRUE(events::TimeWindow{}.Contains(""));
}

TEST(ReadPointTest, AnSglnOrAUriIsAReadPointAndNothingElse) {
  const struct {
    const char* setting;
    std::optional<std::string> uri;
  } cases[] = {
      {"urn:epc:id:sgln:0614141.07346.1234", "urn:epc:id:sgln:0614141.07346.1234"},
      {"urn:epc:tag:sgln-96:3.0614141.07346.1234", "urn:epc:id:sgln:0614141.07346.1234"},
      {"https://id.example.com/414/0614141073467", "https://id.example.com/414/0614141073467"},
      {"urn:epc:tag:sgln-96:9.0614141.07346.1234", std::nullopt},  // filter out of range
      {"Line 3", std::nullopt},
      {"line3", std::nullopt},
      {"https://id.example.com/a b", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(events::ReadPointUri(c.setting), c.uri) << c.setting;
}

ledger::Claim ClaimOf(const std::string& station, int bank, const std::string& value, ledger::Outcome outcome) {
  ledger::Claim claim;
  claim.station = station;
  claim.bank = bank;
  claim.value = value;
  claim.outcome = outcome;
  claim.settled = "2026-12-09T14:03:07.125+01:00";
  return claim;
}

TEST(EpcisTest, WrittenGs1EpcsBecomeObjectEventsAndUnknownOnesAreCounted) {
  using ledger::Outcome;
  const std::string sgtin = "urn:epc:tag:sgtin-96:3.0614141.812345.6789";
  const std::vector<ledger::Claim> claims{
      ClaimOf("A", 1, sgtin, Outcome::kWritten),
      ClaimOf("A", 1, "urn:epc:tag:sgtin-96:3.0614141.812345.6790", Outcome::kUnknown),
      ClaimOf("A", 1, "urn:epc:tag:sgtin-96:3.0614141.812345.6791", Outcome::kFailed),
      ClaimOf("A", 1, "urn:epc:tag:sgtin-96:3.0614141.812345.6792", Outcome::kMismatch),
      ClaimOf("A", 1, "3074257BF7194E4000001A85", Outcome::kWritten),  // hex counter on the EPC bank
      ClaimOf("A", 3, sgtin, Outcome::kWritten),                       // the URI as text on the User bank
      ClaimOf("B", 1, "urn:epc:tag:sscc-96:3.0614141.1234567890", Outcome::kWritten),
      ClaimOf("B", 1, "urn:epc:tag:sscc-96:3.0614141.1234567891", Outcome::kUnknown),
  };
  const events::EpcisExport exported =
      events::EpcisDocument(claims, "A", "urn:epc:id:sgln:0614141.07346.1234", "2026-12-09T15:00:00.000+01:00");
  EXPECT_EQ(exported.events, 2);
  EXPECT_EQ(exported.unknown, 2);
  const nlohmann::json document = nlohmann::json::parse(exported.document);
  EXPECT_EQ(document["type"], "EPCISDocument");
  EXPECT_EQ(document["schemaVersion"], "2.0");
  const nlohmann::json& list = document["epcisBody"]["eventList"];
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], nlohmann::json::parse(R"({"type": "ObjectEvent",
      "eventTime": "2026-12-09T14:03:07.125+01:00", "eventTimeZoneOffset": "+01:00",
      "epcList": ["urn:epc:id:sgtin:0614141.812345.6789"], "action": "ADD", "bizStep": "commissioning",
      "disposition": "active", "readPoint": {"id": "urn:epc:id:sgln:0614141.07346.1234"}})"));
  // Another station's read point is not known here.
  EXPECT_EQ(list[1]["epcList"], nlohmann::json::array({"urn:epc:id:sscc:0614141.1234567890"}));
  EXPECT_FALSE(list[1].contains("readPoint"));
}

TEST(ShiftReportTest, TotalsYieldFailuresAndStopsOfAShift) {
  using ledger::Outcome;
  const struct {
    const char* station;
    Outcome outcome;
    const char* settled;
    const char* message;
  } attempts[] = {
      {"A", Outcome::kWritten, "2026-12-09T06:00:00.000+01:00", ""},
      {"A", Outcome::kFailed, "2026-12-09T06:00:01.000+01:00", "Kein Tag <gefunden>"},
      {"B", Outcome::kWritten, "2026-12-09T06:00:02.000+01:00", ""},
      {"A", Outcome::kWritten, "2026-12-09T06:20:01.000+01:00", ""},  // a stop of 20 minutes
      {"A", Outcome::kFailed, "2026-12-09T06:20:02.000+01:00", "Kein Tag <gefunden>"},
      {"A", Outcome::kUnknown, "2026-12-09T06:20:03.000+01:00", "Antwort verloren"},
  };
  std::vector<ledger::Claim> claims;
  for (const auto& a : attempts) {
    ledger::Claim claim = ClaimOf(a.station, 3, "1", a.outcome);
    claim.settled = a.settled;
    claim.message = a.message;
    claims.push_back(claim);
  }
  const std::string html = events::ShiftReportHtml(claims, "early shift");
  for (const char* part :
       {"<tr><td>A</td><td>5</td><td>2</td><td>2</td><td>1</td><td>0</td><td>40.0 %</td></tr>",
        "<tr><td>B</td><td>1</td><td>1</td><td>0</td><td>0</td><td>0</td><td>100.0 %</td></tr>",
        "<tr><td><b>All</b></td><td>6</td><td>3</td><td>2</td><td>1</td><td>0</td><td>50.0 %</td></tr>",
        "<td>failed: Kein Tag &lt;gefunden&gt;</td><td>2</td>", "<td>unknown: Antwort verloren</td><td>1</td>",
        "<td>2026-12-09T06:00:01.000+01:00</td><td>2026-12-09T06:20:01.000+01:00</td><td>0:20:00</td>",
        "Tags written per 1 min.", ">06:00</text>", ">06:20</text>", "<svg"}) {
    EXPECT_NE(html.find(part), std::string::npos) << part;
  }
  // Self-contained: nothing is fetched from anywhere.
  for (const char* outside : {"<script", "src=", "href=", "@import", "url("}) {
    EXPECT_EQ(html.find(outside), std::string::npos) << outside;
  }
}

// A broker that is not there: the writer's calls return at once, the queue
// keeps its oldest attempts up to its limit and counts the newest it drops.
TEST(MqttPublisherTest, AFullQueueDropsTheNewestAttemptsAndSaysSinceWhenAnyIsMissing) {
  events::MqttOptions options;
  options.target = events::ParseMqttUri("mqtt://127.0.0.1:1/line").value();  // nothing listens on port 1
  options.queueLimit = 3;
  options.station = "A";
  auto publisher = events::MqttPublisher::Start(options);
  ASSERT_TRUE(publisher) << publisher.message().text;
  for (int i = 1; i <= 5; ++i) {
    ledger::Claim claim = ClaimOf("A", 3, "0000000" + std::to_string(i), ledger::Outcome::kWritten);
    claim.id = i;
    claim.settled = "2026-12-09T14:03:0" + std::to_string(i) + ".000+01:00";
    publisher.value()->Settled(claim);
  }
  publisher.value()->State("stopped");  // never dropped, never counted as an attempt
  const events::MqttPublisher::Tally tally =
      publisher.value()->Finish(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
  EXPECT_EQ(tally.acknowledged, 0);
  EXPECT_EQ(tally.dropped, 2);
  EXPECT_EQ(tally.unsent, 3);
  EXPECT_EQ(tally.firstMissed, "2026-12-09T14:03:01.000+01:00");
}

TEST(MqttTargetTest, TheUriGivesHostPortTopicAndCredentialsWhichAreNeverDescribed) {
  const struct {
    const char* uri;
    const char* host;
    int port;
    const char* described;
  } good[] = {
      {"mqtt://plant-broker/line/3", "plant-broker", 1883, "mqtt://plant-broker:1883/line/3"},
      {"mqtts://10.0.0.5/line/3", "10.0.0.5", 8883, "mqtts://10.0.0.5:8883/line/3"},
      {"mqtt://[::1]:1883/line/3", "::1", 1883, "mqtt://[::1]:1883/line/3"},
      {"mqtts://[fd00::5]/l", "fd00::5", 8883, "mqtts://[fd00::5]:8883/l"},
  };
  for (const auto& c : good) {
    const auto target = events::ParseMqttUri(c.uri);
    ASSERT_TRUE(target) << c.uri;
    EXPECT_EQ(target.value().host, c.host) << c.uri;
    EXPECT_EQ(target.value().port, c.port) << c.uri;
    EXPECT_EQ(target.value().Describe(), c.described) << c.uri;
  }
  const auto secure = events::ParseMqttUri("mqtts://station%40line:p%3Ass@[::1]:8884/line/3");
  ASSERT_TRUE(secure);
  EXPECT_TRUE(secure.value().tls);
  EXPECT_EQ(secure.value().host, "::1");
  EXPECT_EQ(secure.value().port, 8884);
  EXPECT_EQ(secure.value().user, "station@line");
  EXPECT_EQ(secure.value().password, "p:ss");
  EXPECT_EQ(secure.value().Describe(), "mqtts://[::1]:8884/line/3");
  for (const char* bad : {"mqtt://host", "mqtt://host/", "mqtt://host:0/t", "mqtt://host:x/t", "mqtt://@host/t",
                          "mqtt://u:%4/host/t", "mqtt://host/a/+", "tcp://host/t"}) {
    EXPECT_FALSE(events::ParseMqttUri(bad)) << bad;
  }
}

}  // namespace
}  // namespace stampwise::testing

// The production journal's records, its repair after a crash and its header.
#include "app/journal.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/app/odd_bytes.h"
#include "tests/app/temp_folder.h"

namespace stampwise {
namespace {

using testing::ReadFile;
using testing::TempFolder;

class LocalZone {
 public:
  explicit LocalZone(const char* zone) {
    const char* old = getenv("TZ");
    if (old != nullptr) old_ = old;
    had_ = old != nullptr;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~LocalZone() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

// 2026-12-09 13:03:07.125 UTC.
const auto kWhen = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796821387125));

JournalEntry Entry(std::string value, std::string message = "ok") {
  JournalEntry e;
  e.time = kWhen;
  e.station = "LINE-3";
  e.tid = "E2801160200074CF085909AD";
  e.epcBefore = "300833B2DDD9014000000000";
  e.bank = "epc";
  e.start = 2;
  e.length = 12;
  e.value = std::move(value);
  e.data = "3000AABBCCDDEEFF00112233";
  e.verify = "ok";
  e.outcome = "ok";
  e.message = std::move(message);
  return e;
}

TEST(IsoLocalTime, ExtendedFormWithMillisecondsAndTheLocalOffset) {
  const struct {
    const char* zone;
    const char* expected;
  } cases[] = {{"CET-1", "2026-12-09T14:03:07.125+01:00"},
               {"UTC0", "2026-12-09T13:03:07.125+00:00"},
               {"NST+3:30", "2026-12-09T09:33:07.125-03:30"}};
  for (const auto& c : cases) {
    const LocalZone zone(c.zone);
    EXPECT_EQ(IsoLocalTime(kWhen), c.expected) << c.zone;
  }
}

TEST(JournalRecord, CsvQuotesWhatNeedsItAndJsonCarriesTheColumnsAsKeys) {
  const LocalZone zone("CET-1");
  EXPECT_EQ(JournalHeader(), "time,station,tid,epc_before,bank,start,length,value,data,verify,outcome,message\r\n");
  const struct {
    std::string value;
    std::string csvField;
  } cases[] = {{"0042", "0042"},
               {"a,b", "\"a,b\""},
               {"say \"hi\"", "\"say \"\"hi\"\"\""},
               {"two\r\nlines", "\"two\r\nlines\""},
               {" padded", "\" padded\""}};
  for (const auto& c : cases) {
    EXPECT_EQ(JournalRecord(JournalFormat::kCsv, Entry(c.value)),
              "2026-12-09T14:03:07.125+01:00,LINE-3,E2801160200074CF085909AD,300833B2DDD9014000000000,epc,2,12," +
                  c.csvField + ",3000AABBCCDDEEFF00112233,ok,ok,ok\r\n")
        << c.value;
  }
  const std::string line = JournalRecord(JournalFormat::kJsonLines, Entry("Gr\xFC\xDF", "Daten geschrieben"));
  ASSERT_EQ(line.back(), '\n');
  const nlohmann::json object = nlohmann::json::parse(line);
  EXPECT_EQ(object["value"], "Grüß") << "a Latin-1 value becomes UTF-8";
  EXPECT_EQ(object["start"], 2);
  EXPECT_EQ(object["length"], 12);
  EXPECT_EQ(object["time"], "2026-12-09T14:03:07.125+01:00");
  EXPECT_EQ(object.size(), JournalColumns().size());
}

TEST(EndOfCompleteRecords, ATornRecordIsNeverCounted) {
  const struct {
    JournalFormat format;
    std::string content;
    std::size_t end;
  } cases[] = {
      {JournalFormat::kCsv, "", 0},
      {JournalFormat::kCsv, "h\r\na,b\r\n", 8},
      {JournalFormat::kCsv, "h\r\na,b\r\nc,d", 8},
      {JournalFormat::kCsv, "h\r\n\"two\r\nli", 3},  // torn after a line break inside quotes
      {JournalFormat::kCsv, "h\r\n\"say \"\"x\"\"\"\r\n", 16},
      {JournalFormat::kJsonLines, "{\"a\":\"\\\"\"}\n{\"a\":", 11},
  };
  for (const auto& c : cases) EXPECT_EQ(EndOfCompleteRecords(c.format, c.content), c.end) << c.content;
}

TEST(ProductionJournal, HeaderOnceTornTailCutAndEveryLineWhole) {
  const LocalZone zone("CET-1");
  TempFolder folder;
  const std::string csv = folder.File("journal.csv");
  std::string error;
  {
    auto journal = ProductionJournal::Open(csv, &error);
    ASSERT_TRUE(journal.has_value()) << error;
    ASSERT_TRUE(journal->Append(Entry("1")));
  }
  // A crash in the middle of the next line...
  std::ofstream(csv, std::ios::app) << "2026-12-09T14:03:08.000+01:00,LINE-3,E2,\"half";
  {
    auto journal = ProductionJournal::Open(csv, &error);
    ASSERT_TRUE(journal.has_value()) << error;
    ASSERT_TRUE(journal->Append(Entry("2")));
  }
  const std::string record1 = JournalRecord(JournalFormat::kCsv, Entry("1"));
  const std::string record2 = JournalRecord(JournalFormat::kCsv, Entry("2"));
  EXPECT_EQ(ReadFile(csv), JournalHeader() + record1 + record2);

  const std::string jsonl = folder.File("journal.jsonl");
  {
    auto journal = ProductionJournal::Open(jsonl, &error);
    ASSERT_TRUE(journal.has_value()) << error;
    ASSERT_TRUE(journal->Append(Entry("1")));
  }
  EXPECT_EQ(ReadFile(jsonl), JournalRecord(JournalFormat::kJsonLines, Entry("1"))) << "JSON lines have no header";

  EXPECT_FALSE(ProductionJournal::Open(folder.File("missing/journal.csv"), &error).has_value());
  EXPECT_NE(error.find("missing/journal.csv"), std::string::npos) << error;
}

// A value of any bytes is journaled (its Latin-1 text in JSON lines, its bytes
// in CSV) and an attempt a crash left pending comes back with its exact bytes,
// so the value list line it took is recognised.
TEST(ProductionJournal, ValuesOfAnyBytesAreJournaledAndComeBackExactly) {
  TempFolder folder;
  for (const testing::OddBytes& odd : testing::OddByteSequences()) {
    SCOPED_TRACE(odd.name);
    const std::string value = odd.bytes + "AB";
    const nlohmann::json line = nlohmann::json::parse(JournalRecord(JournalFormat::kJsonLines, Entry(value)));
    EXPECT_EQ(line["value"], testing::Latin1AsUtf8(value));
    EXPECT_NE(JournalRecord(JournalFormat::kCsv, Entry(value)).find(value), std::string::npos);

    const std::string path = folder.File(std::string(odd.name) + ".jsonl");
    std::string error;
    {
      auto journal = ProductionJournal::Open(path, &error);
      ASSERT_TRUE(journal.has_value()) << error;
      ASSERT_TRUE(journal->Intend(Entry(value, "")));
    }  // a crash before the record
    auto journal = ProductionJournal::Open(path, &error);
    ASSERT_TRUE(journal.has_value()) << error;
    const std::optional<JournalEntry> pending = journal->TakePending();
    ASSERT_TRUE(pending.has_value());
    EXPECT_EQ(pending->value, value);
    EXPECT_TRUE(journal->Append(*pending));
  }
}

}  // namespace
}  // namespace stampwise

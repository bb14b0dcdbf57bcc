// The production journal's records, its repair after a crash and its header.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/ledger/production_journal.h"
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
  e.time = IsoLocalTime(kWhen);
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

// Only a torn last record is cut, whatever the records before it hold.
TEST(TornTailStart, OnlyATornLastRecordIsCut) {
  const LocalZone zone("CET-1");
  const std::string header = JournalHeader();
  const std::string one = JournalRecord(JournalFormat::kCsv, Entry("1"));
  const std::string quoted = JournalRecord(JournalFormat::kCsv, Entry("two\r\nlines, \"quoted\""));
  const std::string stray = JournalRecord(JournalFormat::kCsv, Entry("a \" stray quote"));
  const std::string json = JournalRecord(JournalFormat::kJsonLines, Entry("1"));
  const struct {
    JournalFormat format;
    std::string content;
    std::size_t start;
  } cases[] = {
      {JournalFormat::kCsv, "", 0},
      {JournalFormat::kCsv, header, header.size()},
      {JournalFormat::kCsv, header + one, (header + one).size()},
      {JournalFormat::kCsv, header + one + one.substr(0, 40), (header + one).size()},
      {JournalFormat::kCsv, header + quoted, (header + quoted).size()},
      {JournalFormat::kCsv, header + one + quoted.substr(0, quoted.find("lines")), (header + one).size()},
      // A record with an odd number of quotes in the middle leaves the rest alone.
      {JournalFormat::kCsv, header + stray + one + one, (header + stray + one + one).size()},
      {JournalFormat::kJsonLines, json + json, 2 * json.size()},
      {JournalFormat::kJsonLines, json + json.substr(0, 10), json.size()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TornTailStart(c.format, c.content, true), c.start) << c.content;
  }
}

TEST(ProductionJournal, HeaderOnceTornTailCutAndEveryLineWhole) {
  const LocalZone zone("CET-1");
  TempFolder folder;
  const std::string csv = folder.File("journal.csv");
  {
    auto journal = ProductionJournal::Open(csv);
    ASSERT_TRUE(journal) << journal.message().text;
    ASSERT_TRUE(journal->Append(JournalRecord(JournalFormat::kCsv, Entry("1"))));
  }
  // A crash in the middle of the next line...
  std::ofstream(csv, std::ios::app) << "2026-12-09T14:03:08.000+01:00,LINE-3,E2,\"half";
  {
    auto journal = ProductionJournal::Open(csv);
    ASSERT_TRUE(journal) << journal.message().text;
    ASSERT_TRUE(journal->Append(JournalRecord(JournalFormat::kCsv, Entry("2"))));
  }
  const std::string record1 = JournalRecord(JournalFormat::kCsv, Entry("1"));
  const std::string record2 = JournalRecord(JournalFormat::kCsv, Entry("2"));
  EXPECT_EQ(ReadFile(csv), JournalHeader() + record1 + record2);

  const std::string jsonl = folder.File("journal.jsonl");
  {
    auto journal = ProductionJournal::Open(jsonl);
    ASSERT_TRUE(journal) << journal.message().text;
    ASSERT_TRUE(journal->Append(JournalRecord(JournalFormat::kJsonLines, Entry("1"))));
  }
  EXPECT_EQ(ReadFile(jsonl), JournalRecord(JournalFormat::kJsonLines, Entry("1"))) << "JSON lines have no header";

  const Result<ProductionJournal> missing = ProductionJournal::Open(folder.File("missing/journal.csv"));
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.message().text.find("missing/journal.csv"), std::string::npos) << missing.message().text;
}

// After a crash the records the ledger knows are completed: those already
// at the end are not written twice.
TEST(ProductionJournal, CatchUpWritesOnlyWhatIsMissing) {
  const LocalZone zone("CET-1");
  TempFolder folder;
  const std::string csv = folder.File("journal.csv");
  const std::string r1 = JournalRecord(JournalFormat::kCsv, Entry("1"));
  const std::string r2 = JournalRecord(JournalFormat::kCsv, Entry("2"));
  const std::string r3 = JournalRecord(JournalFormat::kCsv, Entry("3"));
  auto journal = ProductionJournal::Open(csv);
  ASSERT_TRUE(journal) << journal.message().text;
  ASSERT_TRUE(journal->Append(r1));
  ASSERT_TRUE(journal->CatchUp({r1, r2, r3}));
  ASSERT_TRUE(journal->CatchUp({r3}));
  EXPECT_EQ(ReadFile(csv), JournalHeader() + r1 + r2 + r3);
}

// A journal deleted or replaced while a job runs is noticed: a new one is
// begun at its path, and said so once.
TEST(ProductionJournal, ADeletedOrReplacedJournalIsBegunAnew) {
  const LocalZone zone("CET-1");
  TempFolder folder;
  const std::string csv = folder.File("journal.csv");
  const std::string r1 = JournalRecord(JournalFormat::kCsv, Entry("1"));
  auto journal = ProductionJournal::Open(csv);
  ASSERT_TRUE(journal) << journal.message().text;
  for (const char* how : {"deleted", "replaced"}) {
    SCOPED_TRACE(how);
    std::filesystem::remove(csv);
    if (std::string(how) == "replaced") std::ofstream(csv) << "someone else's file\n";
    ASSERT_TRUE(journal->Append(r1));
    EXPECT_TRUE(journal->TakeRestarted());
    EXPECT_FALSE(journal->TakeRestarted());
  }
  // The replacement's own lines count as whole lines; a CSV journal begun
  // anew over them keeps them.
  EXPECT_EQ(ReadFile(csv), "someone else's file\n" + r1);
}

// A value of any bytes is journaled (its Latin-1 text in JSON lines, its bytes
// in CSV), and a journal holding it opens again whole.
TEST(ProductionJournal, ValuesOfAnyBytesAreJournaled) {
  TempFolder folder;
  for (const testing::OddBytes& odd : testing::OddByteSequences()) {
    SCOPED_TRACE(odd.name);
    const std::string value = odd.bytes + "AB";
    const nlohmann::json line = nlohmann::json::parse(JournalRecord(JournalFormat::kJsonLines, Entry(value)));
    EXPECT_EQ(line["value"], testing::Latin1AsUtf8(value));
    EXPECT_NE(JournalRecord(JournalFormat::kCsv, Entry(value)).find(value), std::string::npos);

    for (const JournalFormat format : {JournalFormat::kJsonLines, JournalFormat::kCsv}) {
      const std::string path = folder.File(std::string(odd.name) + (format == JournalFormat::kCsv ? ".csv" : ".jsonl"));
      const std::string record = JournalRecord(format, Entry(value));
      {
        auto journal = ProductionJournal::Open(path);
        ASSERT_TRUE(journal) << journal.message().text;
        ASSERT_TRUE(journal->Append(record));
      }
      auto journal = ProductionJournal::Open(path);
      ASSERT_TRUE(journal) << journal.message().text;
      EXPECT_NE(ReadFile(path).find(record), std::string::npos) << "nothing cut";
    }
  }
}

}  // namespace
}  // namespace stampwise

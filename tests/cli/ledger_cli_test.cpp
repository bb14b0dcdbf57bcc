// The ledger seen from stampwise-cli: value lists in turn and side by side,
// a list checked whole before the first tag, settings and journal files that
// are damaged or go away while a job runs, bytes that are used already, and
// what `ledger list` shows. Each case once put a value on two tags, used a
// value up unseen or lost a record without a word.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/app/odd_bytes.h"
#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// Bytes as the text they carry.
std::string TextOf(const std::string& hex) {
  std::string text;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return text;
}

class CliLedgerTest : public CliTest {
 protected:
  std::string ListFile(const std::string& name, const std::vector<std::string>& lines, const std::string& head = {}) {
    std::string text = head;
    for (const std::string& line : lines) text += line + "\n";
    WriteFile(folder_.File(name), text);
    return folder_.File(name);
  }
  static std::vector<std::string> Numbered(const std::string& prefix, int count) {
    std::vector<std::string> lines;
    for (int i = 1; i <= count; ++i)
      lines.push_back(prefix + std::string(i < 10 ? "00" : i < 100 ? "0" : "") + std::to_string(i));
    return lines;
  }
  // Four characters of text on the User bank, from a value list.
  static std::vector<std::string> ListJob(const std::string& list, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"write", "--bank",   "user",       "--start",       "0", "--length",
                                  "4",     "--format", "data-ascii", "--values-file", list};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  void NewTag() {
    ASSERT_EQ(sim_->Command("remove all"), "OK");
    ASSERT_THAT(sim_->Command("add"), HasSubstr("OK"));
  }
  // What the User bank got, as text, in the order it was written.
  static std::vector<std::string> UserTexts(const std::string& record) {
    std::vector<std::string> texts;
    for (const RecordedWrite& w : ReadRecord(record))
      if (w.bank == 3) texts.push_back(TextOf(w.data));
    return texts;
  }
  std::vector<std::string> UserTexts() const { return UserTexts(RecordFile()); }
  // The ledger's claims as `ledger list --json` gives them.
  std::vector<nlohmann::json> Claims(const std::vector<std::string>& filter = {}) const {
    if (!std::filesystem::exists(ledger_.Path())) return {};  // no job made one yet
    std::vector<std::string> args{"--json", "ledger", "list"};
    args.insert(args.end(), filter.begin(), filter.end());
    const RunResult listed = RunProgram(CommandLine(args, false));
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    return OfType(JsonLines(listed.out), "claim");
  }
};

// Every value on at most one tag over the write records of several readers.
void ExpectNoValueOnTwoTags(const std::vector<std::string>& records, int bank) {
  std::map<std::string, std::pair<std::size_t, unsigned>> tagOf;
  for (std::size_t reader = 0; reader < records.size(); ++reader) {
    for (const RecordedWrite& w : ReadRecord(records[reader])) {
      if (w.bank != bank) continue;
      const auto [at, fresh] = tagOf.emplace(w.data, std::make_pair(reader, w.tagId));
      EXPECT_TRUE(fresh || at->second == std::make_pair(reader, w.tagId))
          << w.data << " on reader " << at->second.first << " tag " << at->second.second << " and reader " << reader
          << " tag " << w.tagId;
    }
  }
}

// Lists in turn: list A for two tags, list B for one, list A again. Each list
// goes on from its own position; a used-up list writes nothing.
TEST_F(CliLedgerTest, ListsInTurnGoOnFromTheirOwnPositions) {
  StartSim();
  const std::string a = ListFile("a.txt", Numbered("A", 3));
  const std::string b = ListFile("b.txt", Numbered("B", 2));
  const struct {
    const std::string& list;
    int exitCode;
    std::string written;  // "" nothing
  } steps[] = {{a, 0, "A001"}, {a, 0, "A002"}, {b, 0, "B001"}, {a, 0, "A003"}, {b, 0, "B002"}, {a, 1, ""}, {b, 1, ""}};
  std::vector<std::string> expected;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.list + " to give " + step.written);
    NewTag();
    const RunResult result = Cli(ListJob(step.list));
    EXPECT_EQ(result.exitCode, step.exitCode) << result.out << result.err;
    if (!step.written.empty()) expected.push_back(step.written);
    EXPECT_THAT(UserTexts(), ElementsAreArray(expected));
  }
}

// Two stations on one settings file, each with its own list and reader, at
// the same time: neither moves the other's list.
TEST_F(CliLedgerTest, TwoStationsWithDifferentListsKeepTheirOwn) {
  constexpr int kLines = 40;
  StartSim({"--tags", "0", "--conveyor", "5,5"});
  const std::string otherRecord = folder_.File("other-record.txt");
  mkvsim::SimProcess otherSim({"--tags", "0", "--conveyor", "5,5", "--quiet", "--record", otherRecord});
  const std::string a = ListFile("a.txt", Numbered("A", kLines));
  const std::string b = ListFile("b.txt", Numbered("B", kLines));
  const std::vector<std::string> limits{"--cycle",    "--count", std::to_string(kLines), "--period", "2",
                                        "--max-time", "60"};
  ChildProcess first(CommandLine(ListJob(a, limits)));
  std::vector<std::string> line{kCliPath, "--settings", SettingsFile(), "--port", otherSim.PtyPath()};
  for (const std::string& arg : ListJob(b, limits)) line.push_back(arg);
  ChildProcess second(line);
  const int firstStatus = first.Wait(90000);
  const int secondStatus = second.Wait(90000);
  otherSim.Stop();
  EXPECT_TRUE(WIFEXITED(firstStatus) && WEXITSTATUS(firstStatus) == 0) << first.Out() << first.Err();
  EXPECT_TRUE(WIFEXITED(secondStatus) && WEXITSTATUS(secondStatus) == 0) << second.Out() << second.Err();
  EXPECT_THAT(UserTexts(), ElementsAreArray(Numbered("A", kLines)));
  EXPECT_THAT(UserTexts(otherRecord), ElementsAreArray(Numbered("B", kLines)));
}

// A list is checked whole before the reader is opened: a bad line anywhere
// is refused with its number, and nothing is sent or used up.
TEST_F(CliLedgerTest, ABadLineAnywhereRefusesTheListBeforeTheFirstTag) {
  StartSim();
  const struct {
    std::vector<std::string> lines;
    std::string message;  // part of the file's name
  } cases[] = {
      {{"A001", "A002", "A003", "A0004", "A005"}, ", Zeile 4: "},
      {{"A001", "A002", "A003", "A002", "A005"}, ": Zeile 4 wiederholt Zeile 2"},
      {{"A001", "A002", "A003", "A004", std::string("A0\x01\x02", 4) + "5"}, ", Zeile 5: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    ledger_.Remove();
    const std::size_t written = UserTexts().size();
    const std::string list = ListFile("list.txt", c.lines);
    const RunResult refused = Cli(ListJob(list));
    EXPECT_EQ(refused.exitCode, 2) << refused.out << refused.err;
    EXPECT_THAT(refused.out + refused.err, HasSubstr(c.message));
    EXPECT_EQ(UserTexts().size(), written);
    EXPECT_TRUE(Claims().empty()) << "nothing used up";
    // Mended, the list begins at its first line.
    ListFile("list.txt", Numbered("A", 5));
    ASSERT_EQ(Cli(ListJob(list)).exitCode, 0);
    EXPECT_EQ(UserTexts().back(), "A001");
  }
}

// A list saved with a byte-order mark: the mark is no part of the first
// value, in a plain list or a CSV file's first column.
TEST_F(CliLedgerTest, AByteOrderMarkIsNotWritten) {
  StartSim();
  const std::string bom = "\xEF\xBB\xBF";
  const struct {
    std::vector<std::string> lines;
    std::vector<std::string> extra;
  } cases[] = {{{"A001", "A002"}, {}}, {{"B001,1", "B002,2"}, {"--column", "1"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines[0]);
    const std::string list = ListFile("bom.csv", c.lines, bom);
    ASSERT_EQ(Cli(ListJob(list, c.extra)).exitCode, 0);
    EXPECT_EQ(UserTexts().back(), c.lines[0].substr(0, 4));
    EXPECT_EQ(Claims().back()["value"], c.lines[0].substr(0, 4));
  }
}

// A program killed while its write of a Latin-1 list value is under way:
// the next start settles the attempt unknown, and the journal has exactly
// one line for it.
TEST_F(CliLedgerTest, AKillDuringALatin1WriteLeavesOneUnknownLine) {
  StartSim();
  const std::string value = "Gr\xFC\xDF";
  const std::string list = ListFile("latin1.txt", {value, "M\xFCll"});
  const std::string journal = folder_.File("journal.jsonl");
  // The write's reply comes late, after the opening's four exchanges, the
  // inventory, the select and the TID read.
  ASSERT_THAT(sim_->Command("fault skip 7"), HasSubstr("OK"));
  ASSERT_THAT(sim_->Command("fault late 20000 1"), HasSubstr("OK"));
  std::vector<std::string> line = CommandLine(ListJob(list, {"--journal", journal}));
  line.insert(line.begin() + 1, {"--timeout", "30000"});
  {
    ChildProcess cli(line);
    for (int i = 0; i < 500 && UserWritesByTag().empty(); ++i) cli.Pump(20);
    ASSERT_EQ(UserWritesByTag().size(), 1u) << cli.Out() << cli.Err();
    cli.Signal(SIGKILL);
    cli.Wait(30000);
  }
  ASSERT_EQ(sim_->Command("fault clear"), "OK none");
  NewTag();
  const RunResult next = Cli(ListJob(list, {"--journal", journal}));
  EXPECT_EQ(next.exitCode, 0) << next.out << next.err;
  EXPECT_THAT(next.out, HasSubstr(FormatString(msg::kLedgerAbandoned, {value})));

  std::vector<std::string> outcomes;
  for (const std::string& text : Lines(ReadFile(journal))) {
    const nlohmann::json record = nlohmann::json::parse(text);
    outcomes.push_back(record["value"].get<std::string>() + " " + record["outcome"].get<std::string>());
  }
  EXPECT_THAT(outcomes, ElementsAre(Latin1AsUtf8(value) + " unknown", Latin1AsUtf8("M\xFCll") + " ok"));
  EXPECT_THAT(UserTexts(), ElementsAre(value, "M\xFCll"));
}

// The settings file truncated, replaced by another one or deleted while a
// cycle runs: neither a list nor a counter goes back, in this run or the next.
TEST_F(CliLedgerTest, DamagedSettingsFileMovesNoPositionBack) {
  constexpr int kFirstRun = 30;
  constexpr int kSecondRun = 10;
  const std::string other = "[Settings]\r\nLastData=00000001\r\n[Werteliste]\r\nNaechste=1\r\n";
  const struct {
    std::string name;
    std::function<void(const std::string& file)> spoil;
  } faults[] = {
      {"truncated", [](const std::string& file) { EXPECT_EQ(::truncate(file.c_str(), 0), 0) << file; }},
      {"replaced",
       [&](const std::string& file) {
         WriteFile(file + ".new", other);
         std::filesystem::rename(file + ".new", file);
       }},
      {"deleted", [](const std::string& file) { std::remove(file.c_str()); }},
  };
  for (const bool list : {false, true}) {
    for (const auto& fault : faults) {
      SCOPED_TRACE(std::string(list ? "list, " : "counter, ") + fault.name);
      ledger_.Remove();
      std::remove(SettingsFile().c_str());
      std::remove(RecordFile().c_str());
      StartSim({"--tags", "0", "--conveyor", "5,5"});
      const std::string values = ListFile("lot.txt", Numbered("L", kFirstRun + kSecondRun));
      const auto job = [&](int count, bool first) {
        const std::vector<std::string> limits{"--cycle",    "--count", std::to_string(count), "--period", "2",
                                              "--max-time", "60"};
        return CommandLine(list ? ListJob(values, limits) : UserHexJob(limits, first ? "00000001" : ""));
      };
      {
        ChildProcess cli(job(kFirstRun, true));
        for (int i = 0; i < 1000 && UserWritesByTag().size() < kFirstRun / 3; ++i) cli.Pump(10);
        fault.spoil(SettingsFile());
        const int status = cli.Wait(60000);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cli.Out() << cli.Err();
      }
      fault.spoil(SettingsFile());
      const RunResult second = RunProgram(job(kSecondRun, false));
      EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
      sim_->Stop();
      sim_.reset();

      ExpectNoValueOnTwoTags({RecordFile()}, 3);
      const std::vector<std::string> texts = UserTexts();
      if (list) {
        EXPECT_THAT(texts, ElementsAreArray(Numbered("L", kFirstRun + kSecondRun)));
      } else {
        ASSERT_EQ(texts.size(), static_cast<std::size_t>(kFirstRun + kSecondRun));
        std::uint32_t expected = 1;
        for (const RecordedWrite& w : ReadRecord(RecordFile()))
          EXPECT_EQ(std::stoul(w.data, nullptr, 16), expected++) << "written in order, none twice";
      }
    }
  }
}

// SSCC-96 and GIAI-96 jobs of two stations on one settings file: no EPC twice,
// and the stored next URI is past every one written.
TEST_F(CliLedgerTest, TwoStationsShareAGs1RangeWithoutRepeats) {
  const std::string uris[] = {"urn:epc:tag:sscc-96:3.0614141.0000001000", "urn:epc:tag:giai-96:3.0614141.1000"};
  for (const std::string& uri : uris) {
    SCOPED_TRACE(uri);
    ledger_.Remove();
    std::remove(SettingsFile().c_str());
    std::remove(RecordFile().c_str());
    StartSim({"--tags", "0", "--conveyor", "5,5"});
    const std::string otherRecord = folder_.File("other-record.txt");
    std::remove(otherRecord.c_str());
    mkvsim::SimProcess otherSim({"--tags", "0", "--conveyor", "5,5", "--quiet", "--record", otherRecord});
    const std::vector<std::string> limits{"--cycle", "--period", "2", "--max-time", "4"};
    std::vector<std::string> args{"write", "--epc-uri", uri};
    args.insert(args.end(), limits.begin(), limits.end());
    ChildProcess first(CommandLine(args));
    for (int i = 0; i < 500 && ReadRecord(RecordFile()).size() < 2; ++i) first.Pump(10);
    std::vector<std::string> line{kCliPath,           "--settings", SettingsFile(), "--port",
                                  otherSim.PtyPath(), "write",      "--gs1"};
    line.insert(line.end(), limits.begin(), limits.end());
    ChildProcess second(line);
    const int firstStatus = first.Wait(60000);
    const int secondStatus = second.Wait(60000);
    otherSim.Stop();
    sim_->Stop();
    sim_.reset();
    EXPECT_TRUE(WIFEXITED(firstStatus) && WEXITSTATUS(firstStatus) == 0) << first.Out() << first.Err();
    EXPECT_TRUE(WIFEXITED(secondStatus) && WEXITSTATUS(secondStatus) == 0) << second.Out() << second.Err();
    EXPECT_GT(ReadRecord(RecordFile()).size(), 20u);
    EXPECT_GT(ReadRecord(otherRecord).size(), 20u);
    ExpectNoValueOnTwoTags({RecordFile(), otherRecord}, 1);

    const std::string stored = Stored("NextUri", "GS1");
    ASSERT_EQ(stored.substr(0, stored.rfind('.')), uri.substr(0, uri.rfind('.')));
    const auto serialOf = [](const std::string& text) { return std::stoull(text.substr(text.rfind('.') + 1)); };
    std::size_t tagged = 0;
    for (const nlohmann::json& claim : Claims()) {
      if (claim["outcome"] == "failed") continue;
      ++tagged;
      EXPECT_GT(serialOf(stored), serialOf(claim["value"])) << claim["value"];
    }
    EXPECT_GE(tagged, ReadRecord(RecordFile()).size() + ReadRecord(otherRecord).size());
  }
}

// A journal deleted while a cycle runs: the job says so and goes on in a new
// file, and no record is lost between the two.
TEST_F(CliLedgerTest, AJournalDeletedMidRunIsNoticed) {
  constexpr int kTags = 60;
  StartSim({"--tags", "0", "--conveyor", "5,5"});
  const std::string journal = folder_.File("journal.csv");
  const std::string kept = folder_.File("journal-kept.csv");
  ChildProcess cli(CommandLine(UserHexJob(
      {"--cycle", "--count", std::to_string(kTags), "--period", "2", "--max-time", "60", "--journal", journal})));
  for (int i = 0; i < 1000 && UserWritesByTag().size() < kTags / 3; ++i) cli.Pump(10);
  // The deleted file's records stay readable under a second name.
  ASSERT_EQ(::link(journal.c_str(), kept.c_str()), 0);
  ASSERT_EQ(std::remove(journal.c_str()), 0);
  const int status = cli.Wait(60000);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cli.Out() << cli.Err();
  EXPECT_THAT(cli.Out(), HasSubstr(FormatString(msg::kJournalRestarted, {journal})));

  const std::vector<std::string> before = Lines(ReadFile(kept));
  const std::vector<std::string> after = Lines(ReadFile(journal));
  ASSERT_FALSE(before.empty());
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(before[0], after[0]) << "the new file has its header";
  EXPECT_EQ(before.size() - 1 + after.size() - 1, static_cast<std::size_t>(kTags));
}

// A stray quote inside a CSV journal is no torn tail: opening the journal
// drops no record, wherever the quote is.
TEST_F(CliLedgerTest, AStrayQuoteInTheJournalDropsNoRecord) {
  StartSim();
  const std::string journal = folder_.File("journal.csv");
  for (const std::size_t spoilt : {std::size_t{2}, std::size_t{4}}) {
    SCOPED_TRACE("quote in line " + std::to_string(spoilt));
    std::remove(journal.c_str());
    ledger_.Remove();
    for (int tag = 0; tag < 5; ++tag) {
      NewTag();
      ASSERT_EQ(Cli(UserHexJob({"--journal", journal}, tag == 0 ? "00000001" : "")).exitCode, 0);
    }
    std::vector<std::string> lines = Lines(ReadFile(journal));
    ASSERT_EQ(lines.size(), 6u);
    lines[spoilt].insert(lines[spoilt].find(",user,"), "\"");
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    WriteFile(journal, text);

    NewTag();
    ASSERT_EQ(Cli(UserHexJob({"--journal", journal}, "")).exitCode, 0);
    const std::vector<std::string> now = Lines(ReadFile(journal));
    ASSERT_EQ(now.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(now.begin(), now.begin() + 6), lines);
  }
}

// A settings file that is not one is refused, left as it is, and nothing is
// written.
TEST_F(CliLedgerTest, AGarbageSettingsFileIsRefused) {
  StartSim();
  const std::string cases[] = {
      std::string("\x7F"
                  "ELF\x02\x01\x01\0\0\0",
                  10),
      "this is no settings file\n",
      "[Settings]\r\nLastData=00000005\r\nLastData 00000009\r\n",
  };
  for (const std::string& garbage : cases) {
    WriteFile(SettingsFile(), garbage);
    const RunResult result = Cli(UserHexJob({}, ""));
    EXPECT_EQ(result.exitCode, 2) << result.out;
    EXPECT_THAT(result.err + result.out, HasSubstr(SettingsFile()));
    EXPECT_EQ(ReadFile(SettingsFile()), garbage);
  }
  std::remove(SettingsFile().c_str());
  EXPECT_TRUE(UserWritesByTag().empty());
  EXPECT_TRUE(Claims().empty());
}

// A mistyped --settings path (a file or a folder that is not there) is a
// fresh store, said once, and the ledger keeps the counter going: the used
// values are refused, the next one follows on.
TEST_F(CliLedgerTest, AMistypedSettingsPathDoesNotRestartTheCounter) {
  StartSim();
  for (int tag = 0; tag < 3; ++tag) {
    NewTag();
    ASSERT_EQ(Cli(UserHexJob({}, tag == 0 ? "00000001" : "")).exitCode, 0);
  }
  const struct {
    std::string typo;
    int exitCode;
    std::string written;  // "" nothing
    std::string message;  // part of the file's name
  } cases[] = {
      {folder_.File("settings.ini.typo"), 0, "00000004", "settings.ini.typo"},
      {folder_.File("no-such-folder/settings.ini"), 0, "00000005", "no-such-folder/settings.ini"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typo);
    const auto run = [&](const std::string& value) {
      std::vector<std::string> line{kCliPath, "--settings", c.typo, "--port", sim_->PtyPath()};
      for (const std::string& arg : UserHexJob({}, value)) line.push_back(arg);
      return RunProgram(line);
    };
    NewTag();
    const std::size_t tags = UserWritesByTag().size();
    const RunResult refused = run("00000002");
    EXPECT_EQ(refused.exitCode, 1) << refused.out << refused.err;
    EXPECT_THAT(refused.out + refused.err, HasSubstr("<00000002>"));
    const RunResult next = run("");
    EXPECT_EQ(next.exitCode, c.exitCode) << next.out << next.err;
    // The first run made the file and said so; the second found it.
    EXPECT_THAT(refused.err, HasSubstr(FormatString(msg::kSettingsCreated, {c.typo})));
    EXPECT_THAT(next.err, ::testing::Not(HasSubstr(c.message)));
    if (c.written.empty()) {
      EXPECT_EQ(UserWritesByTag().size(), tags);
    } else {
      EXPECT_THAT(UserWritesByTag().rbegin()->second, ElementsAre(c.written)) << next.out << next.err;
    }
  }
  ExpectNoValueOnTwoTags({RecordFile()}, 3);
}

// Bytes the ledger holds as used are refused, naming when, where and how they
// went; --allow-reuse writes them on purpose, recorded as such.
TEST_F(CliLedgerTest, UsedBytesAreRefusedUnlessReuseIsChosen) {
  StartSim();
  ASSERT_EQ(Cli(UserHexJob({"--journal", folder_.File("j.csv"), "--station", "LINIE 1"}, "000000A1")).exitCode, 0);
  const std::vector<nlohmann::json> first = Claims();
  ASSERT_EQ(first.size(), 1u);

  NewTag();
  const RunResult refused = Cli(UserHexJob({}, "000000A1"));
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(refused.out + refused.err,
              HasSubstr(FormatString(msg::kLedgerBytesUsed,
                                     {"000000A1", first[0]["claimed"].get<std::string>(), "LINIE 1", "written"})));
  EXPECT_EQ(UserWritesByTag().size(), 1u);

  const RunResult reused = Cli(UserHexJob({"--allow-reuse"}, "000000A1"));
  EXPECT_EQ(reused.exitCode, 0) << reused.out << reused.err;
  EXPECT_EQ(UserWritesByTag().size(), 2u);
  std::vector<std::pair<std::string, bool>> outcomes;
  for (const nlohmann::json& claim : Claims())
    if (claim["value"] == "000000A1") outcomes.emplace_back(claim["outcome"], claim["reuse"]);
  EXPECT_THAT(outcomes, ElementsAre(std::make_pair("written", false), std::make_pair("failed", false),
                                    std::make_pair("written", true)));

  // A start value re-used behind the counter moves nothing back: the
  // counter goes on after the highest value handed out, in the ledger and in
  // the stored key.
  NewTag();
  ASSERT_EQ(Cli(UserHexJob({}, "")).exitCode, 0);
  EXPECT_EQ(Claims().back()["value"], "000000A2");
  NewTag();
  ASSERT_EQ(Cli(UserHexJob({"--allow-reuse"}, "000000A1")).exitCode, 0);
  EXPECT_EQ(Stored("LastData"), "000000A3");
  NewTag();
  const RunResult next = Cli(UserHexJob({}, ""));
  EXPECT_EQ(next.exitCode, 0) << next.out << next.err;
  EXPECT_EQ(Claims().back()["value"], "000000A3");
  EXPECT_EQ(Stored("LastData"), "000000A4");
}

// Listing a ledger that is not there says so and makes none.
TEST_F(CliLedgerTest, ListingAMissingLedgerMakesNone) {
  const std::string missing = folder_.File("no/such/ledger.sqlite3");
  const RunResult listed = RunProgram({kCliPath, "--settings", SettingsFile(), "--ledger", missing, "ledger", "list"});
  EXPECT_EQ(listed.exitCode, 1);
  EXPECT_THAT(listed.err, HasSubstr(missing));
  EXPECT_FALSE(std::filesystem::exists(folder_.File("no")));
}

// `ledger list --json`: every field of a claim, and one station's claims.
TEST_F(CliLedgerTest, LedgerListShowsEveryFieldAndFiltersByStation) {
  StartSim();
  const std::string journal = folder_.File("j.csv");
  ASSERT_EQ(Cli(UserHexJob({"--journal", journal, "--station", "EINS"}, "00000010")).exitCode, 0);
  NewTag();
  ASSERT_EQ(Cli(UserHexJob({"--journal", journal, "--station", "ZWEI", "--tid", "off"}, "")).exitCode, 0);

  const std::vector<nlohmann::json> claims = Claims();
  ASSERT_EQ(claims.size(), 2u);
  const nlohmann::json& one = claims[0];
  std::set<std::string> fields;
  for (const auto& [key, value] : one.items()) fields.insert(key);
  EXPECT_EQ(fields, (std::set<std::string>{"type", "value", "bytes", "bank", "start", "station", "tid", "outcome",
                                           "reuse", "claimed", "settled"}));
  EXPECT_EQ(one["value"], "00000010");
  EXPECT_EQ(one["bytes"], "00000010");
  EXPECT_EQ(one["bank"], "user");
  EXPECT_EQ(one["start"], 0);
  EXPECT_EQ(one["station"], "EINS");
  EXPECT_EQ(one["tid"].get<std::string>().size(), 24u);
  EXPECT_EQ(one["outcome"], "written");
  EXPECT_EQ(one["reuse"], false);
  EXPECT_LE(one["claimed"].get<std::string>(), one["settled"].get<std::string>());
  EXPECT_EQ(claims[1]["value"], "00000011");
  EXPECT_EQ(claims[1]["tid"], "");

  const std::vector<nlohmann::json> two = Claims({"--station", "ZWEI"});
  ASSERT_EQ(two.size(), 1u);
  EXPECT_EQ(two[0]["station"], "ZWEI");
  EXPECT_TRUE(Claims({"--station", "DREI"}).empty());
  const RunResult plain = RunProgram(CommandLine({"ledger", "list", "--station", "EINS"}, false));
  EXPECT_EQ(plain.exitCode, 0);
  ASSERT_EQ(Lines(plain.out).size(), 1u);
  EXPECT_THAT(plain.out, HasSubstr(" EINS user:0 <00000010> 00000010 "));
}

// A read, once or cyclic, changes nothing of the write job: neither the
// settings file nor the ledger.
TEST_F(CliLedgerTest, AReadChangesNothingOfTheWriteJob) {
  StartSim();
  const std::string list = ListFile("list.txt", Numbered("A", 3));
  ASSERT_EQ(Cli(ListJob(list)).exitCode, 0);
  NewTag();
  ASSERT_EQ(Cli(UserHexJob({}, "00000007")).exitCode, 0);
  // The write job's sections; a read may note its reader.
  const auto job = [this] {
    std::string text = ReadFile(SettingsFile());
    if (const std::size_t port = text.find("[Port]\r\n"); port != std::string::npos) {
      text.erase(port, text.find("\r\n[", port + 1) == std::string::npos ? std::string::npos
                                                                         : text.find("\r\n[", port + 1) + 2 - port);
    }
    return text;
  };
  const std::string settings = job();
  const std::size_t claims = Claims().size();
  for (const std::vector<std::string>& read :
       {std::vector<std::string>{"read"},
        std::vector<std::string>{"read", "--bank", "epc", "--start", "2", "--length", "12", "--format", "hex-bin"},
        std::vector<std::string>{"read", "--cycle", "--period", "5", "--max-time", "0.5"}}) {
    const RunResult result = Cli(read);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(job(), settings) << read.back();
    EXPECT_EQ(Claims().size(), claims);
  }
  NewTag();
  ASSERT_EQ(Cli(UserHexJob({}, "")).exitCode, 0);
  EXPECT_EQ(UserWritesByTag().rbegin()->second.back(), "00000008");
}

}  // namespace
}  // namespace stampwise::testing

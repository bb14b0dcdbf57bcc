// Value lists: CSV records with standard quoting, a column of them, and the
// fingerprint of the part already given out.
#include "app/job/value_list.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/app/temp_folder.h"

namespace stampwise {
namespace {

using Records = std::vector<std::vector<std::string>>;

TEST(ParseCsv, RecordsWithStandardQuoting) {
  const struct {
    std::string text;
    Records records;
    std::vector<int> lines;
  } cases[] = {
      {"", {}, {}},
      {"A1\nA2\n", {{"A1"}, {"A2"}}, {1, 2}},
      {"A1\r\nA2", {{"A1"}, {"A2"}}, {1, 2}},
      {"\n\nA1\n\n", {{"A1"}}, {3}},
      {"1,\"Lot, 7\",x\n", {{"1", "Lot, 7", "x"}}, {1}},
      {"\"say \"\"hi\"\"\"\n", {{"say \"hi\""}}, {1}},
      {"\"two\nlines\",b\nnext\n", {{"two\nlines", "b"}, {"next"}}, {1, 3}},
      {"a,,\n", {{"a", "", ""}}, {1}},
      {" spaced , kept \n", {{" spaced ", " kept "}}, {1}},
  };
  for (const auto& c : cases) {
    const CsvRecords parsed = ParseCsv(c.text);
    EXPECT_TRUE(parsed.ok) << c.text;
    EXPECT_EQ(parsed.records, c.records) << c.text;
    EXPECT_EQ(parsed.lines, c.lines) << c.text;
  }
  const struct {
    std::string text;
    int badLine;
  } bad[] = {{"a\n\"open\nstill", 2}, {"a\n\"closed\"x\n", 2}};
  for (const auto& c : bad) {
    const CsvRecords parsed = ParseCsv(c.text);
    EXPECT_FALSE(parsed.ok) << c.text;
    EXPECT_EQ(parsed.badLine, c.badLine) << c.text;
  }
}

TEST(LoadValueList, AColumnOfEveryRecordOrWhatIsWrongWithTheFile) {
  testing::TempFolder folder;
  const std::string list = folder.File("list.csv");
  std::ofstream(list) << "1001,A\n1002,\"B, C\"\n1003,D\n";
  EXPECT_EQ(LoadValueList(list, 1).value(), (std::vector<std::string>{"1001", "1002", "1003"}));
  EXPECT_EQ(LoadValueList(list, 2).value(), (std::vector<std::string>{"A", "B, C", "D"}));

  const Result<std::vector<std::string>> noColumn = LoadValueList(list, 3);
  ASSERT_FALSE(noColumn.ok());
  EXPECT_EQ(noColumn.message().text, "Werteliste " + list + ": Zeile 1 hat keine Spalte 3.");
  EXPECT_FALSE(LoadValueList(list, 0).ok());

  const std::string empty = folder.File("empty.txt");
  std::ofstream(empty) << "\n\n";
  EXPECT_EQ(LoadValueList(empty, 1).message().text, "Werteliste " + empty + " enthält keine Werte.");
  EXPECT_NE(LoadValueList(folder.File("missing.csv"), 1).message().text.find("missing.csv"), std::string::npos);
  EXPECT_FALSE(LoadValueList(folder.Path(), 1).ok()) << "a folder is no list";
}

TEST(ValuesFingerprint, CoversTheValuesAndWhereTheySplit) {
  const std::vector<std::string> a{"ab", "c", "d"};
  const std::vector<std::string> b{"a", "bc", "x"};
  EXPECT_NE(ValuesFingerprint(a, 2), ValuesFingerprint(b, 2));
  EXPECT_EQ(ValuesFingerprint(a, 2), ValuesFingerprint({"ab", "c", "changed later"}, 2));
  EXPECT_NE(ValuesFingerprint(a, 3), ValuesFingerprint({"ab", "c", "e"}, 3));
  EXPECT_EQ(ValuesFingerprint(a, 0), ValuesFingerprint(b, 0));
}

// Positions stored by earlier runs hold fingerprints of the used part: the
// ones taken all at once must be the same numbers.
TEST(ValuesFingerprint, EveryPrefixAtOnceGivesTheSameFingerprints) {
  const std::vector<std::vector<std::string>> lists = {{}, {"ab", "c"}, {"", "", "x"}, {"0001", "0002", "0003"}};
  for (const std::vector<std::string>& list : lists) {
    const std::vector<std::uint64_t> prefixes = PrefixFingerprints(list);
    ASSERT_EQ(prefixes.size(), list.size() + 1);
    for (std::size_t count = 0; count <= list.size(); ++count) {
      EXPECT_EQ(prefixes[count], ValuesFingerprint(list, count)) << list.size() << " values, first " << count;
    }
  }
}

}  // namespace
}  // namespace stampwise

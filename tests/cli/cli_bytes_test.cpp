// Bytes that are not UTF-8, from a tag or a value list, never stop an output:
// text carries them as Latin-1, hex fields exactly, and the job goes on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/app/odd_bytes.h"
#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

class CliOddBytesTest : public CliTest, public ::testing::WithParamInterface<OddBytes> {
 protected:
  static std::vector<std::string> AsciiJob(const std::string& value) {
    return {"--json",   "write",      "--bank",  "user", "--start", "0", "--length", std::to_string(value.size()),
            "--format", "data-ascii", "--value", value};
  }
};

TEST_P(CliOddBytesTest, ReadAndWriteOutputCarryThem) {
  StartSim();
  const std::string bytes = GetParam().bytes;
  const RunResult write = Cli(AsciiJob(bytes));
  ASSERT_EQ(write.exitCode, 0) << write.err;
  const std::vector<nlohmann::json> written = OfType(JsonLines(write.out), "tag");
  ASSERT_EQ(written.size(), 1u) << write.out;
  EXPECT_EQ(written[0]["value"], Latin1AsUtf8(bytes));
  EXPECT_EQ(written[0]["bytes"], HexOf(bytes));

  const RunResult read = Cli({"--json", "read"});
  ASSERT_EQ(read.exitCode, 0) << read.err;
  const std::vector<nlohmann::json> objects = JsonLines(read.out);
  const std::vector<nlohmann::json> texts = OfType(objects, "read");
  ASSERT_EQ(texts.size(), 1u) << read.out;
  EXPECT_EQ(texts[0]["text"], Latin1AsUtf8(bytes));
  const std::vector<nlohmann::json> tags = OfType(objects, "tag");
  ASSERT_EQ(tags.size(), 1u) << read.out;
  EXPECT_EQ(tags[0]["bytes"], HexOf(bytes));

  const RunResult plain = Cli({"read"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(plain.out, bytes + "\n") << "plain text keeps the bytes";
}

// A value list line of such bytes with a JSON lines journal: journaled, and
// the job starts again for the next line.
TEST_P(CliOddBytesTest, ValueListLinesGoToTheJournal) {
  StartSim();
  const std::string bytes = GetParam().bytes;
  const std::string list = folder_.File("values.txt");
  WriteFile(list, bytes + "AB\n" + bytes + "CD\n");
  const std::string journal = folder_.File("journal.jsonl");
  std::vector<std::string> args = AsciiJob(bytes + "AB");
  args.erase(args.end() - 2, args.end());  // the values come from the list
  args.insert(args.end(), {"--values-file", list, "--journal", journal});
  for (int run = 0; run < 2; ++run) {
    const RunResult result = Cli(args);
    ASSERT_EQ(result.exitCode, 0) << "run " << run << ": " << result.err;
  }
  const std::vector<std::string> lines = Lines(ReadFile(journal));
  ASSERT_EQ(lines.size(), 2u);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string value = bytes + (i == 0 ? "AB" : "CD");
    const nlohmann::json record = nlohmann::json::parse(lines[i]);
    EXPECT_EQ(record["value"], Latin1AsUtf8(value));
    EXPECT_EQ(record["data"], HexOf(value));
    EXPECT_EQ(record["outcome"], "ok");
  }
}

INSTANTIATE_TEST_SUITE_P(Cli, CliOddBytesTest, ::testing::ValuesIn(OddByteSequences()),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace stampwise::testing

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "app/logs/write_log.h"
#include "tests/app/temp_folder.h"

namespace stampwise {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

std::tm Moment() {
  std::tm moment{};
  moment.tm_year = 2024 - 1900;
  moment.tm_mon = 2;
  moment.tm_mday = 5;
  moment.tm_hour = 7;
  moment.tm_min = 8;
  moment.tm_sec = 9;
  return moment;
}

TEST(LogLine, LayoutIsExact) {
  struct Case {
    long long number;
    DataFormat format;
    int startWord;
    int length;
    const char* value;
    const char* expected;
  };
  const Case cases[] = {
      {1, DataFormat::HexBinary, 0, 4, "1a2b", "     1\t05.03.2024 07:08:09\tHEX BIN\t   0\t   4\t1a2b\r\r\n"},
      {12, DataFormat::HexAscii, 2, 8, "FF", "    12\t05.03.2024 07:08:09\tHEX ASCII\t   2\t   8\tFF\r\r\n"},
      {7, DataFormat::DecimalBinary, 0, 4, "123", "     7\t05.03.2024 07:08:09\tDEZ ASCII\t   0\t   4\t123\r\r\n"},
      {7, DataFormat::DecimalAscii, 0, 4, "123", "     7\t05.03.2024 07:08:09\tDEZ ASCII\t   0\t   4\t123\r\r\n"},
      {1234567, DataFormat::DataBinary, 1000, 12345, "x",
       "1234567\t05.03.2024 07:08:09\tDATEN BIN\t1000\t12345\tx\r\r\n"},
      {3, DataFormat::DataAscii, 1, 2, "", "     3\t05.03.2024 07:08:09\tDATEN ASCII\t   1\t   2\t\r\r\n"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(FormatLogLine(test.number, Moment(), test.format, test.startWord, test.length, test.value),
              test.expected);
  }
}

// The numbers of our lines: the digits just before the first tab of each line
// (a foreign unfinished line may stand in front of them).
std::vector<int> NumbersInFile(const std::string& path) {
  std::vector<int> numbers;
  std::string text = ReadFile(path);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    std::size_t tab = line.find('\t');
    std::size_t digits = line.find_last_not_of("0123456789", tab - 1);
    digits = digits == std::string::npos ? 0 : digits + 1;
    if (tab != std::string::npos && digits < tab) numbers.push_back(std::stoi(line.substr(digits, tab - digits)));
    start = end + 1;
  }
  if (numbers.empty()) numbers.push_back(-1);
  return numbers;
}

TEST(LogFileNumbering, CountsEveryLineInTheFileEvenForeignOnes) {
  struct Step {
    const char* foreign;  // appended by another program first, or nullptr
    int expected;         // the number our next line gets
  };
  struct Case {
    const char* name;
    std::string initial;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"new file", "", {{nullptr, 1}, {nullptr, 2}, {nullptr, 3}}},
      {"existing lines", "a\nb\n", {{nullptr, 3}, {nullptr, 4}}},
      // An unfinished line counts, and our line then completes it.
      {"unfinished last line counts", "a\nb", {{nullptr, 3}, {nullptr, 3}, {nullptr, 4}}},
      {"foreign line in between", "", {{nullptr, 1}, {"by hand\r\n", 3}, {nullptr, 4}}},
      {"a foreign line after each of ours", "", {{nullptr, 1}, {"x\n", 3}, {"y\n", 5}}},
      {"foreign text without line end", "", {{nullptr, 1}, {"tail", 3}, {nullptr, 3}}},
  };
  for (const auto& test : cases) {
    TempFolder folder;
    std::string path = folder.File("Protokoll_S.txt");
    if (!test.initial.empty()) WriteFile(path, test.initial);
    LogFile log(path);
    for (const auto& step : test.steps) {
      if (step.foreign) WriteFile(path, step.foreign, std::ios::app);
      ASSERT_TRUE(log.Append(DataFormat::HexBinary, 0, 4, "0001")) << test.name;
      EXPECT_EQ(NumbersInFile(path).back(), step.expected) << test.name;
    }
  }
}

TEST(LogFileNumbering, AFileReplacedBehindOurBackIsRecounted) {
  TempFolder folder;
  std::string path = folder.File("log.txt");
  LogFile log(path);
  for (int line = 0; line < 3; ++line) log.Append(DataFormat::HexBinary, 0, 4, "1");
  // Another program swaps in a file of the same size with more lines.
  std::string swapped(ReadFile(path).size(), '\n');
  WriteFile(path + ".new", swapped);
  std::filesystem::rename(path + ".new", path);
  ASSERT_TRUE(log.Append(DataFormat::HexBinary, 0, 4, "1"));
  EXPECT_EQ(NumbersInFile(path).back(), static_cast<int>(swapped.size()) + 1);
}

TEST(LogFileNumbering, TwoLogsOnOneFileShareTheCount) {
  TempFolder folder;
  std::string path = folder.File("both.txt");
  LogFile writes(path);
  LogFile reads(path);
  writes.Append(DataFormat::HexBinary, 0, 4, "1");
  reads.Append(DataFormat::HexBinary, 0, 4, "1");
  writes.Append(DataFormat::HexBinary, 0, 4, "2");
  EXPECT_EQ(NumbersInFile(path), (std::vector<int>{1, 2, 3}));
}

TEST(LogFileFailure, UnusableFilesAreSkipped) {
  TempFolder folder;
  const std::string paths[] = {"", folder.Path(), folder.File("no/such/folder/log.txt")};
  for (const auto& path : paths) {
    LogFile log(path);
    EXPECT_FALSE(log.Append(DataFormat::HexBinary, 0, 4, "1")) << path;
  }
}

TEST(LogFileFailure, NeverTruncates) {
  TempFolder folder;
  std::string path = folder.File("log.txt");
  WriteFile(path, "kept\r\n");
  LogFile log(path);
  log.Append(DataFormat::HexBinary, 0, 4, "1");
  EXPECT_EQ(ReadFile(path).rfind("kept\r\n     2\t", 0), 0u);
}

// A full disk takes part of a line: the piece is cut off again, so the file
// holds whole lines only and the next line gets the next number. The disk is
// "full" through a file size limit, in a child so the limit stays there.
TEST(LogFileFailure, AShortWriteLeavesNoPieceOfALine) {
  TempFolder folder;
  const std::string path = folder.File("log.txt");
  LogFile log(path);
  ASSERT_TRUE(log.Append(DataFormat::HexBinary, 0, 4, "1"));
  const std::string before = ReadFile(path);
  for (std::size_t room : {std::size_t{0}, std::size_t{7}, before.size() - 1}) {
    SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, SIG_IGN);
      const rlim_t limit = static_cast<rlim_t>(before.size() + room);
      rlimit small{limit, limit};
      setrlimit(RLIMIT_FSIZE, &small);
      _exit(log.Append(DataFormat::HexBinary, 0, 4, "2") ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the append did not report its failure";
    EXPECT_EQ(ReadFile(path), before);
  }
  ASSERT_TRUE(log.Append(DataFormat::HexBinary, 0, 4, "3"));
  EXPECT_EQ(NumbersInFile(path), (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace stampwise

// Appending one line to a write log that already holds 10^4, 10^5 or 10^6
// lines. The line count is kept between appends, so the cost should not grow
// with the file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>

#include "app/logs/write_log.h"
#include "tests/app/temp_folder.h"

namespace {

class LogFolder {
 public:
  // A log of the given number of lines, written once per size.
  std::string LogWithLines(long lines) {
    auto& path = logs_[lines];
    if (!path.empty()) return path;
    path = folder_.File("Protokoll_S_" + std::to_string(lines) + ".txt");
    std::ofstream out(path, std::ios::binary);
    for (long line = 1; line <= lines; ++line) {
      char text[96];
      int length =
          std::snprintf(text, sizeof text, "%6ld\t05.03.2024 07:08:09\tHEX BIN\t   0\t   4\t%08lX\r\r\n", line, line);
      out.write(text, length);
    }
    return path;
  }

 private:
  stampwise::testing::TempFolder folder_{"stampwise-bench"};
  std::map<long, std::string> logs_;
};

LogFolder& Folder() {
  static LogFolder folder;
  return folder;
}

void BM_AppendWriteLogLine(benchmark::State& state) {
  stampwise::LogFile log(Folder().LogWithLines(state.range(0)));
  // The first line after start counts the file once; the loop measures the rest.
  log.Append(stampwise::DataFormat::HexBinary, 0, 4, "00000000");
  long value = 0;
  for (auto _ : state) {
    bool appended = log.Append(stampwise::DataFormat::HexBinary, 0, 4, std::to_string(++value));
    benchmark::DoNotOptimize(appended);
  }
}
BENCHMARK(BM_AppendWriteLogLine)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();

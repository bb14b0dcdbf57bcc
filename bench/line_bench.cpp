// The production line against its physical limit: stampwise-cli writes a
// cycle of tags on mkv-sim's conveyor, its line paced like a serial line at
// 19200, 57600 and 115200 baud, plain and with full traceability (read-back
// check, TID read, journal). The limit is what the line itself needs: the
// time of every byte that crossed it and the chips' write times, as the
// simulator accounts them; the run takes from the first request in to the
// last reply out. Beside it, the share a minimal client reaches with version
// queries on the same line: the floor of the simulator and the
// pseudo-terminal themselves.
//
//   line_bench [TAGS] [WORK_FOLDER]     defaults: 1000, the current folder
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/roundtrip.h"
#include "bench/wire_account.h"
#include "sim/sim_process.h"
#include "tests/app/temp_folder.h"
#include "tests/cli/child_process.h"

namespace {

struct Run {
  int written = 0;
  int failed = 0;
  int unknown = 0;
  bench::WireAccount line;

  double TagsPerSecond() const { return written / line.SpanSeconds(); }
  double LimitTagsPerSecond() const { return written / line.LimitSeconds(); }
  double Share() const { return line.LimitSeconds() / line.SpanSeconds(); }
};

// Characters of 10 bits (8N1) at `baud`, in milliseconds.
double CharacterMs(int baud) { return 10.0 * 1000.0 / baud; }

// A written tag stays in the field until its read-back is done: the chip's
// write, the write's reply and the read's request and reply, with room to spare.
int HoldMs(int baud, bool traced) {
  if (!traced) return 0;
  constexpr double kChipMs = 4;
  constexpr int kCharacters = 100;
  constexpr int kSpareMs = 5;
  return static_cast<int>(kChipMs + kCharacters * CharacterMs(baud)) + kSpareMs;
}

Run WriteCycle(int baud, bool traced, int tags, const std::string& base) {
  const stampwise::testing::TempFolder work("line_bench", base);
  if (work.Path().empty()) throw std::runtime_error("cannot make a work folder in " + base);
  const std::string code = std::to_string(baud);
  mkvsim::SimProcess sim(
      {"--quiet", "--tags", "0", "--conveyor", "1," + std::to_string(HoldMs(baud, traced)), "--pace", code});
  std::vector<std::string> argv = {STAMPWISE_CLI_PATH, "--port", sim.PtyPath(), "--baud", code, "--timeout", "500"};
  argv.insert(argv.end(), {"--settings", work.File("settings.ini"), "--ledger", work.File("ledger.sqlite3")});
  argv.insert(argv.end(), {"--json", "write", "--bank", "user", "--start", "0", "--length", "4", "--format", "hex-bin",
                           "--value", "00000001", "--inc", "hex"});
  argv.insert(argv.end(), {"--write-log", work.File("Protokoll_S.txt"), "--cycle", "--count", std::to_string(tags),
                           "--period", "1"});
  if (traced) argv.insert(argv.end(), {"--verify", "--journal", work.File("journal.csv")});
  const stampwise::testing::RunResult result = stampwise::testing::RunProgram(argv, tags * 500 + 60000);
  if (result.exitCode != 0)
    throw std::runtime_error("stampwise-cli ended with " + std::to_string(result.exitCode) + ": " + result.err);
  Run run;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    if (object.is_discarded() || object.value("type", "") != "summary") continue;
    run.written = object.value("written", 0);
    run.failed = object.value("failed", 0);
    run.unknown = object.value("unknown", 0);
  }
  run.line = bench::ParseWireAccount(sim.Command("wire"));
  return run;
}

// Version queries from a minimal client on the same paced line.
double RawShare(int baud, int queries) {
  mkvsim::SimProcess sim({"--quiet", "--pace", std::to_string(baud)});
  const int fd = bench::OpenRawTerminal(sim.PtyPath());
  for (int i = 0; i < queries; ++i) bench::RawVersionQuery(fd);
  close(fd);
  const bench::WireAccount line = bench::ParseWireAccount(sim.Command("wire"));
  return line.LimitSeconds() / line.SpanSeconds();
}

void Print(const char* what, const Run& run) {
  std::printf(
      "  %-34s %4d written, %d failed, %d unknown in %6.2f s: %6.2f tags/s, limit %6.2f tags/s "
      "(line %.2f s, chips %.2f s, %llu bytes): %5.1f %% of the limit\n",
      what, run.written, run.failed, run.unknown, run.line.SpanSeconds(), run.TagsPerSecond(), run.LimitTagsPerSecond(),
      run.line.wireSeconds, run.line.chipSeconds, static_cast<unsigned long long>(run.line.rx + run.line.tx),
      run.Share() * 100);
}

}  // namespace

int main(int argc, char** argv) {
  const int tags = argc > 1 ? std::atoi(argv[1]) : 1000;
  const std::string base = argc > 2 ? argv[2] : ".";
  if (tags <= 0) {
    std::fprintf(stderr, "usage: line_bench [TAGS] [WORK_FOLDER]\n");
    return 2;
  }
  struct Target {
    int baud;
    double tracedShare;
  };
  const Target lines[] = {{19200, 0.97}, {57600, 0.0}, {115200, 0.90}};
  bool met = true;
  try {
    for (const Target& target : lines) {
      std::printf("%d baud 8N1, %d tags, chips 4 ms per 32 bits\n", target.baud, tags);
      const Run plain = WriteCycle(target.baud, false, tags, base);
      Print("plain", plain);
      const Run traced = WriteCycle(target.baud, true, tags, base);
      Print("read-back check, TID and journal", traced);
      std::printf("  %-34s %5.1f %% of the limit\n", "minimal client, version queries",
                  RawShare(target.baud, 200) * 100);
      if (target.tracedShare > 0) {
        const bool ok = traced.written == tags && traced.Share() >= target.tracedShare;
        std::printf("  target with full traceability: at least %.0f %%: %s\n", target.tracedShare * 100,
                    ok ? "met" : "MISSED");
        met = met && ok;
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "line_bench: %s\n", e.what());
    return 1;
  }
  return met ? 0 : 1;
}

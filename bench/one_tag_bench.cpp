// One tag end to end: `stampwise-cli write` once (start, open, identify,
// write, log line, exit), against the same exchanges from a minimal client
// that opens the pseudo-terminal, sends the same frames and waits for each
// reply. mkv-sim's line account tells when the first request came in and the
// last reply went out: the tool's start-up is the time from its launch to its
// first request, its exit the time from its last reply to its end. The two
// take turns, and their byte counts must agree.
//
//   one_tag_bench [RUNS] [WORK_FOLDER]   defaults: 20, the current folder
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/roundtrip.h"
#include "bench/wire_account.h"
#include "protocol/frame.h"
#include "sim/sim_process.h"
#include "tests/app/temp_folder.h"
#include "tests/cli/child_process.h"

namespace {

namespace frame = qlmkv::frame;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// One request in the start-byte framing, then its whole reply.
frame::Bytes Exchange(int fd, std::uint8_t command, const frame::Bytes& payload) {
  const frame::Bytes request = frame::Build(0, 1, command, payload);
  if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
    throw std::runtime_error("write failed");
  frame::Bytes reply;
  while (reply.empty() || frame::CompleteLength(0, reply.data(), reply.size()) == 0) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0) throw std::runtime_error("no reply");
    std::uint8_t chunk[256];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) throw std::runtime_error("read failed");
    reply.insert(reply.end(), chunk, chunk + n);
  }
  return reply;
}

// What the tool sends for one tag: the variant probe and the identification
// (two version queries), mode 0, the device text, then inventory, select and
// the write of 4 bytes to the user bank.
void RawTag(const std::string& pty) {
  const int fd = bench::OpenRawTerminal(pty);
  Exchange(fd, 0xF0, {});
  Exchange(fd, 0xF0, {});
  Exchange(fd, 0xF4, {0});
  Exchange(fd, 0x09, {});
  const frame::Bytes inventory = Exchange(fd, 0xC0, {1});
  frame::Bytes data;
  if (frame::ValidateReply(0, inventory, data) != 0 || data.size() < 3 || data[0] != 1)
    throw std::runtime_error("no single tag in the field");
  Exchange(fd, 0xC2, frame::Bytes(data.begin() + 3, data.end()));
  Exchange(fd, 0xC4, {3, 0, 0, 0, 0x00, 0x00, 0x00, 0x01});
  close(fd);
}

struct Timing {
  double totalMs = 0;
  double startMs = 0;      // launch to first request
  double exchangesMs = 0;  // first request to last reply
  double exitMs = 0;       // last reply to the end
  bench::WireAccount line;
};

template <typename Job>
Timing Time(mkvsim::SimProcess& sim, Job job) {
  sim.Command("wire reset");
  const Clock::time_point start = Clock::now();
  job();
  const Clock::time_point end = Clock::now();
  Timing timing;
  timing.line = bench::ParseWireAccount(sim.Command("wire"));
  timing.totalMs = Ms(end - start);
  timing.startMs = Ms(timing.line.firstRx - start);
  timing.exchangesMs = Ms(timing.line.lastTx - timing.line.firstRx);
  timing.exitMs = Ms(end - timing.line.lastTx);
  return timing;
}

void PrintFigure(const char* what, std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::printf("  %-36s median %7.2f ms, range %7.2f - %7.2f ms\n", what, values[values.size() / 2], values.front(),
              values.back());
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const std::string base = argc > 2 ? argv[2] : ".";
  const stampwise::testing::TempFolder work("one_tag_bench", base);
  if (work.Path().empty()) {
    std::fprintf(stderr, "usage: one_tag_bench [RUNS] [WORK_FOLDER]\n");
    return 2;
  }
  try {
    mkvsim::SimProcess sim({"--quiet", "--tags", "1"});
    std::vector<std::string> cli = {STAMPWISE_CLI_PATH, "--port", sim.PtyPath(), "--settings",
                                    work.File("settings.ini")};
    cli.insert(cli.end(), {"--ledger", work.File("ledger.sqlite3"), "write", "--bank", "user", "--start", "0"});
    cli.insert(cli.end(), {"--length", "4", "--format", "hex-bin", "--inc", "hex"});
    cli.insert(cli.end(), {"--write-log", work.File("Protokoll_S.txt"), "--value"});
    std::vector<Timing> tool;
    std::vector<Timing> raw;
    for (int i = 0; i < runs; ++i) {
      tool.push_back(Time(sim, [&] {
        // A value of its own each run: the ledger hands out none twice.
        char value[9];
        std::snprintf(value, sizeof value, "%08X", i + 1);
        std::vector<std::string> command = cli;
        command.push_back(value);
        const stampwise::testing::RunResult result = stampwise::testing::RunProgram(command, 10000);
        if (result.exitCode != 0)
          throw std::runtime_error("stampwise-cli ended with " + std::to_string(result.exitCode) + ": " + result.out +
                                   result.err);
      }));
      raw.push_back(Time(sim, [&] { RawTag(sim.PtyPath()); }));
      const bench::WireAccount& a = tool.back().line;
      const bench::WireAccount& b = raw.back().line;
      if (a.rx != b.rx || a.tx != b.tx || a.replies != b.replies)
        throw std::runtime_error("the minimal client's exchanges differ from the tool's");
    }
    const auto column = [](const std::vector<Timing>& timings, double Timing::*field) {
      std::vector<double> values;
      for (const Timing& t : timings) values.push_back(t.*field);
      return values;
    };
    std::printf("one tag written once, %d runs each, %llu bytes in %llu exchanges\n", runs,
                static_cast<unsigned long long>(tool.front().line.rx + tool.front().line.tx),
                static_cast<unsigned long long>(tool.front().line.replies));
    PrintFigure("stampwise-cli, launch to end", column(tool, &Timing::totalMs));
    PrintFigure("  start-up: launch to first request", column(tool, &Timing::startMs));
    PrintFigure("  exchanges: first request to last reply", column(tool, &Timing::exchangesMs));
    PrintFigure("  exit: last reply to end", column(tool, &Timing::exitMs));
    PrintFigure("minimal client, open to close", column(raw, &Timing::totalMs));
    PrintFigure("  exchanges: first request to last reply", column(raw, &Timing::exchangesMs));
    std::vector<double> shares;
    for (const Timing& t : tool) shares.push_back(t.startMs / t.totalMs * 100);
    std::sort(shares.begin(), shares.end());
    std::printf("  start-up share of the tool's run: median %.0f %%, range %.0f - %.0f %%\n", shares[shares.size() / 2],
                shares.front(), shares.back());
    std::vector<double> starts = column(tool, &Timing::startMs);
    std::sort(starts.begin(), starts.end());
    const bool met = starts[starts.size() / 2] < 50.0;
    std::printf("target: start-up under 50 ms: %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "one_tag_bench: %s\n", e.what());
    return 1;
  }
}

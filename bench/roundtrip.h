// What the round-trip benchmarks share: processor time, medians, the SDK's
// side of a comparison, a comparison taken in turns under a busy core, and
// the cost of one reply time-out.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "reader/rdr.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double ProcessCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

struct RoundTrips {
  double medianUs = 0;
  double cpuUsPerExchange = 0;
};

// Times `exchange` (one request and its reply) `count` times.
template <typename Exchange>
RoundTrips Measure(int count, Exchange exchange) {
  std::vector<double> times;
  const double cpuStart = ProcessCpuMs();
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    exchange();
    times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  const double cpu = ProcessCpuMs() - cpuStart;
  return {Median(times), cpu * 1000.0 / count};
}

// One version query through the SDK on an open connection.
inline void SdkVersionQuery(int handle) {
  unsigned char data[8];
  if (RdrGetVersion(handle, data, sizeof data, nullptr, 0) != 4) throw std::runtime_error("version query failed");
}

inline RoundTrips SdkVersionQueries(int handle, int count) {
  return Measure(count, [handle] { SdkVersionQuery(handle); });
}

// A raw client's line: a terminal in raw mode, no lock, no worker.
inline int OpenRawTerminal(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

// The floor of a byte-stream link (pseudo-terminal, TCP socket): one write of
// the version query in the start-byte framing, then poll until the whole
// 9-byte reply is in.
inline void RawVersionQuery(int fd) {
  static constexpr std::uint8_t kRequest[] = {0x02, 0x01, 0xF0, 0x00, 0xF1};
  constexpr std::size_t kReplySize = 9;
  if (write(fd, kRequest, sizeof kRequest) != static_cast<ssize_t>(sizeof kRequest)) {
    throw std::runtime_error("write failed");
  }
  std::uint8_t reply[64];
  std::size_t got = 0;
  while (got < kReplySize) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0) throw std::runtime_error("no reply");
    const ssize_t n = read(fd, reply + got, sizeof reply - got);
    if (n <= 0) throw std::runtime_error("read failed");
    got += static_cast<std::size_t>(n);
  }
}

inline RoundTrips RawVersionQueries(int fd, int count) {
  return Measure(count, [fd] { RawVersionQuery(fd); });
}

// The floor and the SDK measured in turns, a block each, so both meet the
// same conditions (a load that comes and goes, a clock that changes speed):
// the medians over all their exchanges.
struct Comparison {
  RoundTrips floor;
  RoundTrips sdk;
};

template <typename Raw, typename Sdk>
Comparison MeasureInTurns(int count, Raw raw, Sdk sdk) {
  constexpr int kBlocks = 20;
  std::vector<double> rawTimes;
  std::vector<double> sdkTimes;
  double rawCpu = 0;
  double sdkCpu = 0;
  const auto block = [](int n, auto& exchange, std::vector<double>& times, double& cpu) {
    const double cpuStart = ProcessCpuMs();
    for (int i = 0; i < n; ++i) {
      const auto start = Clock::now();
      exchange();
      times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    cpu += ProcessCpuMs() - cpuStart;
  };
  for (int b = 0; b < kBlocks; ++b) {
    const int n = count / kBlocks + (b < count % kBlocks ? 1 : 0);
    block(n, raw, rawTimes, rawCpu);
    block(n, sdk, sdkTimes, sdkCpu);
  }
  return {{Median(rawTimes), rawCpu * 1000.0 / count}, {Median(sdkTimes), sdkCpu * 1000.0 / count}};
}

// Keeps one core busy while it lives, as a build beside the station would:
// a child process that only computes, at normal priority, so its processor
// time is not the benchmark's.
class BusyCore {
 public:
  BusyCore() : pid_(fork()) {
    if (pid_ == 0) {
      volatile std::uint64_t x = 1;
      for (;;) x = x * 6364136223846793005ULL + 1;
    }
    if (pid_ < 0) throw std::runtime_error("cannot start the load generator");
    // Let it reach full speed.
    usleep(100000);
  }
  ~BusyCore() {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  BusyCore(const BusyCore&) = delete;
  BusyCore& operator=(const BusyCore&) = delete;

 private:
  pid_t pid_;
};

inline void PrintRoundTrips(const char* what, const RoundTrips& r) {
  std::printf("  %-19s median round trip %8.1f us, cpu %6.1f us per exchange\n", what, r.medianUs, r.cpuUsPerExchange);
}

// The floor of a link, the SDK on it, and their ratio against the target.
inline void PrintComparison(const char* title, int count, const RoundTrips& floor, const RoundTrips& sdk,
                            double target = 2.0) {
  std::printf("%s: %d\n", title, count);
  PrintRoundTrips("floor (raw client)", floor);
  PrintRoundTrips("SDK (RdrGetVersion)", sdk);
  const double ratio = sdk.medianUs / floor.medianUs;
  std::printf("  ratio SDK / floor   %.2f (target <= %.1f: %s)\n", ratio, target, ratio <= target ? "met" : "MISSED");
}

// The same comparison in turns, first on a quiet machine, then with the other
// core kept busy; the processor time of the SDK is the quiet run's.
template <typename Raw, typename Sdk>
void CompareQuietAndBusy(const char* link, int count, Raw raw, Sdk sdk) {
  const Comparison quiet = MeasureInTurns(count, raw, sdk);
  Comparison busy;
  {
    const BusyCore load;
    busy = MeasureInTurns(count, raw, sdk);
  }
  std::printf("version queries over %s, in turns with the raw client\n", link);
  PrintComparison("  quiet machine", count, quiet.floor, quiet.sdk);
  PrintComparison("  the other core busy", count, busy.floor, busy.sdk, 1.3);
}

// One version query on a reader that does not answer: how long it waits and
// what processor time the wait costs.
inline void PrintTimeOutWait(int handle) {
  const double cpuStart = ProcessCpuMs();
  const auto start = Clock::now();
  unsigned char data[8];
  const int result = RdrGetVersion(handle, data, sizeof data, nullptr, 0);
  const double waitMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const double waitCpuMs = ProcessCpuMs() - cpuStart;
  std::printf("time-out wait: result %d after %.0f ms, cpu %.2f ms (target < 5 ms)\n", result, waitMs, waitCpuMs);
}

}  // namespace bench

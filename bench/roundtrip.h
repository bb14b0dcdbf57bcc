// What the round-trip benchmarks share: processor time, medians, the SDK's
// side of a comparison and the cost of one reply time-out.
#pragma once

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
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

// Version queries through the SDK on an open connection.
inline RoundTrips SdkVersionQueries(int handle, int count) {
  return Measure(count, [handle] {
    unsigned char data[8];
    if (RdrGetVersion(handle, data, sizeof data, nullptr, 0) != 4) throw std::runtime_error("version query failed");
  });
}

// The floor of a byte-stream link (pseudo-terminal, TCP socket): one write of
// the version query in the start-byte framing, then poll until the whole
// 9-byte reply is in.
inline RoundTrips RawVersionQueries(int fd, int count) {
  static constexpr std::uint8_t kRequest[] = {0x02, 0x01, 0xF0, 0x00, 0xF1};
  constexpr std::size_t kReplySize = 9;
  return Measure(count, [fd] {
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
  });
}

inline void PrintRoundTrips(const char* what, const RoundTrips& r) {
  std::printf("  %-19s median round trip %8.1f us, cpu %6.1f us per exchange\n", what, r.medianUs, r.cpuUsPerExchange);
}

// The floor of a link, the SDK on it, and their ratio against the target.
inline void PrintComparison(const char* title, int count, const RoundTrips& floor, const RoundTrips& sdk) {
  std::printf("%s: %d\n", title, count);
  PrintRoundTrips("floor (raw client)", floor);
  PrintRoundTrips("SDK (RdrGetVersion)", sdk);
  std::printf("  ratio SDK / floor   %.2f (target <= 2)\n", sdk.medianUs / floor.medianUs);
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

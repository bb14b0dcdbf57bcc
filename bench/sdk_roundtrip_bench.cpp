// Round trip of version queries through the SDK over a pseudo-terminal to
// mkv-sim, against the floor: a minimal client that writes the request and
// reads the reply directly on the same line. Also the processor time that one
// 500 ms reply time-out costs.
//
// Usage: sdk_roundtrip_bench [queries]   (default 1000)
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "reader/rdr.h"
#include "sim/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

struct Result {
  double medianUs = 0;
  double cpuUsPerExchange = 0;
};

// The floor: raw termios, one write, poll until the whole reply is in.
Result RawClient(const std::string& pty, int queries) {
  const int fd = open(pty.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) throw std::runtime_error("cannot open " + pty);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  // Version query in the start-byte framing; its reply carries 4 data bytes.
  const std::uint8_t request[] = {0x02, 0x01, 0xF0, 0x00, 0xF1};
  constexpr std::size_t kReplySize = 9;
  std::vector<double> times;
  const double cpuStart = ProcessCpuMs();
  for (int i = 0; i < queries; ++i) {
    const auto start = Clock::now();
    if (write(fd, request, sizeof request) != static_cast<ssize_t>(sizeof request)) break;
    std::uint8_t reply[64];
    std::size_t got = 0;
    while (got < kReplySize) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 1000) <= 0) throw std::runtime_error("no reply");
      const ssize_t n = read(fd, reply + got, sizeof reply - got);
      if (n <= 0) throw std::runtime_error("read failed");
      got += static_cast<std::size_t>(n);
    }
    times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  const double cpu = ProcessCpuMs() - cpuStart;
  close(fd);
  return {Median(times), cpu * 1000.0 / queries};
}

Result SdkClient(int handle, int queries) {
  std::vector<double> times;
  const double cpuStart = ProcessCpuMs();
  unsigned char data[8];
  for (int i = 0; i < queries; ++i) {
    const auto start = Clock::now();
    if (RdrGetVersion(handle, data, sizeof data, nullptr, 0) != 4) throw std::runtime_error("version query failed");
    times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  const double cpu = ProcessCpuMs() - cpuStart;
  return {Median(times), cpu * 1000.0 / queries};
}

}  // namespace

int main(int argc, char** argv) {
  const int queries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  try {
    mkvsim::SimProcess sim({"--quiet"});
    const Result floor = RawClient(sim.PtyPath(), queries);

    const int handle = RdrOpen(sim.PtyPath().c_str(), 19200, 0, 500);
    if (handle <= 0) throw std::runtime_error("RdrOpen failed");
    const Result sdk = SdkClient(handle, queries);

    // One exchange that times out: the reader drops the reply.
    sim.Command("fault drop 1");
    const double cpuStart = ProcessCpuMs();
    const auto start = Clock::now();
    unsigned char data[8];
    const int result = RdrGetVersion(handle, data, sizeof data, nullptr, 0);
    const double waitMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const double waitCpuMs = ProcessCpuMs() - cpuStart;
    RdrClose(handle);

    std::printf("version queries over a pseudo-terminal: %d\n", queries);
    std::printf("  floor (raw client)  median round trip %8.1f us, cpu %6.1f us per exchange\n", floor.medianUs,
                floor.cpuUsPerExchange);
    std::printf("  SDK (RdrGetVersion) median round trip %8.1f us, cpu %6.1f us per exchange\n", sdk.medianUs,
                sdk.cpuUsPerExchange);
    std::printf("  ratio SDK / floor   %.2f (target <= 2)\n", sdk.medianUs / floor.medianUs);
    std::printf("time-out wait: result %d after %.0f ms, cpu %.2f ms (target < 5 ms)\n", result, waitMs, waitCpuMs);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sdk_roundtrip_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}

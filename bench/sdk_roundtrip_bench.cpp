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

#include "bench/roundtrip.h"
#include "reader/rdr.h"
#include "sim/sim_process.h"

namespace {

using bench::RoundTrips;

// The floor: raw termios, one write, poll until the whole reply is in.
RoundTrips RawClient(const std::string& pty, int queries) {
  const int fd = open(pty.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) throw std::runtime_error("cannot open " + pty);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  const bench::RoundTrips result = bench::RawVersionQueries(fd, queries);
  close(fd);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int queries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  try {
    mkvsim::SimProcess sim({"--quiet"});
    const RoundTrips floor = RawClient(sim.PtyPath(), queries);

    const int handle = RdrOpen(sim.PtyPath().c_str(), 19200, 0, 500);
    if (handle <= 0) throw std::runtime_error("RdrOpen failed");
    const RoundTrips sdk = bench::SdkVersionQueries(handle, queries);

    bench::PrintComparison("version queries over a pseudo-terminal", queries, floor, sdk);

    // One exchange that times out: the reader drops the reply.
    sim.Command("fault drop 1");
    bench::PrintTimeOutWait(handle);
    RdrClose(handle);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sdk_roundtrip_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}

// Round trip of version queries through the SDK over a pseudo-terminal to
// mkv-sim, against the floor: a minimal client that writes the request and
// reads the reply directly on a line of its own. Both take turns, on a quiet
// machine and with the other core kept busy. Also the processor time that
// one 500 ms reply time-out costs.
//
// Usage: sdk_roundtrip_bench [queries]   (default 1000)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "bench/roundtrip.h"
#include "reader/rdr.h"
#include "sim/sim_process.h"

int main(int argc, char** argv) {
  const int queries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  try {
    // A reader each: the SDK holds its line for itself.
    mkvsim::SimProcess rawSim({"--quiet"});
    mkvsim::SimProcess sdkSim({"--quiet"});
    const int fd = bench::OpenRawTerminal(rawSim.PtyPath());
    const int handle = RdrOpen(sdkSim.PtyPath().c_str(), 19200, 0, 500);
    if (handle <= 0) throw std::runtime_error("RdrOpen failed");

    bench::CompareQuietAndBusy(
        "a pseudo-terminal", queries, [fd] { bench::RawVersionQuery(fd); },
        [handle] { bench::SdkVersionQuery(handle); });
    close(fd);

    // One exchange that times out: the reader drops the reply.
    sdkSim.Command("fault drop 1");
    bench::PrintTimeOutWait(handle);
    RdrClose(handle);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sdk_roundtrip_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}

// Round trip of version queries through the SDK over a HID link, against the
// floor: a minimal client that writes the request report and reads the reply
// reports directly on the same device. The device is a simulated reader of
// the fake hidapi library (tests/fakes), measured twice: answering at once
// (the link's own cost) and pacing its input reports as a full-speed USB
// interrupt endpoint does (one per millisecond). Also the processor time that
// one 500 ms reply time-out costs.
//
// Usage: hid_roundtrip_bench [queries]   (default 1000)
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/roundtrip.h"
#include "reader/rdr.h"

namespace {

using bench::RoundTrips;

struct Device;
using OpenPathFn = Device* (*)(const char*);
using CloseFn = void (*)(Device*);
using WriteFn = int (*)(Device*, const unsigned char*, size_t);
using ReadTimeoutFn = int (*)(Device*, unsigned char*, size_t, int);

template <typename Fn>
Fn Entry(void* library, const char* name) {
  auto fn = reinterpret_cast<Fn>(dlsym(library, name));
  if (fn == nullptr) throw std::runtime_error(std::string("fake library lacks ") + name);
  return fn;
}

// The floor: one output report with the request, then input reports until
// the 9-byte reply is in (count byte, payload, padding; 9-byte reports).
RoundTrips RawClient(void* library, int queries) {
  const auto open = Entry<OpenPathFn>(library, "hid_open_path");
  const auto close = Entry<CloseFn>(library, "hid_close");
  const auto write = Entry<WriteFn>(library, "hid_write");
  const auto read = Entry<ReadTimeoutFn>(library, "hid_read_timeout");
  Device* device = open("/dev/fake-hidraw0");
  if (device == nullptr) throw std::runtime_error("cannot open the fake device");
  const unsigned char request[9] = {0x00, 0x05, 0x02, 0x01, 0xF0, 0x00, 0xF1, 0x00, 0x00};
  constexpr std::size_t kReplySize = 9;
  const RoundTrips result = bench::Measure(queries, [&] {
    if (write(device, request, sizeof request) != static_cast<int>(sizeof request)) {
      throw std::runtime_error("write failed");
    }
    std::size_t got = 0;
    while (got < kReplySize) {
      unsigned char report[16];
      const int n = read(device, report, sizeof report, 1000);
      if (n <= 0) throw std::runtime_error("no reply");
      got += std::min<std::size_t>(report[0], static_cast<std::size_t>(n) - 1);
    }
  });
  close(device);
  return result;
}

// With a device that answers at once the raw client never waits, so the
// difference is the SDK's own cost (its reader thread's hand-over); the
// ratio target applies to a device that paces its reports.
void Compare(void* library, const char* title, int queries, bool ratioTarget) {
  const RoundTrips floor = RawClient(library, queries);
  const int handle = RdrOpen("17050001 HID", 19200, 0, 500);
  if (handle <= 0) throw std::runtime_error("RdrOpen failed");
  const RoundTrips sdk = bench::SdkVersionQueries(handle, queries);
  RdrClose(handle);
  const std::string heading = std::string("version queries over a HID link (9-byte reports), ") + title;
  if (ratioTarget) {
    bench::PrintComparison(heading.c_str(), queries, floor, sdk);
    return;
  }
  std::printf("%s: %d\n", heading.c_str(), queries);
  bench::PrintRoundTrips("floor (raw client)", floor);
  bench::PrintRoundTrips("SDK (RdrGetVersion)", sdk);
  std::printf("  added by the SDK    %8.1f us per exchange\n", sdk.medianUs - floor.medianUs);
}

}  // namespace

int main(int argc, char** argv) {
  const int queries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  setenv("QLMKV_HIDAPI_LIBRARY", QLMKV_FAKE_HIDAPI, 1);
  setenv("QLMKV_FAKE_HID", "1C40:05AB:17050001:9:9", 1);
  try {
    void* library = dlopen(QLMKV_FAKE_HIDAPI, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) throw std::runtime_error(dlerror());
    Compare(library, "device answering at once", queries, false);
    setenv("QLMKV_FAKE_HID_REPORT_US", "1000", 1);
    Compare(library, "one input report per ms", std::max(1, queries / 10), true);

    // One exchange that times out: the reader stops answering.
    const int handle = RdrOpen("17050001 HID", 19200, 0, 500);
    if (handle <= 0) throw std::runtime_error("RdrOpen failed");
    Entry<int (*)(int, int)>(library, "QlmkvFakeHidSilence")(0, 1);
    bench::PrintTimeOutWait(handle);
    RdrClose(handle);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "hid_roundtrip_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}

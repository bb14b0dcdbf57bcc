// The LAN link against its floors: version queries through the SDK over TCP
// on loopback to mkv-sim, against a minimal TCP client on the same reader
// channel, taking turns, on a quiet machine and with the other core kept
// busy; the processor time of one 500 ms reply time-out on a TCP link;
// and, inside private network namespaces (root only), a listing with the
// reader check over 10 simulated modules on one adapter.
//
// Usage: lan_bench [queries] [modules]   (defaults 1000, 10)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/roundtrip.h"
#include "reader/rdr.h"
#include "sim/sim_process.h"
#include "tests/lan/net_lab.h"

namespace {

using bench::Clock;

double MicrosSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// The floor's connection: one blocking socket (a write, then poll until the
// whole reply is in).
int ConnectRaw(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) throw std::runtime_error("connect failed");
  return fd;
}

void LoopbackFigures(int queries) {
  mkvsim::SimProcess sim({"--quiet", "--tcp", "0"});
  const int fd = ConnectRaw(sim.TcpPort());
  const std::string address = "127.0.0.1-" + std::to_string(sim.TcpPort());
  const int handle = RdrOpen(address.c_str(), 19200, 0, 500);
  if (handle <= 0) throw std::runtime_error("RdrOpen failed");

  bench::CompareQuietAndBusy(
      "TCP on loopback", queries, [fd] { bench::RawVersionQuery(fd); }, [handle] { bench::SdkVersionQuery(handle); });
  close(fd);
  sim.Command("fault drop 1");
  bench::PrintTimeOutWait(handle);
  RdrClose(handle);
}

void ListingFigures(int modules) {
  std::string whyNot;
  auto lab = qlmkv::test::NetLab::Create(whyNot);
  if (lab == nullptr) {
    std::printf("listing: skipped (%s)\n", whyNot.c_str());
    return;
  }
  lab->Wire(lab->HostNamespace(), "h0", {"10.77.0.1/24"});
  std::vector<std::unique_ptr<mkvsim::SimProcess>> sims;
  for (int i = 0; i < modules; ++i) {
    const std::string ns = lab->AddNamespace("m" + std::to_string(i));
    const std::string address = "10.77.0." + std::to_string(10 + i);
    lab->Wire(ns, "eth0", {address + "/24"});
    sims.push_back(
        std::make_unique<mkvsim::SimProcess>(std::vector<std::string>{"--quiet", "--lan", "--lan-address", address},
                                             mkvsim::SimProcess::DefaultBinary(), lab->Launcher(ns)));
  }
  const auto list = [&](int check, const char* what) {
    char buffer[2000];
    const auto start = Clock::now();
    const int used = RdrListLanReaders(buffer, sizeof buffer, check);
    const double ms = MicrosSince(start) / 1000.0;
    int entries = 0;
    for (int at = 0; at < used && buffer[at] != '\0'; at += static_cast<int>(std::string(buffer + at).size()) + 1)
      ++entries;
    std::printf("listing %s over %d modules: %d entries in %.0f ms\n", what, modules, entries, ms);
  };
  list(0, "without the reader check");
  list(1, "with the reader check");
  // Modules that leave their record-2 read unanswered: one window for all of them.
  for (const auto& sim : sims) sim->Command("lan mute 2 on");
  list(1, "with the reader check, record 2 unanswered");
  sims.clear();
}

}  // namespace

int main(int argc, char** argv) {
  const int queries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const int modules = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 200) : 10;
  try {
    LoopbackFigures(queries);
    ListingFigures(modules);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lan_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}

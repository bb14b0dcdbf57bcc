// mkv-sim: a simulated QL-MKV reader on a pseudo-terminal and/or loopback TCP,
// steered through a text control socket.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <vector>

#include "sim/sim_reader.h"
#include "sim/sim_server.h"
#include "sim/wire_time.h"

namespace {

int ParseVariants(const std::string& text) {
  if (text == "0") return 0;
  if (text == "1") return 1;
  return 2;
}

// "MS" or "MS,HOLD_MS"
void ParseConveyor(const std::string& text, mkvsim::SimOptions& options) {
  const std::size_t comma = text.find(',');
  options.conveyorIntervalMs = std::stoi(text.substr(0, comma));
  if (comma != std::string::npos) options.conveyorHoldMs = std::stoi(text.substr(comma + 1));
  if (options.conveyorIntervalMs <= 0 || options.conveyorHoldMs < 0)
    throw std::invalid_argument("--conveyor needs MS > 0 and HOLD_MS >= 0");
}

// Folders that go when the simulator goes, however it was told to end.
class RemovedAtExit {
 public:
  explicit RemovedAtExit(const std::vector<std::string>& folders) : folders_(folders) {}
  ~RemovedAtExit() {
    for (const std::string& folder : folders_) {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    }
  }
  RemovedAtExit(const RemovedAtExit&) = delete;
  RemovedAtExit& operator=(const RemovedAtExit&) = delete;

 private:
  std::vector<std::string> folders_;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulated QL-MKV reader"};
  mkvsim::SimOptions sim;
  mkvsim::ServerOptions server;
  std::string variant = "both";
  int address = 1;
  int tcpPort = -1;
  std::string conveyor;
  app.add_flag("--pty", server.pty, "serve on a new pseudo-terminal, printed as \"PTY <path>\"");
  app.add_option("--link", server.linkPath, "symbolic link to the pseudo-terminal");
  app.add_option("--tcp", tcpPort, "serve on 127.0.0.1:PORT (0: any free port, printed as \"TCP <port>\")")
      ->check(CLI::Range(0, 65535));
  app.add_option("--model", sim.modelCode, "version reply, e.g. 3125");
  app.add_option("--variant", variant, "framing variants answered")->check(CLI::IsMember({"0", "1", "both"}));
  app.add_option("--address", address, "device address")->check(CLI::Range(0, 255));
  app.add_option("--tags", sim.initialTags, "blank tags in the field at start")->check(CLI::Range(0, 1000));
  app.add_option("--record", sim.recordPath, "append every write that reaches a tag to FILE");
  app.add_option("--control", server.controlPath, "Unix socket of the text control channel");
  app.add_option("--conveyor", conveyor, "MS[,HOLD_MS]: a new tag every MS ms with an empty field");
  app.add_flag("--quiet", server.quiet, "no traffic log on stderr");
  std::string pace;
  std::optional<double> chipWriteMs;
  app.add_option("--pace", pace, "pace the line like a real one: baud code, rate plus line-format digit (19200, 9601)")
      ->check([](const std::string& text) {
        return mkvsim::ParseBaudCode(text) ? std::string() : "a baud code such as 19200, 9601 or 115203";
      });
  app.add_option("--chip-write-ms", chipWriteMs, "a paced chip's write time per 32 bits (default 4)")
      ->check(CLI::Range(0.0, 1000.0));
  bool lan = false;
  mkvsim::LanServiceOptions lanOptions;
  std::string lanAddress;
  std::string lanGateway;
  std::string lanAutomatic;
  app.add_flag("--lan", lan,
               "serve as a LAN module: reader channel on every address at the record's port (--tcp sets it, "
               "default 10001), datagram service on UDP 30718");
  app.add_option("--lan-address", lanAddress, "fixed address in setup record 0 (default: automatic, 0.0.0.0)");
  app.add_option("--lan-host-bits", lanOptions.module.hostBits, "subnet mask as host-bit count")
      ->check(CLI::Range(0, 32));
  app.add_option("--lan-gateway", lanGateway, "gateway address in setup record 0");
  app.add_option("--lan-name", lanOptions.module.name, "module name (up to 8 characters)");
  app.add_option("--lan-device", lanOptions.module.deviceType, "device type text of record 2");
  app.add_option("--lan-mode", lanOptions.module.modeByte, "byte 17 of record 0 (the reader answers at 1)")
      ->check(CLI::Range(0, 255));
  app.add_option("--lan-iface", lanOptions.interfaceName,
                 "network interface whose address assignments and restarts move (inside a network namespace)");
  app.add_option("--lan-auto-address", lanAutomatic, "address the module takes with automatic addressing");
  int parentPid = 0;
  std::vector<std::string> removedFolders;
  app.add_option("--end-with-parent", parentPid, "end (as on SIGTERM) when process PID, the parent, ends");
  app.add_option("--remove-on-exit", removedFolders, "remove FOLDER with everything in it at the end");
  CLI11_PARSE(app, argc, argv);
  const RemovedAtExit removed(removedFolders);

  if (lan) {
    const auto parse = [](const std::string& text, const char* what) {
      const auto parsed = mkvsim::ParseDotted(text);
      if (!parsed) throw CLI::ValidationError(what, "not a dotted address: " + text);
      return *parsed;
    };
    try {
      if (!lanAddress.empty()) lanOptions.module.fixedAddress = parse(lanAddress, "--lan-address");
      if (!lanGateway.empty()) lanOptions.module.gateway = parse(lanGateway, "--lan-gateway");
      if (!lanAutomatic.empty()) lanOptions.automaticAddress = parse(lanAutomatic, "--lan-auto-address");
    } catch (const CLI::Error& e) {
      return app.exit(e);
    }
    server.lan = lanOptions;
    if (tcpPort < 0) tcpPort = 10001;
  }

  if (!server.pty && tcpPort < 0) {
    std::cerr << "mkv-sim: nothing to serve, give --pty and/or --tcp PORT\n";
    return 2;
  }
  if (!pace.empty()) server.pace = mkvsim::ParseBaudCode(pace);
  if (chipWriteMs) server.chipWritePer32Bits = std::chrono::microseconds(std::lround(*chipWriteMs * 1000));
  sim.variants = ParseVariants(variant);
  sim.address = static_cast<std::uint8_t>(address);
  if (tcpPort >= 0) server.tcpPort = static_cast<std::uint16_t>(tcpPort);

  // Signals arrive as readable bytes on a descriptor the event loop polls.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Blocked first, so the parent's end comes as a stop signal like any other;
  // a parent gone before this line is seen by the check after it.
  if (parentPid > 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parentPid) return 0;
  }
  // A paced line's replies are due to the microsecond: no slack on their timers.
  prctl(PR_SET_TIMERSLACK, 1UL);
  const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (stopFd < 0) {
    std::perror("mkv-sim: signalfd");
    return 1;
  }

  try {
    if (!conveyor.empty()) ParseConveyor(conveyor, sim);
    mkvsim::SimReader reader(sim);
    mkvsim::SimServer service(reader, server);
    if (server.pty) std::printf("PTY %s\n", service.PtyPath().c_str());
    if (server.tcpPort) std::printf("TCP %u\n", static_cast<unsigned>(service.TcpPort()));
    std::fflush(stdout);
    service.Run(stopFd);
  } catch (const std::exception& e) {
    std::cerr << "mkv-sim: " << e.what() << '\n';
    close(stopFd);
    return 1;
  }
  close(stopFd);
  return 0;
}

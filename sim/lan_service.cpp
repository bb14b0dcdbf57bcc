#include "sim/lan_service.h"

#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "sim/listen_sockets.h"

extern char** environ;

namespace mkvsim {

namespace {

// Runs `ip` with the arguments and waits for it; false when it failed.
bool RunIp(std::vector<std::string> args) {
  args.insert(args.begin(), "ip");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, "ip", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

LanService::LanService(const LanServiceOptions& options, bool quiet)
    : options_(options), quiet_(quiet), module_(options.module), fd_(BindAnyUdp(LanModule::kServicePort)) {}

LanService::~LanService() {
  if (fd_ >= 0) ::close(fd_);
}

bool LanService::Serve() {
  bool restarted = false;
  for (;;) {
    std::uint8_t buffer[LanModule::kMaxDatagram + 1];
    sockaddr_in sender{};
    socklen_t size = sizeof sender;
    const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sender), &size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return restarted;
    }
    LanModule::Outcome outcome = module_.Handle(buffer, std::min(static_cast<std::size_t>(n), sizeof buffer));
    if (outcome.reply) {
      ::sendto(fd_, outcome.reply->data(), outcome.reply->size(), 0, reinterpret_cast<sockaddr*>(&sender), size);
    }
    if (outcome.assignment) MoveTo(*outcome.assignment, module_.HostBits());
    if (outcome.restart) {
      Restart();
      restarted = true;
    }
  }
}

void LanService::Restart() {
  std::optional<Ipv4> address = module_.RecordAddress();
  if (!address) address = options_.automaticAddress;
  if (address) MoveTo(*address, module_.HostBits());
}

void LanService::MoveTo(const Ipv4& address, int hostBits) {
  const int prefix = 32 - std::clamp(hostBits, 0, 32);
  if (!quiet_) std::fprintf(stderr, "lan address %s/%d\n", DottedText(address).c_str(), prefix);
  if (options_.interfaceName.empty()) return;
  const std::string& dev = options_.interfaceName;
  const std::string cidr = DottedText(address) + "/" + std::to_string(prefix);
  if (!RunIp({"addr", "flush", "dev", dev}) || !RunIp({"addr", "add", cidr, "dev", dev}))
    std::fprintf(stderr, "mkv-sim: cannot move %s to %s\n", dev.c_str(), cidr.c_str());
}

}  // namespace mkvsim

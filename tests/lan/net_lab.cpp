#include "tests/lan/net_lab.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace qlmkv::test {

bool RunQuietly(const std::vector<std::string>& command) {
  std::vector<std::string> args(command);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int err = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::unique_ptr<NetLab> NetLab::Create(std::string& whyNot) {
  std::unique_ptr<NetLab> lab(new NetLab());
  lab->prefix_ = "qlmkv" + std::to_string(::getpid()) + "-";
  lab->originalNs_ = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  if (lab->originalNs_ < 0) {
    whyNot = "cannot open this process's network namespace";
    return nullptr;
  }
  lab->switch_ = lab->AddNamespace("sw");
  lab->host_ = lab->AddNamespace("host");
  if (lab->switch_.empty() || lab->host_.empty()) {
    whyNot = "cannot create network namespaces (needs root and the ip tool)";
    return nullptr;
  }
  if (!lab->Exec(lab->switch_, {"ip", "link", "add", "br0", "type", "bridge"}) ||
      !lab->Exec(lab->switch_, {"ip", "link", "set", "br0", "up"})) {
    whyNot = "cannot create a bridge inside a network namespace";
    return nullptr;
  }
  if (!lab->Exec(lab->switch_, {"ip", "link", "add", "probe0", "type", "veth", "peer", "name", "probe1"}) ||
      !lab->Exec(lab->switch_, {"ip", "link", "del", "probe0"})) {
    whyNot = "cannot create veth pairs";
    return nullptr;
  }
  const int hostNs = ::open(("/run/netns/" + lab->host_).c_str(), O_RDONLY | O_CLOEXEC);
  const bool entered = hostNs >= 0 && ::setns(hostNs, CLONE_NEWNET) == 0;
  if (hostNs >= 0) ::close(hostNs);
  if (!entered) {
    whyNot = "cannot enter a network namespace";
    return nullptr;
  }
  return lab;
}

NetLab::~NetLab() {
  if (originalNs_ >= 0) {
    ::setns(originalNs_, CLONE_NEWNET);
    ::close(originalNs_);
  }
  // Deleting a namespace removes its interfaces and the veth peers with them.
  for (const std::string& ns : namespaces_) RunQuietly({"ip", "netns", "del", ns});
}

std::string NetLab::AddNamespace(const std::string& suffix) {
  const std::string name = prefix_ + suffix;
  if (!RunQuietly({"ip", "netns", "add", name})) return {};
  namespaces_.push_back(name);
  Exec(name, {"ip", "link", "set", "lo", "up"});
  return name;
}

void NetLab::Wire(const std::string& ns, const std::string& ifname, const std::vector<std::string>& addresses) {
  const std::string port = "p" + std::to_string(::getpid() % 100000) + "x" + std::to_string(links_++);
  const bool made =
      RunQuietly({"ip", "link", "add", ifname, "netns", ns, "type", "veth", "peer", "name", port, "netns", switch_}) &&
      Exec(switch_, {"ip", "link", "set", port, "master", "br0"}) && Exec(switch_, {"ip", "link", "set", port, "up"});
  bool addressed = made;
  for (const std::string& address : addresses)
    addressed = addressed && Exec(ns, {"ip", "addr", "add", address, "dev", ifname});
  if (!addressed || !Exec(ns, {"ip", "link", "set", ifname, "up"}))
    throw std::runtime_error("cannot wire " + ifname + " in " + ns);
}

bool NetLab::Exec(const std::string& ns, const std::vector<std::string>& command) {
  std::vector<std::string> full{"ip", "netns", "exec", ns};
  full.insert(full.end(), command.begin(), command.end());
  return RunQuietly(full);
}

}  // namespace qlmkv::test

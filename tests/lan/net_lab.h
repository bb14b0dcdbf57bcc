// Private networks for the LAN tests: network namespaces joined by veth
// pairs to one bridge, so that broadcasts, pings and address moves never
// reach the machine's own network. The test thread itself enters the "host"
// namespace; everything is removed again when the lab goes out of scope.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace qlmkv::test {

class NetLab {
 public:
  // A lab with a bridge and a host namespace the calling thread has entered;
  // null (with the reason in `whyNot`) where namespaces cannot be made.
  static std::unique_ptr<NetLab> Create(std::string& whyNot);
  ~NetLab();
  NetLab(const NetLab&) = delete;
  NetLab& operator=(const NetLab&) = delete;

  // A namespace of its own for one module; returns its full name.
  std::string AddNamespace(const std::string& suffix);
  // Connects `ns` to the bridge through interface `ifname` with the
  // addresses ("10.77.0.2/24"). The host namespace is HostNamespace().
  void Wire(const std::string& ns, const std::string& ifname, const std::vector<std::string>& addresses);
  const std::string& HostNamespace() const { return host_; }
  // Runs `ip netns exec NS command...` and tells whether it succeeded.
  bool Exec(const std::string& ns, const std::vector<std::string>& command);
  // The launcher that runs a program inside `ns`.
  std::vector<std::string> Launcher(const std::string& ns) const { return {"ip", "netns", "exec", ns}; }

 private:
  NetLab() = default;

  std::string prefix_;
  std::string host_;
  std::string switch_;
  std::vector<std::string> namespaces_;
  int originalNs_ = -1;
  int links_ = 0;
};

// Runs a program (looked up in PATH) with its output discarded; true on exit status 0.
bool RunQuietly(const std::vector<std::string>& command);

}  // namespace qlmkv::test

// A private network of simulated LAN modules: the calling thread in the host
// namespace at 10.77.0.1/24, every module (mkv-sim with its LAN module) in a
// namespace of its own on the same bridge. The modules end before their
// namespaces go.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/sim_process.h"
#include "tests/lan/net_lab.h"

namespace qlmkv::test {

struct ModuleSpec {
  std::string suffix;
  std::string cidr;  // the module interface's address at start
  std::vector<std::string> simArgs;
};

class ModuleNetwork {
 public:
  // Null, with the reason in `whyNot`, where namespaces cannot be made.
  static std::unique_ptr<ModuleNetwork> Create(std::string& whyNot);
  ~ModuleNetwork();
  ModuleNetwork(const ModuleNetwork&) = delete;
  ModuleNetwork& operator=(const ModuleNetwork&) = delete;

  mkvsim::SimProcess& StartModule(const ModuleSpec& spec);
  NetLab& Lab() { return *lab_; }
  // The namespace of the module started `index`-th.
  const std::string& NamespaceOf(std::size_t index) const { return namespaces_.at(index); }
  mkvsim::SimProcess& Module(std::size_t index) { return *modules_.at(index); }

 private:
  explicit ModuleNetwork(std::unique_ptr<NetLab> lab) : lab_(std::move(lab)) {}

  std::unique_ptr<NetLab> lab_;
  std::vector<std::unique_ptr<mkvsim::SimProcess>> modules_;
  std::vector<std::string> namespaces_;
};

}  // namespace qlmkv::test

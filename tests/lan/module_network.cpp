#include "tests/lan/module_network.h"

namespace qlmkv::test {

std::unique_ptr<ModuleNetwork> ModuleNetwork::Create(std::string& whyNot) {
  std::unique_ptr<NetLab> lab = NetLab::Create(whyNot);
  if (lab == nullptr) return nullptr;
  lab->Wire(lab->HostNamespace(), "h0", {"10.77.0.1/24"});
  return std::unique_ptr<ModuleNetwork>(new ModuleNetwork(std::move(lab)));
}

ModuleNetwork::~ModuleNetwork() {
  modules_.clear();
  lab_.reset();
}

mkvsim::SimProcess& ModuleNetwork::StartModule(const ModuleSpec& spec) {
  const std::string ns = lab_->AddNamespace(spec.suffix);
  lab_->Wire(ns, "eth0", {spec.cidr});
  std::vector<std::string> args{"--quiet", "--lan", "--lan-iface", "eth0", "--tags", "1"};
  args.insert(args.end(), spec.simArgs.begin(), spec.simArgs.end());
  modules_.push_back(
      std::make_unique<mkvsim::SimProcess>(args, mkvsim::SimProcess::DefaultBinary(), lab_->Launcher(ns)));
  namespaces_.push_back(ns);
  return *modules_.back();
}

}  // namespace qlmkv::test

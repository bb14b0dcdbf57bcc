// Readers on a private network: the SDK in a host namespace, each simulated
// LAN module in a namespace of its own, all on one bridge. Skipped where
// network namespaces cannot be made.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "lan/adapters.h"
#include "reader/rdr.h"
#include "sim/sim_process.h"
#include "tests/lan/module_network.h"

namespace qlmkv::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Unpack(const char* buffer, int used) {
  std::vector<std::string> names;
  for (int at = 0; at < used && buffer[at] != '\0';) {
    names.emplace_back(buffer + at);
    at += static_cast<int>(names.back().size()) + 1;
  }
  return names;
}

class LanNetwork : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    network_ = ModuleNetwork::Create(whyNot);
    if (network_ == nullptr) GTEST_SKIP() << "no private network for LAN tests: " << whyNot;
    lab_ = &network_->Lab();
  }
  void TearDown() override {
    for (const int handle : handles_) RdrClose(handle);
    network_.reset();
  }

  mkvsim::SimProcess& StartModule(const ModuleSpec& spec) { return network_->StartModule(spec); }

  std::vector<std::string> List(bool readerCheck) {
    char buffer[2000];
    return Unpack(buffer, RdrListLanReaders(buffer, sizeof buffer, readerCheck ? 1 : 0));
  }

  int Open(const std::string& address, int timeoutMs = 300) {
    const int handle = RdrOpen(address.c_str(), 19200, 0, timeoutMs);
    if (handle > 0) handles_.push_back(handle);
    return handle;
  }
  void CloseHandle(int handle) {
    RdrClose(handle);
    std::erase(handles_, handle);
  }
  static bool Answers(int handle) {
    unsigned char version[8];
    return RdrGetVersion(handle, version, sizeof version, nullptr, 0) == 4;
  }
  // Byte `at` of setup record 0 as the module holds it.
  static int RecordByte(mkvsim::SimProcess& module, std::size_t at) {
    const std::string answer = module.Command("lan record 0");
    return std::stoi(answer.substr(3 + 2 * at, 2), nullptr, 16);
  }

  std::unique_ptr<ModuleNetwork> network_;
  NetLab* lab_ = nullptr;
  std::vector<int> handles_;
};

TEST_F(LanNetwork, ListingsWithAndWithoutTheReaderCheck) {
  StartModule({"fixed", "10.77.0.2/24", {"--lan-address", "10.77.0.2"}});
  StartModule({"auto", "10.77.0.3/24", {"--lan-name", "HALLE"}});
  StartModule({"foreign", "10.77.0.4/24", {"--lan-address", "10.77.0.4", "--lan-device", "XPORT-9"}});
  StartModule({"lower", "10.77.0.5/24", {"--lan-address", "10.77.0.5", "--lan-device", "ql-mini"}});
  // A module that does not answer the record-2 read is no reader either.
  ASSERT_EQ(StartModule({"mute", "10.77.0.6/24", {"--lan-address", "10.77.0.6"}}).Command("lan mute 2 on"), "OK");

  EXPECT_EQ(List(false), (std::vector<std::string>{"10.77.0.2-10001", "10.77.0.4-10001", "10.77.0.5-10001",
                                                   "10.77.0.6-10001", "[HALLE]10.77.0.3-10001"}));
  EXPECT_EQ(List(true), (std::vector<std::string>{"10.77.0.2-10001", "10.77.0.5-10001", "[HALLE]"}));
}

TEST_F(LanNetwork, TwoAdaptersOnOneNetworkListAModuleOnce) {
  lab_->Wire(lab_->HostNamespace(), "h1", {"10.77.0.11/24"});
  StartModule({"fixed", "10.77.0.2/24", {"--lan-address", "10.77.0.2"}});
  EXPECT_EQ(List(false), std::vector<std::string>{"10.77.0.2-10001"});
}

TEST_F(LanNetwork, AdapterTableAndBestAdapter) {
  lab_->Exec(lab_->HostNamespace(), {"ip", "addr", "add", "10.88.0.1/24", "dev", "h0"});
  const std::vector<lan::CAdapter> table = lan::EnumerateAdapters();
  std::set<std::string> addresses;
  for (const lan::CAdapter& adapter : table) addresses.insert(adapter.address + "/" + adapter.mask);
  // Loopback never appears; both addresses of h0 do, on one interface.
  EXPECT_EQ(addresses, (std::set<std::string>{"10.77.0.1/255.255.255.0", "10.88.0.1/255.255.255.0"}));
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].interfaceIndex, table[1].interfaceIndex);

  lan::AdapterChoice choice(table);
  EXPECT_TRUE(choice.SelectAdapterFor("10.88.0.2"));
  EXPECT_EQ(choice.LocalAddress(), "10.88.0.1");
  EXPECT_TRUE(choice.SelectAdapterFor("10.77.0.9"));
  EXPECT_EQ(choice.LocalAddress(), "10.77.0.1");
  EXPECT_FALSE(choice.SelectAdapterFor("192.0.2.1"));  // no route: the choice stays
  EXPECT_EQ(choice.LocalAddress(), "10.77.0.1");
}

TEST_F(LanNetwork, OpensByAddressAndByNameAndFailsForAMissingName) {
  StartModule({"auto", "10.77.0.3/24", {"--lan-name", "HALLE"}});
  const int byAddress = Open("10.77.0.3");
  EXPECT_EQ(byAddress, 20001);
  const int byName = Open("[HALLE]:1");
  EXPECT_EQ(byName, 20002);
  EXPECT_TRUE(Answers(byName));
  EXPECT_EQ(Open("[MISSING]"), RDR_OPEN_FAILED);
  // The missing name made no connection anywhere: the module still has its two.
  const std::string clients = network_->Module(0).Command("lan clients");
  EXPECT_EQ(std::count(clients.begin(), clients.end(), ' '), 2) << clients;
}

TEST_F(LanNetwork, ReaderClosingTheLinkIsReconnectedFromItsPort) {
  mkvsim::SimProcess& module = StartModule({"fixed", "10.77.0.2/24", {"--lan-address", "10.77.0.2"}});
  const int handle = Open("10.77.0.2");
  ASSERT_GT(handle, 0);
  ASSERT_EQ(module.Command("lan close"), "OK");
  // Once the reader's FIN has arrived, the next exchange meets the close
  // before its frame goes out.
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(Answers(handle));
  EXPECT_EQ(module.Command("lan clients"), "OK 10.77.0.1:10001");
}

TEST_F(LanNetwork, RecoveryTogglesTheModeByteWhenTheReaderStaysSilent) {
  // Mode 8 passes nothing to the reader; the recovery switches it to 1.
  mkvsim::SimProcess& silent = StartModule({"m8", "10.77.0.2/24", {"--lan-address", "10.77.0.2", "--lan-mode", "8"}});
  const int handle = Open("10.77.0.2", 200);
  EXPECT_GT(handle, 0);
  EXPECT_EQ(RecordByte(silent, 17), 1);

  // A reader that stays silent in mode 1 is switched to 8, and the open fails.
  mkvsim::SimProcess& dead = StartModule({"m1", "10.77.0.3/24", {"--lan-address", "10.77.0.3"}});
  ASSERT_EQ(dead.Command("fault drop").rfind("OK", 0), 0u);
  EXPECT_EQ(Open("10.77.0.3", 200), RDR_OPEN_NO_READER);
  EXPECT_EQ(RecordByte(dead, 17), 8);
}

TEST_F(LanNetwork, ConfigurationConnectionReadsRecords) {
  StartModule({"fixed", "10.77.0.2/24", {"--lan-address", "10.77.0.2", "--lan-name", "HALLE"}});
  const int handle = RdrLanConfigOpen("10.77.0.2-10001:1");
  ASSERT_EQ(handle, 20001);
  unsigned char record[200] = {};
  ASSERT_EQ(RdrLanConfigRead(handle, 0, record, sizeof record), 120);
  EXPECT_EQ(std::vector<int>(record, record + 4), (std::vector<int>{10, 77, 0, 2}));
  EXPECT_EQ(record[20] | (record[21] << 8), 10001);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(record + 112)), "HALLE");
  ASSERT_EQ(RdrLanConfigRead(handle, 2, record, sizeof record), 126);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(record + 93)), "QL-MKV");
  EXPECT_EQ(RdrLanConfigClose(handle, 0), 0);
  EXPECT_EQ(RdrLanConfigOpen("10.77.0.99"), -1);
}

TEST_F(LanNetwork, SetLanParamsChangesPortAddressAndName) {
  mkvsim::SimProcess& module =
      StartModule({"fixed", "10.77.0.2/24", {"--lan-address", "10.77.0.2", "--lan-auto-address", "10.77.0.9"}});

  // Port only: the record is written and the module restarted, no assignment.
  ASSERT_EQ(RdrSetLanParams("10.77.0.2", "10.77.0.2-4001", "255.255.255.0", nullptr), 0);
  EXPECT_EQ(module.Command("lan counts"), "OK writes=1 assignments=0 restarts=1");
  const int onNewPort = Open("10.77.0.2-4001");
  EXPECT_GT(onNewPort, 0);
  CloseHandle(onNewPort);

  // A new address: identified, assigned, then written at the new address.
  ASSERT_EQ(RdrSetLanParams("10.77.0.2-4001", "10.77.0.6-4001", "255.255.255.0", nullptr), 0);
  EXPECT_EQ(module.Command("lan counts"), "OK writes=2 assignments=1 restarts=2");
  EXPECT_EQ(RdrPing("10.77.0.6"), 1);
  const int atNewAddress = Open("10.77.0.6-4001");
  EXPECT_GT(atNewAddress, 0);
  CloseHandle(atNewAddress);

  // A name: automatic addressing, found by its name afterwards.
  ASSERT_EQ(RdrSetLanParams("10.77.0.6", "[NEUNAME]-10001", nullptr, nullptr), 0);
  EXPECT_EQ(RecordByte(module, 0), 0);
  EXPECT_EQ(List(false), std::vector<std::string>{"[NEUNAME]10.77.0.9-10001"});
  EXPECT_GT(Open("[NEUNAME]"), 0);
}

TEST_F(LanNetwork, PingAnsweredAndIgnored) {
  StartModule({"fixed", "10.77.0.2/24", {"--lan-address", "10.77.0.2"}});
  EXPECT_EQ(RdrPing("10.77.0.2-10001:1"), 1);
  ASSERT_TRUE(lab_->Exec(network_->NamespaceOf(0), {"sh", "-c", "echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all"}));
  EXPECT_EQ(RdrPing("10.77.0.2"), 0);
  EXPECT_EQ(RdrPing("10.77.0.200"), 0);
}

}  // namespace
}  // namespace qlmkv::test

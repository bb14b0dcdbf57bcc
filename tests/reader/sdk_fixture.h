// Puts in-memory readers behind the library's link entry points, so the C
// interface can be driven end to end; every connection is closed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "reader/links.h"
#include "reader/sdk_app.h"
#include "tests/reader/scripted_reader.h"

namespace qlmkv::test {

// A LAN module's configuration service, remembered across links to it.
struct ModuleState {
  std::vector<std::uint8_t> record = std::vector<std::uint8_t>(120, 0);
  std::vector<std::uint8_t> identity;
  bool readOk = true;
  int writeFailures = 0;  // the first writes that fail
  std::vector<std::vector<std::uint8_t>> writes;
  std::vector<std::vector<std::uint8_t>> assignments;  // id (2 bytes) + address (4 bytes)
  int restarts = 0;
  std::vector<std::string> opens;
};

class FakeConfigLink final : public LanConfigLink {
 public:
  explicit FakeConfigLink(std::shared_ptr<ModuleState> state) : state_(std::move(state)) {}
  bool ReadRecord(int record, std::vector<std::uint8_t>& out) override {
    if (record != 0 || !state_->readOk) return false;
    out = state_->record;
    return true;
  }
  bool WriteRecord(int record, const std::vector<std::uint8_t>& data) override {
    if (record != 0) return false;
    if (state_->writeFailures > 0) {
      --state_->writeFailures;
      return false;
    }
    state_->writes.push_back(data);
    state_->record = data;
    return true;
  }
  bool Identify(std::vector<std::uint8_t>& out) override {
    out = state_->identity;
    return !out.empty();
  }
  bool AssignAddress(const std::uint8_t id[2], const std::uint8_t address[4]) override {
    state_->assignments.push_back({id[0], id[1], address[0], address[1], address[2], address[3]});
    return true;
  }
  void Restart() override { ++state_->restarts; }

 private:
  std::shared_ptr<ModuleState> state_;
};

struct SerialOpen {
  std::string name;
  LineSettings settings;
};

class SdkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Links links;
    links.openSerial = [this](const std::string& name, const LineSettings& settings, ByteSink& sink) {
      serialOpens.push_back({name, settings});
      return serialReader ? serialReader->Connect(sink) : nullptr;
    };
    links.openHid = [this](const std::string& name, ByteSink& sink) {
      hidOpens.push_back(name);
      return hidReader ? hidReader->Connect(sink) : nullptr;
    };
    links.openLan = [this](const std::string& name, ByteSink& sink) {
      lanOpens.push_back(name);
      return lanReader ? lanReader->Connect(sink) : nullptr;
    };
    links.openLanConfig = [this](const std::string& address) -> std::unique_ptr<LanConfigLink> {
      module->opens.push_back(address);
      if (unreachable.count(address) != 0) return nullptr;
      return std::make_unique<FakeConfigLink>(module);
    };
    links.ping = [this](const std::string& address, int) {
      pings.push_back(address);
      return true;
    };
    links.listSerialPorts = [this] { return serialPorts; };
    links.listFtdiDevices = [this] { return ftdiDevices; };
    links.listHidDevices = [this] { return hidDevices; };
    links.listLanReaders = [this](int, bool) { return lanReaders; };
    previous_ = ReplaceLinks(std::move(links));
  }

  void TearDown() override {
    CQL_MKV_SDKApp::Instance().CloseAll();
    ReplaceLinks(std::move(previous_));
  }

  std::shared_ptr<ScriptedReader> serialReader = std::make_shared<ScriptedReader>(SimpleReader(0));
  std::shared_ptr<ScriptedReader> hidReader = std::make_shared<ScriptedReader>(SimpleReader(0), true);
  std::shared_ptr<ScriptedReader> lanReader = std::make_shared<ScriptedReader>(SimpleReader(0));
  std::shared_ptr<ModuleState> module = std::make_shared<ModuleState>();
  std::map<std::string, bool> unreachable;
  std::vector<SerialOpen> serialOpens;
  std::vector<std::string> hidOpens;
  std::vector<std::string> lanOpens;
  std::vector<std::string> pings;
  std::vector<std::string> serialPorts, ftdiDevices, hidDevices, lanReaders;

 private:
  Links previous_;
};

}  // namespace qlmkv::test

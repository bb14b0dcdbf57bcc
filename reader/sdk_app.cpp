#include "reader/sdk_app.h"

#include <chrono>
#include <cstdlib>

#include "lan/idle_wait.h"
#include "protocol/lan_service.h"
#include "reader/commands.h"
#include "reader/links.h"
#include "reader/rdr.h"
#include "transport/open_failure_note.h"

namespace qlmkv {

namespace {

constexpr int kOpenAttempts = 6;
constexpr std::size_t kVersionReplySize = 4;
constexpr std::size_t kSetupRecordMinSize = lan_service::kSetupRecordMin;
constexpr std::size_t kRecoveryByte = lan_service::kModeAt;
constexpr int kRecoveryWriteAttempts = 5;
constexpr auto kRecoveryPause = std::chrono::milliseconds(500);

void CloseAllAtExit() { CQL_MKV_SDKApp::Instance().CloseAll(); }

}  // namespace

CQL_MKV_SDKApp& CQL_MKV_SDKApp::Instance() {
  static CQL_MKV_SDKApp* const app = [] {
    auto* created = new CQL_MKV_SDKApp();
    std::atexit(CloseAllAtExit);
    return created;
  }();
  return *app;
}

int CQL_MKV_SDKApp::Open(const std::string& connection, int baudRate, int lineFormat, int timeoutMs) {
  ClearOpenFailure();
  const int baud = EffectiveBaudRate(connection, baudRate);
  const ConnectionTarget target = ParseConnectionString(connection);
  bool recovered = false;
  for (;;) {
    int result = RDR_OPEN_FAILED;
    for (int attempt = 0; attempt < kOpenAttempts && result == RDR_OPEN_FAILED; ++attempt) {
      result = OpenAttempt(target, baud, lineFormat, timeoutMs);
    }
    // A LAN module set to a mode in which it passes no reader traffic is
    // switched over once through its configuration service.
    if (result != RDR_OPEN_NO_READER || recovered || ClassifyPort(target.port) != LinkKind::kLan) return result;
    recovered = true;
    RecoverLanModule(connection);
  }
}

int CQL_MKV_SDKApp::OpenAttempt(const ConnectionTarget& target, int baudRate, int lineFormat, int timeoutMs) {
  std::lock_guard openLock(openLock_);
  if (timeoutMs < 0) return RDR_OPEN_BAD_TIMEOUT;

  const Links links = CurrentLinks();
  Connection connection;
  connection.kind = ClassifyPort(target.port);
  connection.port = std::make_shared<CQL_MKV_Port>(target.deviceAddress, timeoutMs,
                                                   links.waitClock != nullptr ? *links.waitClock : SteadyWaitClock());
  std::unique_ptr<Transport> transport;
  switch (connection.kind) {
    case LinkKind::kLan: transport = links.openLan(target.port, *connection.port); break;
    case LinkKind::kHid: transport = links.openHid(target.port, *connection.port); break;
    case LinkKind::kSerial:
      transport =
          links.openSerial(SerialPortName(target.port), LineSettingsFor(baudRate, lineFormat), *connection.port);
      break;
  }
  if (transport == nullptr) return RDR_OPEN_FAILED;
  connection.port->AttachTransport(std::move(transport));
  connection.handle = RegistryFor(connection.kind).Take();
  const int handle = connection.handle;
  const std::shared_ptr<CQL_MKV_Port> port = connection.port;
  Add(std::move(connection));

  bool accepted = false;
  try {
    accepted = DetectVariant(*port);
  } catch (...) {
    accepted = false;
  }
  if (accepted) return handle;

  port->SetVariant(0);
  Connection removed;
  if (Remove(handle, removed)) Dispose(removed);
  return RDR_OPEN_NO_READER;
}

// Variant 0 first, then variant 1; only a 4-byte version reply counts.
bool CQL_MKV_SDKApp::DetectVariant(CQL_MKV_Port& port) {
  // The handle is listed already: another thread may use it meanwhile.
  const CQL_MKV_Port::Turn turn(port);
  ReaderCommands commands(port);
  Bytes version;
  port.SetVariant(0);
  bool answered = commands.GetVersion(version);
  if (!answered) {
    port.SetVariant(1);
    answered = commands.GetVersion(version);
  }
  return answered && version.size() == kVersionReplySize;
}

void CQL_MKV_SDKApp::RecoverLanModule(const std::string& connection) {
  const int config = LanConfigOpen(connection);
  if (const std::shared_ptr<LanConfigLink> link = FindConfigLink(config)) {
    Bytes record;
    if (link->ReadRecord(0, record) && record.size() >= kSetupRecordMinSize) {
      record[kRecoveryByte] = record[kRecoveryByte] == 1 ? 8 : 1;
      for (int attempt = 0; attempt < kRecoveryWriteAttempts; ++attempt) {
        if (link->WriteRecord(0, record)) break;
      }
    }
  }
  if (config > 0) LanConfigClose(config, false);
  lan::PauseFor(kRecoveryPause);
}

int CQL_MKV_SDKApp::Close(int handle) {
  Connection removed;
  if (!Remove(handle, removed)) return -1;
  Dispose(removed);
  return 0;
}

int CQL_MKV_SDKApp::CloseAll() {
  std::vector<Connection> all;
  {
    std::lock_guard lock(listLock_);
    all.swap(connections_);
  }
  for (Connection& connection : all) Dispose(connection);
  return 1;
}

std::shared_ptr<CQL_MKV_Port> CQL_MKV_SDKApp::FindPort(int handle) {
  std::lock_guard lock(listLock_);
  for (const Connection& connection : connections_) {
    if (connection.handle == handle) return connection.port;
  }
  return nullptr;
}

std::shared_ptr<LanConfigLink> CQL_MKV_SDKApp::FindConfigLink(int handle) {
  std::lock_guard lock(listLock_);
  for (const Connection& connection : connections_) {
    if (connection.handle == handle) return connection.configLink;
  }
  return nullptr;
}

int CQL_MKV_SDKApp::LanConfigOpen(const std::string& address) {
  if (!InitSockets()) return 0;
  std::unique_ptr<LanConfigLink> link = CurrentLinks().openLanConfig(WithoutDeviceAddress(address));
  if (link == nullptr) return -1;
  Connection connection;
  connection.kind = LinkKind::kLan;
  connection.configLink = std::move(link);
  connection.handle = lanNumbers_.Take();
  const int handle = connection.handle;
  Add(std::move(connection));
  return handle;
}

int CQL_MKV_SDKApp::LanConfigClose(int handle, bool restart) {
  Connection removed;
  if (!Remove(handle, removed)) return -1;
  if (restart && removed.configLink != nullptr) removed.configLink->Restart();
  Dispose(removed);
  return 0;
}

NumberRegistry& CQL_MKV_SDKApp::RegistryFor(LinkKind kind) {
  switch (kind) {
    case LinkKind::kHid: return hidNumbers_;
    case LinkKind::kLan: return lanNumbers_;
    case LinkKind::kSerial: break;
  }
  return serialNumbers_;
}

void CQL_MKV_SDKApp::Add(Connection connection) {
  std::lock_guard lock(listLock_);
  connections_.push_back(std::move(connection));
}

bool CQL_MKV_SDKApp::Remove(int handle, Connection& removed) {
  std::lock_guard lock(listLock_);
  for (auto it = connections_.begin(); it != connections_.end(); ++it) {
    if (it->handle == handle) {
      removed = std::move(*it);
      connections_.erase(it);
      return true;
    }
  }
  return false;
}

// Closes the link (outside the list lock: closing joins a worker thread) and
// gives its number back.
void CQL_MKV_SDKApp::Dispose(Connection& connection) {
  if (connection.port != nullptr) connection.port->CloseTransport();
  connection.configLink.reset();
  RegistryFor(connection.kind).Release(connection.handle);
  connection.port.reset();
}

}  // namespace qlmkv

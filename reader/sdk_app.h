// The library object: every open connection of the process, their handles and
// the opening of links by connection string.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lan/lan.h"
#include "reader/connection_string.h"
#include "reader/number_registry.h"
#include "reader/qlmkv_port.h"

namespace qlmkv {

class CQL_MKV_SDKApp {
 public:
  // The one library object. It is never destroyed (worker threads may still
  // look at it while the process ends); its connections are closed at exit.
  static CQL_MKV_SDKApp& Instance();

  // A handle, or -1 (link not opened in 6 attempts), -2 (negative time-out),
  // -11 (no reader answered, also after the LAN recovery).
  int Open(const std::string& connection, int baudRate, int lineFormat, int timeoutMs);
  // 0, or -1 for an unknown handle.
  int Close(int handle);
  // Closes every connection; returns 1.
  int CloseAll();
  // Sockets need no initialisation here; kept so callers read like the rest.
  bool InitSockets() const { return true; }

  // Shared so that a connection closed by another thread stays alive until
  // the exchange using it has ended. Null for an unknown handle.
  std::shared_ptr<CQL_MKV_Port> FindPort(int handle);
  std::shared_ptr<LanConfigLink> FindConfigLink(int handle);

  // LAN module configuration connections: handle, or -1 (0 when sockets
  // cannot be initialised).
  int LanConfigOpen(const std::string& address);
  int LanConfigClose(int handle, bool restart);

 private:
  struct Connection {
    int handle = 0;
    LinkKind kind = LinkKind::kSerial;
    std::shared_ptr<CQL_MKV_Port> port;
    std::shared_ptr<LanConfigLink> configLink;
  };

  CQL_MKV_SDKApp() = default;
  int OpenAttempt(const ConnectionTarget& target, int baudRate, int lineFormat, int timeoutMs);
  bool DetectVariant(CQL_MKV_Port& port);
  void RecoverLanModule(const std::string& connection);
  NumberRegistry& RegistryFor(LinkKind kind);
  void Add(Connection connection);
  bool Remove(int handle, Connection& removed);
  void Dispose(Connection& connection);

  std::mutex listLock_;
  std::mutex openLock_;
  std::vector<Connection> connections_;
  NumberRegistry serialNumbers_{1};
  NumberRegistry hidNumbers_{10001};
  NumberRegistry lanNumbers_{20001};
};

}  // namespace qlmkv

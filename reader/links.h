// Where the library gets its links and device lists from. Normally the real
// transports and LAN functions; the tests put an in-memory reader behind the
// same entry points. Internal: not part of the SDK interface.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lan/lan.h"
#include "reader/wait_clock.h"
#include "transport/transports.h"

namespace qlmkv {

struct Links {
  std::function<std::unique_ptr<Transport>(const std::string&, const LineSettings&, ByteSink&)> openSerial;
  std::function<std::unique_ptr<Transport>(const std::string&, ByteSink&)> openHid;
  std::function<std::unique_ptr<Transport>(const std::string&, ByteSink&)> openLan;
  std::function<std::unique_ptr<LanConfigLink>(const std::string&)> openLanConfig;
  std::function<bool(const std::string&, int)> ping;
  std::function<std::vector<std::string>()> listSerialPorts;
  std::function<std::vector<std::string>()> listFtdiDevices;
  std::function<std::vector<std::string>()> listHidDevices;
  std::function<std::vector<std::string>(int, bool)> listLanReaders;
  // Paces the reply waits of the connections opened; null: the steady clock.
  WaitClock* waitClock = nullptr;
};

// The real transports and LAN functions.
Links SystemLinks();

// The links in use (a copy, so a caller keeps a consistent set).
Links CurrentLinks();
// Puts other links in place and returns the previous ones.
Links ReplaceLinks(Links links);

}  // namespace qlmkv

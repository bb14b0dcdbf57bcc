#include "reader/lan_params.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "lan/idle_wait.h"
#include "protocol/lan_service.h"
#include "reader/connection_string.h"
#include "reader/links.h"
#include "reader/sdk_app.h"

namespace qlmkv {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The module's setup record 0 and information record.
using lan_service::kAddressAt;
using lan_service::kGatewayAt;
using lan_service::kHostBitsAt;
using lan_service::kModuleIdAt;
using lan_service::kNameAt;
using lan_service::kNameSize;
using lan_service::kPortAt;
constexpr std::size_t kRecordMinSize = lan_service::kSetupRecordMin;
constexpr std::size_t kIdentityMinSize = lan_service::kInformationRecordMin;

constexpr int kPingTimeoutMs = 200;
constexpr auto kRestartPingPause = milliseconds(100);
constexpr auto kRestartPingLimit = milliseconds(2000);
constexpr int kReopenRetries = 5;
constexpr auto kReopenPause = milliseconds(100);
constexpr int kWriteRetries = 5;
constexpr auto kWritePause = milliseconds(500);

std::optional<std::uint16_t> ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

bool Given(const char* text) { return text != nullptr && *text != '\0'; }

struct Changes {
  LanTarget target;
  std::optional<int> hostBits;
  Ipv4 gateway{};
};

bool AddressDiffers(const std::vector<std::uint8_t>& record, const Ipv4& address) {
  return !std::equal(address.begin(), address.end(), record.begin() + kAddressAt);
}

bool WriteNeeded(const std::vector<std::uint8_t>& record, const Changes& changes) {
  if (AddressDiffers(record, changes.target.address)) return true;
  const unsigned storedPort = record[kPortAt] | (record[kPortAt + 1] << 8);
  if (changes.target.port != 0 && storedPort != changes.target.port) return true;
  if (changes.hostBits && record[kHostBitsAt] != *changes.hostBits) return true;
  if (!std::equal(changes.gateway.begin(), changes.gateway.end(), record.begin() + kGatewayAt)) return true;
  if (changes.target.name) {
    const char* stored = reinterpret_cast<const char*>(record.data() + kNameAt);
    if (std::strncmp(stored, changes.target.name->c_str(), kNameSize) != 0) return true;
  }
  return false;
}

void ApplyChanges(std::vector<std::uint8_t>& record, const Changes& changes) {
  std::copy(changes.target.address.begin(), changes.target.address.end(), record.begin() + kAddressAt);
  if (changes.hostBits) record[kHostBitsAt] = static_cast<std::uint8_t>(*changes.hostBits);
  std::copy(changes.gateway.begin(), changes.gateway.end(), record.begin() + kGatewayAt);
  if (changes.target.port != 0) {
    record[kPortAt] = static_cast<std::uint8_t>(changes.target.port & 0xFF);
    record[kPortAt + 1] = static_cast<std::uint8_t>(changes.target.port >> 8);
  }
  if (changes.target.name) {
    std::fill(record.begin() + kNameAt, record.begin() + kNameAt + kNameSize, 0);
    const std::string& name = *changes.target.name;
    std::copy_n(name.begin(), std::min(name.size(), kNameSize), record.begin() + kNameAt);
  }
}

// After an address assignment the module restarts: wait until it answers at
// its new address, then reopen the configuration connection there.
int ReopenAtNewAddress(CQL_MKV_SDKApp& app, const std::string& newAddress) {
  const auto closedAt = Clock::now();
  do {
    lan::PauseFor(kRestartPingPause);
  } while (!PingAddressText(newAddress) && Clock::now() - closedAt < kRestartPingLimit);

  int handle = app.LanConfigOpen(newAddress);
  for (int retry = 0; retry < kReopenRetries && handle <= 0; ++retry) {
    lan::PauseFor(kReopenPause);
    handle = app.LanConfigOpen(newAddress);
  }
  return handle;
}

}  // namespace

std::optional<Ipv4> ParseDottedAddress(const std::string& text) {
  Ipv4 address{};
  std::size_t part = 0;
  unsigned value = 0;
  std::size_t digits = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      if (digits == 0 || value > 255 || part > 3) return std::nullopt;
      address[part++] = static_cast<std::uint8_t>(value);
      value = 0;
      digits = 0;
    } else if (text[i] >= '0' && text[i] <= '9' && digits < 3) {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      ++digits;
    } else {
      return std::nullopt;
    }
  }
  if (part != 4) return std::nullopt;
  return address;
}

std::optional<LanTarget> ParseLanTarget(const std::string& text) {
  LanTarget target;
  std::string rest;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos) return std::nullopt;
    target.name = text.substr(1, close - 1);
    rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != '-') return std::nullopt;
  } else {
    const std::size_t dash = text.find('-');
    const auto address = ParseDottedAddress(text.substr(0, dash));
    if (!address) return std::nullopt;
    target.address = *address;
    if (dash != std::string::npos) rest = text.substr(dash);
  }
  if (!rest.empty()) {
    const auto port = ParsePort(rest.substr(1));
    if (!port) return std::nullopt;
    target.port = *port;
  }
  return target;
}

int HostBitCount(const Ipv4& mask) {
  int count = 0;
  for (int byte = 3; byte >= 0; --byte) {
    for (int bit = 0; bit < 8; ++bit) {
      if ((mask[static_cast<std::size_t>(byte)] >> bit) & 1) return count;
      ++count;
    }
  }
  return count;
}

bool PingAddressText(const std::string& address) {
  std::string host = WithoutDeviceAddress(address);
  if (host.empty()) return false;
  // A bracketed module name is resolved by the LAN side; a dotted address
  // loses its "-port" suffix here.
  if (host.front() != '[') host = host.substr(0, host.find('-'));
  return CurrentLinks().ping(host, kPingTimeoutMs);
}

int SetLanParams(const std::string& currentAddress, const std::string& newAddress, const char* subnetMask,
                 const char* gateway) {
  // Unreadable texts would end up as a garbage address in the module.
  Changes changes;
  const auto target = ParseLanTarget(newAddress);
  if (!target) return -1;
  changes.target = *target;
  if (Given(gateway)) {
    const auto parsed = ParseDottedAddress(gateway);
    if (!parsed) return -1;
    changes.gateway = *parsed;
  }
  if (Given(subnetMask)) {
    const auto parsed = ParseDottedAddress(subnetMask);
    if (!parsed) return -1;
    changes.hostBits = HostBitCount(*parsed);
  }

  CQL_MKV_SDKApp& app = CQL_MKV_SDKApp::Instance();
  int handle = app.LanConfigOpen(currentAddress);
  if (handle <= 0) return handle < 0 ? handle : -1;

  int result = -1;
  std::vector<std::uint8_t> record;
  std::shared_ptr<LanConfigLink> link = app.FindConfigLink(handle);
  if (link != nullptr && link->ReadRecord(0, record) && record.size() >= kRecordMinSize) {
    // Automatic addressing has no address to assign: the module takes one
    // when it restarts with the written record, and is found by its name.
    const bool addressChanged = !changes.target.name && AddressDiffers(record, changes.target.address);
    const bool writeNeeded = WriteNeeded(record, changes);
    std::vector<std::uint8_t> identity;
    if (addressChanged && link->Identify(identity) && identity.size() >= kIdentityMinSize) {
      const std::uint8_t id[2] = {identity[kModuleIdAt], identity[kModuleIdAt + 1]};
      link->AssignAddress(id, changes.target.address.data());
      link.reset();
      app.LanConfigClose(handle, false);
      handle = ReopenAtNewAddress(app, newAddress);
      if (handle <= 0) return handle < 0 ? handle : -1;
      link = app.FindConfigLink(handle);
    }
    result = 0;
    if (writeNeeded && link != nullptr) {
      ApplyChanges(record, changes);
      bool written = link->WriteRecord(0, record);
      for (int retry = 0; retry < kWriteRetries && !written; ++retry) {
        lan::PauseFor(kWritePause);
        written = link->WriteRecord(0, record);
      }
      if (!written) result = -1;
    }
  }
  link.reset();
  app.LanConfigClose(handle, true);
  return result;
}

}  // namespace qlmkv

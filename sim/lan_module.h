// The simulated reader's Ethernet module: its datagram service (setup
// records, information record, record writes, address assignment, restart)
// as a pure state machine. The server does the sockets and carries out the
// assignment and the restart this returns.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/lan_service.h"

namespace mkvsim {

using Bytes = std::vector<std::uint8_t>;
using Ipv4 = std::array<std::uint8_t, 4>;

struct LanModuleOptions {
  std::optional<Ipv4> fixedAddress;  // none: automatic addressing (0.0.0.0 in the record)
  int hostBits = 8;
  Ipv4 gateway{};
  std::uint16_t port = 10001;
  std::string name = "MKVSIM";
  std::string deviceType = "QL-MKV";
  int modeByte = 1;
  std::uint16_t moduleId = 0xA55A;
};

class LanModule {
 public:
  static constexpr std::uint16_t kServicePort = qlmkv::lan_service::kServicePort;
  static constexpr std::size_t kMaxDatagram = qlmkv::lan_service::kMaxDatagram;
  static constexpr std::size_t kRecordSize = qlmkv::lan_service::kSetupRecordMin;

  explicit LanModule(const LanModuleOptions& options);

  struct Outcome {
    std::optional<Bytes> reply;      // to the sender
    std::optional<Ipv4> assignment;  // take this address now
    bool restart = false;            // apply record 0 now
  };
  Outcome Handle(const std::uint8_t* data, std::size_t size);

  // What record 0 asks for after a restart.
  std::optional<Ipv4> RecordAddress() const;  // none when automatic
  int HostBits() const { return records_[0][6]; }
  std::uint16_t Port() const;
  void SetPort(std::uint16_t port);
  // Byte 17 of record 0: the reader channel passes traffic only at value 1.
  bool PassesReaderTraffic() const { return records_[0][17] == 1; }

  // Control channel: "lan silent on|off", "lan mute N on|off" (reads of
  // record N go unanswered), "lan record [N]", "lan counts".
  std::string Control(const std::string& arguments);

 private:
  std::vector<Bytes> records_;  // 0..15
  Bytes information_;
  std::uint16_t moduleId_;
  bool silent_ = false;
  std::vector<bool> muted_ = std::vector<bool>(16, false);
  int writes_ = 0;
  int assignments_ = 0;
  int restarts_ = 0;
};

using qlmkv::lan_service::DottedText;
std::optional<Ipv4> ParseDotted(const std::string& text);

}  // namespace mkvsim

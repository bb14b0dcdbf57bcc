// The datagram service of LAN modules on UDP port 30718: request layouts,
// reply parsing and the fields of the setup records. Pure functions over
// bytes; everything from the network is untrusted and bounds-checked here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/lan_service.h"

namespace qlmkv::lan {

using Bytes = std::vector<std::uint8_t>;
using Ipv4Bytes = std::array<std::uint8_t, 4>;

using lan_service::kDeviceRecordMin;
using lan_service::kHeaderSize;
using lan_service::kInformationRecordMin;
using lan_service::kMaxDatagram;
using lan_service::kServicePort;
using lan_service::kSetupRecordMin;

namespace reply {
constexpr std::uint8_t kRecord0 = lan_service::ReadReplyType(0);
constexpr std::uint8_t kInformation = lan_service::kInformationReplyType;
constexpr std::uint8_t kRecord0Written = lan_service::WriteReplyType(0);
}  // namespace reply

// One received datagram: its type (byte 3), sender and the bytes after the header.
struct Datagram {
  std::uint8_t type = 0;
  Ipv4Bytes sender{};
  Bytes data;
};

// Nullopt for datagrams shorter than the header or longer than kMaxDatagram.
std::optional<Datagram> ParseDatagram(const Ipv4Bytes& sender, const std::uint8_t* bytes, std::size_t size);

// Requests.
Bytes ReadRequest(int record);  // record 0..15
std::uint8_t ReadReplyType(int record);
Bytes WriteRequest(int record, const Bytes& data);  // record 0..15
std::uint8_t WriteReplyType(int record);
Bytes IdentifyRequest();
Bytes AddressAssignment(std::uint8_t id0, std::uint8_t id1, const Ipv4Bytes& address);
Bytes RestartRequest();

// The fields of setup record 0 this system reads.
struct SetupRecord {
  Ipv4Bytes address{};  // 0.0.0.0: the module takes its address automatically
  int hostBits = 0;
  Ipv4Bytes gateway{};
  int modeByte = 0;
  std::uint16_t port = 0;
  std::string name;  // up to 8 characters, ends at the first zero
};
std::optional<SetupRecord> ParseSetupRecord(const Bytes& data);

// "[%.8s]" of the record's name.
std::string BracketName(const SetupRecord& record);
using lan_service::DottedText;

// The module list's entry for a record-0 reply: "a.b.c.d-p" when the record's
// address is the sender's, else "[name]a.b.c.d-p" with the sender's address.
std::string EntryText(const SetupRecord& record, const Ipv4Bytes& sender);

// An entry split for the reader check: "[name]" (or empty) and the address
// text without its port.
struct EntryParts {
  std::string name;
  std::string address;
};
EntryParts SplitEntry(const std::string& entry);

// Record 2 names the device type at offset 93; a reader of this family has a
// type beginning with "QL-" in any case.
bool IsReaderDeviceRecord(const Bytes& data);

}  // namespace qlmkv::lan

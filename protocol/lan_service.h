// The datagram service of LAN reader modules on UDP port 30718: the header,
// the request and reply types and the field offsets of the module's records.
// Shared by the SDK's LAN side and the simulated module, so both read and
// write the same layout.
//
// A datagram: bytes 0..3 header (byte 1 the kind, byte 3 the type), then data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qlmkv::lan_service {

constexpr std::uint16_t kServicePort = 30718;
// The largest datagram a module sends; anything longer is not a module's.
constexpr std::size_t kMaxDatagram = 513;
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kKindAt = 1;
constexpr std::size_t kTypeAt = 3;
constexpr int kRecordCount = 16;

// Kinds: record 0 writes, address assignment and restart are commands; reads,
// identify and the writes of records 1..15 are queries.
constexpr std::uint8_t kCommand = 0x00;
constexpr std::uint8_t kQuery = 0x01;

// Records 1..15 carry their number in the low nibble of these bases.
constexpr std::uint8_t kNumberedReadBase = 0xE0;
constexpr std::uint8_t kNumberedWriteBase = 0xC0;
// The record number 1..15 of a numbered type, 0 for any other type.
constexpr int NumberedRecord(std::uint8_t type, std::uint8_t base) {
  return type > base && type < base + kRecordCount ? type - base : 0;
}

constexpr std::uint8_t ReadType(int record) {
  return static_cast<std::uint8_t>(record == 0 ? 0xF8 : kNumberedReadBase + record);
}
constexpr std::uint8_t ReadReplyType(int record) {
  return static_cast<std::uint8_t>(record == 0 ? 0xF9 : 0xD0 + record);
}
constexpr std::uint8_t WriteKind(int record) { return record == 0 ? kCommand : kQuery; }
constexpr std::uint8_t WriteType(int record) {
  return static_cast<std::uint8_t>(record == 0 ? 0xFD : kNumberedWriteBase + record);
}
constexpr std::uint8_t WriteReplyType(int record) {
  return static_cast<std::uint8_t>(record == 0 ? 0xFB : 0xB0 + record);
}
constexpr std::uint8_t kIdentifyType = 0xF6;
constexpr std::uint8_t kInformationReplyType = 0xF7;
// Address assignment: the tag, two zero bytes, the module id, the address.
constexpr std::uint8_t kAssignType = 0xFC;
constexpr char kAssignmentTag[] = "IP-SETUP";
constexpr std::size_t kAssignmentSize = 16;
constexpr std::size_t kAssignedIdAt = 10;
constexpr std::size_t kAssignedAddressAt = 12;
constexpr std::uint8_t kRestartType = 0x03;
constexpr std::array<std::uint8_t, 2> kRestartData = {0x58, 0x33};

// Setup record 0.
constexpr std::size_t kSetupRecordMin = 120;
constexpr std::size_t kAddressAt = 0;   // 0.0.0.0: automatic addressing
constexpr std::size_t kHostBitsAt = 6;  // the subnet mask's host-bit count
constexpr std::size_t kGatewayAt = 12;
constexpr std::size_t kModeAt = 17;  // 1 or 8: what the module passes to the reader
constexpr std::size_t kPortAt = 20;  // little-endian
constexpr std::size_t kNameAt = 112;
constexpr std::size_t kNameSize = 8;

// Record 2: the device type text.
constexpr std::size_t kDeviceRecordMin = 126;
constexpr std::size_t kDeviceTypeAt = 93;

// The information record (identify): the module id at bytes 24 and 25.
constexpr std::size_t kInformationRecordMin = 26;
constexpr std::size_t kModuleIdAt = 24;

inline std::string DottedText(const std::array<std::uint8_t, 4>& address) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
  return text;
}

}  // namespace qlmkv::lan_service

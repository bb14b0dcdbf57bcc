#include "lan/datagram.h"

#include <algorithm>
#include <cstdio>

#include "common/ascii.h"

namespace qlmkv::lan {

namespace {

constexpr std::size_t kAddressAt = 0;
constexpr std::size_t kHostBitsAt = 6;
constexpr std::size_t kGatewayAt = 12;
constexpr std::size_t kModeAt = 17;
constexpr std::size_t kPortAt = 20;
constexpr std::size_t kNameAt = 112;
constexpr std::size_t kNameSize = 8;
constexpr std::size_t kDeviceTypeAt = 93;
constexpr char kReaderTypePrefix[] = "QL-";

Ipv4Bytes AddressAt(const Bytes& data, std::size_t at) {
  Ipv4Bytes address{};
  std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), 4, address.begin());
  return address;
}

bool ValidRecord(int record) { return record >= 0 && record <= 15; }

}  // namespace

std::optional<Datagram> ParseDatagram(const Ipv4Bytes& sender, const std::uint8_t* bytes, std::size_t size) {
  if (bytes == nullptr || size < kHeaderSize || size > kMaxDatagram) return std::nullopt;
  Datagram datagram;
  datagram.type = bytes[3];
  datagram.sender = sender;
  datagram.data.assign(bytes + kHeaderSize, bytes + size);
  return datagram;
}

Bytes ReadRequest(int record) {
  if (!ValidRecord(record)) return {};
  return {0x00, 0x01, 0x00, static_cast<std::uint8_t>(record == 0 ? 0xF8 : 0xE0 + record)};
}

std::uint8_t ReadReplyType(int record) { return static_cast<std::uint8_t>(record == 0 ? 0xF9 : 0xD0 + record); }

Bytes WriteRequest(int record, const Bytes& data) {
  if (!ValidRecord(record)) return {};
  Bytes request(kHeaderSize + data.size());
  request[1] = record == 0 ? 0x00 : 0x01;
  request[3] = static_cast<std::uint8_t>(record == 0 ? 0xFD : 0xC0 + record);
  std::copy(data.begin(), data.end(), request.begin() + kHeaderSize);
  return request;
}

std::uint8_t WriteReplyType(int record) { return static_cast<std::uint8_t>(record == 0 ? 0xFB : 0xB0 + record); }

Bytes IdentifyRequest() { return {0x00, 0x01, 0x00, 0xF6}; }

Bytes AddressAssignment(std::uint8_t id0, std::uint8_t id1, const Ipv4Bytes& address) {
  return {0x00, 0x00, 0x00, 0xFC, 'I', 'P', '-',        'S',        'E',        'T',
          'U',  'P',  0x00, 0x00, id0, id1, address[0], address[1], address[2], address[3]};
}

Bytes RestartRequest() { return {0x00, 0x00, 0x00, 0x03, 0x58, 0x33}; }

std::optional<SetupRecord> ParseSetupRecord(const Bytes& data) {
  if (data.size() < kSetupRecordMin) return std::nullopt;
  SetupRecord record;
  record.address = AddressAt(data, kAddressAt);
  record.hostBits = data[kHostBitsAt];
  record.gateway = AddressAt(data, kGatewayAt);
  record.modeByte = data[kModeAt];
  record.port = static_cast<std::uint16_t>(data[kPortAt] | (data[kPortAt + 1] << 8));
  const auto nameBegin = data.begin() + kNameAt;
  const auto nameEnd = std::find(nameBegin, nameBegin + kNameSize, std::uint8_t{0});
  record.name.assign(nameBegin, nameEnd);
  return record;
}

std::string BracketName(const SetupRecord& record) { return "[" + record.name + "]"; }

std::string DottedText(const Ipv4Bytes& address) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
  return text;
}

std::string EntryText(const SetupRecord& record, const Ipv4Bytes& sender) {
  const std::string port = "-" + std::to_string(record.port);
  if (record.address == sender) return DottedText(record.address) + port;
  return BracketName(record) + DottedText(sender) + port;
}

EntryParts SplitEntry(const std::string& entry) {
  EntryParts parts;
  std::string address = entry.substr(0, entry.rfind('-'));
  const std::size_t close = address.find(']');
  if (close != std::string::npos) {
    parts.name = address.substr(0, close + 1);
    address.erase(0, close + 1);
  }
  parts.address = address;
  return parts;
}

bool IsReaderDeviceRecord(const Bytes& data) {
  if (data.size() < kDeviceRecordMin) return false;
  const auto typeBegin = data.begin() + kDeviceTypeAt;
  const auto typeEnd = std::find(typeBegin, data.end(), std::uint8_t{0});
  const std::string type(typeBegin, typeEnd);
  return ascii::StartsWithNoCase(type, kReaderTypePrefix);
}

}  // namespace qlmkv::lan

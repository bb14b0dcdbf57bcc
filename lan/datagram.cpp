#include "lan/datagram.h"

#include <algorithm>
#include <cstdio>

#include "common/ascii.h"

namespace qlmkv::lan {

namespace {

using namespace lan_service;

constexpr char kReaderTypePrefix[] = "QL-";

Ipv4Bytes AddressAt(const Bytes& data, std::size_t at) {
  Ipv4Bytes address{};
  std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), 4, address.begin());
  return address;
}

bool ValidRecord(int record) { return record >= 0 && record < kRecordCount; }

// A request without data.
Bytes Query(std::uint8_t kind, std::uint8_t type) {
  Bytes request(kHeaderSize, 0);
  request[kKindAt] = kind;
  request[kTypeAt] = type;
  return request;
}

}  // namespace

std::optional<Datagram> ParseDatagram(const Ipv4Bytes& sender, const std::uint8_t* bytes, std::size_t size) {
  if (bytes == nullptr || size < kHeaderSize || size > kMaxDatagram) return std::nullopt;
  Datagram datagram;
  datagram.type = bytes[kTypeAt];
  datagram.sender = sender;
  datagram.data.assign(bytes + kHeaderSize, bytes + size);
  return datagram;
}

Bytes ReadRequest(int record) {
  if (!ValidRecord(record)) return {};
  return Query(kQuery, lan_service::ReadType(record));
}

std::uint8_t ReadReplyType(int record) { return lan_service::ReadReplyType(record); }

Bytes WriteRequest(int record, const Bytes& data) {
  if (!ValidRecord(record)) return {};
  Bytes request = Query(lan_service::WriteKind(record), lan_service::WriteType(record));
  request.insert(request.end(), data.begin(), data.end());
  return request;
}

std::uint8_t WriteReplyType(int record) { return lan_service::WriteReplyType(record); }

Bytes IdentifyRequest() { return Query(kQuery, kIdentifyType); }

Bytes AddressAssignment(std::uint8_t id0, std::uint8_t id1, const Ipv4Bytes& address) {
  Bytes request = Query(kCommand, kAssignType);
  request.resize(kHeaderSize + kAssignmentSize, 0);
  std::copy_n(kAssignmentTag, std::char_traits<char>::length(kAssignmentTag), request.begin() + kHeaderSize);
  request[kHeaderSize + kAssignedIdAt] = id0;
  request[kHeaderSize + kAssignedIdAt + 1] = id1;
  std::copy(address.begin(), address.end(), request.begin() + kHeaderSize + kAssignedAddressAt);
  return request;
}

Bytes RestartRequest() {
  Bytes request = Query(kCommand, kRestartType);
  request.insert(request.end(), kRestartData.begin(), kRestartData.end());
  return request;
}

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

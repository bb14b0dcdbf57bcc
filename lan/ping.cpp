#include "lan/ping.h"

namespace qlmkv::lan {

namespace {

constexpr std::uint8_t kEchoRequestType = 8;
constexpr std::uint8_t kEchoReplyType = 0;
constexpr std::size_t kIcmpHeader = 8;

std::uint16_t Read16(const std::uint8_t* at) { return static_cast<std::uint16_t>((at[0] << 8) | at[1]); }

}  // namespace

std::uint16_t InternetChecksum(const std::uint8_t* data, std::size_t size) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) sum += Read16(data + i);
  if (size % 2 != 0) sum += static_cast<std::uint32_t>(data[size - 1]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::vector<std::uint8_t> EchoRequest(std::uint16_t id, std::uint16_t sequence, std::size_t dataSize) {
  std::vector<std::uint8_t> request(kIcmpHeader + dataSize, kEchoFiller);
  request[0] = kEchoRequestType;
  request[1] = 0;
  request[2] = request[3] = 0;
  request[4] = static_cast<std::uint8_t>(id >> 8);
  request[5] = static_cast<std::uint8_t>(id);
  request[6] = static_cast<std::uint8_t>(sequence >> 8);
  request[7] = static_cast<std::uint8_t>(sequence);
  const std::uint16_t checksum = InternetChecksum(request.data(), request.size());
  request[2] = static_cast<std::uint8_t>(checksum >> 8);
  request[3] = static_cast<std::uint8_t>(checksum);
  return request;
}

EchoMatch MatchEchoReply(const std::uint8_t* icmp, std::size_t size, std::uint16_t id, std::uint16_t sequence,
                         std::size_t dataSize, bool checkId) {
  if (icmp == nullptr || size < kIcmpHeader || icmp[0] != kEchoReplyType || icmp[1] != 0) return EchoMatch::kOther;
  if (Read16(icmp + 6) != sequence || (checkId && Read16(icmp + 4) != id)) return EchoMatch::kOther;
  if (size != kIcmpHeader + dataSize) return EchoMatch::kAltered;
  for (std::size_t i = kIcmpHeader; i < size; ++i)
    if (icmp[i] != kEchoFiller) return EchoMatch::kAltered;
  return EchoMatch::kAnswer;
}

}  // namespace qlmkv::lan

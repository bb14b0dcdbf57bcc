#include "protocol/frame.h"

namespace qlmkv::frame {

std::uint16_t Crc16Modbus(const std::uint8_t* data, std::size_t size) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

std::uint8_t Bcc(const std::uint8_t* data, std::size_t size) {
  std::uint8_t x = 0;
  for (std::size_t i = 0; i < size; ++i) x ^= data[i];
  return x;
}

namespace {

void AppendChecksum(int variant, Bytes& frame) {
  if (variant == 0) {
    frame.push_back(Bcc(frame.data() + 1, frame.size() - 1));
  } else {
    const std::uint16_t crc = Crc16Modbus(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  }
}

Bytes Header(int variant, std::uint8_t address, std::uint8_t code, std::uint8_t length) {
  Bytes frame;
  if (variant == 0) frame.push_back(kStartByte);
  frame.push_back(address);
  frame.push_back(code);
  frame.push_back(length);
  return frame;
}

}  // namespace

Bytes Build(int variant, std::uint8_t address, std::uint8_t code, const std::uint8_t* payload, std::size_t size) {
  if (size > kMaxPayload) size = kMaxPayload;
  Bytes frame = Header(variant, address, code, static_cast<std::uint8_t>(size));
  if (size > 0) frame.insert(frame.end(), payload, payload + size);
  AppendChecksum(variant, frame);
  return frame;
}

Bytes BuildBlockList(int variant, std::uint8_t address, std::uint8_t status, const std::vector<Bytes>& blocks) {
  Bytes frame = Header(variant, address, status, kBlockListLength);
  for (const Bytes& block : blocks) {
    const std::size_t n = block.size() > 254 ? 254 : block.size();
    frame.push_back(static_cast<std::uint8_t>(n));
    frame.insert(frame.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
  }
  frame.push_back(kBlockListLength);
  AppendChecksum(variant, frame);
  return frame;
}

std::size_t CompleteLength(int variant, const std::uint8_t* buf, std::size_t size, bool allowBlockList) {
  const std::size_t lengthAt = LengthOffset(variant);
  if (size <= lengthAt) return 0;
  const std::uint8_t length = buf[lengthAt];
  if (length != kBlockListLength || !allowBlockList) {
    const std::size_t total = static_cast<std::size_t>(length) + 5;
    return size >= total ? total : 0;
  }
  // Block list: walk the count bytes until the terminating 0xFF.
  std::size_t offset = HeaderSize(variant);
  while (size > offset) {
    const std::uint8_t count = buf[offset];
    if (count == kBlockListLength) {
      const std::size_t total = offset + 1 + ChecksumSize(variant);
      return size >= total ? total : 0;
    }
    offset += static_cast<std::size_t>(count) + 1;
  }
  return 0;
}

bool ChecksumOk(int variant, const std::uint8_t* frame, std::size_t size) {
  if (variant == 0) {
    if (size < 2) return false;
    return Bcc(frame + 1, size - 2) == frame[size - 1];
  }
  if (size < 3) return false;
  const std::uint16_t crc = Crc16Modbus(frame, size - 2);
  return (crc & 0xFF) == frame[size - 2] && (crc >> 8) == frame[size - 1];
}

int ValidateReply(int variant, const Bytes& reply, Bytes& data) {
  data.clear();
  if (reply.empty()) return 12;
  // Only a reply that is exactly one frame counts: bytes after it could keep
  // the checksum right (a trailing 00 in variant 0, 00 00 in variant 1) and
  // would then pass for data.
  if (CompleteLength(variant, reply.data(), reply.size()) != reply.size()) return 10;
  if (!ChecksumOk(variant, reply.data(), reply.size())) return 10;
  const std::uint8_t status = reply[StatusOffset(variant)];
  if (status != 0) return status;
  std::size_t trailer = ChecksumSize(variant);
  if (reply[LengthOffset(variant)] == kBlockListLength) ++trailer;
  const std::size_t begin = HeaderSize(variant);
  data.assign(reply.begin() + static_cast<std::ptrdiff_t>(begin), reply.end() - static_cast<std::ptrdiff_t>(trailer));
  return 0;
}

}  // namespace qlmkv::frame

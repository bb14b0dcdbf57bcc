// Frame layouts of the reader protocol, as pure functions over byte arrays.
//
// Variant 0: 02 | address | command/status | length | payload | BCC (XOR from offset 1)
// Variant 1:      address | command/status | length | payload | CRC-16/MODBUS, low byte first
// A reply length of 0xFF announces a block list: count-prefixed blocks ended by 0xFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qlmkv::frame {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kStartByte = 0x02;
constexpr std::uint8_t kBlockListLength = 0xFF;
constexpr std::size_t kMaxPayload = 255;

std::uint16_t Crc16Modbus(const std::uint8_t* data, std::size_t size);
std::uint8_t Bcc(const std::uint8_t* data, std::size_t size);

// Offset of the length byte and size of the header before the payload.
constexpr std::size_t LengthOffset(int variant) { return variant == 0 ? 3 : 2; }
constexpr std::size_t HeaderSize(int variant) { return variant == 0 ? 4 : 3; }
constexpr std::size_t ChecksumSize(int variant) { return variant == 0 ? 1 : 2; }
constexpr std::size_t StatusOffset(int variant) { return variant == 0 ? 2 : 1; }

// Builds a complete frame: a request (code = command) or a reply (code = status).
// At most kMaxPayload payload bytes are taken; the caller must not pass more.
Bytes Build(int variant, std::uint8_t address, std::uint8_t code, const std::uint8_t* payload, std::size_t size);
inline Bytes Build(int variant, std::uint8_t address, std::uint8_t code, const Bytes& payload) {
  return Build(variant, address, code, payload.data(), payload.size());
}

// Builds a block-list reply (length byte 0xFF): each block is at most 254 bytes.
Bytes BuildBlockList(int variant, std::uint8_t address, std::uint8_t status, const std::vector<Bytes>& blocks);

// Length of the complete frame at the start of `buf`, or 0 while more bytes are
// needed. `buf` must already start at the frame (variant 0: at the start byte).
// With allowBlockList a length byte of 0xFF announces a block list (replies);
// without it 0xFF is a plain payload length of 255 (requests).
std::size_t CompleteLength(int variant, const std::uint8_t* buf, std::size_t size, bool allowBlockList = true);

// Validates a taken reply and leaves only its data in `data`.
// Returns 0 on success, otherwise the last-error code: 12 (empty), 10 (checksum)
// or the reader's non-zero status byte.
int ValidateReply(int variant, const Bytes& reply, Bytes& data);

// True when a request frame's checksum is right (used by the simulated reader).
bool ChecksumOk(int variant, const std::uint8_t* frame, std::size_t size);

}  // namespace qlmkv::frame

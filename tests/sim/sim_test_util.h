// Request/reply helpers shared by the simulator tests.
#pragma once

#include <cstdint>

#include "protocol/frame.h"
#include "sim/sim_reader.h"

namespace mkvsim::test {

namespace frame = qlmkv::frame;

// One request through the simulator; the reply's status (or the library's
// validation error) comes back, its data lands in `data`.
inline int Exchange(SimReader& reader, int variant, std::uint8_t command, const Bytes& payload, Bytes& data,
                    std::uint8_t address = 1) {
  const Bytes request = frame::Build(variant, address, command, payload);
  const Bytes reply = reader.Feed(request.data(), request.size());
  return frame::ValidateReply(variant, reply, data);
}

inline int Exchange(SimReader& reader, int variant, std::uint8_t command, const Bytes& payload = {}) {
  Bytes data;
  return Exchange(reader, variant, command, payload, data);
}

// Bank, 3-byte start word, then the rest.
inline Bytes MemoryPayload(std::uint8_t bank, std::uint32_t word, const Bytes& rest) {
  Bytes payload{bank, static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>((word >> 8) & 0xFF),
                static_cast<std::uint8_t>(word >> 16)};
  payload.insert(payload.end(), rest.begin(), rest.end());
  return payload;
}

// Inventory, then select the single tag it found; the EPC comes back.
inline Bytes SelectOnlyTag(SimReader& reader, int variant) {
  Bytes data;
  if (Exchange(reader, variant, 0xC0, {1}, data) != 0 || data.size() < 3 || data[0] != 1) return {};
  Bytes epc(data.begin() + 3, data.end());
  Bytes ignored;
  if (Exchange(reader, variant, 0xC2, epc, ignored) != 0) return {};
  return epc;
}

}  // namespace mkvsim::test

#include "protocol/reply_shape.h"

#include "protocol/command_codes.h"

namespace qlmkv::reply {
namespace {

// Count byte and the two bytes before the EPC.
constexpr std::size_t kInventoryHeader = 3;
// The longest EPC the protocol-control word can announce: 31 words.
constexpr std::size_t kMaxEpcBytes = 62;
// Position of the byte count in a read request: bank, three address bytes.
constexpr std::size_t kReadCountOffset = 4;

bool InventoryFits(const Bytes& data) {
  if (data.size() < kInventoryHeader) return false;
  const std::size_t epcBytes = data.size() - kInventoryHeader;
  switch (data[0]) {
    case 0: return epcBytes == 0;
    case 1: return epcBytes % 2 == 0 && epcBytes <= kMaxEpcBytes;
    default: return true;  // several tags: what follows is not read
  }
}

}  // namespace

bool Fits(std::uint8_t command, const Bytes& payload, const Bytes& data) {
  switch (command) {
    case command::kSetMode:
    case command::kSelectTag:
    case command::kWrite:
    case command::kWritePw:
    case command::kLock:
    case command::kSetTxPower:
    case command::kSwitchUsbMode: return data.empty();
    case command::kRead: return payload.size() > kReadCountOffset && data.size() <= payload[kReadCountOffset];
    case command::kInventory: return InventoryFits(data);
    default: return true;
  }
}

bool ChangesTag(std::uint8_t command) {
  return command == command::kWrite || command == command::kWritePw || command == command::kLock;
}

}  // namespace qlmkv::reply

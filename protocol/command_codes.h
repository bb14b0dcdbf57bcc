// Command codes of the reader protocol, shared by the library and the
// simulated reader.
#pragma once

#include <cstdint>

namespace qlmkv::command {

constexpr std::uint8_t kVersion = 0xF0;
constexpr std::uint8_t kSetMode = 0xF4;
constexpr std::uint8_t kInventory = 0xC0;
constexpr std::uint8_t kSelectTag = 0xC2;
constexpr std::uint8_t kRead = 0xC3;
constexpr std::uint8_t kWrite = 0xC4;
constexpr std::uint8_t kWritePw = 0xC5;
constexpr std::uint8_t kLock = 0xC6;
constexpr std::uint8_t kGetTxPower = 0x07;
constexpr std::uint8_t kSetTxPower = 0x08;
constexpr std::uint8_t kDeviceText = 0x09;
constexpr std::uint8_t kSwitchUsbMode = 0xFF;

}  // namespace qlmkv::command

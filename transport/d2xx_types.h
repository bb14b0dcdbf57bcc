// The records and constants that the D2XX library's COM-style (FT_W32_) entry
// points take. They follow the library's published 32-bit-word layouts field
// for field: a DWORD or ULONG there is a 32-bit unsigned word, a BOOL an int.
// Only what the serial port and the device list use is defined.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qlmkv::d2xx {

using Handle = void*;
using Status = std::uint32_t;
using Bool = int;
using Word32 = std::uint32_t;

constexpr Status kOk = 0;
constexpr Status kInvalidHandle = 1;
constexpr Status kDeviceNotFound = 2;
constexpr Status kDeviceNotOpened = 3;
constexpr Status kIoError = 4;

inline Handle InvalidHandleValue() { return reinterpret_cast<Handle>(~std::uintptr_t{0}); }

// Arguments of FT_W32_CreateFile.
constexpr Word32 kGenericRead = 0x80000000u;
constexpr Word32 kGenericWrite = 0x40000000u;
constexpr Word32 kOpenExisting = 3;
constexpr Word32 kOpenBySerialNumber = 1;

// Last-error values the serial port tells apart.
constexpr Word32 kErrorAccessDenied = 5;

// One entry of the device list. The serial number and description are
// zero-terminated. 100 bytes where pointers have 32 bits; on a 64-bit system
// the handle is 8 bytes wide and the node 104.
struct DeviceListInfoNode {
  Word32 flags;
  Word32 type;
  Word32 id;
  Word32 locId;
  char serialNumber[16];
  char description[64];
  Handle handle;
};
static_assert(offsetof(DeviceListInfoNode, serialNumber) == 16);
static_assert(offsetof(DeviceListInfoNode, description) == 32);
static_assert(offsetof(DeviceListInfoNode, handle) == 96);

// The device-control block. The flag bits are kept in one word with the masks
// below instead of compiler-dependent bit-fields.
struct Dcb {
  Word32 dcbLength;
  Word32 baudRate;
  Word32 flags;
  std::uint16_t reserved;
  std::uint16_t xonLim;
  std::uint16_t xoffLim;
  std::uint8_t byteSize;
  std::uint8_t parity;
  std::uint8_t stopBits;
  char xonChar;
  char xoffChar;
  char errorChar;
  char eofChar;
  char evtChar;
  std::uint16_t reserved1;
};
static_assert(sizeof(Dcb) == 28);
static_assert(offsetof(Dcb, byteSize) == 18);

namespace dcb {
constexpr Word32 kBinary = 1u << 0;
constexpr Word32 kParity = 1u << 1;
constexpr Word32 kOutxCtsFlow = 1u << 2;
constexpr Word32 kOutxDsrFlow = 1u << 3;
constexpr int kDtrControlShift = 4;  // two bits
constexpr Word32 kDtrControlMask = 3u << kDtrControlShift;
constexpr Word32 kDsrSensitivity = 1u << 6;
constexpr Word32 kTxContinueOnXoff = 1u << 7;
constexpr Word32 kOutX = 1u << 8;
constexpr Word32 kInX = 1u << 9;
constexpr Word32 kErrorChar = 1u << 10;
constexpr Word32 kNull = 1u << 11;
constexpr int kRtsControlShift = 12;  // two bits
constexpr Word32 kRtsControlMask = 3u << kRtsControlShift;
constexpr Word32 kAbortOnError = 1u << 14;

constexpr Word32 kControlEnable = 1;  // DTR and RTS
constexpr Word32 kRtsHandshake = 2;

constexpr std::uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3, kSpaceParity = 4;
constexpr std::uint8_t kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;
}  // namespace dcb

struct CommTimeouts {
  Word32 readIntervalTimeout;
  Word32 readTotalTimeoutMultiplier;
  Word32 readTotalTimeoutConstant;
  Word32 writeTotalTimeoutMultiplier;
  Word32 writeTotalTimeoutConstant;
};
static_assert(sizeof(CommTimeouts) == 20);

// Queue counts of FT_W32_ClearCommError; the first word holds hold-state bits
// the port does not use.
struct ComStat {
  Word32 holdFlags;
  Word32 inQueue;
  Word32 outQueue;
};
static_assert(sizeof(ComStat) == 12);

constexpr Word32 kPurgeTxClear = 0x0004;
constexpr Word32 kPurgeRxClear = 0x0008;

}  // namespace qlmkv::d2xx

// A stand-in for the D2XX driver library, for tests. It presents the devices
// listed in the environment variable QLMKV_FAKE_FTDI, for example
// "FT1234:free,FT5678:open,:free": serial numbers, each free or already held
// open by another program. Every device is a simulated reader: bytes written
// to it are fed to an in-process mkvsim::SimReader and its replies wait to be
// read. Only the entry points the serial port calls are present.
//
// Test controls (not part of the real library):
//   QlmkvFakeFtdiUnplug(serial)   the device vanishes; its open handle fails
//   QlmkvFakeFtdiBaudRate(serial) baud rate of the last applied settings
//   QlmkvFakeFtdiReset()          forget the devices (re-read from the environment)
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

#include "sim/sim_reader.h"
#include "transport/d2xx_types.h"

namespace {

using namespace qlmkv::d2xx;

constexpr Word32 kErrorInvalidHandle = 6;
constexpr Word32 kErrorDeviceNotConnected = 1167;
constexpr Word32 kFlagOpened = 1;

struct Device {
  std::string serial;
  bool heldElsewhere = false;
  bool openHere = false;
  bool unplugged = false;
  std::unique_ptr<mkvsim::SimReader> reader;
  std::deque<std::uint8_t> toHost;
  Dcb dcb{};
  Word32 lastError = 0;
};

std::mutex gMutex;
std::string gConfig;
std::deque<Device> gDevices;  // a deque keeps handles (addresses) stable

// Reads the device list again when the environment changed and nothing is open.
void Refresh() {
  const char* env = std::getenv("QLMKV_FAKE_FTDI");
  const std::string config = env != nullptr ? env : "";
  if (config == gConfig) return;
  if (std::any_of(gDevices.begin(), gDevices.end(), [](const Device& d) { return d.openHere; })) return;
  gConfig = config;
  gDevices.clear();
  std::stringstream items(config);
  for (std::string item; std::getline(items, item, ',');) {
    const std::size_t colon = item.rfind(':');
    Device& device = gDevices.emplace_back();
    device.serial = item.substr(0, colon);
    device.heldElsewhere = colon != std::string::npos && item.substr(colon + 1) == "open";
    device.dcb.baudRate = 9600;
    device.dcb.byteSize = 8;
  }
}

Device* Find(Handle handle) {
  for (Device& device : gDevices) {
    if (&device == handle && device.openHere) return &device;
  }
  return nullptr;
}

// Runs `op` on the open, present device behind `handle`; fails otherwise.
template <typename Op>
Bool WithDevice(Handle handle, Op op) {
  std::lock_guard lock(gMutex);
  Device* device = Find(handle);
  if (device == nullptr) return 0;
  if (device->unplugged) {
    device->lastError = kErrorDeviceNotConnected;
    return 0;
  }
  return op(*device) ? 1 : 0;
}

}  // namespace

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

FAKE_EXPORT Status FT_CreateDeviceInfoList(Word32* count) {
  std::lock_guard lock(gMutex);
  Refresh();
  *count = static_cast<Word32>(
      std::count_if(gDevices.begin(), gDevices.end(), [](const Device& d) { return !d.unplugged; }));
  return kOk;
}

FAKE_EXPORT Status FT_GetDeviceInfoList(DeviceListInfoNode* nodes, Word32* count) {
  std::lock_guard lock(gMutex);
  Word32 filled = 0;
  for (Device& device : gDevices) {
    if (device.unplugged) continue;
    DeviceListInfoNode& node = nodes[filled++];
    node = {};
    const bool open = device.openHere || device.heldElsewhere;
    node.flags = open ? kFlagOpened : 0;
    node.type = 5;
    node.id = 0x0403E130;
    node.locId = filled;
    std::strncpy(node.serialNumber, device.serial.c_str(), sizeof node.serialNumber - 1);
    std::strncpy(node.description, "Simulated reader", sizeof node.description - 1);
    // Another program's handle is not ours to know; any non-zero value says "open".
    node.handle = open ? static_cast<Handle>(&device) : nullptr;
  }
  *count = filled;
  return kOk;
}

FAKE_EXPORT Handle FT_W32_CreateFile(const char* name, Word32 /*access*/, Word32 /*share*/, void* /*security*/,
                                     Word32 /*disposition*/, Word32 flags, void* /*templateFile*/) {
  std::lock_guard lock(gMutex);
  Refresh();
  if (name == nullptr || (flags & kOpenBySerialNumber) == 0) return InvalidHandleValue();
  for (Device& device : gDevices) {
    if (device.serial != name || device.unplugged) continue;
    if (device.openHere || device.heldElsewhere || device.serial.empty()) return InvalidHandleValue();
    device.openHere = true;
    device.reader = std::make_unique<mkvsim::SimReader>(mkvsim::SimOptions{});
    device.toHost.clear();
    return &device;
  }
  return InvalidHandleValue();
}

FAKE_EXPORT Status FT_SetLatencyTimer(Handle handle, std::uint8_t /*milliseconds*/) {
  return WithDevice(handle, [](Device&) { return true; }) ? kOk : kInvalidHandle;
}

FAKE_EXPORT Bool FT_W32_CloseHandle(Handle handle) {
  std::lock_guard lock(gMutex);
  Device* device = Find(handle);
  if (device == nullptr) return 0;
  device->openHere = false;
  device->reader.reset();
  return 1;
}

FAKE_EXPORT Bool FT_W32_ReadFile(Handle handle, void* buffer, Word32 toRead, Word32* read, void* /*overlapped*/) {
  return WithDevice(handle, [&](Device& device) {
    // Read time-outs are "return at once": hand over what is waiting.
    Word32 n = 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (n < toRead && !device.toHost.empty()) {
      out[n++] = device.toHost.front();
      device.toHost.pop_front();
    }
    *read = n;
    return true;
  });
}

FAKE_EXPORT Bool FT_W32_WriteFile(Handle handle, const void* buffer, Word32 toWrite, Word32* written,
                                  void* /*overlapped*/) {
  return WithDevice(handle, [&](Device& device) {
    const mkvsim::Bytes reply = device.reader->Feed(static_cast<const std::uint8_t*>(buffer), toWrite);
    device.toHost.insert(device.toHost.end(), reply.begin(), reply.end());
    *written = toWrite;
    return true;
  });
}

FAKE_EXPORT Word32 FT_W32_GetLastError(Handle handle) {
  std::lock_guard lock(gMutex);
  Device* device = Find(handle);
  return device != nullptr ? device->lastError : kErrorInvalidHandle;
}

FAKE_EXPORT Bool FT_W32_ClearCommError(Handle handle, Word32* errors, ComStat* stat) {
  return WithDevice(handle, [&](Device& device) {
    *errors = 0;
    *stat = {0, static_cast<Word32>(device.toHost.size()), 0};
    return true;
  });
}

FAKE_EXPORT Bool FT_W32_GetCommModemStatus(Handle handle, Word32* status) {
  // CTS and DSR on, as a reader on a converter cable shows them.
  return WithDevice(handle, [&](Device&) {
    *status = 0x10 | 0x20;
    return true;
  });
}

FAKE_EXPORT Bool FT_W32_GetCommState(Handle handle, Dcb* dcb) {
  return WithDevice(handle, [&](Device& device) {
    *dcb = device.dcb;
    return true;
  });
}

FAKE_EXPORT Bool FT_W32_SetCommState(Handle handle, Dcb* dcb) {
  return WithDevice(handle, [&](Device& device) {
    if (dcb->baudRate == 0 || dcb->byteSize < 5 || dcb->byteSize > 8) return false;
    device.dcb = *dcb;
    return true;
  });
}

FAKE_EXPORT Bool FT_W32_SetCommTimeouts(Handle handle, CommTimeouts* /*timeouts*/) {
  return WithDevice(handle, [](Device&) { return true; });
}

FAKE_EXPORT Bool FT_W32_SetCommMask(Handle handle, Word32 /*mask*/) {
  return WithDevice(handle, [](Device&) { return true; });
}

FAKE_EXPORT Bool FT_W32_PurgeComm(Handle handle, Word32 flags) {
  return WithDevice(handle, [&](Device& device) {
    if (flags & kPurgeRxClear) device.toHost.clear();
    return true;
  });
}

FAKE_EXPORT int QlmkvFakeFtdiUnplug(const char* serial) {
  std::lock_guard lock(gMutex);
  for (Device& device : gDevices) {
    if (device.serial == serial) {
      device.unplugged = true;
      return 1;
    }
  }
  return 0;
}

FAKE_EXPORT long QlmkvFakeFtdiBaudRate(const char* serial) {
  std::lock_guard lock(gMutex);
  for (const Device& device : gDevices) {
    if (device.serial == serial) return static_cast<long>(device.dcb.baudRate);
  }
  return -1;
}

FAKE_EXPORT void QlmkvFakeFtdiReset() {
  std::lock_guard lock(gMutex);
  gConfig.clear();
  gDevices.clear();
}

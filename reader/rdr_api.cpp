// The exported C interface: handle lookup, the "copy" rule for caller buffers
// and a catch-all at the boundary, so that no exception leaves the library.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "reader/commands.h"
#include "reader/connection_string.h"
#include "reader/hex_text.h"
#include "reader/lan_params.h"
#include "reader/links.h"
#include "reader/packed_list.h"
#include "reader/rdr.h"
#include "reader/sdk_app.h"
#include "reader/wait_hooks.h"
#include "transport/open_failure_note.h"
#include "transport/port_name.h"

namespace qlmkv {
namespace {

constexpr int kLibraryVersion = QLMKV_SDK_VERSION_NUMBER;
constexpr int kLanCollectMs = 500;
constexpr int kInventoryChunk = 16;

// Payload room of one frame after the fixed fields of each command.
constexpr int kMaxPayload = static_cast<int>(frame::kMaxPayload);
constexpr int kWriteHeader = 4;        // bank, three address bytes
constexpr int kWritePwHeader = 4 + 4;  // ... and the access password

template <typename Fn>
int Guarded(Fn fn) {
  try {
    return fn();
  } catch (...) {
    return -1;
  }
}

CQL_MKV_SDKApp& App() { return CQL_MKV_SDKApp::Instance(); }

// `text` into a caller's buffer of `capacity` bytes, cut to fit, always
// NUL-terminated; nothing for a missing buffer.
void CopyCut(const std::string& text, char* buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0) return;
  const std::size_t length = std::min(text.size(), static_cast<std::size_t>(capacity) - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

// Runs `fn` on the connection named by `handle`; -1 for an unknown handle.
template <typename Fn>
int WithPort(int handle, Fn fn) {
  return Guarded([&] {
    const std::shared_ptr<CQL_MKV_Port> port = App().FindPort(handle);
    if (port == nullptr) return -1;
    return fn(*port);
  });
}

// The same for a function that talks to the reader: it waits for the
// connection's turn, so two threads never mix their frames and replies.
template <typename Fn>
int WithExchange(int handle, Fn fn) {
  return WithPort(handle, [&](CQL_MKV_Port& port) {
    const CQL_MKV_Port::Turn turn(port);
    if (!turn.Taken()) {
      port.SetLastError(RDR_ERR_BUSY);
      return -1;
    }
    return fn(port);
  });
}

// The copy rule: data longer than the caller's capacity sets last error 5.
int CopyOut(CQL_MKV_Port& port, const Bytes& data, unsigned char* buffer, int capacity) {
  if (capacity < 0 || data.size() > static_cast<std::size_t>(capacity)) {
    port.SetLastError(RDR_ERR_CAPACITY, ErrorOrigin::kExchange);
    return -1;
  }
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  return static_cast<int>(data.size());
}

// A caller's buffer is usable when it is there for every byte claimed. Checked
// before anything is copied or sent; a bad one sets last error 5.
bool BufferOk(CQL_MKV_Port& port, const void* buffer, int size, int limit = INT_MAX) {
  if (size < 0 || size > limit || (buffer == nullptr && size > 0)) {
    port.SetLastError(RDR_ERR_CAPACITY);
    return false;
  }
  return true;
}

// A length without a buffer (the zero bytes of a write) only needs the range.
bool LengthOk(CQL_MKV_Port& port, int length, int limit) {
  static const unsigned char kAny = 0;
  return BufferOk(port, &kAny, length, limit);
}

Bytes BytesOf(const unsigned char* data, int length) {
  if (data == nullptr || length <= 0) return {};
  return Bytes(data, data + length);
}

Password PasswordOf(const unsigned char* password) {
  Password result{};
  if (password != nullptr) std::memcpy(result.data(), password, result.size());
  return result;
}

int ZeroOrMinusOne(bool ok) { return ok ? 0 : -1; }

}  // namespace
}  // namespace qlmkv

using namespace qlmkv;

extern "C" {

int RdrOpen(const char* connection, int baudRate, int lineFormat, int timeoutMs) {
  return Guarded([&] { return App().Open(connection != nullptr ? connection : "", baudRate, lineFormat, timeoutMs); });
}

int RdrDescribeConnection(const char* connection, char* name, int capacity) {
  return Guarded([&] {
    if (connection == nullptr) return -1;
    const ConnectionTarget target = ParseConnectionString(connection);
    int kind = RDR_LINK_LAN;
    std::string text = target.port;
    switch (ClassifyPort(target.port)) {
      case LinkKind::kLan: break;
      case LinkKind::kHid: kind = RDR_LINK_HID; break;
      case LinkKind::kSerial: {
        // As the serial transport reads the name it is given.
        const ResolvedPortName resolved = ResolvePortName(SerialPortName(target.port));
        kind = resolved.d2xx ? RDR_LINK_D2XX : RDR_LINK_DEVICE_FILE;
        text = resolved.target;
        break;
      }
    }
    CopyCut(text, name, capacity);
    return kind;
  });
}

int RdrGetOpenFailure(char* device, int deviceCapacity, char* reason, int reasonCapacity) {
  return Guarded([&] {
    const std::optional<OpenFailureNote> note = LastOpenFailure();
    if (!note) return 0;
    CopyCut(note->device, device, deviceCapacity);
    CopyCut(note->reason, reason, reasonCapacity);
    return 1;
  });
}

int RdrClose(int handle) {
  return Guarded([&] { return App().Close(handle); });
}

int RdrGetLastError(int handle) {
  return Guarded([&] {
    const std::shared_ptr<CQL_MKV_Port> port = App().FindPort(handle);
    if (port != nullptr) return port->LastError();
    // A LAN configuration connection is open but carries no reader errors.
    return static_cast<int>(App().FindConfigLink(handle) != nullptr ? RDR_ERR_NONE : RDR_ERR_NOT_OPEN);
  });
}

int RdrGetLastErrorOrigin(int handle) {
  return Guarded([&] {
    const std::shared_ptr<CQL_MKV_Port> port = App().FindPort(handle);
    if (port != nullptr) return static_cast<int>(port->LastErrorOrigin());
    return static_cast<int>(App().FindConfigLink(handle) != nullptr ? RDR_ORIGIN_NONE : RDR_ORIGIN_NOT_SENT);
  });
}

int RdrGetUnansweredCount(int handle) {
  return WithPort(handle, [](CQL_MKV_Port& port) { return port.UnansweredExchanges(); });
}

int RdrSetNoWindowLock(int handle, int flag) {
  return WithPort(handle, [&](CQL_MKV_Port& port) {
    port.SetNoWindowLock(flag != 0);
    return 1;
  });
}

int RdrIsUsb(int handle) {
  return WithPort(handle, [](CQL_MKV_Port& port) { return port.IsUsb() ? 1 : 0; });
}

int RdrGetVersion(int handle, unsigned char* data, int capacity, char* modelName, int modelCapacity) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) {
    // The model name is optional: without a buffer its capacity means nothing.
    if (!BufferOk(port, data, capacity) || (modelName != nullptr && !BufferOk(port, modelName, modelCapacity))) {
      return -1;
    }
    Bytes version;
    if (!ReaderCommands(port).GetVersion(version)) return -1;
    const int copied = CopyOut(port, version, data, capacity);
    if (copied < 0) return -1;
    const std::string model = ModelNameFromVersion(version);
    if (modelName != nullptr && modelCapacity > 0 && model.size() < static_cast<std::size_t>(modelCapacity)) {
      std::memcpy(modelName, model.c_str(), model.size() + 1);
    }
    return copied;
  });
}

int RdrSetMode(int handle, int mode) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) { return ZeroOrMinusOne(ReaderCommands(port).SetMode(mode)); });
}

int RdrInventory(int handle, int param, unsigned char* buffer, int capacity) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) {
    if (!BufferOk(port, buffer, capacity)) return -1;
    Bytes data;
    if (!ReaderCommands(port).Inventory(static_cast<std::uint8_t>(param & 0xFF), data)) return -1;
    // Too long for the buffer: whole 16-byte pieces are handed over, no error.
    const auto room = static_cast<std::size_t>(capacity);
    if (data.size() > room) data.resize(room - room % kInventoryChunk);
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    return static_cast<int>(data.size());
  });
}

int RdrSelectTag(int handle, const unsigned char* epc, int epcLength) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) {
    if (!BufferOk(port, epc, epcLength, kMaxPayload)) return -1;
    return ZeroOrMinusOne(ReaderCommands(port).SelectTag(BytesOf(epc, epcLength)));
  });
}

int RdrReadData(int handle, int bank, int startAddress, unsigned char* buffer, int count) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) {
    if (!BufferOk(port, buffer, count)) return -1;
    Bytes data;
    if (!ReaderCommands(port).ReadData(bank, startAddress, count, data)) return -1;
    return CopyOut(port, data, buffer, count);
  });
}

int RdrWriteData(int handle, int bank, int startAddress, const unsigned char* data, int length) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) {
    // Without data, `length` zero bytes are written.
    if (!LengthOk(port, length, kMaxPayload - kWriteHeader)) return -1;
    const Bytes bytes = data != nullptr ? BytesOf(data, length) : Bytes(static_cast<std::size_t>(length), 0);
    return ZeroOrMinusOne(ReaderCommands(port).WriteData(bank, startAddress, bytes));
  });
}

int RdrWriteDataPw(int handle, int bank, int startAddress, const unsigned char* password, const unsigned char* data,
                   int length) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) {
    if (!LengthOk(port, length, kMaxPayload - kWritePwHeader)) return -1;
    const Bytes bytes = data != nullptr ? BytesOf(data, length) : Bytes(static_cast<std::size_t>(length), 0);
    return ZeroOrMinusOne(ReaderCommands(port).WriteDataPw(bank, startAddress, PasswordOf(password), bytes));
  });
}

int RdrLock(int handle, int area, int action, const unsigned char* password) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) {
    return ZeroOrMinusOne(ReaderCommands(port).Lock(PasswordOf(password), static_cast<std::uint8_t>(action & 0xFF),
                                                    static_cast<std::uint8_t>(area & 0xFF)));
  });
}

int RdrGetTxPower(int handle, int* power) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) {
    int value = 0;
    if (!ReaderCommands(port).GetTxPower(value)) return -1;
    if (power != nullptr) *power = value;
    return 0;
  });
}

int RdrSetTxPower(int handle, int power, int thirdByte) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) {
    return ZeroOrMinusOne(ReaderCommands(port).SetTxPower(power, static_cast<std::uint8_t>(thirdByte & 0xFF)));
  });
}

int RdrSwitchUsbMode(int handle, int mode) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) {
    return ZeroOrMinusOne(ReaderCommands(port).SwitchUsbMode(static_cast<std::uint8_t>(mode & 0xFF)));
  });
}

int RdrCommand(int handle, int command, const unsigned char* payload, int payloadLength, unsigned char* buffer,
               int capacity) {
  return WithExchange(handle, [&](CQL_MKV_Port& port) {
    if (!BufferOk(port, payload, payloadLength, kMaxPayload) || !BufferOk(port, buffer, capacity)) return -1;
    Bytes data;
    if (!ReaderCommands(port).Command(static_cast<std::uint8_t>(command & 0xFF), BytesOf(payload, payloadLength),
                                      data)) {
      return -1;
    }
    return CopyOut(port, data, buffer, capacity);
  });
}

int RdrListSerialPorts(char* buffer, int capacity) {
  return Guarded([&] { return PackNames(CurrentLinks().listSerialPorts(), buffer, capacity); });
}

int RdrListUsbDevices(char* buffer, int capacity) {
  return Guarded([&] {
    const Links links = CurrentLinks();
    std::vector<std::string> names;
    for (const auto& list : {links.listFtdiDevices(), links.listHidDevices()}) {
      for (const std::string& name : list) {
        if (IsReaderUsbName(name)) names.push_back(name);
      }
    }
    return PackNames(names, buffer, capacity);
  });
}

int RdrListLanReaders(char* buffer, int capacity, int readerCheck) {
  return Guarded([&] {
    if (!App().InitSockets()) return 0;
    const WindowLockGuard windowLock(false);
    return PackNames(CurrentLinks().listLanReaders(kLanCollectMs, readerCheck != 0), buffer, capacity);
  });
}

int RdrCheckDrivers(void) {
  return Guarded([] { return CheckUsbDrivers(); });
}

int IsVirtualComDriverInstalled(void) {
  return Guarded([] { return VirtualComDriverInstalled() ? 1 : 0; });
}

int RdrPing(const char* address) {
  return Guarded([&] {
    if (address == nullptr || !App().InitSockets()) return 0;
    const WindowLockGuard windowLock(false);
    return PingAddressText(address) ? 1 : 0;
  });
}

int RdrLanConfigOpen(const char* address) {
  return Guarded([&] {
    const WindowLockGuard windowLock(false);
    return App().LanConfigOpen(address != nullptr ? address : "");
  });
}

int RdrLanConfigRead(int handle, int record, unsigned char* buffer, int capacity) {
  return Guarded([&] {
    const std::shared_ptr<LanConfigLink> link = App().FindConfigLink(handle);
    std::vector<std::uint8_t> data;
    if (link == nullptr || capacity < 0 || (buffer == nullptr && capacity > 0)) return -1;
    const WindowLockGuard windowLock(false);
    if (!link->ReadRecord(record, data)) return -1;
    if (capacity < 0 || data.size() > static_cast<std::size_t>(capacity)) return -1;
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    return static_cast<int>(data.size());
  });
}

int RdrLanConfigClose(int handle, int restart) {
  return Guarded([&] { return App().LanConfigClose(handle, restart != 0); });
}

int RdrSetLanParams(const char* currentAddress, const char* newAddress, const char* subnetMask, const char* gateway) {
  return Guarded([&] {
    if (currentAddress == nullptr || newAddress == nullptr) return -1;
    const WindowLockGuard windowLock(false);
    return SetLanParams(currentAddress, newAddress, subnetMask, gateway);
  });
}

int RdrGetLibraryVersion(void) { return kLibraryVersion; }

int RdrHexToBytes(const char* text, unsigned char* buffer, int maxCount) {
  return Guarded([&] {
    if (text == nullptr || buffer == nullptr || maxCount <= 0) return 0;
    const std::vector<std::uint8_t> bytes = HexToBytes(text, maxCount);
    if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
    return static_cast<int>(bytes.size());
  });
}

void RdrSetDispatchHooks(RdrDispatchHook dispatch, RdrWakeHook wake, void* context) {
  SetDispatchHooks(DispatchHooks{dispatch, wake, context});
}

void RdrSetWindowLockHooks(RdrLockWindowHook lockWindow, RdrUnlockWindowHook unlockWindow, void* context) {
  SetWindowLockHooks(WindowLockHooks{lockWindow, unlockWindow, context});
}

}  // extern "C"

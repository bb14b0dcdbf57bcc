#include "app/connection/reader_client.h"

#include <algorithm>

#include "app/base/nested_wait.h"
#include "app/texts/messages.h"
#include "reader/rdr.h"

namespace stampwise {
namespace {

constexpr int kModeSwitchBaud = 19200;
constexpr int kModeSwitchTimeoutMs = 100;
constexpr int kHexCapacity = 20;

// Every device list of the library fills a packed name list.
template <typename List>
std::vector<std::string> NamesOf(int capacity, List list) {
  std::vector<char> buffer(static_cast<std::size_t>(capacity > 0 ? capacity : 1), '\0');
  return UnpackNameList(buffer.data(), list(buffer.data(), capacity));
}

// One LAN function at a time on each thread (the window's); see LanBusy.
NestedWait& LanWait() {
  static thread_local NestedWait wait;
  return wait;
}

}  // namespace

ReaderClient::~ReaderClient() { Close(); }

ReaderIdentity ReaderClient::Open(const std::string& connection, int baudCode, int timeoutMs) {
  Close();
  ReaderIdentity identity = OpenReader(connection, baudCode, timeoutMs);
  handle_ = identity.handle;
  connection_ = connection;
  messageId_ = identity.messageId;
  return identity;
}

bool ReaderClient::Close() {
  if (handle_ <= 0) return true;
  const int handle = handle_;
  handle_ = 0;
  if (RdrClose(handle) == 0) return true;
  messageId_ = ErrorMessageId(RdrGetLastError(handle));
  return false;
}

int ReaderClient::LastMessageId() const { return handle_ > 0 ? ErrorMessageId(RdrGetLastError(handle_)) : messageId_; }

bool ReaderClient::LinkLost() const {
  if (handle_ <= 0) return false;
  // A reader that has stopped answering (stalled, stopped, its module gone)
  // is as lost as one unplugged: a cycle must not wait on it for ever.
  if (RdrGetUnansweredCount(handle_) >= kUnansweredLimit) return true;
  if (RdrGetLastError(handle_) != RDR_ERR_TIMEOUT) return false;
  if (ReaderLinkLost(connection_)) return true;
  // A HID reader that left the bus has left the USB list too.
  const std::string hidName = ListedHidNameOfConnection(connection_);
  if (hidName.empty()) return false;
  const std::vector<std::string> listed = UsbDevices();
  return std::find(listed.begin(), listed.end(), hidName) == listed.end();
}

bool ReaderClient::ReadTxPower(int* tenthsDbm) const { return RdrGetTxPower(handle_, tenthsDbm) >= 0; }

bool ReaderClient::WriteTxPower(int tenthsDbm, bool keep) const {
  return RdrSetTxPower(handle_, tenthsDbm, keep ? 1 : 0) >= 0;
}

std::vector<std::string> ReaderClient::SerialPorts(int capacity) { return NamesOf(capacity, RdrListSerialPorts); }

std::vector<std::string> ReaderClient::UsbDevices(int capacity) { return NamesOf(capacity, RdrListUsbDevices); }

bool ReaderClient::LanBusy() { return LanWait().Busy(); }

std::vector<std::string> ReaderClient::LanReaders(int capacity) {
  const NestedWait::Turn turn(LanWait());
  if (!turn.Entered()) return {};
  return NamesOf(capacity, [](char* buffer, int size) { return RdrListLanReaders(buffer, size, 1); });
}

std::vector<std::string> ReaderClient::LanModules(int capacity) {
  const NestedWait::Turn turn(LanWait());
  if (!turn.Entered()) return {};
  return NamesOf(capacity, [](char* buffer, int size) { return RdrListLanReaders(buffer, size, 0); });
}

std::optional<LanSetup> ReaderClient::ReadLanSetup(const std::string& address) {
  const NestedWait::Turn turn(LanWait());
  if (!turn.Entered()) return std::nullopt;
  const int handle = RdrLanConfigOpen(address.c_str());
  if (handle <= 0) return std::nullopt;
  // One byte more than a setup record, so a longer record shows as such.
  std::vector<std::uint8_t> record(121);
  const int length = RdrLanConfigRead(handle, 0, record.data(), static_cast<int>(record.size()));
  RdrLanConfigClose(handle, 0);
  if (length < 0) return std::nullopt;
  record.resize(static_cast<std::size_t>(length));
  return ParseLanSetup(record);
}

bool ReaderClient::SetLanParams(const std::string& current, const std::string& newAddress, const std::string& mask,
                                const std::string& gateway) {
  const NestedWait::Turn turn(LanWait());
  if (!turn.Entered()) return false;
  return RdrSetLanParams(current.c_str(), newAddress.c_str(), mask.empty() ? nullptr : mask.c_str(),
                         gateway.empty() ? nullptr : gateway.c_str()) == 0;
}

int ReaderClient::MissingDrivers() { return RdrCheckDrivers(); }

bool ReaderClient::VirtualComDriverInstalled() { return IsVirtualComDriverInstalled() == 1; }

bool ReaderClient::Ping(const std::string& address) {
  const NestedWait::Turn turn(LanWait());
  return turn.Entered() && RdrPing(address.c_str()) != 0;
}

bool ReaderClient::SwitchUsbMode(const std::string& port, UsbMode mode) {
  if (mode == UsbMode::None) return false;
  const int handle = RdrOpen(port.c_str(), kModeSwitchBaud, 0, kModeSwitchTimeoutMs);
  if (handle < 1) return false;
  RdrSwitchUsbMode(handle, mode == UsbMode::Hid ? 1 : 2);
  RdrClose(handle);
  return true;
}

int ReaderClient::HexByteCount(const std::string& hex) {
  unsigned char bytes[kHexCapacity] = {};
  return RdrHexToBytes(hex.c_str(), bytes, kHexCapacity);
}

void ReaderClient::InstallWaitHooks(const WaitHooks& hooks) {
  RdrSetDispatchHooks(hooks.dispatch, hooks.wake, hooks.dispatchContext);
  RdrSetWindowLockHooks(hooks.lockWindow, hooks.unlockWindow, hooks.lockContext);
}

void ReaderClient::RemoveWaitHooks() { InstallWaitHooks(WaitHooks{}); }

int ReaderClient::LibraryVersion() { return RdrGetLibraryVersion(); }

}  // namespace stampwise

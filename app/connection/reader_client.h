// The reader as the front ends see it: one open connection that closes with
// its owner, device lists as strings, the USB mode switch and the library's
// wait hooks. The main window, the interface dialog and the command line tool
// reach the reader library only through this class.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/connection/lan_setup.h"
#include "app/connection/open_reader.h"
#include "app/connection/tag_link.h"

namespace stampwise {

// The transmit power an operator picks: whole dBm from 13 to 27; the reader
// keeps it in tenths of a dBm and reports it so.
inline constexpr int kMinTxPowerDbm = 13;
inline constexpr int kMaxTxPowerDbm = 27;
constexpr int TenthsOfDbm(int dbm) { return dbm * 10; }
// Whole dBm, rounded down.
constexpr int WholeDbm(int tenthsDbm) { return tenthsDbm / 10; }

// What a USB reader currently is, and what it can be told to become.
enum class UsbMode { None, Hid, VirtualCom };

// The library's wait hooks (see RdrSetDispatchHooks, RdrSetWindowLockHooks).
struct WaitHooks {
  void (*dispatch)(void* context, int maxBlockMs) = nullptr;
  void (*wake)(void* context) = nullptr;
  void* dispatchContext = nullptr;
  void* (*lockWindow)(void* context) = nullptr;
  void (*unlockWindow)(void* context, void* saved) = nullptr;
  void* lockContext = nullptr;
};

class ReaderClient {
 public:
  // Enough for the device lists a dialog shows, and for the IP search's.
  static constexpr int kListCapacity = 255;
  static constexpr int kLanSearchCapacity = 2000;

  ReaderClient() = default;
  ~ReaderClient();
  ReaderClient(const ReaderClient&) = delete;
  ReaderClient& operator=(const ReaderClient&) = delete;

  // Opens `connection`, identifies the device, refuses reader-only devices
  // and sets mode 0 (see OpenReader). A connection still open is closed first.
  ReaderIdentity Open(const std::string& connection, int baudCode, int timeoutMs);
  // False when the library reported an error (LastMessageId says which).
  // Closing a client that is not open succeeds.
  bool Close();

  bool IsOpen() const { return handle_ > 0; }
  // The library's handle; 0 when not open.
  int Handle() const { return handle_; }
  // The connection's tag exchanges, for the write and read cycles.
  TagLink Tags() const { return TagLink(handle_); }
  const std::string& Connection() const { return connection_; }

  // The message for the library's last error on this connection.
  int LastMessageId() const;
  // Exchanges in a row without a fitting reply after which the reader
  // counts as lost.
  static constexpr int kUnansweredLimit = 5;
  // True when the link is gone (an unplugged USB reader, a closed
  // pseudo-terminal, a HID reader of the reader series that left the USB
  // list) or the reader left kUnansweredLimit exchanges in a row unanswered
  // (stalled or stopped, its LAN module gone, every reply lost or bad).
  bool LinkLost() const;

  // Transmit power in tenths of a dBm; `keep` stores it across power cycles.
  bool ReadTxPower(int* tenthsDbm) const;
  bool WriteTxPower(int tenthsDbm, bool keep) const;

  // Device lists, each name as the library gives it. A LAN search
  // broadcasts: only while Ethernet is enabled.
  //
  // The LAN functions wait with the window thread's events running; one
  // called from such an event while another runs (a timer's refresh during
  // the IP search) does nothing and returns empty or false: two would compete
  // for the modules' service port. LanBusy tells whether one runs.
  static std::vector<std::string> SerialPorts(int capacity = kListCapacity);
  static std::vector<std::string> UsbDevices(int capacity = kListCapacity);
  static std::vector<std::string> LanReaders(int capacity = kListCapacity);
  // Every LAN module, readers or not.
  static std::vector<std::string> LanModules(int capacity = kListCapacity);
  // Setup record 0 of the LAN module at `address`; nothing when it does not
  // answer or its record is not one.
  static std::optional<LanSetup> ReadLanSetup(const std::string& address);
  // Gives the module at `current` the new address text (see LanAddressText),
  // mask and gateway (empty: unchanged, 0.0.0.0) and restarts it.
  static bool SetLanParams(const std::string& current, const std::string& newAddress, const std::string& mask,
                           const std::string& gateway);

  // Bit mask of missing drivers (0: none), and the virtual-COM driver alone.
  static int MissingDrivers();
  static bool VirtualComDriverInstalled();
  // True when `address` answers an echo request.
  static bool Ping(const std::string& address);
  static bool LanBusy();
  // Tells the reader behind `port` to come back as `mode` (Hid or
  // VirtualCom); false when it could not be opened.
  static bool SwitchUsbMode(const std::string& port, UsbMode mode);
  // The number of bytes the library reads from a hex text, at most 20.
  static int HexByteCount(const std::string& hex);
  // The reader library's version times 100 (119 for 1.19).
  static int LibraryVersion();

  static void InstallWaitHooks(const WaitHooks& hooks);
  static void RemoveWaitHooks();

 private:
  int handle_ = 0;
  std::string connection_;
  int messageId_ = 0;  // of the last failed open or close
};

}  // namespace stampwise

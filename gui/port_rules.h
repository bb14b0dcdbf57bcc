// The rules of the interface dialog that need no widget: the device list
// entries and their merge on refresh, the baud code and the line controls,
// the field ranges, the mode buttons and the driver prompt text.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/base/result.h"
#include "app/connection/port_settings.h"
#include "app/connection/reader_client.h"

namespace stampwise::portdlg {

// Entries of the "Baudrate" list, in order.
inline constexpr std::array<int, 7> kBaudRates = {2400, 4800, 9600, 19200, 38400, 57600, 115200};

// Brings `stored` up to the fresh names: equal leading entries stay, the first
// difference and everything behind it are replaced. True when it changed.
bool MergeList(std::vector<std::string>& stored, const std::vector<std::string>& fresh);

// The device list: serial ports (a leading "\\.\" dropped), then "USB: "
// devices, then "LAN: " readers.
std::vector<std::string> DeviceEntries(const std::vector<std::string>& serial, const std::vector<std::string>& usb,
                                       const std::vector<std::string>& lan);

// Index of the first entry that begins with `name`, ignoring case; -1 if none.
int FindEntry(const std::vector<std::string>& entries, std::string_view name);

bool StartsWith(std::string_view text, std::string_view prefix);
// Baud rate, parity and stop bits apply only to serial names.
bool UsesLineControls(std::string_view name);

// The line controls for a baud code: list indexes, -1 for no baud selection.
struct LineControls {
  int baudIndex = -1;
  int parityIndex = 0;    // "keine", "gerade", "ungerade"
  int stopBitsIndex = 0;  // "1", "2"
  bool operator==(const LineControls&) const = default;
};
LineControls LineControlsForCode(int baudCode);
// The baud code for the controls; nothing without a baud selection. Two stop
// bits count only with parity "keine".
std::optional<int> CodeForLineControls(const LineControls& controls);

inline constexpr int kMinAddress = 1;
inline constexpr int kMaxAddress = 255;
// A checked field: the value, or the framework's message for it.
Result<int> CheckTimeout(std::string_view text);
Result<int> CheckAddress(std::string_view text);

// What the mode buttons show for a name.
using stampwise::UsbMode;
UsbMode ModeOf(std::string_view name, bool virtualComDriverInstalled);

// The driver prompt for a bit mask of ReaderClient::MissingDrivers (empty for 0).
std::string DriverPromptText(int missingMask);

// The entry text handed back by the IP search, cut after its first "]".
std::string IpSearchEntry(const std::string& text);

// Construction's check of a stored "USB: " name against the attached devices:
// the name itself, "USB: " + the first device, or "" when there is none.
using stampwise::CheckedUsbName;

}  // namespace stampwise::portdlg

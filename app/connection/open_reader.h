// Opening and identifying the reader for the tag writer: the connection string,
// the baud code split, the identification and the window title parts. Front
// ends open readers through ReaderClient (reader_client.h), which uses these.
#pragma once

#include <string>
#include <vector>

namespace stampwise {

// The names of a packed name list (zero-terminated names, ended by an empty
// one) within the `used` bytes that the library filled.
std::vector<std::string> UnpackNameList(const char* buffer, int used);

// A baud code is the baud rate plus a line-format digit 0..3 in its last two
// decimal digits (a remainder above 3 counts as 0).
struct BaudCode {
  int baudRate = 19200;
  int lineFormat = 0;
};
BaudCode SplitBaudCode(int code);
int JoinBaudCode(int baudRate, int lineFormat);
// True for a code of that shape: a positive rate and a digit 0..3.
bool IsBaudCode(int code);

// "FW V1.%02d" from the firmware character: '0'-'9' -> 0-9, letters -> 10-35.
int FirmwareRevision(char c);

struct ReaderIdentity {
  int handle = 0;            // > 0 when open; 0 after a failure
  int messageId = 0;         // message box to show when opening failed
  std::string modelName;     // "QL-MKV39"
  std::string firmwareText;  // "FW V1.05[device text]"
  std::string deviceText;    // the device's own text, when it has one
  bool txPowerAdjustable = false;
  bool usb = false;
  std::string linkText;     // "QL-MKV39 /dev/pts/3 FW V1.05": model, link and firmware
  std::string titleSuffix;  // " <QL-MKV39 /dev/pts/3 FW V1.05>"
  // The four identification bytes ("312B": type code, firmware character),
  // empty when the device gave fewer; the device update check reads them.
  std::string identification;
};

// Opens `connection` with the baud code and time-out, identifies the device,
// refuses reader-only devices and sets mode 0.
ReaderIdentity OpenReader(const std::string& connection, int baudCode, int timeoutMs);

// What a connection string opens, as the reader library reads it: the kind
// of link and its name without device address and list description (a
// device file, a D2XX serial number, a HID name, a LAN address).
struct LinkTarget {
  enum class Kind { kDeviceFile, kD2xx, kHid, kLan };
  Kind kind = Kind::kLan;
  std::string name;
};
LinkTarget DescribeConnection(const std::string& connection);

// The device file behind a serial connection string ("/dev/ttyACM0 [..]:2"
// gives "/dev/ttyACM0", "COM3" gives "/dev/ttyS2"); empty for links that
// have none (LAN, HID, D2XX serial numbers).
std::string DeviceFileOfConnection(const std::string& connection);

// True when the link of `connection` is certainly gone: its device file has
// disappeared (an unplugged USB reader, a closed pseudo-terminal). A link
// without a device file is never reported lost here.
bool ReaderLinkLost(const std::string& connection);

// The HID reader name of `connection` ("1705-0042 HID:1" gives "1705-0042 HID")
// when the USB device list would show it (names of the reader series only);
// empty otherwise.
std::string ListedHidNameOfConnection(const std::string& connection);

// " V<version> <>" and the full title for an identity.
std::string WindowTitle(const std::string& templateTitle, const std::string& productVersion,
                        const ReaderIdentity* identity);

// The product version compiled into the program ("1.xx" when missing or too long).
std::string ProductVersion();

}  // namespace stampwise

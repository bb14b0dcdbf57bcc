#include "transport/win_device_source.h"

#include <windows.h>
// windows.h first: the set-up header builds on its types.
#include <setupapi.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "common/ascii.h"
#include "common/shared_library.h"

namespace qlmkv {
namespace {

// The "Ports" device class (COM and LPT ports).
constexpr GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// The entry points of setupapi.dll this source calls.
class SetupApi {
 public:
  SetupApi() : module_("setupapi.dll") {
    complete_ = module_.Resolve("SetupDiGetClassDevsA", getClassDevs) &&
                module_.Resolve("SetupDiEnumDeviceInfo", enumDeviceInfo) &&
                module_.Resolve("SetupDiGetDeviceRegistryPropertyA", getProperty) &&
                module_.Resolve("SetupDiOpenDevRegKey", openDevRegKey) &&
                module_.Resolve("SetupDiDestroyDeviceInfoList", destroyList);
  }
  bool Complete() const { return complete_; }

  decltype(&SetupDiGetClassDevsA) getClassDevs = nullptr;
  decltype(&SetupDiEnumDeviceInfo) enumDeviceInfo = nullptr;
  decltype(&SetupDiGetDeviceRegistryPropertyA) getProperty = nullptr;
  decltype(&SetupDiOpenDevRegKey) openDevRegKey = nullptr;
  decltype(&SetupDiDestroyDeviceInfoList) destroyList = nullptr;

 private:
  common::SharedLibrary module_;
  bool complete_ = false;
};

std::string TextProperty(const SetupApi& api, HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  char buffer[512] = {};
  if (!api.getProperty(set, &device, property, nullptr, reinterpret_cast<BYTE*>(buffer), sizeof buffer - 1, nullptr))
    return {};
  return buffer;  // a multi-string's first entry
}

// "COM" and a number: LPT ports and the like are not listed.
bool IsComName(std::string_view name) { return name.size() >= 4 && ascii::StartsWithNoCase(name, "COM"); }

// List entries name the device namespace, which reaches COM10 and above too.
std::string DevicePathOf(const std::string& name) { return "\\\\.\\" + name; }

// The four hex digits after `key` ("VID_", "PID_") in a hardware id, 0 without them.
std::uint16_t HexAfter(std::string text, std::string_view key) {
  for (char& c : text) c = ascii::ToUpper(c);
  const std::size_t at = text.find(key);
  if (at == std::string::npos || text.size() < at + key.size() + 4) return 0;
  std::uint16_t value = 0;
  const char* first = text.data() + at + key.size();
  std::from_chars(first, first + 4, value, 16);
  return value;
}

// Calls `visit(set, device)` for every present device of the class (or of
// the enumerator "USB" when `usbEnumerator`); false when SetupAPI is missing.
template <typename Visit>
bool ForEachDevice(const SetupApi& api, const GUID* deviceClass, bool usbEnumerator, Visit visit) {
  if (!api.Complete()) return false;
  const DWORD flags = DIGCF_PRESENT | (usbEnumerator ? DIGCF_ALLCLASSES : 0);
  HDEVINFO set = api.getClassDevs(deviceClass, usbEnumerator ? "USB" : nullptr, nullptr, flags);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; api.enumDeviceInfo(set, i, &device); ++i) visit(set, device);
  api.destroyList(set);
  return true;
}

// The ports of the "Ports" class with their USB identities; nullopt without
// the set-up functions.
std::optional<std::vector<TtyPort>> SetupApiPorts() {
  const SetupApi api;
  std::vector<TtyPort> ports;
  const bool listed = ForEachDevice(api, &kPortsClass, false, [&](HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = api.openDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return;
    char name[64] = {};
    DWORD size = sizeof name - 1;
    DWORD type = 0;
    const bool named =
        RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS &&
        type == REG_SZ;
    RegCloseKey(key);
    if (!named || !IsComName(name)) return;
    TtyPort port;
    port.devicePath = DevicePathOf(name);
    const std::string hardwareId = TextProperty(api, set, device, SPDRP_HARDWAREID);
    // The class tells the description and hardware ids of every port it lists.
    port.onUsb = true;
    port.vendor = HexAfter(hardwareId, "VID_");
    port.product = HexAfter(hardwareId, "PID_");
    port.productText = TextProperty(api, set, device, SPDRP_DEVICEDESC);
    ports.push_back(port);
  });
  if (!listed) return std::nullopt;
  return ports;
}

// The true version: RtlGetVersion is not shimmed for programs without a
// manifest, as the version functions of kernel32 are.
bool SystemIsWindows10OrLater() {
  using GetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const auto getVersion =
      ntdll != nullptr ? reinterpret_cast<GetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                       : nullptr;
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (getVersion == nullptr || getVersion(&version) != 0) return false;
  return version.dwMajorVersion >= 10;
}

// One of the installed OEM INF files of the "Ports" class is the maker's
// virtual-COM package.
bool MakerInfInstalled() {
  const common::SharedLibrary module("setupapi.dll");
  decltype(&SetupGetInfFileListA) fileList = nullptr;
  decltype(&SetupOpenInfFileA) openInf = nullptr;
  decltype(&SetupGetLineTextA) lineText = nullptr;
  decltype(&SetupCloseInfFile) closeInf = nullptr;
  if (!module.Resolve("SetupGetInfFileListA", fileList) || !module.Resolve("SetupOpenInfFileA", openInf) ||
      !module.Resolve("SetupGetLineTextA", lineText) || !module.Resolve("SetupCloseInfFile", closeInf))
    return false;
  DWORD size = 0;
  if (!fileList(nullptr, INF_STYLE_WIN4, nullptr, 0, &size) || size == 0) return false;
  std::string names(size, '\0');
  if (!fileList(nullptr, INF_STYLE_WIN4, names.data(), size, &size)) return false;
  const struct {
    const char* key;
    const char* text;
  } packages[] = {{"VEX_CDC", "Vex Virtual COM"}, {"XEV_CDC", "ZR-4 Virtual COM"}};
  for (const char* name = names.c_str(); *name != '\0'; name += std::strlen(name) + 1) {
    if (!ascii::StartsWithNoCase(name, "OEM")) continue;
    HINF inf = openInf(name, "Ports", INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE) continue;
    bool found = false;
    for (const auto& package : packages) {
      char value[100] = {};
      if (lineText(nullptr, inf, "Strings", package.key, value, sizeof value, nullptr) &&
          std::strcmp(value, package.text) == 0)
        found = true;
    }
    closeInf(inf);
    if (found) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> WinDeviceSource::ProbePorts() const {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return names;
  for (DWORD i = 0;; ++i) {
    char valueName[256];
    DWORD nameSize = sizeof valueName;
    char data[64] = {};
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    const LONG result =
        RegEnumValueA(key, i, valueName, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS && type == REG_SZ && IsComName(data)) names.emplace_back(data);
  }
  RegCloseKey(key);
  return names;
}

// Every COM port the system has stands in SERIALCOMM (ports without a driver
// of the "Ports" class too, and those Wine maps); the class adds the USB
// identities of those it knows.
std::optional<std::vector<TtyPort>> WinDeviceSource::ListTtyPorts() const {
  const std::optional<std::vector<TtyPort>> known = SetupApiPorts();
  std::vector<TtyPort> ports = known.value_or(std::vector<TtyPort>{});
  for (const std::string& name : ProbePorts()) {
    const std::string path = DevicePathOf(name);
    const bool listed = std::any_of(ports.begin(), ports.end(),
                                    [&](const TtyPort& port) { return ascii::EqualsNoCase(port.devicePath, path); });
    if (listed) continue;
    TtyPort port;
    port.devicePath = path;
    ports.push_back(port);
  }
  if (!known && ports.empty()) return std::nullopt;
  return ports;
}

std::vector<UsbDevice> WinDeviceSource::ListUsbDevices() const {
  const SetupApi api;
  std::vector<UsbDevice> devices;
  ForEachDevice(api, nullptr, true, [&](HDEVINFO set, SP_DEVINFO_DATA& device) {
    const std::string hardwareId = TextProperty(api, set, device, SPDRP_HARDWAREID);
    UsbDevice usb;
    usb.vendor = HexAfter(hardwareId, "VID_");
    usb.product = HexAfter(hardwareId, "PID_");
    // A device with an installed driver names its service.
    usb.driverBound = !TextProperty(api, set, device, SPDRP_SERVICE).empty();
    devices.push_back(usb);
  });
  return devices;
}

// From Windows 10 on the system's own CDC driver serves the readers;
// before, the maker's driver package must be among the installed INF files.
bool WinDeviceSource::VirtualComDriverInstalled() const { return SystemIsWindows10OrLater() || MakerInfInstalled(); }

}  // namespace qlmkv

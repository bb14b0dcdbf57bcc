// HID on Windows: the HID class functions of hid.dll and the device set-up
// functions of setupapi.dll, both loaded at run time. Devices are the
// interfaces of the HID class; each is opened as a file for overlapped I/O,
// and every read or write ends within its time bound: what has not completed
// by then is cancelled.
#include <windows.h>
// windows.h first: the set-up and HID headers build on its types.
#include <hidsdi.h>
#include <setupapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/shared_library.h"
#include "transport/diagnostics.h"
#include "transport/hid_api.h"
#include "transport/overlapped_win.h"

namespace qlmkv::hid {

namespace {

constexpr char kSystemHidLibrary[] = "hid.dll";
constexpr char kSystemSetupLibrary[] = "setupapi.dll";
// A USB string descriptor holds at most 126 characters.
constexpr std::size_t kSerialChars = 127;

}  // namespace

// An open device file; `done` is the event of the one operation under way.
struct Device {
  HANDLE file = INVALID_HANDLE_VALUE;
  Event done;
};

struct HidApi::Entries {
  common::SharedLibrary hid;
  common::SharedLibrary setup;
  decltype(&HidD_GetHidGuid) getHidGuid = nullptr;
  decltype(&HidD_GetAttributes) getAttributes = nullptr;
  decltype(&HidD_GetSerialNumberString) getSerialNumber = nullptr;
  // The capabilities, optional: without them reports are of the default length.
  decltype(&HidD_GetPreparsedData) getPreparsedData = nullptr;
  decltype(&HidD_FreePreparsedData) freePreparsedData = nullptr;
  decltype(&HidP_GetCaps) getCaps = nullptr;
  decltype(&SetupDiGetClassDevsW) getClassDevs = nullptr;
  decltype(&SetupDiEnumDeviceInterfaces) enumInterfaces = nullptr;
  decltype(&SetupDiGetDeviceInterfaceDetailW) getInterfaceDetail = nullptr;
  decltype(&SetupDiDestroyDeviceInfoList) destroyList = nullptr;

  bool ResolveRequired() {
    return hid.Resolve("HidD_GetHidGuid", getHidGuid) && hid.Resolve("HidD_GetAttributes", getAttributes) &&
           hid.Resolve("HidD_GetSerialNumberString", getSerialNumber) &&
           setup.Resolve("SetupDiGetClassDevsW", getClassDevs) &&
           setup.Resolve("SetupDiEnumDeviceInterfaces", enumInterfaces) &&
           setup.Resolve("SetupDiGetDeviceInterfaceDetailW", getInterfaceDetail) &&
           setup.Resolve("SetupDiDestroyDeviceInfoList", destroyList);
  }
  void ResolveCapabilities() {
    hid.Resolve("HidD_GetPreparsedData", getPreparsedData);
    hid.Resolve("HidD_FreePreparsedData", freePreparsedData);
    hid.Resolve("HidP_GetCaps", getCaps);
  }
  bool HasCapabilities() const {
    return getPreparsedData != nullptr && freePreparsedData != nullptr && getCaps != nullptr;
  }

  // The file path of one interface of the set; empty when it cannot be read.
  std::wstring InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& entry) const {
    DWORD size = 0;
    getInterfaceDetail(set, &entry, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return {};
    // Aligned for the record that heads the buffer.
    std::vector<std::uint64_t> storage((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof *detail;
    if (!getInterfaceDetail(set, &entry, detail, size, nullptr, nullptr)) return {};
    return detail->DevicePath;
  }

  // Who the device behind `path` is; false when it cannot be asked.
  bool Describe(const std::wstring& path, DeviceInfo& info) const {
    // No access asked: a device that another program (or the system) holds
    // still tells who it is.
    const HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    const bool known = getAttributes(file, &attributes);
    if (known) {
      info.path = common::NarrowText(path);
      info.vendorId = attributes.VendorID;
      info.productId = attributes.ProductID;
      wchar_t serial[kSerialChars + 1] = {};
      info.hasSerialNumber = getSerialNumber(file, serial, kSerialChars * sizeof(wchar_t));
      if (info.hasSerialNumber) info.serialNumber = serial;
    }
    CloseHandle(file);
    return known;
  }
};

HidApi& HidApi::Instance() {
  // Never destroyed: connections are closed at exit, after static objects
  // may already be gone.
  static HidApi* const api = new HidApi();
  return *api;
}

std::string HidApi::LibraryName() {
  const char* overridden = std::getenv("QLMKV_HID_LIBRARY");
  return overridden != nullptr && *overridden != '\0' ? overridden : kSystemHidLibrary;
}

HidApi::HidApi() : entries_(new Entries()) {
  const std::string library = LibraryName();
  // A stand-in HID library lists its own devices, so it brings the set-up
  // functions too.
  const std::string setupLibrary = library == kSystemHidLibrary ? kSystemSetupLibrary : library;
  Entries& e = *entries_;
  e.hid = common::SharedLibrary(library);
  e.setup = common::SharedLibrary(setupLibrary);
  if (!e.hid.IsOpen()) {
    unavailability_ = "cannot load " + library;
  } else if (!e.setup.IsOpen()) {
    unavailability_ = "cannot load " + setupLibrary;
  } else if (!e.ResolveRequired()) {
    unavailability_ = library + " lacks an entry point";
  }
  e.ResolveCapabilities();
  available_ = unavailability_.empty();
  if (!available_) diag::Debug("HID: " + unavailability_ + ": HID readers are not available");
}

std::vector<DeviceInfo> HidApi::Enumerate() {
  std::vector<DeviceInfo> devices;
  if (!available_) return devices;
  std::lock_guard lock(globalLock_);
  const Entries& e = *entries_;
  GUID hidClass{};
  e.getHidGuid(&hidClass);
  const HDEVINFO set = e.getClassDevs(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return devices;
  SP_DEVICE_INTERFACE_DATA entry{};
  entry.cbSize = sizeof entry;
  for (DWORD i = 0; e.enumInterfaces(set, nullptr, &hidClass, i, &entry); ++i) {
    const std::wstring path = e.InterfacePath(set, entry);
    DeviceInfo info;
    if (!path.empty() && e.Describe(path, info)) devices.push_back(std::move(info));
  }
  e.destroyList(set);
  return devices;
}

Device* HidApi::OpenPath(const std::string& path, std::string& reason) {
  if (!available_ || path.empty()) {
    reason = available_ ? "no device path" : unavailability_;
    return nullptr;
  }
  std::lock_guard lock(globalLock_);
  auto* device = new Device();
  device->file = CreateFileW(common::WideText(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  const DWORD error = device->file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  if (error == ERROR_SUCCESS && device->done.Get() != nullptr) return device;
  reason = SystemMessage(error != ERROR_SUCCESS ? error : GetLastError());
  if (device->file != INVALID_HANDLE_VALUE) CloseHandle(device->file);
  delete device;
  return nullptr;
}

void HidApi::Close(Device* device) {
  if (device == nullptr) return;
  std::lock_guard lock(globalLock_);
  // Every operation ends before its call returns: nothing is left to cancel.
  CloseHandle(device->file);
  delete device;
}

int HidApi::Write(Device* device, const std::uint8_t* data, std::size_t size, int milliseconds) {
  if (!available_ || device == nullptr) return -1;
  OVERLAPPED writing{};
  writing.hEvent = device->done.Get();
  ResetEvent(writing.hEvent);
  DWORD written = 0;
  if (!WriteFile(device->file, data, static_cast<DWORD>(size), &written, &writing) &&
      GetLastError() != ERROR_IO_PENDING)
    return -1;
  if (!FinishOverlapped(device->file, writing, static_cast<DWORD>(milliseconds), written)) return -1;
  return static_cast<int>(written);
}

int HidApi::ReadTimeout(Device* device, std::uint8_t* data, std::size_t size, int milliseconds) {
  if (!available_ || device == nullptr) return -1;
  OVERLAPPED reading{};
  reading.hEvent = device->done.Get();
  ResetEvent(reading.hEvent);
  DWORD got = 0;
  if (!ReadFile(device->file, data, static_cast<DWORD>(size), &got, &reading) && GetLastError() != ERROR_IO_PENDING)
    return -1;
  if (FinishOverlapped(device->file, reading, static_cast<DWORD>(milliseconds), got)) return static_cast<int>(got);
  // Cancelled at the end of the slice: nothing came. Anything else: the device is gone.
  return GetLastError() == ERROR_OPERATION_ABORTED ? 0 : -1;
}

// ReadFile hands over every input report with its id byte in front, whether
// the device numbers its reports or not.
ReportLengths HidApi::Lengths(Device* device, const std::string& /*path*/) {
  ReportLengths lengths;
  lengths.numberedReports = true;
  const Entries& e = *entries_;
  if (!available_ || device == nullptr || !e.HasCapabilities()) return lengths;
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  if (!e.getPreparsedData(device->file, &preparsed)) return lengths;
  HIDP_CAPS caps{};
  if (e.getCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) {
    if (caps.InputReportByteLength > 0) lengths.input = caps.InputReportByteLength;
    if (caps.OutputReportByteLength > 0) lengths.output = caps.OutputReportByteLength;
  }
  e.freePreparsedData(preparsed);
  return lengths;
}

}  // namespace qlmkv::hid

// The entry points of the system's HID functions, loaded once per process at
// run time and resolved by name. A missing library or required entry point
// disables HID only: listing finds nothing and opening fails.
//
// Linux (hid_api_posix.cpp): hidapi's hidraw backend, "libhidapi-hidraw.so.0"
// or the path in QLMKV_HIDAPI_LIBRARY. Windows (hid_api_win.cpp): the HID
// class functions of "hid.dll" with the device set-up functions of
// "setupapi.dll"; a library named in QLMKV_HID_LIBRARY stands for both. Tests
// point the variables at fakes.
//
// Enumerating, opening and closing go through this table's lock; each opened
// device is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "transport/hid_report.h"

namespace qlmkv::hid {

// An open device, as the system's backend holds it.
struct Device;

// What enumeration tells of one device.
struct DeviceInfo {
  std::string path;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  bool hasSerialNumber = false;
  std::wstring serialNumber;
};

class HidApi {
 public:
  // The process-wide table, loaded on first use.
  static HidApi& Instance();

  static std::string LibraryName();
  bool Available() const { return available_; }
  // Why HID is not available; empty when it is.
  const std::string& Unavailability() const { return unavailability_; }

  // Every HID device of the system; empty when HID is unavailable.
  std::vector<DeviceInfo> Enumerate();
  // Null when the device cannot be opened; then `reason` says why.
  Device* OpenPath(const std::string& path, std::string& reason);
  void Close(Device* device);

  // Device functions: never call two of them on one device at the same time.
  // Write sends one output report and gives the bytes written, or -1; a report
  // that has not gone out after `milliseconds` is called off where the system
  // allows it (hidraw's writes have no time-out).
  int Write(Device* device, const std::uint8_t* data, std::size_t size, int milliseconds);
  // One input report as the system hands it over: its size, 0 when none came
  // within `milliseconds`, -1 when the device is gone.
  int ReadTimeout(Device* device, std::uint8_t* data, std::size_t size, int milliseconds);
  // The report lengths of an open device (the report descriptor on Linux, the
  // device's capabilities on Windows); missing ones are not known.
  ReportLengths Lengths(Device* device, const std::string& path);

  HidApi(const HidApi&) = delete;
  HidApi& operator=(const HidApi&) = delete;

 private:
  HidApi();
  ~HidApi() = default;

  bool available_ = false;
  std::string unavailability_;
  std::mutex globalLock_;  // enumeration, open and close

  // The system's entry points and the libraries that hold them.
  struct Entries;
  Entries* entries_ = nullptr;
};

}  // namespace qlmkv::hid

// The entry points of the system's HID library (hidapi, hidraw backend),
// loaded once per process at run time and resolved by name. A missing library
// or required entry point disables HID only: listing finds nothing and opening
// fails.
//
// The library file is "libhidapi-hidraw.so.0", or the path in the environment
// variable QLMKV_HIDAPI_LIBRARY when that is set (tests point it at a fake).
//
// The library is not thread-safe: enumerating, opening and closing go through
// this table's lock, and each opened device is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/shared_library.h"

struct hid_device_;

namespace qlmkv::hid {

using Device = ::hid_device_;

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

  // Every HID device of the system; empty when HID is unavailable.
  std::vector<DeviceInfo> Enumerate();
  // Null when the device cannot be opened.
  Device* OpenPath(const std::string& path);
  void Close(Device* device);

  // Device functions: never call two of them on one device at the same time.
  int Write(Device* device, const std::uint8_t* data, std::size_t size);
  int ReadTimeout(Device* device, std::uint8_t* data, std::size_t size, int milliseconds);
  // The device's report descriptor, when the library can hand it over (newer
  // versions); empty otherwise.
  std::vector<std::uint8_t> ReportDescriptor(Device* device);

  HidApi(const HidApi&) = delete;
  HidApi& operator=(const HidApi&) = delete;

 private:
  HidApi();
  ~HidApi() = default;

  common::SharedLibrary module_;
  bool available_ = false;
  std::mutex globalLock_;  // enumeration, open and close

  struct Entries;
  Entries* entries_ = nullptr;
};

}  // namespace qlmkv::hid

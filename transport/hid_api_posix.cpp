#include <hidapi/hidapi.h>

#include <cstdlib>

#include "common/shared_library.h"
#include "transport/diagnostics.h"
#include "transport/hid_api.h"

namespace qlmkv::hid {

namespace {

// Present from hidapi 0.14 on; older versions leave the descriptor to sysfs.
using GetReportDescriptorFn = int (*)(hid_device*, unsigned char*, size_t);

}  // namespace

// hidapi's handle of an open device.
struct Device {
  hid_device* handle;
};

struct HidApi::Entries {
  common::SharedLibrary module;
  decltype(&hid_init) init = nullptr;
  decltype(&hid_enumerate) enumerate = nullptr;
  decltype(&hid_free_enumeration) freeEnumeration = nullptr;
  decltype(&hid_open_path) openPath = nullptr;
  decltype(&hid_close) close = nullptr;
  decltype(&hid_write) write = nullptr;
  decltype(&hid_read_timeout) readTimeout = nullptr;
  GetReportDescriptorFn getReportDescriptor = nullptr;  // optional
};

HidApi& HidApi::Instance() {
  // Never destroyed: connections are closed at exit, after static objects
  // may already be gone.
  static HidApi* const api = new HidApi();
  return *api;
}

std::string HidApi::LibraryName() {
  const char* overridden = std::getenv("QLMKV_HIDAPI_LIBRARY");
  return overridden != nullptr && *overridden != '\0' ? overridden : "libhidapi-hidraw.so.0";
}

HidApi::HidApi() : entries_(new Entries()) {
  const std::string library = LibraryName();
  Entries& e = *entries_;
  e.module = common::SharedLibrary(library);
  if (!e.module.IsOpen()) {
    unavailability_ = "cannot load " + library;
  } else {
    const common::SharedLibrary& m = e.module;
    const bool complete = m.Resolve("hid_init", e.init) && m.Resolve("hid_enumerate", e.enumerate) &&
                          m.Resolve("hid_free_enumeration", e.freeEnumeration) &&
                          m.Resolve("hid_open_path", e.openPath) && m.Resolve("hid_close", e.close) &&
                          m.Resolve("hid_write", e.write) && m.Resolve("hid_read_timeout", e.readTimeout);
    m.Resolve("hid_get_report_descriptor", e.getReportDescriptor);
    if (!complete) {
      unavailability_ = library + " lacks an entry point";
    } else if (e.init() != 0) {
      unavailability_ = library + " does not start";
    }
  }
  available_ = unavailability_.empty();
  if (!available_) diag::Debug("HID: " + unavailability_ + ": HID readers are not available");
}

std::vector<DeviceInfo> HidApi::Enumerate() {
  std::vector<DeviceInfo> devices;
  if (!available_) return devices;
  std::lock_guard lock(globalLock_);
  hid_device_info* const list = entries_->enumerate(0, 0);
  for (const hid_device_info* info = list; info != nullptr; info = info->next) {
    DeviceInfo& device = devices.emplace_back();
    if (info->path != nullptr) device.path = info->path;
    device.vendorId = info->vendor_id;
    device.productId = info->product_id;
    device.hasSerialNumber = info->serial_number != nullptr;
    if (device.hasSerialNumber) device.serialNumber = info->serial_number;
  }
  if (list != nullptr) entries_->freeEnumeration(list);
  return devices;
}

Device* HidApi::OpenPath(const std::string& path, std::string& reason) {
  if (!available_ || path.empty()) {
    reason = available_ ? "no device path" : unavailability_;
    return nullptr;
  }
  std::lock_guard lock(globalLock_);
  hid_device* const handle = entries_->openPath(path.c_str());
  if (handle == nullptr) {
    reason = "cannot open " + path;
    return nullptr;
  }
  return new Device{handle};
}

void HidApi::Close(Device* device) {
  if (!available_ || device == nullptr) return;
  std::lock_guard lock(globalLock_);
  entries_->close(device->handle);
  delete device;
}

int HidApi::Write(Device* device, const std::uint8_t* data, std::size_t size, int /*milliseconds*/) {
  if (!available_ || device == nullptr) return -1;
  return entries_->write(device->handle, data, size);
}

int HidApi::ReadTimeout(Device* device, std::uint8_t* data, std::size_t size, int milliseconds) {
  if (!available_ || device == nullptr) return -1;
  return entries_->readTimeout(device->handle, data, size, milliseconds);
}

// hidraw leaves the id byte out of unnumbered reports; the descriptor tells
// which kind the device sends. Older hidapi versions leave it to sysfs.
ReportLengths HidApi::Lengths(Device* device, const std::string& path) {
  std::vector<std::uint8_t> descriptor;
  if (available_ && device != nullptr && entries_->getReportDescriptor != nullptr) {
    descriptor.resize(kMaxDescriptorSize);
    const int size = entries_->getReportDescriptor(device->handle, descriptor.data(), descriptor.size());
    descriptor.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  }
  if (descriptor.empty()) descriptor = ReadSysfsReportDescriptor(path);
  return ParseReportDescriptor(descriptor.data(), descriptor.size());
}

}  // namespace qlmkv::hid

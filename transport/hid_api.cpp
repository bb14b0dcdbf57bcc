#include "transport/hid_api.h"

#include <hidapi/hidapi.h>

#include <cstdlib>

#include "transport/diagnostics.h"
#include "transport/hid_report.h"

namespace qlmkv::hid {

namespace {

// Present from hidapi 0.14 on; older versions leave the descriptor to sysfs.
using GetReportDescriptorFn = int (*)(hid_device*, unsigned char*, size_t);

}  // namespace

struct HidApi::Entries {
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
  module_ = common::SharedLibrary(library);
  if (!module_.IsOpen()) {
    diag::Debug("HID: cannot load " + library + ": HID readers are not available");
    return;
  }
  Entries& e = *entries_;
  const bool complete = module_.Resolve("hid_init", e.init) && module_.Resolve("hid_enumerate", e.enumerate) &&
                        module_.Resolve("hid_free_enumeration", e.freeEnumeration) &&
                        module_.Resolve("hid_open_path", e.openPath) && module_.Resolve("hid_close", e.close) &&
                        module_.Resolve("hid_write", e.write) && module_.Resolve("hid_read_timeout", e.readTimeout);
  module_.Resolve("hid_get_report_descriptor", e.getReportDescriptor);
  if (!complete) {
    diag::Debug("HID: " + library + " lacks an entry point: HID readers are not available");
    return;
  }
  available_ = e.init() == 0;
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

Device* HidApi::OpenPath(const std::string& path) {
  if (!available_ || path.empty()) return nullptr;
  std::lock_guard lock(globalLock_);
  return entries_->openPath(path.c_str());
}

void HidApi::Close(Device* device) {
  if (!available_ || device == nullptr) return;
  std::lock_guard lock(globalLock_);
  entries_->close(device);
}

int HidApi::Write(Device* device, const std::uint8_t* data, std::size_t size) {
  if (!available_ || device == nullptr) return -1;
  return entries_->write(device, data, size);
}

int HidApi::ReadTimeout(Device* device, std::uint8_t* data, std::size_t size, int milliseconds) {
  if (!available_ || device == nullptr) return -1;
  return entries_->readTimeout(device, data, size, milliseconds);
}

std::vector<std::uint8_t> HidApi::ReportDescriptor(Device* device) {
  if (!available_ || device == nullptr || entries_->getReportDescriptor == nullptr) return {};
  std::vector<std::uint8_t> descriptor(kMaxDescriptorSize);
  const int size = entries_->getReportDescriptor(device, descriptor.data(), descriptor.size());
  if (size <= 0) return {};
  descriptor.resize(static_cast<std::size_t>(size));
  return descriptor;
}

}  // namespace qlmkv::hid

// A stand-in for the hidapi library (hidraw backend), for tests. It presents
// the devices listed in the environment variable QLMKV_FAKE_HID, for example
// "1C40:05AB:17050001:9:9,16C0:2913::65:65,1C40:05AC:X:9:9:locked":
// vendor and product id (hex), USB serial number (empty: the device has
// none), input and output report length with the id byte ("-": the report
// descriptor cannot be read), and optionally "locked" (it cannot be opened).
// Every device is a simulated reader: output reports are unpacked and fed to
// an in-process mkvsim::SimReader, and its replies come back as input reports
// the way hidraw delivers them (no id byte: count, payload, zero padding), to
// every handle open on the device. QLMKV_FAKE_HID_RECORD names a file where
// the readers append every write that reaches a tag. QLMKV_FAKE_HID_REPORT_US
// makes each input report of a reply arrive that many microseconds after the
// one before, as a USB interrupt endpoint paces them (default: at once).
//
// Built twice: as "libhidapi-hidraw.so" with every entry point, and with
// FAKE_HID_WITHOUT_READ as a library that lacks hid_read_timeout.
//
// Test controls (not part of the real library); devices by their place in the list:
//   QlmkvFakeHidReset()                         forget the devices (re-read the environment)
//   QlmkvFakeHidUnplug(device)                  the device vanishes; reads and writes fail
//   QlmkvFakeHidInject(device, bytes, size)     one raw input report to every open handle
//   QlmkvFakeHidSilence(device, on)             the reader stops (or starts again) answering
//   QlmkvFakeHidAnswerWith(device, bytes, size) the next frame is answered by these raw input
//                                               reports (one per call) instead of the reader
//   QlmkvFakeHidOutputCount(device)             output reports written so far
//   QlmkvFakeHidOutputReport(device, i, buf, capacity)  output report i; its size, or -1
//   QlmkvFakeHidOpenHandles(device)             handles currently open on the device
#include <hidapi/hidapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "sim/sim_reader.h"

namespace {

using Report = std::vector<std::uint8_t>;

struct Device {
  std::string path;
  unsigned short vendor = 0;
  unsigned short product = 0;
  bool hasSerial = false;
  std::wstring serial;
  int inputLength = 9;   // -1: descriptor unreadable
  int outputLength = 9;  // -1: descriptor unreadable
  bool locked = false;
  bool unplugged = false;
  bool silent = false;
  std::shared_ptr<mkvsim::SimReader> reader;
  std::vector<Report> written;
  std::vector<Report> scriptedAnswer;
  int openHandles = 0;
};

}  // namespace

struct QueuedReport {
  Report bytes;
  std::chrono::steady_clock::time_point readyAt;
};

struct hid_device_ {
  Device* device = nullptr;
  std::deque<QueuedReport> queue;
};

namespace {

std::mutex gMutex;
std::condition_variable gArrived;
std::string gConfig;
std::deque<Device> gDevices;  // a deque keeps device addresses stable
std::vector<hid_device_*> gHandles;
// hidraw keeps this many unread reports per open handle and drops the rest.
constexpr std::size_t kQueueLimit = 64;

void Enqueue(hid_device_& handle, Report report,
             std::chrono::steady_clock::time_point readyAt = std::chrono::steady_clock::now()) {
  if (handle.queue.size() < kQueueLimit) handle.queue.push_back({std::move(report), readyAt});
}

std::chrono::microseconds ReportInterval() {
  const char* env = std::getenv("QLMKV_FAKE_HID_REPORT_US");
  return std::chrono::microseconds(env != nullptr ? std::atol(env) : 0);
}

int ParseLength(const std::string& text) {
  if (text == "-") return -1;
  return text.empty() ? 9 : std::atoi(text.c_str());
}

// Reads the device list again when the environment changed and nothing is open.
void Refresh() {
  const char* env = std::getenv("QLMKV_FAKE_HID");
  const std::string config = env != nullptr ? env : "";
  if (config == gConfig || !gHandles.empty()) return;
  gConfig = config;
  gDevices.clear();
  std::stringstream items(config);
  int index = 0;
  for (std::string item; std::getline(items, item, ',');) {
    std::vector<std::string> fields;
    std::stringstream parts(item);
    for (std::string field; std::getline(parts, field, ':');) fields.push_back(field);
    fields.resize(std::max<std::size_t>(fields.size(), 5));
    Device& device = gDevices.emplace_back();
    device.path = "/dev/fake-hidraw" + std::to_string(index++);
    device.vendor = static_cast<unsigned short>(std::strtoul(fields[0].c_str(), nullptr, 16));
    device.product = static_cast<unsigned short>(std::strtoul(fields[1].c_str(), nullptr, 16));
    device.hasSerial = !fields[2].empty();
    device.serial.assign(fields[2].begin(), fields[2].end());
    device.inputLength = ParseLength(fields[3]);
    device.outputLength = ParseLength(fields[4]);
    device.locked = fields.size() > 5 && fields[5] == "locked";
  }
}

Device* At(int index) {
  Refresh();
  if (index < 0 || static_cast<std::size_t>(index) >= gDevices.size()) return nullptr;
  return &gDevices[static_cast<std::size_t>(index)];
}

bool IsOpenHandle(const hid_device_* handle) {
  return std::find(gHandles.begin(), gHandles.end(), handle) != gHandles.end();
}

// The reply of the simulated reader in hidraw's form: count byte, payload,
// zero padding to the report length without its id byte.
void DeliverLocked(Device& device, const mkvsim::Bytes& reply) {
  const int length = device.inputLength > 1 ? device.inputLength - 1 : 8;
  const std::size_t chunk = static_cast<std::size_t>(length - 1);
  const auto interval = ReportInterval();
  auto readyAt = std::chrono::steady_clock::now();
  for (std::size_t at = 0; at < reply.size(); at += chunk) {
    readyAt += interval;
    const std::size_t n = std::min(chunk, reply.size() - at);
    Report report(static_cast<std::size_t>(length), 0);
    report[0] = static_cast<std::uint8_t>(n);
    std::copy_n(reply.begin() + static_cast<std::ptrdiff_t>(at), n, report.begin() + 1);
    for (hid_device_* handle : gHandles) {
      if (handle->device == &device) Enqueue(*handle, report, readyAt);
    }
  }
  gArrived.notify_all();
}

mkvsim::SimOptions ReaderOptions() {
  mkvsim::SimOptions options;
  if (const char* record = std::getenv("QLMKV_FAKE_HID_RECORD")) options.recordPath = record;
  return options;
}

void AppendDescriptorItem(std::vector<unsigned char>& out, unsigned char prefix, unsigned value) {
  if (value <= 0xFF) {
    out.insert(out.end(), {static_cast<unsigned char>(prefix | 1), static_cast<unsigned char>(value)});
  } else {
    out.insert(out.end(), {static_cast<unsigned char>(prefix | 2), static_cast<unsigned char>(value & 0xFF),
                           static_cast<unsigned char>(value >> 8)});
  }
}

}  // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT int hid_init() { return 0; }
FAKE_EXPORT int hid_exit() { return 0; }

FAKE_EXPORT hid_device_info* hid_enumerate(unsigned short vendor, unsigned short product) {
  std::lock_guard lock(gMutex);
  Refresh();
  hid_device_info* first = nullptr;
  hid_device_info** next = &first;
  for (const Device& device : gDevices) {
    if (device.unplugged) continue;
    if ((vendor != 0 && vendor != device.vendor) || (product != 0 && product != device.product)) continue;
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup(device.path.c_str());
    info->vendor_id = device.vendor;
    info->product_id = device.product;
    if (device.hasSerial) info->serial_number = wcsdup(device.serial.c_str());
    info->bus_type = HID_API_BUS_USB;
    *next = info;
    next = &info->next;
  }
  return first;
}

FAKE_EXPORT void hid_free_enumeration(hid_device_info* list) {
  while (list != nullptr) {
    hid_device_info* next = list->next;
    std::free(list->path);
    std::free(list->serial_number);
    std::free(list);
    list = next;
  }
}

FAKE_EXPORT hid_device* hid_open_path(const char* path) {
  std::lock_guard lock(gMutex);
  Refresh();
  for (Device& device : gDevices) {
    if (path == nullptr || device.path != path || device.unplugged || device.locked) continue;
    if (device.reader == nullptr) device.reader = std::make_shared<mkvsim::SimReader>(ReaderOptions());
    auto* handle = new hid_device_();
    handle->device = &device;
    gHandles.push_back(handle);
    ++device.openHandles;
    return handle;
  }
  return nullptr;
}

FAKE_EXPORT void hid_close(hid_device* handle) {
  std::lock_guard lock(gMutex);
  if (!IsOpenHandle(handle)) return;
  gHandles.erase(std::find(gHandles.begin(), gHandles.end(), handle));
  if (--handle->device->openHandles == 0) handle->device->reader.reset();
  delete handle;
  gArrived.notify_all();
}

FAKE_EXPORT int hid_write(hid_device* handle, const unsigned char* data, size_t length) {
  std::shared_ptr<mkvsim::SimReader> reader;
  Report payload;
  {
    std::lock_guard lock(gMutex);
    if (!IsOpenHandle(handle) || data == nullptr || length == 0) return -1;
    Device& device = *handle->device;
    if (device.unplugged) return -1;
    device.written.emplace_back(data, data + length);
    const bool control = length >= 4 && data[1] == 0x82 && data[2] == 0x10;
    if (control || length < 2 || device.silent) return static_cast<int>(length);
    if (!device.scriptedAnswer.empty()) {
      for (hid_device_* open : gHandles) {
        if (open->device != &device) continue;
        for (const Report& report : device.scriptedAnswer) Enqueue(*open, report);
      }
      device.scriptedAnswer.clear();
      gArrived.notify_all();
      return static_cast<int>(length);
    }
    const std::size_t n = std::min<std::size_t>(data[1], length - 2);
    payload.assign(data + 2, data + 2 + n);
    reader = device.reader;
  }
  // The reader may hold its reply back (a delay fault): not under the lock.
  const mkvsim::Bytes reply = reader->Feed(payload.data(), payload.size());
  std::lock_guard lock(gMutex);
  if (IsOpenHandle(handle) && !handle->device->unplugged) DeliverLocked(*handle->device, reply);
  return static_cast<int>(length);
}

FAKE_EXPORT int hid_read(hid_device* handle, unsigned char* data, size_t length);

#ifndef FAKE_HID_WITHOUT_READ
FAKE_EXPORT int hid_read_timeout(hid_device* handle, unsigned char* data, size_t length, int milliseconds) {
  std::unique_lock lock(gMutex);
  if (!IsOpenHandle(handle)) return -1;
  using Clock = std::chrono::steady_clock;
  const bool forever = milliseconds < 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
  for (;;) {
    if (!IsOpenHandle(handle) || handle->device->unplugged) return -1;
    const auto now = Clock::now();
    const bool waiting = !handle->queue.empty();
    if (waiting && handle->queue.front().readyAt <= now) break;
    if (!forever && now >= deadline) return 0;
    if (forever && !waiting) {
      gArrived.wait(lock);
    } else {
      const auto next = waiting ? handle->queue.front().readyAt : deadline;
      gArrived.wait_until(lock, forever ? next : std::min(deadline, next));
    }
  }
  const Report report = std::move(handle->queue.front().bytes);
  handle->queue.pop_front();
  const std::size_t n = std::min(length, report.size());
  std::copy_n(report.begin(), n, data);
  return static_cast<int>(n);
}
#endif

FAKE_EXPORT int hid_read(hid_device* handle, unsigned char* data, size_t length) {
#ifndef FAKE_HID_WITHOUT_READ
  return hid_read_timeout(handle, data, length, -1);
#else
  (void)handle;
  (void)data;
  (void)length;
  return -1;
#endif
}

// A vendor-defined collection with one input and one output report of the
// device's lengths (8-bit fields, no report ids).
FAKE_EXPORT int hid_get_report_descriptor(hid_device* handle, unsigned char* buffer, size_t size) {
  std::lock_guard lock(gMutex);
  if (!IsOpenHandle(handle)) return -1;
  const Device& device = *handle->device;
  if (device.inputLength < 0 || device.outputLength < 0) return -1;
  std::vector<unsigned char> out = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08};
  AppendDescriptorItem(out, 0x94, static_cast<unsigned>(device.inputLength - 1));
  out.insert(out.end(), {0x09, 0x01, 0x81, 0x02});
  AppendDescriptorItem(out, 0x94, static_cast<unsigned>(device.outputLength - 1));
  out.insert(out.end(), {0x09, 0x01, 0x91, 0x02, 0xC0});
  if (out.size() > size) return -1;
  std::copy(out.begin(), out.end(), buffer);
  return static_cast<int>(out.size());
}

FAKE_EXPORT void QlmkvFakeHidReset() {
  std::lock_guard lock(gMutex);
  gConfig.clear();
  if (gHandles.empty()) gDevices.clear();
}

FAKE_EXPORT int QlmkvFakeHidUnplug(int index) {
  std::lock_guard lock(gMutex);
  Device* device = At(index);
  if (device == nullptr) return 0;
  device->unplugged = true;
  gArrived.notify_all();
  return 1;
}

FAKE_EXPORT int QlmkvFakeHidInject(int index, const unsigned char* bytes, size_t size) {
  std::lock_guard lock(gMutex);
  Device* device = At(index);
  if (device == nullptr) return 0;
  for (hid_device_* handle : gHandles) {
    if (handle->device == device) Enqueue(*handle, Report(bytes, bytes + size));
  }
  gArrived.notify_all();
  return 1;
}

FAKE_EXPORT int QlmkvFakeHidSilence(int index, int on) {
  std::lock_guard lock(gMutex);
  Device* device = At(index);
  if (device == nullptr) return 0;
  device->silent = on != 0;
  return 1;
}

FAKE_EXPORT int QlmkvFakeHidAnswerWith(int index, const unsigned char* bytes, size_t size) {
  std::lock_guard lock(gMutex);
  Device* device = At(index);
  if (device == nullptr) return 0;
  device->scriptedAnswer.emplace_back(bytes, bytes + size);
  return 1;
}

FAKE_EXPORT int QlmkvFakeHidOutputCount(int index) {
  std::lock_guard lock(gMutex);
  const Device* device = At(index);
  return device != nullptr ? static_cast<int>(device->written.size()) : -1;
}

FAKE_EXPORT int QlmkvFakeHidOutputReport(int index, int report, unsigned char* buffer, size_t capacity) {
  std::lock_guard lock(gMutex);
  const Device* device = At(index);
  if (device == nullptr || report < 0 || static_cast<std::size_t>(report) >= device->written.size()) return -1;
  const Report& written = device->written[static_cast<std::size_t>(report)];
  if (written.size() > capacity) return -1;
  std::copy(written.begin(), written.end(), buffer);
  return static_cast<int>(written.size());
}

FAKE_EXPORT int QlmkvFakeHidOpenHandles(int index) {
  std::lock_guard lock(gMutex);
  const Device* device = At(index);
  return device != nullptr ? device->openHandles : -1;
}

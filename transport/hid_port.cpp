#include "transport/hid_port.h"

#include <algorithm>
#include <iterator>

#include "transport/diagnostics.h"
#include "transport/open_failure_note.h"
#include "transport/transports.h"

namespace qlmkv {

namespace {

using Clock = std::chrono::steady_clock;

struct UsbId {
  std::uint16_t vendor;
  std::uint16_t product;
};

// 1C40/05AC is the same reader family as a virtual COM port, not a HID port.
constexpr UsbId kAcceptedDevices[] = {
    {0x16C0, 0x2913}, {0x1C40, 0x05AB}, {0x1C40, 0x05AD}, {0x1C40, 0x05AE}, {0x1C40, 0x05AF},
};

constexpr char kUnknownSerial[] = "1319-????";
constexpr char kNameSuffix[] = " HID";

// How long the reader thread blocks per read: the longest a close waits for it.
constexpr int kReadSliceMs = 50;
// The longest one output report may take to go out.
constexpr auto kReportWriteLimit = std::chrono::milliseconds(50);

// Serial numbers are plain text; a character outside ASCII stands as '?', as
// a narrow code page would show it.
std::string Narrow(const std::wstring& text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (const wchar_t c : text) narrow.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

}  // namespace

bool CHidPort::Accepted(std::uint16_t vendorId, std::uint16_t productId) {
  return std::any_of(std::begin(kAcceptedDevices), std::end(kAcceptedDevices),
                     [&](const UsbId& id) { return id.vendor == vendorId && id.product == productId; });
}

std::string CHidPort::DeviceName(const hid::DeviceInfo& device) {
  const std::string serial = device.hasSerialNumber ? Narrow(device.serialNumber) : "";
  return (serial.empty() ? std::string(kUnknownSerial) : serial) + kNameSuffix;
}

void CHidPort::EnumHidDevices(std::vector<std::string>& names) {
  hid::HidApi& api = hid::HidApi::Instance();
  if (!api.Available()) return;
  for (const hid::DeviceInfo& device : api.Enumerate()) {
    if (!Accepted(device.vendorId, device.productId)) continue;
    const std::string name = DeviceName(device);
    if (std::find(names.begin(), names.end(), name) != names.end()) continue;
    // Only a device this program may open is worth offering.
    std::string reason;
    hid::Device* probe = api.OpenPath(device.path, reason);
    if (probe == nullptr) {
      diag::Debug("HID: " + reason + " (" + name + ")");
      continue;
    }
    api.Close(probe);
    names.push_back(name);
  }
}

std::unique_ptr<CHidPort> CHidPort::Open(const std::string& name, ByteSink& sink) {
  hid::HidApi& api = hid::HidApi::Instance();
  if (!api.Available()) {
    NoteOpenFailure({name, api.Unavailability()});
    return nullptr;
  }
  std::string reason = "no HID reader of this name";
  for (const hid::DeviceInfo& device : api.Enumerate()) {
    if (!Accepted(device.vendorId, device.productId) || DeviceName(device) != name) continue;
    hid::Device* reader = api.OpenPath(device.path, reason);
    if (reader == nullptr) continue;
    hid::Device* writer = api.OpenPath(device.path, reason);
    if (writer == nullptr) {
      api.Close(reader);
      continue;
    }
    const hid::ReportLengths lengths = api.Lengths(reader, device.path);
    const hid::InputLayout input{lengths.input.value_or(hid::kDefaultReportLength), lengths.numberedReports};
    const std::size_t outputLength = lengths.output.value_or(hid::kDefaultReportLength);
    if (!hid::UsableOutputLength(outputLength)) {
      NoteOpenFailure({name, "output reports of " + std::to_string(outputLength) + " bytes; at most " +
                                 std::to_string(hid::kMaxOutputReportLength) + " are supported"});
      api.Close(writer);
      api.Close(reader);
      return nullptr;
    }
    std::unique_ptr<CHidPort> port(new CHidPort(name, sink, reader, writer, input, outputLength));
    port->Start();
    // The reader firmware is told that a host has taken it; it sends no reply.
    port->SendHidControl(0);
    return port;
  }
  NoteOpenFailure({name, reason});
  return nullptr;
}

CHidPort::CHidPort(std::string name, ByteSink& sink, hid::Device* reader, hid::Device* writer, hid::InputLayout input,
                   std::size_t outputLength)
    : name_(std::move(name)),
      sink_(sink),
      api_(hid::HidApi::Instance()),
      input_(input),
      outputLength_(outputLength),
      reader_(reader),
      writer_(writer) {}

CHidPort::~CHidPort() { Close(); }

void CHidPort::Start() {
  worker_ = std::thread([this] { ReadLoop(); });
}

void CHidPort::ReadLoop() {
  // One spare byte, so that a report longer than announced is not cut to
  // look like a valid one.
  std::vector<std::uint8_t> buffer(input_.reportLength + 1);
  while (!stop_.load()) {
    const int transferred = api_.ReadTimeout(reader_, buffer.data(), buffer.size(), kReadSliceMs);
    if (transferred < 0) {
      MarkLost();
      return;
    }
    if (transferred == 0) continue;
    const std::vector<std::uint8_t> payload =
        hid::UnpackInputReport(buffer.data(), static_cast<std::size_t>(transferred), input_);
    if (!payload.empty()) sink_.OnReceiveBytes(payload.data(), payload.size());
  }
}

void CHidPort::MarkLost() {
  lost_.store(true);
  diag::Debug("HID: " + name_ + " is gone");
  api_.Close(reader_);
  reader_ = nullptr;
  {
    std::lock_guard lock(writeLock_);
    api_.Close(writer_);
    writer_ = nullptr;
  }
  sink_.OnLinkLost();
}

bool CHidPort::WriteReport(const hid::Report& report) {
  if (writer_ == nullptr) return false;
  const int limitMs = static_cast<int>(kReportWriteLimit.count());
  return api_.Write(writer_, report.data(), report.size(), limitMs) == static_cast<int>(report.size());
}

void CHidPort::Send(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::lock_guard lock(writeLock_);
  for (const hid::Report& report : hid::BuildOutputReports(data, size, outputLength_)) {
    const auto started = Clock::now();
    if (started > deadline || !WriteReport(report)) return;
    // The reader drops a frame whose rest comes late; sending it is pointless.
    if (Clock::now() - started > kReportWriteLimit) return;
  }
}

bool CHidPort::SendHidControl(std::uint8_t value) {
  std::lock_guard lock(writeLock_);
  return WriteReport(hid::ControlReport(value, outputLength_));
}

void CHidPort::Close() {
  std::lock_guard lock(closeLock_);
  if (closed_) return;
  closed_ = true;
  if (!lost_.load()) SendHidControl(1);
  stop_.store(true);
  if (worker_.joinable()) worker_.join();
  api_.Close(reader_);
  reader_ = nullptr;
  std::lock_guard writeLock(writeLock_);
  api_.Close(writer_);
  writer_ = nullptr;
}

std::vector<std::string> EnumHidDevices() {
  std::vector<std::string> names;
  CHidPort::EnumHidDevices(names);
  return names;
}

std::unique_ptr<Transport> OpenHidTransport(const std::string& name, ByteSink& sink) {
  return CHidPort::Open(name, sink);
}

}  // namespace qlmkv

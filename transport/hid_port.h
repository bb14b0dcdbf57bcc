// CHidPort: the byte pipe to a reader that presents itself as a USB HID
// device. Devices are found by vendor and product id and named by their USB
// serial number; frames travel in HID reports (see hid_report.h).
//
// The port holds two handles on its device, one per direction: a handle must
// not be used from two threads at once (hidapi's rule, and on Windows one
// operation per handle's event), and this way a frame goes out at once while
// the reader thread waits for input. The reader thread blocks in the system's
// read with a short time-out and hands every payload to the connection's sink.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/link.h"
#include "transport/hid_api.h"
#include "transport/hid_report.h"

namespace qlmkv {

class CHidPort final : public Transport {
 public:
  // Appends the name of every accepted device that can be opened and is not
  // in the list yet. Does nothing when HID is unavailable.
  static void EnumHidDevices(std::vector<std::string>& names);

  // "<serial number> HID", or "1319-???? HID" when the device has none.
  static std::string DeviceName(const hid::DeviceInfo& device);
  static bool Accepted(std::uint16_t vendorId, std::uint16_t productId);

  // Opens the first accepted device named `name`, sends control value 0 and
  // starts the reader thread. Null when there is none that opens, or when its
  // output reports are longer than a report buffer holds.
  static std::unique_ptr<CHidPort> Open(const std::string& name, ByteSink& sink);

  ~CHidPort() override;
  CHidPort(const CHidPort&) = delete;
  CHidPort& operator=(const CHidPort&) = delete;

  // Sends the frame report by report. A report that takes longer than 50 ms,
  // or a frame past its time-out, ends the frame: the rest is dropped.
  void Send(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds timeout) override;
  bool IsUsb() const override { return true; }
  // Sends control value 1 (while the device is there), stops the reader
  // thread and releases the device.
  void Close() override;

  const std::string& Name() const { return name_; }
  std::size_t InputReportLength() const { return input_.reportLength; }
  std::size_t OutputReportLength() const { return outputLength_; }

 private:
  CHidPort(std::string name, ByteSink& sink, hid::Device* reader, hid::Device* writer, hid::InputLayout input,
           std::size_t outputLength);

  void Start();
  void ReadLoop();
  // Under writeLock_. False when the report did not go out.
  bool WriteReport(const hid::Report& report);
  bool SendHidControl(std::uint8_t value);
  // The device is gone: release it and tell the connection, once.
  void MarkLost();

  const std::string name_;
  ByteSink& sink_;
  hid::HidApi& api_;
  const hid::InputLayout input_;
  const std::size_t outputLength_;

  hid::Device* reader_;  // only the reader thread uses it while it runs

  std::mutex writeLock_;
  hid::Device* writer_;  // under writeLock_; null once the device is gone

  std::atomic<bool> stop_{false};
  std::atomic<bool> lost_{false};
  bool closed_ = false;
  std::mutex closeLock_;
  std::thread worker_;
};

}  // namespace qlmkv

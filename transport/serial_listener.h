// Events of an open serial port, raised on the port's worker thread (and, for
// the modem lines that are on at open, once on the opening thread; received
// bytes also on a thread waiting in ReceiveHere). The listener replaces the
// notification hooks of a port: override what you need.
#pragma once

#include <cstdint>

#include "link/link.h"

namespace qlmkv {

// Line-error flags passed to OnLineError, in COM-style values.
namespace line_error {
constexpr std::uint32_t kRxOver = 0x001;
constexpr std::uint32_t kOverrun = 0x002;
constexpr std::uint32_t kRxParity = 0x004;
constexpr std::uint32_t kFrame = 0x008;
constexpr std::uint32_t kBreak = 0x010;
constexpr std::uint32_t kTxFull = 0x100;
constexpr std::uint32_t kIoError = 0x400;
constexpr std::uint32_t kReported = 0x50F;  // the flags that raise OnLineError
constexpr std::uint32_t kPortLost = 0x800;  // the device is gone; the port closed its line
}  // namespace line_error

// Modem-status bits.
namespace modem {
constexpr std::uint32_t kCtsOn = 0x10;
constexpr std::uint32_t kDsrOn = 0x20;
constexpr std::uint32_t kRingOn = 0x40;
constexpr std::uint32_t kRlsdOn = 0x80;
}  // namespace modem

// Event-mask bits given at open.
namespace comm_event {
constexpr std::uint32_t kRxChar = 0x0001;
constexpr std::uint32_t kTxEmpty = 0x0004;
constexpr std::uint32_t kCts = 0x0008;
}  // namespace comm_event

// Received bytes are the byte sink's events (the bytes of one read go to
// OnReceiveBytes in one call); a listener that does not want them leaves
// OnReceiveChar as it is.
class SerialPortListener : public ByteSink {
 public:
  void OnReceiveChar(std::uint8_t /*byte*/) override {}
  virtual void OnCtsChange(bool /*on*/) {}
  virtual void OnBreak() {}
  virtual void OnLineError(std::uint32_t /*errors*/) {}
  virtual void OnRingChange(bool /*on*/) {}
  virtual void OnRlsdChange(bool /*on*/) {}
  virtual void OnDsrChange(bool /*on*/) {}
  virtual void OnBytesWritten(std::uint32_t /*count*/) {}
  virtual void OnTxEmpty() {}
};

}  // namespace qlmkv

// One open serial line, with COM-style operations: the port's worker logic is
// the same whether the line is a terminal device or a D2XX device.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "link/link.h"

namespace qlmkv {

class CFTD2xxPort;

// Error flags and queue counts, as read and cleared by one status query.
struct LineStatus {
  std::uint32_t errors = 0;  // line_error flags
  std::uint32_t inQueue = 0;
  std::uint32_t outQueue = 0;
};

// Why the last operation failed.
struct LineError {
  long code = 0;
  std::string text;
  bool deviceLost = false;  // the device is gone (unplugged, hung up)
};

class SerialLine {
 public:
  virtual ~SerialLine() = default;

  // Applies time-outs (reads never wait), the event mask and the line
  // settings, stopping at the first step that fails. Returns that step's
  // label ("SetCommTimeouts()", "SetCommMask()", "GetCommState()",
  // "BuildCommDCB()", "SetCommState()"), or an empty string.
  virtual std::string Configure(const LineSettings& config, std::uint32_t eventMask) = 0;
  virtual void Purge() = 0;
  virtual bool SetEventMask(std::uint32_t mask) = 0;
  virtual bool ReadStatus(LineStatus& status) = 0;
  virtual bool ModemStatus(std::uint32_t& bits) = 0;
  // Reads what is waiting, up to `size` bytes, without waiting; -1 on failure.
  virtual long Read(std::uint8_t* buffer, std::size_t size) = 0;
  // Writes the block, waiting while the line is full; gives up early (true,
  // with the count so far) when `cancelFd` becomes readable or `deadline` has
  // passed.
  virtual bool Write(const std::uint8_t* data, std::size_t size, std::size_t& written, int cancelFd,
                     std::chrono::steady_clock::time_point deadline) = 0;
  // Writes what the line takes at once, without waiting, from a thread other
  // than the worker's; returns the count. Records no error: a broken line
  // shows in the worker's next operation. A line that cannot be written this
  // way writes nothing here, and the worker writes it all.
  virtual std::size_t WriteAtOnce(const std::uint8_t* /*data*/, std::size_t /*size*/) { return 0; }
  // Descriptor that becomes readable when bytes arrive, or -1 (then the port
  // polls every millisecond).
  virtual int WaitFd() const = 0;
  // False when the line has neither modem lines nor error counters (a
  // pseudo-terminal): then there is nothing to poll between arrivals.
  virtual bool HasLineStatus() const { return true; }
  virtual bool Close() = 0;
  virtual LineError LastError() const = 0;
};

// Opens a terminal device (non-blocking, not as controlling terminal, exclusive).
std::unique_ptr<SerialLine> OpenTerminalLine(const std::string& path, LineError& error);
// Opens a D2XX device by serial number through `library`, which must outlive the line.
std::unique_ptr<SerialLine> OpenD2xxLine(CFTD2xxPort& library, const std::string& serialNumber, LineError& error);

}  // namespace qlmkv

// CUSBSerialPort: the byte pipe to a reader on a serial line. The port name
// chooses the line: a device path or "COMn" opens a terminal device, any other
// name a D2XX device by serial number. A worker thread owns the open line: it
// waits for received bytes, write requests and shutdown, polls the line's
// status every millisecond of idleness and reports to the listener.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/read_turn.h"
#include "transport/ftd2xx_port.h"
#include "transport/serial_line.h"
#include "transport/serial_listener.h"

namespace qlmkv {

class CUSBSerialPort {
 public:
  CUSBSerialPort();
  ~CUSBSerialPort();
  CUSBSerialPort(const CUSBSerialPort&) = delete;
  CUSBSerialPort& operator=(const CUSBSerialPort&) = delete;

  // Opens and configures the line; `listener` may be null (no events). True
  // when the line was opened, even if a later configuration step failed (the
  // line is then purged and left as the driver had it).
  bool InitPort(SerialPortListener* listener, const std::string& portName, std::uint32_t baudRate, char parity,
                std::uint32_t dataBits, std::uint32_t stopBits, int handshake, std::uint32_t eventMask,
                std::uint32_t writeBufferSize);

  // Starts the worker thread and returns once it runs. False when a worker
  // thread already exists or the port is not open.
  bool StartMonitoring();

  // Queues bytes for the worker thread; length -1 means zero-terminated text.
  // Bytes that do not fit into the write buffer are dropped, and so is what
  // of them has not gone out within `timeout`. Never waits for the line, and
  // may be called while another thread closes the port.
  static constexpr std::chrono::milliseconds kNoTimeLimit = std::chrono::milliseconds::max();
  void WriteToPort(const std::uint8_t* data, int length, std::chrono::milliseconds timeout = kNoTimeLimit);

  // As WriteToPort, but while the worker runs and nothing waits in the
  // buffer, the calling thread writes what the line takes at once itself, so
  // a frame goes out without a hand-over to the worker; the worker writes
  // only what is left. Those directly written bytes raise no OnBytesWritten.
  // A D2XX line is always written by the worker.
  void WriteNow(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds timeout);

  // Waits on the calling thread until bytes arrive on the line or `until`
  // has come, and raises OnReceiveBytes for them on this thread, so a waiting
  // exchange gets its reply without a hand-over from the worker; the worker
  // leaves the line alone meanwhile. Returns at once when `news()` holds once
  // the line is the caller's. False on a line that cannot be read this way
  // (D2XX, not monitored, lost or closing): wait for the worker's delivery.
  bool ReceiveHere(std::chrono::steady_clock::time_point until, const std::function<bool()>& news);
  // From a caller's first read on, the worker leaves a terminal line to the
  // callers between their reads too (the status poll of a line with status
  // goes on), so a reply wakes only the caller. This hands the line back to
  // the worker for a wait that takes its delivery.
  void LetWorkerDeliver();

  // Stops the worker thread and releases the line. Safe on a closed port.
  void ClosePort();

  bool IsOpen() const { return lineOpen_.load(); }
  bool IsMonitoring() const { return threadAlive_.load(); }
  bool IsD2xxMode() const { return d2xxMode_; }
  int PortNumber() const { return portNumber_; }
  std::size_t PendingBytes() const;

  // Serial numbers of the attached D2XX devices that are not open.
  static std::vector<std::string> EnumFtdiDevices();

 private:
  void WorkerMain();
  bool PollLine();  // false: the line is gone
  bool ReceiveBytes(std::uint32_t count);
  bool ReceiveBytesInTurn(std::uint32_t count);
  // A caller's read of what waits on the line; false when the line failed.
  bool ReadHere();
  bool WriteStep();
  // Queues a block for the worker; caller holds writeMutex_. False when it does not fit.
  bool Enqueue(const std::uint8_t* data, std::size_t size, std::chrono::steady_clock::time_point deadline);
  void RaiseModemChanges(std::uint32_t bits);
  void LoseLine();
  // Callers no longer read the line; returns once none does.
  void CloseToCallers();
  void StopWorker();
  void Warn(const char* operation, const LineError& error) const;

  SerialPortListener* listener_ = nullptr;
  CFTD2xxPort ftd2xx_;  // before line_: a D2XX line calls through it until closed
  std::unique_ptr<SerialLine> line_;
  std::atomic<bool> lineOpen_{false};
  std::atomic<bool> threadAlive_{false};
  std::thread worker_;
  // Made once and closed only by the destructor: a writer on another thread
  // may signal them at any time, even while the port closes.
  const int shutdownFd_;
  const int writeRequestFd_;
  const int callerWakeFd_;  // cuts a caller's wait on the line short
  const int rewatchFd_;     // the line is handed back: the worker watches it again
  ReadTurn readTurn_;
  int callerFd_ = -1;  // the line's descriptor while callers may read it
  std::uint32_t eventMask_ = 0;
  bool d2xxMode_ = false;
  int portNumber_ = 0;
  std::string portName_;
  bool cts_ = false, dsr_ = false, rlsd_ = false, ring_ = false;

  // One block per WriteToPort call, with the time by which it must be out.
  struct QueuedBlock {
    std::vector<std::uint8_t> bytes;
    std::chrono::steady_clock::time_point deadline;
  };
  // Guards the queue, the count, the capacity and writes from other threads
  // than the worker; held across a write only by those, which never wait for
  // the line (only the worker takes blocks off the front, so the front block
  // stays put while it is written, and an empty queue means nothing is under
  // way). The line is closed under it, so no thread writes into a closed one.
  mutable std::mutex writeMutex_;
  std::deque<QueuedBlock> writeQueue_;
  std::size_t pendingBytes_ = 0;
  std::size_t writeCapacity_ = 0;
  bool callerWrites_ = false;  // the worker runs on an open line: WriteNow may write it

  std::mutex configMutex_;  // held while the line is opened and configured
};

}  // namespace qlmkv

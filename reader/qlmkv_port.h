// One reader connection: its transport, its framing and the request/reply
// exchange. Received bytes come in through OnReceiveChar from the transport's
// worker thread and wait in the receive buffer until the waiting thread takes
// the reply.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "link/link.h"
#include "protocol/frame.h"
#include "reader/wait_clock.h"

namespace qlmkv {

using frame::Bytes;

class CQL_MKV_Port final : public ByteSink {
 public:
  // `clock` paces the reply wait; it must outlive the connection.
  CQL_MKV_Port(int deviceAddress, int timeoutMs, WaitClock& clock = SteadyWaitClock());
  // Closes the transport first, so that no worker thread still delivers bytes
  // into a connection that is being taken apart.
  ~CQL_MKV_Port() override;
  CQL_MKV_Port(const CQL_MKV_Port&) = delete;
  CQL_MKV_Port& operator=(const CQL_MKV_Port&) = delete;

  void AttachTransport(std::unique_ptr<Transport> transport);
  // Safe while another thread is in an exchange: that exchange ends at once
  // (last error 4), and the transport is not used again.
  void CloseTransport();
  bool IsUsb() const;

  int Variant() const { return variant_.load(); }
  void SetVariant(int variant) { variant_.store(variant); }
  int DeviceAddress() const { return deviceAddress_; }
  int TimeoutMs() const { return timeoutMs_; }
  int LastError() const { return lastError_.load(); }
  void SetLastError(int code) { lastError_.store(code); }
  bool NoWindowLock() const { return noWindowLock_.load(); }
  void SetNoWindowLock(bool flag) { noWindowLock_.store(flag); }

  // The common sequence of every command: code and payload into the send
  // buffer, SendCommand, ReceiveReply. On success `data` holds the reply data.
  bool Transceive(std::uint8_t command, const Bytes& payload, Bytes& data);

  // Command code followed by payload; SendCommand turns it into the frame.
  Bytes& SendBuffer() { return sendBuffer_; }
  // Turns the send buffer into a complete frame of this connection's variant.
  void BuildFrame();
  // Sends the send buffer as a frame and waits for a complete reply, which
  // stays in the receive buffer. False with last error 8 or 4 (or 5 for a
  // payload the one-byte length field cannot carry).
  bool SendCommand();
  // Takes the reply, validates it and leaves only its data. False with last
  // error 12, 10 or the reader's status.
  bool ReceiveReply(Bytes& out);
  // Waits in three phases, each with its own full time-out. Returns true when
  // the wait timed out or the connection was closed meanwhile.
  bool WaitForReply();

  // Receive buffer access, each under the receive lock.
  std::size_t ReceivedCount() const;
  std::uint8_t ReceivedAt(std::size_t index) const;  // throws std::invalid_argument
  void DropReceived(std::size_t count);
  void ClearReceived();

  void OnReceiveChar(std::uint8_t byte) override;
  void OnReceiveBytes(const std::uint8_t* data, std::size_t size) override;
  // Every exchange from now on ends at once with last error 4.
  void OnLinkLost() override;

 private:
  enum class Step { kDone, kProgress, kWaiting };
  template <typename StepFn>
  bool RunPhase(StepFn step);
  // Wakes a waiting exchange (condition variable and the front end's loop).
  void WakeWaiters();
  void Pass(bool mayBlock, std::uint64_t seenArrivals, std::chrono::steady_clock::time_point deadline);

  const int deviceAddress_;
  const int timeoutMs_;
  WaitClock& clock_;
  std::atomic<int> variant_{0};
  std::atomic<int> lastError_{0};
  std::atomic<bool> noWindowLock_{false};

  Bytes sendBuffer_;

  mutable std::mutex rxMutex_;
  std::condition_variable rxSignal_;
  Bytes rxBuffer_;
  std::uint64_t arrivals_ = 0;  // counts received bytes so a wait sees news
  bool closing_ = false;        // CloseTransport has begun: waits end
  bool linkLost_ = false;       // the device is gone: waits end

  // Every use of the transport and its closing hold transportMutex_, so no
  // thread sends between another's close and the "closed?" test. Destroyed
  // only with the connection, so a late exchange never meets a freed one.
  mutable std::mutex transportMutex_;
  std::unique_ptr<Transport> transport_;
  bool transportClosed_ = false;
};

}  // namespace qlmkv

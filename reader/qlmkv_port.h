// One reader connection: its transport, its framing and the request/reply
// exchange. Received bytes come in through OnReceiveChar (from a transport
// worker thread, or from Poll on the waiting thread) and wait in the receive
// buffer until the waiting thread takes the reply.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "reader/frame.h"
#include "reader/transport.h"

namespace qlmkv {

using frame::Bytes;

class CQL_MKV_Port final : public ByteSink {
 public:
  CQL_MKV_Port(int deviceAddress, int timeoutMs);
  // Closes the transport first, so that no worker thread still delivers bytes
  // into a connection that is being taken apart.
  ~CQL_MKV_Port() override;
  CQL_MKV_Port(const CQL_MKV_Port&) = delete;
  CQL_MKV_Port& operator=(const CQL_MKV_Port&) = delete;

  void AttachTransport(std::unique_ptr<Transport> transport);
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
  // the wait timed out.
  bool WaitForReply();

  // Receive buffer access, each under the receive lock.
  std::size_t ReceivedCount() const;
  std::uint8_t ReceivedAt(std::size_t index) const;  // throws std::invalid_argument
  void DropReceived(std::size_t count);
  void ClearReceived();

  void OnReceiveChar(std::uint8_t byte) override;
  void OnReceiveBytes(const std::uint8_t* data, std::size_t size) override;

 private:
  enum class Step { kDone, kProgress, kWaiting };
  template <typename StepFn>
  bool RunPhase(StepFn step);
  void Pass(bool mayBlock, std::uint64_t seenArrivals,
            std::chrono::steady_clock::time_point deadline);

  const int deviceAddress_;
  const int timeoutMs_;
  std::atomic<int> variant_{0};
  std::atomic<int> lastError_{0};
  std::atomic<bool> noWindowLock_{false};

  Bytes sendBuffer_;

  mutable std::mutex rxMutex_;
  std::condition_variable rxSignal_;
  Bytes rxBuffer_;
  std::uint64_t arrivals_ = 0;  // counts received bytes so a wait sees news

  // Closed by CloseTransport but destroyed only with the connection, so a
  // thread still inside an exchange never touches a freed transport.
  std::unique_ptr<Transport> transport_;
  std::atomic<bool> transportClosed_{false};
};

}  // namespace qlmkv

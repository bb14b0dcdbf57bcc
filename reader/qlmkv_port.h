// One reader connection: its transport, its framing and the request/reply
// exchange. Received bytes come in through OnReceiveBytes, from the
// transport's worker thread or, where the link lets it, from the waiting
// thread's own read, and wait in the receive buffer until that thread takes
// the reply.
//
// The protocol carries no sequence numbers, so a reply is tied to its command
// by the line's history: after a time-out or a reply that does not fit, the
// line is drained until it has been quiet for a guard time before the next
// frame goes out; every reply is checked against what its command allows; and
// a tag-changing command's reply is trusted only when nothing follows it
// within the guard time (always for a refusal, and for every reply shortly
// after a fault), since a late reply could stand in for it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "link/link.h"
#include "protocol/frame.h"
#include "reader/wait_clock.h"

namespace qlmkv {

using frame::Bytes;

// Where a failure came from: nothing reached the reader, the frame went out
// but no fitting reply came back, or the reader answered with a status.
enum class ErrorOrigin : int { kNone = 0, kNotSent = 1, kExchange = 2, kReader = 3 };

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
  // The last error as the calling thread left it on this connection (so a
  // caller reads its own failure whatever another thread did meanwhile); the
  // latest of any thread when the caller has none here.
  int LastError() const { return LastErrorRecord().first; }
  ErrorOrigin LastErrorOrigin() const { return LastErrorRecord().second; }
  void SetLastError(int code, ErrorOrigin origin = ErrorOrigin::kNotSent);
  // Exchanges in a row that got no fitting reply (0 after any reply).
  int UnansweredExchanges() const { return unanswered_.load(); }
  // Quiet time that separates one exchange from a late reply of the one
  // before: the reply time-out, at least 50 ms and at most one second.
  std::chrono::milliseconds GuardTime() const;

  // One exchange at a time per connection. The turn is refused (not waited
  // for) when the calling thread already holds it: a command started from an
  // event handler that a wait dispatched.
  class Turn {
   public:
    explicit Turn(CQL_MKV_Port& port);
    ~Turn();
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    bool Taken() const { return taken_; }

   private:
    CQL_MKV_Port& port_;
    bool taken_ = false;
  };
  bool NoWindowLock() const { return noWindowLock_.load(); }
  void SetNoWindowLock(bool flag) { noWindowLock_.store(flag); }

  // The common sequence of every command: code and payload into the send
  // buffer, SendCommand, ReceiveReply, then the reply's shape and, for a
  // command that changes a tag, the quiet after it. On success `data` holds
  // the reply data. Callers hold the connection's Turn.
  bool Transceive(std::uint8_t command, const Bytes& payload, Bytes& data);

  // Command code followed by payload; SendCommand turns it into the frame.
  Bytes& SendBuffer() { return sendBuffer_; }
  // Turns the send buffer into a complete frame of this connection's variant.
  void BuildFrame();
  // Sends the send buffer as a frame and waits for a complete reply, which
  // stays in the receive buffer. False with last error 8 or 4 (or 5 for a
  // payload the one-byte length field cannot carry). A line that carries
  // bytes nobody asked for, or whose last exchange failed, is drained first;
  // one that never falls quiet fails with 4 before anything is sent.
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
  using ErrorRecord = std::pair<int, ErrorOrigin>;
  enum class Step { kDone, kProgress, kWaiting };
  template <typename StepFn>
  bool RunPhase(StepFn step);
  // Wakes a waiting exchange (condition variable and the front end's loop).
  void WakeWaiters();
  void Pass(bool mayBlock, std::uint64_t seenArrivals, std::chrono::steady_clock::time_point deadline);
  // Waits for the reply by reading the link on this thread, where the
  // transport can; false when the worker's delivery is to be waited for.
  bool ReceiveHere(std::chrono::steady_clock::time_point until, const std::function<bool()>& news);
  // The wait that follows takes the link worker's delivery.
  void LetWorkerDeliver();
  ErrorRecord LastErrorRecord() const;
  // Waits until a byte arrives or `until` has come; true when one arrived.
  bool ArrivalBefore(std::chrono::steady_clock::time_point until);
  // Empties the line: true once it has been quiet for the guard time.
  bool Drain();
  // True when nothing arrives within the guard time.
  bool StaysQuiet();
  // A reply went missing or did not fit: drain before the next frame, and
  // trust tag-changing replies only after a quiet guard time for a while.
  void NoteFault();
  bool ShortlyAfterFault();
  bool Unanswered(int code);

  const int deviceAddress_;
  const int timeoutMs_;
  WaitClock& clock_;
  std::atomic<int> variant_{0};
  std::atomic<bool> noWindowLock_{false};
  std::atomic<int> unanswered_{0};

  mutable std::mutex errorMutex_;
  ErrorRecord latestError_{0, ErrorOrigin::kNone};
  std::vector<std::pair<std::thread::id, ErrorRecord>> errorsByThread_;

  std::mutex turnMutex_;
  std::atomic<std::thread::id> turnOwner_{};

  // Used only by the thread holding the turn.
  Bytes sendBuffer_;
  Bytes lastFrame_;  // as it went out, to tell an echo from a reply
  bool drainFirst_ = false;
  std::chrono::steady_clock::time_point lastFault_{};
  bool faultSeen_ = false;

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

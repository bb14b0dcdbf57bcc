// The TCP link to a reader module. A worker thread owns the socket: it
// connects, reconnects, and hands every received byte to the sink as it
// arrives. A frame goes out from the caller's thread when the socket is
// connected and takes it at once; otherwise the worker sends it (after a
// reconnect, or once the socket has room). A caller waiting for its reply
// reads the socket itself meanwhile (ReceiveHere), so an exchange needs no
// hand-over between threads; from then on the worker leaves the socket to
// the callers between exchanges too, until a wait hands it back
// (LetWorkerDeliver) or the connection ends. The worker waits in poll() on
// the socket and a wake-up that Send and Close ring, never in a sleep loop.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lan/socket_api.h"
#include "link/link.h"
#include "link/read_turn.h"

namespace qlmkv::lan {

// Bounds the connect of a link, and each reconnect after a lost connection.
constexpr auto kConnectTimeout = std::chrono::seconds(3);

class CTCPSocketThread final : public Transport {
 public:
  explicit CTCPSocketThread(ByteSink& sink);
  ~CTCPSocketThread() override;
  CTCPSocketThread(const CTCPSocketThread&) = delete;
  CTCPSocketThread& operator=(const CTCPSocketThread&) = delete;

  // Connects to "a.b.c.d" or "a.b.c.d-port" (a resolved address) from
  // `localAddress` (empty: any) and starts the worker. False when the
  // connect failed or did not finish in time; the worker has ended then.
  bool ConnectReader(const std::string& address, const std::string& localAddress);

  // Sends the frame on the caller's thread, or queues what is left of it for
  // the worker (QueueFrame).
  void Send(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds timeout) override;
  bool ReceiveHere(std::chrono::steady_clock::time_point until, const std::function<bool()>& news) override;
  void LetWorkerDeliver() override;
  bool IsUsb() const override { return false; }
  // Stops the worker and joins it; after it no byte reaches the sink.
  void Close() override;

  // The local port of the current connection (0 while none): a reconnect
  // comes from the peer's port.
  std::uint16_t LocalPort() const { return localPort_.load(); }

 private:
  using Clock = std::chrono::steady_clock;
  struct Frame {
    std::vector<std::uint8_t> bytes;
    Clock::time_point deadline;
    // The rest of a frame begun on this connection (0: any): on another
    // connection it would be garbage.
    std::uint64_t onlyOnConnection = 0;
  };

  void Run();
  // Creates, binds and connects the socket; `localPort` 0 lets the system choose.
  bool Connect(std::uint16_t localPort);
  bool ConnectOnce(std::uint16_t localPort, int& error);
  void CloseSocket();
  // The socket is connected: callers may send on it.
  void OpenForCallers();
  // Closes a socket a caller's send found broken.
  void CloseIfBroken();
  // Waits for `events` on the socket until `deadline`; false on stop or time-out.
  bool WaitSocket(short events, Clock::time_point deadline);
  void SendFrame(const Frame& frame);
  void ReadAvailable();
  // Reads what waits on `socket` into the sink; false when the connection
  // was closed by the reader or broke.
  bool ReadInto(SocketHandle socket);
  // The socket cannot be used any more: callers stop using it, and the
  // worker closes it.
  void MarkBroken();
  bool PauseUnlessStopped(std::chrono::milliseconds pause);
  void Wake();
  void DrainWake();

  ByteSink& sink_;
  std::string peerAddress_;
  std::uint16_t peerPort_ = 0;
  std::string localAddress_;

  WakeSignal wake_;
  // Cuts short the wait of a caller reading the socket when the worker
  // closes it.
  WakeSignal callerWake_;
  ReadTurn readTurn_;
  SocketHandle fd_ = kNoSocket;  // the worker's alone once it runs
  std::atomic<bool> stop_{false};
  std::atomic<std::uint16_t> localPort_{0};

  // The write lock: guards the queue and the callers' view of the socket.
  // Callers send under it without waiting, so the worker cannot close the
  // socket under them.
  std::mutex sendLock_;
  std::deque<Frame> sendQueue_;
  SocketHandle sendFd_ = kNoSocket;  // the connected socket, kNoSocket while there is none
  std::uint64_t connection_ = 0;     // counts connections made
  bool workerSending_ = false;       // a frame taken off the queue is under way
  bool broken_ = false;              // a caller's send failed: the worker closes the socket

  std::mutex startLock_;
  std::condition_variable startSignal_;
  bool started_ = false;
  bool connected_ = false;

  std::thread worker_;
};

}  // namespace qlmkv::lan

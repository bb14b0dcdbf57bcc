#include "lan/tcp_link.h"

#include <cerrno>

#include "lan/address_text.h"

namespace qlmkv::lan {

namespace {

constexpr int kConnectAttempts = 6;
constexpr auto kRetryPause = std::chrono::milliseconds(200);
// The worker reports its first connect within the connect time-out; this
// margin covers a slow thread start.
constexpr auto kStartMargin = std::chrono::seconds(2);
constexpr std::size_t kReadChunk = 513;

int PollMs(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(left.count());
}

}  // namespace

CTCPSocketThread::CTCPSocketThread(ByteSink& sink) : sink_(sink) {}

CTCPSocketThread::~CTCPSocketThread() { Close(); }

bool CTCPSocketThread::ConnectReader(const std::string& address, const std::string& localAddress) {
  const auto peer = SplitPort(address);
  if (!peer || !ParseIpv4(peer->host) || !wake_.IsOpen() || !callerWake_.IsOpen() || worker_.joinable()) return false;
  peerAddress_ = peer->host;
  peerPort_ = peer->port;
  localAddress_ = localAddress;
  stop_ = false;
  {
    std::lock_guard lock(startLock_);
    started_ = connected_ = false;
  }
  worker_ = std::thread([this] { Run(); });

  bool connected = false;
  {
    std::unique_lock lock(startLock_);
    if (startSignal_.wait_for(lock, kConnectTimeout * kConnectAttempts + kStartMargin, [this] { return started_; }))
      connected = connected_;
  }
  if (!connected) Close();
  return connected;
}

void CTCPSocketThread::Send(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds timeout) {
  if (data == nullptr || size == 0) return;
  // No time-out given: the frame may wait as long as a reconnect takes.
  const auto bound = timeout.count() > 0 ? timeout : std::chrono::milliseconds(kConnectTimeout);
  {
    std::lock_guard lock(sendLock_);
    std::size_t done = 0;
    bool failed = false;
    // Behind a queued frame or one under way this one waits its turn.
    if (sendFd_ != kNoSocket && sendQueue_.empty() && !workerSending_) {
      while (done < size) {
        const long n = SendSome(sendFd_, data + done, size - done);
        const int error = n < 0 ? LastSocketError() : 0;
        if (n > 0) {
          done += static_cast<std::size_t>(n);
        } else if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) {
          break;
        } else {
          // A broken connection: the frame is lost, as when the worker
          // meets it; the worker closes the socket and the next frame reconnects.
          broken_ = true;
          sendFd_ = kNoSocket;
          failed = true;
          break;
        }
      }
      if (done == size) return;
    }
    if (!failed) {
      sendQueue_.push_back(
          {std::vector<std::uint8_t>(data + done, data + size), Clock::now() + bound, done > 0 ? connection_ : 0});
    }
  }
  Wake();
}

bool CTCPSocketThread::ReceiveHere(Clock::time_point until, const std::function<bool()>& news) {
  if (!readTurn_.TakeForCaller()) return false;
  SocketHandle socket;
  {
    std::lock_guard lock(sendLock_);
    socket = sendFd_;
  }
  bool usable = socket != kNoSocket;
  if (usable && !news()) {
    pollfd fds[2] = {{socket, POLLIN, 0}, {callerWake_.Handle(), POLLIN, 0}};
    const int ready = PollSockets(fds, 2, PollMs(until));
    if (ready > 0 && fds[0].revents != 0 && !ReadInto(socket)) {
      MarkBroken();
      usable = false;
    }
  }
  if (readTurn_.ReturnFromCaller(usable)) Wake();
  return usable;
}

void CTCPSocketThread::LetWorkerDeliver() {
  if (readTurn_.HandToWorker()) Wake();
}

void CTCPSocketThread::MarkBroken() {
  {
    std::lock_guard lock(sendLock_);
    broken_ = true;
    sendFd_ = kNoSocket;
  }
  Wake();
}

void CTCPSocketThread::Close() {
  if (!worker_.joinable()) return;
  stop_ = true;
  Wake();
  worker_.join();
  std::lock_guard lock(sendLock_);
  sendQueue_.clear();
}

void CTCPSocketThread::Wake() { wake_.Ring(); }

void CTCPSocketThread::DrainWake() { wake_.Drain(); }

void CTCPSocketThread::Run() {
  const bool connected = Connect(0);
  {
    std::lock_guard lock(startLock_);
    started_ = true;
    connected_ = connected;
  }
  startSignal_.notify_all();
  if (!connected) return;

  while (!stop_) {
    pollfd fds[2] = {{wake_.Handle(), POLLIN, 0}, {fd_, POLLIN, 0}};
    // A lost connection leaves only the wake-up to wait for: the next frame
    // reconnects. While callers read the socket, the worker is woken when
    // the socket is handed back to it.
    const std::size_t count = fd_ != kNoSocket && readTurn_.WorkerMayWatch() ? 2 : 1;
    if (PollSockets(fds, count, -1) < 0 && LastSocketError() != EINTR) break;
    if (fds[0].revents & POLLIN) DrainWake();
    if (stop_) break;
    CloseIfBroken();
    if (count == 2 && fd_ != kNoSocket && fds[1].revents != 0) ReadAvailable();
    for (;;) {
      Frame frame;
      {
        std::lock_guard lock(sendLock_);
        if (sendQueue_.empty()) break;
        frame = std::move(sendQueue_.front());
        sendQueue_.pop_front();
        workerSending_ = true;
      }
      SendFrame(frame);
      {
        std::lock_guard lock(sendLock_);
        workerSending_ = false;
      }
      if (stop_) break;
    }
  }
  CloseSocket();
}

void CTCPSocketThread::CloseIfBroken() {
  bool broken;
  {
    std::lock_guard lock(sendLock_);
    broken = broken_;
    broken_ = false;
  }
  if (broken) CloseSocket();
}

void CTCPSocketThread::ReadAvailable() {
  if (!readTurn_.TryTakeForWorker()) return;
  const bool open = ReadInto(fd_);
  readTurn_.ReturnFromWorker();
  if (!open) CloseSocket();
}

bool CTCPSocketThread::ReadInto(SocketHandle socket) {
  std::uint8_t buffer[kReadChunk];
  const long n = ReceiveSome(socket, buffer, sizeof buffer);
  const int error = n < 0 ? LastSocketError() : 0;
  if (n > 0) {
    sink_.OnReceiveBytes(buffer, static_cast<std::size_t>(n));
    return true;
  }
  // The reader closed the connection, or it broke.
  return n < 0 && (error == EAGAIN || error == EWOULDBLOCK);
}

void CTCPSocketThread::SendFrame(const Frame& frame) {
  CloseIfBroken();
  if (frame.onlyOnConnection != 0 && (fd_ == kNoSocket || frame.onlyOnConnection != connection_)) return;
  // After a lost connection the reader expects its peer back on its own port.
  if (fd_ == kNoSocket && !Connect(peerPort_)) return;
  // A frame whose exchange has already given up would only earn a stale reply.
  if (Clock::now() > frame.deadline) return;
  std::size_t done = 0;
  while (done < frame.bytes.size()) {
    const long n = SendSome(fd_, frame.bytes.data() + done, frame.bytes.size() - done);
    const int error = n < 0 ? LastSocketError() : 0;
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && (error == EAGAIN || error == EWOULDBLOCK)) {
      if (!WaitSocket(POLLOUT, frame.deadline)) return;
    } else {
      CloseSocket();
      return;
    }
  }
}

bool CTCPSocketThread::Connect(std::uint16_t localPort) {
  for (int attempt = 0; attempt < kConnectAttempts && !stop_; ++attempt) {
    int error = 0;
    if (ConnectOnce(localPort, error)) return true;
    // Only a socket that could not be made or an address still in use is
    // worth another try; a refusal or a time-out is final.
    const bool retry = error == EADDRINUSE || error == EADDRNOTAVAIL || error == EMFILE || error == ENFILE ||
                       error == ENOBUFS || error == ENOMEM;
    if (!retry || !PauseUnlessStopped(kRetryPause)) return false;
  }
  return false;
}

bool CTCPSocketThread::ConnectOnce(std::uint16_t localPort, int& error) {
  fd_ = OpenSocket(SOCK_STREAM);
  if (fd_ == kNoSocket) return error = LastSocketError(), false;
  SetSocketOption(fd_, SOL_SOCKET, SO_REUSEADDR, 1);
  // Frames are small and each waits for its reply: no coalescing delay.
  SetSocketOption(fd_, IPPROTO_TCP, TCP_NODELAY, 1);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(localPort);
  if (const auto address = ParseIpv4(localAddress_)) local.sin_addr = *address;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(peerPort_);
  peer.sin_addr = *ParseIpv4(peerAddress_);
  error = 0;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    error = LastSocketError();
  } else if (::connect(fd_, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    // A non-blocking connect under way: EINPROGRESS on Linux, EWOULDBLOCK on Windows.
    const int pending = LastSocketError();
    if (pending != EINPROGRESS && pending != EWOULDBLOCK) {
      error = pending;
    } else if (!WaitSocket(POLLOUT, Clock::now() + kConnectTimeout)) {
      error = ETIMEDOUT;
    } else {
      socklen_t size = sizeof error;
      if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
        error = LastSocketError();
    }
  }
  sockaddr_in bound{};
  socklen_t size = sizeof bound;
  if (error == 0 && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &size) == 0) {
    localPort_ = ntohs(bound.sin_port);
    // A reader on this very host that is gone leaves its port free, and a
    // reconnect from that port to itself connects the socket to itself: it
    // would echo every frame as if it were the reply.
    if (bound.sin_port == peer.sin_port && bound.sin_addr.s_addr == peer.sin_addr.s_addr) error = ECONNREFUSED;
  }
  if (error != 0) {
    CloseSocket();
    return false;
  }
  OpenForCallers();
  return true;
}

void CTCPSocketThread::OpenForCallers() {
  {
    std::lock_guard lock(sendLock_);
    sendFd_ = fd_;
    ++connection_;
    broken_ = false;
  }
  callerWake_.Drain();
  readTurn_.OpenToCallers();
}

bool CTCPSocketThread::WaitSocket(short events, Clock::time_point deadline) {
  for (;;) {
    if (stop_) return false;
    pollfd fds[2] = {{fd_, events, 0}, {wake_.Handle(), POLLIN, 0}};
    const int ready = PollSockets(fds, 2, PollMs(deadline));
    if (ready < 0 && LastSocketError() == EINTR) continue;
    if (ready <= 0) return false;
    // Wake-ups for new frames wait in the queue; only a stop ends this wait.
    if (fds[1].revents & POLLIN) DrainWake();
    if (fds[0].revents != 0) return true;
  }
}

bool CTCPSocketThread::PauseUnlessStopped(std::chrono::milliseconds pause) {
  const auto deadline = Clock::now() + pause;
  while (!stop_) {
    pollfd wake{wake_.Handle(), POLLIN, 0};
    const int ready = PollSockets(&wake, 1, PollMs(deadline));
    if (ready == 0) return true;
    if (ready > 0) DrainWake();
  }
  return false;
}

void CTCPSocketThread::CloseSocket() {
  // A caller reading the socket leaves it first.
  readTurn_.CloseToCallers([this] { callerWake_.Ring(); });
  {
    // No caller sends on it from now on, and none is sending now.
    std::lock_guard lock(sendLock_);
    sendFd_ = kNoSocket;
  }
  lan::CloseSocket(fd_);
  fd_ = kNoSocket;
  localPort_ = 0;
}

}  // namespace qlmkv::lan

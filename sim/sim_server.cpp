#include "sim/sim_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "sim/listen_sockets.h"
#include "sim/write_journal.h"

namespace mkvsim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMaxControlLine = 4096;
// How long a reply may wait for a host that does not read before it is dropped.
constexpr int kSendStallMs = 200;
// A timer wakes this process some tens of microseconds late, as much as a
// paced line's character takes: the loop sleeps until this long before a
// reply is due and waits out the rest awake.
constexpr std::chrono::microseconds kTimerLateness{60};
// The due time of a reply held until the control channel releases it.
constexpr Clock::time_point kHeld = Clock::time_point::max();

}  // namespace

SimServer::SimServer(SimReader& reader, const ServerOptions& options)
    : reader_(reader), options_(options), control_(reader), line_(options.chipWritePer32Bits) {
  line_.Pace(options_.pace);
  try {
    if (options_.pty) pty_ = std::make_unique<PtyEndpoint>(options_.linkPath);
    if (options_.lan) {
      lan_ = std::make_unique<LanService>(*options_.lan, options_.quiet);
      if (options_.tcpPort) lan_->Module().SetPort(*options_.tcpPort);
      ListenReaderChannel();
    } else if (options_.tcpPort) {
      tcpListen_ = ListenLoopbackTcp(*options_.tcpPort);
    }
    if (!options_.controlPath.empty()) controlListen_ = ListenUnix(options_.controlPath);
  } catch (...) {
    if (tcpListen_ >= 0) ::close(tcpListen_);
    throw;
  }
}

SimServer::~SimServer() {
  for (const Client& client : clients_) ::close(client.fd);
  if (tcpListen_ >= 0) ::close(tcpListen_);
  if (controlListen_ >= 0) {
    ::close(controlListen_);
    ::unlink(options_.controlPath.c_str());
  }
}

// A module listens on the port of its record, on every address it has.
void SimServer::ListenReaderChannel() {
  if (tcpListen_ >= 0) ::close(tcpListen_);
  tcpListen_ = -1;
  tcpListen_ = ListenAnyTcp(lan_->Module().Port());
  lan_->Module().SetPort(BoundPort(tcpListen_));
}

void SimServer::CloseHostClients() {
  for (std::size_t i = clients_.size(); i-- > 0;)
    if (clients_[i].kind == Kind::kHost) CloseClient(i);
}

std::string SimServer::LanControl(const std::string& arguments) {
  if (!lan_) return "ERR not a LAN module (start with --lan)";
  if (arguments == "close") {
    closeHosts_ = true;
    return "OK";
  }
  if (arguments == "clients") {
    // Where each reader link comes from: a reconnect uses the reader's port.
    std::string answer = "OK";
    for (const Client& client : clients_) {
      if (client.kind != Kind::kHost) continue;
      sockaddr_in peer{};
      socklen_t size = sizeof peer;
      if (::getpeername(client.fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) continue;
      char text[INET_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
      answer += " " + std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
    }
    return answer;
  }
  return lan_->Module().Control(arguments);
}

std::uint16_t SimServer::TcpPort() const { return tcpListen_ >= 0 ? BoundPort(tcpListen_) : 0; }

void SimServer::Log(const char* direction, const std::uint8_t* data, std::size_t size) const {
  if (options_.quiet || size == 0) return;
  std::fprintf(stderr, "%s %s\n", direction, ToHex(Bytes(data, data + size)).c_str());
}

void SimServer::Send(int fd, const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd pfd{fd, POLLOUT, 0};
      if (::poll(&pfd, 1, kSendStallMs) > 0) continue;
    }
    // The host is gone or stopped reading: like a serial line, the rest is lost.
    return;
  }
}

void SimServer::ServeHostBytes(int fd) {
  std::uint8_t buffer[4096];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n <= 0) return;
  Log("rx", buffer, static_cast<std::size_t>(n));
  // The reader acts on the request at once; only its reply waits until the
  // request would have crossed a paced line (one timer per exchange, not two).
  const Clock::time_point arrived = line_.Receive(static_cast<std::size_t>(n), Clock::now());
  FeedReader(fd, Bytes(buffer, buffer + n), arrived);
}

void SimServer::FeedReader(int fd, const Bytes& bytes, Clock::time_point arrived) {
  // Bytes from another connection than before: whatever half request is pending is not theirs.
  if (fd != lastHostFd_) reader_.ResetInput();
  lastHostFd_ = fd;
  // A module in another mode passes nothing to the reader.
  if (lan_ && fd != (pty_ ? pty_->MasterFd() : -1) && !lan_->Module().PassesReaderTraffic()) return;
  TimedReply reply = reader_.FeedTimed(bytes.data(), bytes.size());
  const Clock::time_point due = line_.Reply(reply.bytes.size(), reply.chipBytes, arrived, reply.delay);
  if (reply.bytes.empty()) return;
  Log("tx", reply.bytes.data(), reply.bytes.size());
  if (holding_) {
    outgoing_.push_back({fd, std::move(reply.bytes), kHeld});
  } else if (due > Clock::now()) {
    outgoing_.push_back({fd, std::move(reply.bytes), due});
  } else {
    Send(fd, reply.bytes);
  }
}

std::string SimServer::Answer(const std::string& line) {
  if (line.rfind("lan ", 0) == 0) return LanControl(line.substr(4));
  // The line's pace and account belong to the link, not to the reader.
  const std::size_t blank = line.find(' ');
  const std::string verb = line.substr(0, blank);
  if (verb == "pace" || verb == "wire") {
    const std::size_t start = blank == std::string::npos ? line.size() : line.find_first_not_of(' ', blank);
    return line_.Control(verb, start == std::string::npos ? std::string() : line.substr(start));
  }
  if (line == "hold" || line == "release") return HoldReplies(line == "hold");
  return control_.Handle(line);
}

bool SimServer::ServeControl(Client& client) {
  char buffer[1024];
  const ssize_t n = ::read(client.fd, buffer, sizeof buffer);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
  if (n < 0) return true;
  client.lineBuffer.append(buffer, static_cast<std::size_t>(n));
  std::size_t end;
  while ((end = client.lineBuffer.find('\n')) != std::string::npos) {
    std::string line = client.lineBuffer.substr(0, end);
    client.lineBuffer.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string answer = Answer(line) + "\n";
    Send(client.fd, Bytes(answer.begin(), answer.end()));
  }
  return client.lineBuffer.size() <= kMaxControlLine;
}

void SimServer::CloseClient(std::size_t index) {
  const int fd = clients_[index].fd;
  outgoing_.erase(std::remove_if(outgoing_.begin(), outgoing_.end(), [fd](const Outgoing& o) { return o.fd == fd; }),
                  outgoing_.end());
  if (lastHostFd_ == fd) lastHostFd_ = -1;
  ::close(fd);
  clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(index));
}

void SimServer::SendDue() {
  const Clock::time_point now = Clock::now();
  std::vector<Outgoing> due;
  for (auto it = outgoing_.begin(); it != outgoing_.end();) {
    if (it->due <= now) {
      due.push_back(std::move(*it));
      it = outgoing_.erase(it);
    } else {
      ++it;
    }
  }
  for (const Outgoing& o : due) Send(o.fd, o.bytes);
}

void SimServer::AwaitDueSoon() const {
  const std::optional<std::chrono::nanoseconds> wait = TimeToNextDue();
  if (!wait || *wait > kTimerLateness) return;
  const Clock::time_point due = Clock::now() + *wait;
  while (Clock::now() < due) {
  }
}

std::optional<std::chrono::nanoseconds> SimServer::TimeToNextDue() const {
  Clock::time_point first = kHeld;
  for (const Outgoing& o : outgoing_) first = std::min(first, o.due);
  if (first == kHeld) return std::nullopt;
  return std::max(first - Clock::now(), Clock::duration::zero());
}

std::string SimServer::HoldReplies(bool hold) {
  holding_ = hold;
  int held = 0;
  for (Outgoing& o : outgoing_) {
    if (o.due != kHeld) continue;
    ++held;
    if (!hold) o.due = Clock::now();
  }
  return "OK " + std::to_string(held);
}

void SimServer::Run(int stopFd) {
  while (!control_.QuitRequested()) {
    std::vector<pollfd> fds;
    fds.push_back({stopFd, POLLIN, 0});
    const int masterFd = pty_ ? pty_->MasterFd() : -1;
    fds.push_back({masterFd, POLLIN, 0});
    fds.push_back({tcpListen_, POLLIN, 0});
    fds.push_back({controlListen_, POLLIN, 0});
    fds.push_back({lan_ ? lan_->Fd() : -1, POLLIN, 0});
    constexpr std::size_t kFirstClient = 5;
    for (const Client& client : clients_) fds.push_back({client.fd, POLLIN, 0});

    // To the microsecond: a paced line's characters take well under a millisecond.
    const std::optional<std::chrono::nanoseconds> wait = TimeToNextDue();
    timespec timeout{};
    if (wait && *wait > kTimerLateness) {
      const std::chrono::nanoseconds asleep = *wait - kTimerLateness;
      timeout.tv_sec = static_cast<time_t>(asleep.count() / 1'000'000'000);
      timeout.tv_nsec = static_cast<long>(asleep.count() % 1'000'000'000);
    }
    if (::ppoll(fds.data(), fds.size(), wait ? &timeout : nullptr, nullptr) < 0) {
      if (errno == EINTR) continue;
      std::perror("mkv-sim: poll");
      return;
    }
    if (fds[0].revents != 0) return;
    AwaitDueSoon();
    SendDue();
    if (fds[1].revents & POLLIN) ServeHostBytes(masterFd);
    if (fds[2].revents & POLLIN) {
      const int fd = AcceptClient(tcpListen_);
      if (fd >= 0) clients_.push_back({fd, Kind::kHost, {}});
    }
    if (fds[3].revents & POLLIN) {
      const int fd = AcceptClient(controlListen_);
      if (fd >= 0) clients_.push_back({fd, Kind::kControl, {}});
    }
    const bool restarted = (fds[4].revents & POLLIN) && lan_->Serve();
    // Walk backwards so closing a client does not shift the ones still to visit.
    for (std::size_t i = fds.size(); i-- > kFirstClient;) {
      const short events = fds[i].revents;
      if (events == 0) continue;
      const std::size_t index = i - kFirstClient;
      Client& client = clients_[index];
      bool alive = true;
      if (client.kind == Kind::kControl) {
        alive = ServeControl(client);
      } else if (events & POLLIN) {
        char probe;
        // A readable socket with nothing in it has been closed by the host.
        alive = ::recv(client.fd, &probe, 1, MSG_PEEK) > 0;
        if (alive) ServeHostBytes(client.fd);
      } else {
        alive = false;
      }
      if (!alive) CloseClient(index);
    }
    // Only now that no index into the clients is in use.
    if (closeHosts_ || restarted) CloseHostClients();
    closeHosts_ = false;
    // A restart opens the reader channel anew, on the record's port; a port
    // that cannot be had leaves the module without one, as a real module would be.
    if (restarted) {
      try {
        ListenReaderChannel();
      } catch (const std::exception& e) {
        std::fprintf(stderr, "mkv-sim: reader channel: %s\n", e.what());
      }
    }
  }
}

}  // namespace mkvsim

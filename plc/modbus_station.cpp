#include "plc/modbus_station.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace stampwise::plc {
namespace {

// The MBAP header: transaction (2), protocol 0 (2), length (2), unit (1); the
// length counts the unit and the PDU.
constexpr std::size_t kHeader = 7;
constexpr int kMaxLength = MODBUS_TCP_MAX_ADU_LENGTH - 6;

constexpr std::uint8_t kWriteCoil = 0x05;
constexpr std::uint8_t kWriteRegister = 0x06;
constexpr std::uint8_t kWriteCoils = 0x0F;
constexpr std::uint8_t kWriteRegisters = 0x10;
constexpr std::uint8_t kMaskWriteRegister = 0x16;
constexpr std::uint8_t kWriteAndReadRegisters = 0x17;

int Word(const std::uint8_t* at) { return at[0] << 8 | at[1]; }

std::optional<int> Port(const std::string& text) {
  int port = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, port);
  if (text.empty() || error != std::errc() || stop != end || port < 0 || port > 65535) return std::nullopt;
  return port;
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(const std::string& text) {
  ListenAddress address;
  const std::size_t colon = text.rfind(':');
  if (colon != std::string::npos && colon > 0) {
    address.host = text.substr(0, colon);
    in_addr parsed{};
    if (inet_pton(AF_INET, address.host.c_str(), &parsed) != 1) return std::nullopt;
  }
  const std::optional<int> port = Port(colon == std::string::npos ? text : text.substr(colon + 1));
  if (!port) return std::nullopt;
  address.port = *port;
  return address;
}

ModbusStation::ModbusStation(Station& station) : station_(station) {
  mapping_ = modbus_mapping_new_start_address(0, 1, 0, station::kInputCount, 0, station::kHoldingCount, 0,
                                              station::kRegisterCount);
  if (mapping_ == nullptr) throw std::runtime_error("no memory for the Modbus registers");
}

ModbusStation::~ModbusStation() {
  while (!clients_.empty()) CloseClient(clients_.size() - 1);
  if (listenFd_ >= 0) ::close(listenFd_);
  if (context_ != nullptr) modbus_free(context_);
  modbus_mapping_free(mapping_);
}

std::optional<std::string> ModbusStation::Listen(const ListenAddress& address) {
  context_ = modbus_new_tcp(address.host.c_str(), address.port);
  if (context_ == nullptr) return std::string(std::strerror(errno));
  listenFd_ = modbus_tcp_listen(context_, static_cast<int>(kMaxClients));
  if (listenFd_ < 0) return std::string(std::strerror(errno));
  ::fcntl(listenFd_, F_SETFL, ::fcntl(listenFd_, F_GETFL) | O_NONBLOCK);
  ::fcntl(listenFd_, F_SETFD, FD_CLOEXEC);
  sockaddr_in bound{};
  socklen_t size = sizeof bound;
  bound_ = address;
  if (::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &size) == 0) bound_.port = ntohs(bound.sin_port);
  return std::nullopt;
}

void ModbusStation::Serve(int stopFd) {
  std::vector<pollfd> fds;
  for (;;) {
    fds.assign({{stopFd, POLLIN, 0}, {listenFd_, POLLIN, 0}});
    for (const Client& client : clients_) fds.push_back({client.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) return;
    // Back to front, so that closing a client leaves the others' places.
    for (std::size_t i = clients_.size(); i-- > 0;) {
      if (fds[i + 2].revents != 0 && !Receive(clients_[i])) CloseClient(i);
    }
    if ((fds[1].revents & POLLIN) != 0) Accept();
  }
}

void ModbusStation::Accept() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    // Replies go out at once: a PLC waits for each.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (clients_.size() >= kMaxClients) {
      const auto quietest = std::min_element(
          clients_.begin(), clients_.end(), [](const Client& a, const Client& b) { return a.lastHeard < b.lastHeard; });
      CloseClient(static_cast<std::size_t>(quietest - clients_.begin()));
    }
    clients_.push_back(Client{fd, {}, std::chrono::steady_clock::now()});
    if (clientsChanged_) clientsChanged_(static_cast<int>(clients_.size()));
  }
}

void ModbusStation::CloseClient(std::size_t index) {
  ::close(clients_[index].fd);
  clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(index));
  if (clientsChanged_) clientsChanged_(static_cast<int>(clients_.size()));
}

bool ModbusStation::Receive(Client& client) {
  std::uint8_t chunk[MODBUS_TCP_MAX_ADU_LENGTH];
  const ssize_t n = ::recv(client.fd, chunk, sizeof chunk, 0);
  if (n == 0) return false;
  if (n < 0) return errno == EAGAIN || errno == EINTR;
  client.lastHeard = std::chrono::steady_clock::now();
  client.pending.insert(client.pending.end(), chunk, chunk + n);
  while (client.pending.size() >= kHeader) {
    const std::uint8_t* head = client.pending.data();
    const int length = Word(head + 4);
    // Not Modbus: nothing after it can be trusted to start a request.
    if (Word(head + 2) != 0 || length < 2 || length > kMaxLength) return false;
    const std::size_t total = 6 + static_cast<std::size_t>(length);
    if (client.pending.size() < total) break;
    // libmodbus reads a request's fields where they should be: past a short
    // request it finds zeros, never another request's bytes.
    std::array<std::uint8_t, MODBUS_TCP_MAX_ADU_LENGTH> request{};
    std::copy_n(client.pending.begin(), total, request.begin());
    client.pending.erase(client.pending.begin(), client.pending.begin() + static_cast<std::ptrdiff_t>(total));
    if (!Answer(client.fd, request.data(), static_cast<int>(total))) return false;
  }
  return true;
}

bool ModbusStation::Answer(int fd, const std::uint8_t* request, int length) {
  modbus_set_socket(context_, fd);
  const std::uint8_t function = request[kHeader];
  const int pduLength = length - static_cast<int>(kHeader);
  int rc = 0;
  if (function == kWriteCoil && Word(request + kHeader + 1) == station::kTriggerCoil) {
    const int value = Word(request + kHeader + 3);
    if (pduLength != 5 || (value != 0xFF00 && value != 0)) {
      rc = modbus_reply_exception(context_, request, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
    } else {
      return AnswerCoilWrite(request, length, value == 0xFF00 ? 1 : 0);
    }
  } else if (function == kWriteCoils && Word(request + kHeader + 1) == station::kTriggerCoil &&
             Word(request + kHeader + 3) == 1) {
    // One coil, one byte of bits.
    if (pduLength != 7 || request[kHeader + 5] != 1) {
      rc = modbus_reply_exception(context_, request, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
    } else {
      return AnswerCoilWrite(request, length, request[kHeader + 6] & 1);
    }
  } else if (function == kWriteRegister || function == kWriteRegisters || function == kMaskWriteRegister ||
             function == kWriteAndReadRegisters) {
    // The job is set on the station, never over the wire.
    rc = modbus_reply_exception(context_, request, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
  } else {
    const StationImage image = station_.Image();
    mapping_->tab_bits[0] = image.trigger ? 1 : 0;
    for (int i = 0; i < station::kInputCount; ++i) mapping_->tab_input_bits[i] = image.inputs[i] ? 1 : 0;
    std::copy(image.registers.begin(), image.registers.end(), mapping_->tab_input_registers);
    mapping_->tab_registers[0] = 0;
    rc = modbus_reply(context_, request, length, mapping_);
  }
  return rc >= 0;
}

// A 1 starts an attempt unless one runs (busy) or the station is not ready
// (server failure); a 0 changes nothing, and is refused while the coil is
// the running attempt's.
bool ModbusStation::AnswerCoilWrite(const std::uint8_t* request, int length, int value) {
  Station::Trigger outcome = Station::Trigger::kAccepted;
  if (value == 1) {
    outcome = station_.Fire();
  } else if (station_.Image().trigger) {
    outcome = Station::Trigger::kBusy;
  }
  int rc = 0;
  switch (outcome) {
    case Station::Trigger::kAccepted:
      // An acknowledgement echoes the request; the coil itself is the station's.
      mapping_->tab_bits[0] = static_cast<std::uint8_t>(value);
      rc = modbus_reply(context_, request, length, mapping_);
      break;
    case Station::Trigger::kBusy:
      rc = modbus_reply_exception(context_, request, MODBUS_EXCEPTION_SLAVE_OR_SERVER_BUSY);
      break;
    case Station::Trigger::kNotReady:
      rc = modbus_reply_exception(context_, request, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
      break;
  }
  return rc >= 0;
}

}  // namespace stampwise::plc

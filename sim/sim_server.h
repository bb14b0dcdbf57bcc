// mkv-sim's event loop: serves the simulated reader on a pseudo-terminal and
// on loopback TCP, and the text control channel on a Unix socket. One thread,
// one poll(); delayed replies wait in a queue ordered by due time.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/control_interpreter.h"
#include "sim/lan_service.h"
#include "sim/pty_endpoint.h"
#include "sim/sim_reader.h"

namespace mkvsim {

struct ServerOptions {
  bool pty = false;
  std::string linkPath;
  std::optional<std::uint16_t> tcpPort;  // 0 picks a free port
  std::string controlPath;
  bool quiet = false;
  // A LAN module: the reader channel on every local address at the record's
  // port (tcpPort, when given, sets it), and the module's datagram service.
  std::optional<LanServiceOptions> lan;
};

class SimServer {
 public:
  // Opens every endpoint; throws std::runtime_error when one cannot be opened.
  SimServer(SimReader& reader, const ServerOptions& options);
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  std::string PtyPath() const { return pty_ ? pty_->SlavePath() : std::string(); }
  std::uint16_t TcpPort() const;

  // Serves until `stopFd` becomes readable or the control channel says quit.
  void Run(int stopFd);

 private:
  enum class Kind { kHost, kControl };
  struct Client {
    int fd;
    Kind kind;
    std::string lineBuffer;
  };
  struct Outgoing {
    int fd;
    Bytes bytes;
    std::chrono::steady_clock::time_point due;
  };

  void ServeHostBytes(int fd);
  void ListenReaderChannel();
  void CloseHostClients();
  // Answers "lan ..." control lines.
  std::string LanControl(const std::string& arguments);
  // False when the control client is gone.
  bool ServeControl(Client& client);
  void Send(int fd, const Bytes& bytes);
  void SendDue();
  void CloseClient(std::size_t index);
  int PollTimeoutMs() const;
  void Log(const char* direction, const std::uint8_t* data, std::size_t size) const;

  SimReader& reader_;
  ServerOptions options_;
  ControlInterpreter control_;
  std::unique_ptr<PtyEndpoint> pty_;
  std::unique_ptr<LanService> lan_;
  int tcpListen_ = -1;
  int controlListen_ = -1;
  std::vector<Client> clients_;
  std::vector<Outgoing> outgoing_;
  int lastHostFd_ = -1;
  bool closeHosts_ = false;
};

}  // namespace mkvsim

// mkv-sim's event loop: serves the simulated reader on a pseudo-terminal and
// on loopback TCP, and the text control channel on a Unix socket. One thread,
// one poll(); replies not yet due (held back, or still crossing a paced line)
// wait in a queue ordered by due time.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/control_interpreter.h"
#include "sim/lan_service.h"
#include "sim/paced_line.h"
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
  // The host's line paced like a real one (none: memory speed), and the
  // chips' write time while it is.
  std::optional<LineFormat> pace;
  std::chrono::microseconds chipWritePer32Bits = PacedLine::kTypicalChipWrite;
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
  // Hands the bytes to the reader and sends its reply, or queues it until due.
  void FeedReader(int fd, const Bytes& bytes, std::chrono::steady_clock::time_point arrived);
  void ListenReaderChannel();
  void CloseHostClients();
  // Answers one control line.
  std::string Answer(const std::string& line);
  // Answers "lan ..." control lines.
  std::string LanControl(const std::string& arguments);
  // "hold": every reply waits from now on until "release" sends them all at
  // once; either answers how many wait. A test holds an exchange open for as
  // long as it needs, without a clock.
  std::string HoldReplies(bool hold);
  // False when the control client is gone.
  bool ServeControl(Client& client);
  void Send(int fd, const Bytes& bytes);
  void SendDue();
  void CloseClient(std::size_t index);
  // Until the next reply is due; nothing while none waits.
  std::optional<std::chrono::nanoseconds> TimeToNextDue() const;
  // Waits awake for a reply due within a timer's lateness.
  void AwaitDueSoon() const;
  void Log(const char* direction, const std::uint8_t* data, std::size_t size) const;

  SimReader& reader_;
  ServerOptions options_;
  ControlInterpreter control_;
  std::unique_ptr<PtyEndpoint> pty_;
  std::unique_ptr<LanService> lan_;
  int tcpListen_ = -1;
  int controlListen_ = -1;
  PacedLine line_;
  std::vector<Client> clients_;
  std::vector<Outgoing> outgoing_;
  int lastHostFd_ = -1;
  bool closeHosts_ = false;
  bool holding_ = false;
};

}  // namespace mkvsim

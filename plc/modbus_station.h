// The station's Modbus TCP server (libmodbus): serves the register image of a
// Station to any number of clients from one thread, and turns a write of 1 to
// coil 0 into a trigger. Each client's bytes are gathered without blocking and
// only whole requests are answered, so a client that never speaks, speaks
// slowly or sends garbage holds up nobody; garbage ends its connection.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/station/station.h"

typedef struct _modbus modbus_t;
typedef struct _modbus_mapping_t modbus_mapping_t;

namespace stampwise::plc {

struct ListenAddress {
  std::string host = "127.0.0.1";  // Modbus has no authentication: loopback unless chosen
  int port = 1502;
  std::string Text() const { return host + ":" + std::to_string(port); }
};

// "PORT", ":PORT" or "ADDRESS:PORT" (a dotted IPv4 address; port 0 takes any
// free one). Nothing for anything else.
std::optional<ListenAddress> ParseListenAddress(const std::string& text);

class ModbusStation {
 public:
  // Clients served at once; one more replaces the one silent the longest.
  static constexpr std::size_t kMaxClients = 16;

  explicit ModbusStation(Station& station);
  ~ModbusStation();
  ModbusStation(const ModbusStation&) = delete;
  ModbusStation& operator=(const ModbusStation&) = delete;

  // Binds and listens; the system's reason when that fails.
  std::optional<std::string> Listen(const ListenAddress& address);
  // The address bound (with the port the system chose for port 0).
  const ListenAddress& Bound() const { return bound_; }

  // Called on the serving thread whenever the number of clients changes.
  void OnClients(std::function<void(int)> changed) { clientsChanged_ = std::move(changed); }

  // Serves until `stopFd` becomes readable.
  void Serve(int stopFd);

 private:
  struct Client {
    int fd = -1;
    std::vector<std::uint8_t> pending;
    std::chrono::steady_clock::time_point lastHeard;
  };
  void Accept();
  // Reads what the client sent and answers each whole request; false when
  // the connection is to end (closed, garbage, a reply that cannot go out).
  bool Receive(Client& client);
  bool Answer(int fd, const std::uint8_t* request, int length);
  bool AnswerCoilWrite(const std::uint8_t* request, int length, int value);
  void CloseClient(std::size_t index);

  Station& station_;
  modbus_t* context_ = nullptr;
  modbus_mapping_t* mapping_ = nullptr;
  int listenFd_ = -1;
  ListenAddress bound_;
  std::vector<Client> clients_;
  std::function<void(int)> clientsChanged_;
};

}  // namespace stampwise::plc

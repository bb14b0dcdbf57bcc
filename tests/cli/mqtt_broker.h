// Debian's mosquitto as a test's own broker on loopback.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>

#include "tests/app/temp_folder.h"
#include "tests/cli/child_process.h"
#include "tests/cli/loopback_port.h"

namespace stampwise::testing {

inline constexpr int kBrokerGuardMs = 60000;  // only for a test that has gone wrong

// A broker of the test's own: its port, its configuration, its persistence
// file (a subscriber's session outlives a restart, as on a plant's broker).
// `listener`: lines for its listener (a TLS one's certificate and key).
class Broker {
 public:
  explicit Broker(const TempFolder& folder, const std::string& listener = "")
      : port_(ClosedLoopbackPort()), config_(folder.File("mosquitto.conf")) {
    const passwd* user = ::getpwuid(::getuid());
    std::ofstream(config_) << "listener " << port_ << " 127.0.0.1\n"
                           << listener << "allow_anonymous true\npersistence true\n"
                           << "persistence_location " << folder.Path() << "/\nlog_dest stderr\n"
                           << "user " << (user != nullptr ? user->pw_name : "root") << "\n";
  }
  ~Broker() { Stop(); }
  void Start() {
    process_ = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/sbin/mosquitto", "-c", config_});
    ASSERT_TRUE(AwaitListening()) << process_->Out() << process_->Err();
  }
  void Stop() {
    if (!process_) return;
    process_->Signal(SIGTERM);
    process_->Wait(kBrokerGuardMs);
    process_.reset();
  }
  std::string Uri(const std::string& topic) const { return "mqtt://127.0.0.1:" + std::to_string(port_) + "/" + topic; }
  std::string TlsUri(const std::string& host, const std::string& topic) const {
    return "mqtts://" + host + ":" + std::to_string(port_) + "/" + topic;
  }
  int Port() const { return port_; }
  // Its log so far (connections, disconnections and why): a failure's evidence.
  std::string Log() const {
    if (!process_) return "";
    process_->Pump(0);
    return process_->Err();
  }

 private:
  // Its log is buffered in a pipe: a connection tells when it listens.
  bool AwaitListening() {
    for (int waited = 0; waited < kBrokerGuardMs; waited += 20) {
      const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<std::uint16_t>(port_));
      const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      ::close(fd);
      if (connected) return true;
      if (process_->Ended()) return false;
      process_->Pump(20);
    }
    return false;
  }

  int port_;
  std::string config_;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace stampwise::testing

// Helpers of the transport tests: a pseudo-terminal whose master side plays
// the reader, and a listener that records what a port reports.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "link/link.h"
#include "transport/serial_listener.h"

namespace qlmkv::test {

// Generous bound for waits, so a broken port fails a test instead of hanging it.
constexpr auto kPatience = std::chrono::seconds(10);

using Bytes = std::vector<std::uint8_t>;

class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) slavePath_ = ptsname(master_);
  }
  ~PseudoTerminal() { CloseMaster(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ok() const { return master_ >= 0 && !slavePath_.empty(); }
  const std::string& slavePath() const { return slavePath_; }
  int master() const { return master_; }

  void Write(const Bytes& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
  }

  // Reads until `count` bytes arrived or the patience ran out.
  Bytes Read(std::size_t count) const {
    Bytes got;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, 50) <= 0 || !(fd.revents & POLLIN)) continue;
      std::uint8_t buffer[256];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n > 0) got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string slavePath_;
};

// Records received bytes, line errors and a lost link; waits block on a
// condition variable.
class RecordingListener : public SerialPortListener {
 public:
  void OnReceiveChar(std::uint8_t byte) override {
    std::lock_guard lock(mutex_);
    received_.push_back(byte);
    changed_.notify_all();
  }
  void OnLinkLost() override {
    std::lock_guard lock(mutex_);
    linkLost_ = true;
    changed_.notify_all();
  }
  void OnLineError(std::uint32_t errors) override {
    std::lock_guard lock(mutex_);
    lineErrors_.push_back(errors);
    changed_.notify_all();
  }

  // Waits until at least `count` bytes arrived; returns what arrived.
  Bytes WaitForBytes(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kPatience, [&] { return received_.size() >= count; });
    return received_;
  }

  std::vector<std::uint32_t> WaitForLineError() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kPatience, [&] { return !lineErrors_.empty(); });
    return lineErrors_;
  }

  bool WaitForLinkLost() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] { return linkLost_; });
  }

  Bytes Received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  Bytes received_;
  std::vector<std::uint32_t> lineErrors_;
  bool linkLost_ = false;
};

inline Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

}  // namespace qlmkv::test

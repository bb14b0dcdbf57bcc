// A test double of the link under a connection: every request frame is handed
// to a script, and the script's answer comes back to the connection from the
// link's own thread, in pieces, after delays, or as an endless stream.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "link/link.h"
#include "protocol/frame.h"

namespace qlmkv::test {

using frame::Bytes;
using namespace std::chrono_literals;

struct Delivery {
  Bytes bytes;
  std::chrono::milliseconds delay{0};  // before this piece
  bool endless = false;                // repeat the piece every millisecond until closed
};
using Answer = std::vector<Delivery>;
using Script = std::function<Answer(const Bytes& request)>;

// The reader side: its script and everything it was sent.
class ScriptedReader {
 public:
  explicit ScriptedReader(Script script, bool usb = false) : script_(std::move(script)), usb_(usb) {}
  std::unique_ptr<Transport> Connect(ByteSink& sink);
  Answer Respond(const Bytes& request);
  std::vector<Bytes> Requests() const;
  bool usb() const { return usb_; }

 private:
  Script script_;
  bool usb_;
  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
};

class ScriptedTransport final : public Transport {
 public:
  ScriptedTransport(std::shared_ptr<ScriptedReader> reader, ByteSink& sink);
  ~ScriptedTransport() override;
  void Send(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds timeout) override;
  bool IsUsb() const override { return reader_->usb(); }
  void Close() override;

 private:
  void Run();
  bool Pause(std::chrono::milliseconds delay);  // false when closed meanwhile

  std::shared_ptr<ScriptedReader> reader_;
  ByteSink& sink_;
  std::mutex mutex_;
  std::condition_variable signal_;
  std::deque<Bytes> pending_;
  bool stopping_ = false;
  std::thread worker_;
};

// The request's command code and payload, when the frame is well formed.
struct Request {
  std::uint8_t command = 0;
  Bytes payload;
};
std::optional<Request> DecodeRequest(int variant, const Bytes& frame);

// A reader of one framing variant: `reply` returns status and data for a
// request, or nothing to stay silent. Requests in the other variant go unanswered.
struct Reply {
  std::uint8_t status = 0;
  Bytes data;
};
Script ReaderOfVariant(int variant, std::function<std::optional<Reply>(const Request&)> reply);

// Reader that answers the version query with "3125" and every other command
// with an empty success reply.
Script SimpleReader(int variant);

}  // namespace qlmkv::test

#include "tests/reader/scripted_reader.h"

namespace qlmkv::test {

std::unique_ptr<Transport> ScriptedReader::Connect(ByteSink& sink) {
  // The reader outlives every link made to it: tests keep it in a shared_ptr.
  return std::make_unique<ScriptedTransport>(std::shared_ptr<ScriptedReader>(this, [](ScriptedReader*) {}), sink);
}

Answer ScriptedReader::Respond(const Bytes& request) {
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  return script_ ? script_(request) : Answer{};
}

std::vector<Bytes> ScriptedReader::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

ScriptedTransport::ScriptedTransport(std::shared_ptr<ScriptedReader> reader, ByteSink& sink)
    : reader_(std::move(reader)), sink_(sink), worker_([this] { Run(); }) {}

ScriptedTransport::~ScriptedTransport() { Close(); }

void ScriptedTransport::Send(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds /*timeout*/) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    pending_.emplace_back(data, data + size);
  }
  signal_.notify_all();
}

void ScriptedTransport::Close() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  signal_.notify_all();
  if (worker_.joinable()) worker_.join();
}

bool ScriptedTransport::Pause(std::chrono::milliseconds delay) {
  std::unique_lock lock(mutex_);
  signal_.wait_for(lock, delay, [this] { return stopping_; });
  return !stopping_;
}

void ScriptedTransport::Run() {
  for (;;) {
    Bytes request;
    {
      std::unique_lock lock(mutex_);
      signal_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (stopping_) return;
      request = std::move(pending_.front());
      pending_.pop_front();
    }
    for (const Delivery& piece : reader_->Respond(request)) {
      if (!Pause(piece.delay)) return;
      // A piece arrives as one read, as from a real link: a frame with a
      // trailing byte must never be seen complete without that byte.
      do {
        sink_.OnReceiveBytes(piece.bytes.data(), piece.bytes.size());
      } while (piece.endless && Pause(1ms));
      if (piece.endless) return;
    }
  }
}

std::optional<Request> DecodeRequest(int variant, const Bytes& frame) {
  const std::size_t size = frame::CompleteLength(variant, frame.data(), frame.size(), false);
  if (size == 0 || size != frame.size() || !frame::ChecksumOk(variant, frame.data(), size)) return std::nullopt;
  if (variant == 0 && frame[0] != frame::kStartByte) return std::nullopt;
  Request request;
  const std::size_t header = frame::HeaderSize(variant);
  request.command = frame[header - 2];
  request.payload.assign(frame.begin() + static_cast<std::ptrdiff_t>(header),
                         frame.end() - static_cast<std::ptrdiff_t>(frame::ChecksumSize(variant)));
  return request;
}

Script ReaderOfVariant(int variant, std::function<std::optional<Reply>(const Request&)> reply) {
  return [variant, reply](const Bytes& frame) -> Answer {
    const auto request = DecodeRequest(variant, frame);
    if (!request) return {};
    const auto answer = reply(*request);
    if (!answer) return {};
    return {Delivery{frame::Build(variant, 1, answer->status, answer->data)}};
  };
}

Script SimpleReader(int variant) {
  return ReaderOfVariant(variant, [](const Request& request) -> std::optional<Reply> {
    if (request.command == 0xF0) return Reply{0, {'3', '1', '2', '5'}};
    return Reply{};
  });
}

}  // namespace qlmkv::test

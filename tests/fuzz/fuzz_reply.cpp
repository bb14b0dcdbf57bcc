// Arbitrary bytes as a reader's reply: the wait, the validation and the pure
// frame functions must end in a result code without reading past a buffer.
// The wait runs on a virtual clock, so a time-out costs no real time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "protocol/frame.h"
#include "reader/qlmkv_port.h"
#include "reader/rdr.h"
#include "tests/reader/virtual_clock.h"

namespace {

using qlmkv::Bytes;

// Hands the reply over as soon as the request is sent, on the sending thread.
class ImmediateReplyLink final : public qlmkv::Transport {
 public:
  ImmediateReplyLink(const std::uint8_t* data, std::size_t size, qlmkv::ByteSink& sink)
      : data_(data), size_(size), sink_(sink) {}
  void Send(const std::uint8_t*, std::size_t, std::chrono::milliseconds) override {
    sink_.OnReceiveBytes(data_, size_);
  }
  bool IsUsb() const override { return false; }
  void Close() override {}

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  qlmkv::ByteSink& sink_;
};

bool KnownFailure(int error) {
  // Checksum, time-out, or a reader status byte (any non-zero value).
  return error != 0;
}

void ExchangeWithReply(int variant, const std::uint8_t* data, std::size_t size) {
  qlmkv::test::VirtualWaitClock clock;
  qlmkv::CQL_MKV_Port port(1, 500, clock);
  port.SetVariant(variant);
  port.AttachTransport(std::make_unique<ImmediateReplyLink>(data, size, port));
  Bytes out;
  const bool ok = port.Transceive(0xF0, {}, out);
  if (!ok && !KnownFailure(port.LastError())) std::abort();
  if (ok && out.size() > size) std::abort();
  // A reply is taken only when it is exactly one frame (in variant 0 after
  // the bytes before the start byte were dropped).
  std::size_t start = 0;
  while (variant == 0 && start < size && data[start] != qlmkv::frame::kStartByte) ++start;
  if (ok && qlmkv::frame::CompleteLength(variant, data + start, size - start) != size - start) std::abort();
}

void PureFunctions(int variant, const std::uint8_t* data, std::size_t size) {
  const std::size_t complete = qlmkv::frame::CompleteLength(variant, data, size);
  if (complete > size) std::abort();
  const Bytes reply(data, data + size);
  Bytes out;
  const int error = qlmkv::frame::ValidateReply(variant, reply, out);
  if (error == 0 && out.size() + qlmkv::frame::HeaderSize(variant) > size) std::abort();
  if (complete > 0) {
    const Bytes frameOnly(data, data + complete);
    qlmkv::frame::ValidateReply(variant, frameOnly, out);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const int variant : {0, 1}) {
    PureFunctions(variant, data, size);
    ExchangeWithReply(variant, data, size);
  }
  return 0;
}

// Cuts request frames of either framing variant out of the byte stream from
// the host. A frame that starts with 0x02 is tried as variant 0 first; bytes
// that cannot start a valid frame are dropped so the stream resynchronises
// after noise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace mkvsim {

using Bytes = std::vector<std::uint8_t>;

struct Request {
  int variant = 0;
  std::uint8_t address = 0;
  std::uint8_t command = 0;
  Bytes payload;
};

class RequestAssembler {
 public:
  // `ownAddress`: a partial frame for this address is waited for; any other
  // partial frame gives way to a complete, valid frame found after it.
  explicit RequestAssembler(std::uint8_t ownAddress) : ownAddress_(ownAddress) {}

  void Append(const std::uint8_t* data, std::size_t size);
  // The next complete, checksum-correct request, or nothing while more bytes are needed.
  std::optional<Request> Next();
  // Forgets a partial frame (the host gave up on it).
  void Discard() { buffer_.clear(); }
  bool Pending() const { return !buffer_.empty(); }

 private:
  // The frame length of `variant` at `offset`: 0 = incomplete, SIZE_MAX = not valid.
  std::size_t FrameAt(int variant, std::size_t offset) const;
  bool ValidFrameAt(std::size_t offset) const;
  Request Take(int variant, std::size_t length);

  std::uint8_t ownAddress_;
  Bytes buffer_;
};

}  // namespace mkvsim

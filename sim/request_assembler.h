// Cuts request frames of either framing variant out of the byte stream from
// the host. A frame that starts with 0x02 is tried as variant 0 first; bytes
// that cannot start a valid frame are dropped one at a time so the stream
// resynchronises after noise.
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
  void Append(const std::uint8_t* data, std::size_t size);
  // The next complete, checksum-correct request, or nothing while more bytes are needed.
  std::optional<Request> Next();
  // Forgets a partial frame (the host gave up on it).
  void Discard() { buffer_.clear(); }
  bool Pending() const { return !buffer_.empty(); }

 private:
  // The frame length of `variant` at the buffer's start: 0 = incomplete, SIZE_MAX = not valid.
  std::size_t FrameAt(int variant) const;

  Bytes buffer_;
};

}  // namespace mkvsim

#include "sim/request_assembler.h"

#include <cstdint>

#include "protocol/frame.h"

namespace mkvsim {

namespace frame = qlmkv::frame;

namespace {
constexpr std::size_t kInvalid = SIZE_MAX;
}

void RequestAssembler::Append(const std::uint8_t* data, std::size_t size) {
  buffer_.insert(buffer_.end(), data, data + size);
}

std::size_t RequestAssembler::FrameAt(int variant, std::size_t offset) const {
  const std::uint8_t* start = buffer_.data() + offset;
  const std::size_t size = buffer_.size() - offset;
  if (variant == 0 && (size == 0 || start[0] != frame::kStartByte)) return kInvalid;
  const std::size_t length = frame::CompleteLength(variant, start, size, false);
  if (length == 0) return 0;
  return frame::ChecksumOk(variant, start, length) ? length : kInvalid;
}

bool RequestAssembler::ValidFrameAt(std::size_t offset) const {
  for (int variant : {0, 1}) {
    const std::size_t length = FrameAt(variant, offset);
    if (length != 0 && length != kInvalid) return true;
  }
  return false;
}

Request RequestAssembler::Take(int variant, std::size_t length) {
  Request request;
  request.variant = variant;
  const std::size_t header = frame::HeaderSize(variant);
  request.address = buffer_[header - 3];
  request.command = buffer_[header - 2];
  request.payload.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(header),
                         buffer_.begin() + static_cast<std::ptrdiff_t>(length - frame::ChecksumSize(variant)));
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
  return request;
}

std::optional<Request> RequestAssembler::Next() {
  while (!buffer_.empty()) {
    bool waiting = false;
    bool waitingForUs = false;
    for (int variant : {0, 1}) {
      const std::size_t length = FrameAt(variant, 0);
      if (length == 0) {
        waiting = true;
        const std::size_t addressAt = frame::HeaderSize(variant) - 3;
        if (buffer_.size() <= addressAt || buffer_[addressAt] == ownAddress_) waitingForUs = true;
      }
      if (length != 0 && length != kInvalid) return Take(variant, length);
    }
    if (waitingForUs) return std::nullopt;
    if (waiting) {
      // A partial frame for nobody we know may be noise that swallowed a real
      // request: give way to a complete frame behind it, else keep waiting.
      std::size_t next = 1;
      while (next < buffer_.size() && !ValidFrameAt(next)) ++next;
      if (next == buffer_.size()) return std::nullopt;
      buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(next));
      continue;
    }
    buffer_.erase(buffer_.begin());
  }
  return std::nullopt;
}

}  // namespace mkvsim

#include "sim/request_assembler.h"

#include <cstdint>

#include "reader/frame.h"

namespace mkvsim {

namespace frame = qlmkv::frame;

namespace {
constexpr std::size_t kInvalid = SIZE_MAX;
}

void RequestAssembler::Append(const std::uint8_t* data, std::size_t size) {
  buffer_.insert(buffer_.end(), data, data + size);
}

std::size_t RequestAssembler::FrameAt(int variant) const {
  if (variant == 0 && (buffer_.empty() || buffer_[0] != frame::kStartByte)) return kInvalid;
  const std::size_t length = frame::CompleteLength(variant, buffer_.data(), buffer_.size(), false);
  if (length == 0) return 0;
  return frame::ChecksumOk(variant, buffer_.data(), length) ? length : kInvalid;
}

std::optional<Request> RequestAssembler::Next() {
  while (!buffer_.empty()) {
    bool waiting = false;
    for (int variant : {0, 1}) {
      const std::size_t length = FrameAt(variant);
      if (length == 0) waiting = true;
      if (length == 0 || length == kInvalid) continue;
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
    if (waiting) return std::nullopt;
    buffer_.erase(buffer_.begin());
  }
  return std::nullopt;
}

}  // namespace mkvsim

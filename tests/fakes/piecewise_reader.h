// A reader played by a test on a byte stream (pseudo-terminal master,
// socket): it answers every version query with a reply that carries the
// query's running number, cut into pieces that come with short pauses, so a
// waiting exchange meets its reply piece by piece, read by whichever thread
// is reading the link at that moment.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "protocol/frame.h"

namespace qlmkv::test {

// The data of the reply to query `n`.
inline std::vector<std::uint8_t> NumberedVersion(int n) {
  return {static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n & 0xFF), 0x5A, 0xA5};
}

// Answers `count` version queries on `fd`; returns how many it answered
// before the link went quiet for a second or closed.
inline int AnswerInPieces(int fd, int count, unsigned seed) {
  constexpr std::size_t kQuerySize = 5;  // start byte, address, code, length, checksum
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pieceCount(1, 4);
  std::uniform_int_distribution<int> pauseUs(0, 300);
  for (int n = 0; n < count; ++n) {
    std::size_t got = 0;
    while (got < kQuerySize) {
      pollfd p{fd, POLLIN, 0};
      std::uint8_t query[64];
      if (poll(&p, 1, 1000) <= 0) return n;
      const ssize_t read = ::read(fd, query, sizeof query);
      if (read <= 0) return n;
      got += static_cast<std::size_t>(read);
    }
    const frame::Bytes reply = frame::Build(0, 1, 0x00, NumberedVersion(n));
    const int pieces = pieceCount(random);
    std::size_t sent = 0;
    for (int piece = 0; piece < pieces; ++piece) {
      const std::size_t end =
          piece + 1 == pieces ? reply.size() : sent + reply.size() / static_cast<std::size_t>(pieces);
      if (::write(fd, reply.data() + sent, end - sent) != static_cast<ssize_t>(end - sent)) return n;
      sent = end;
      std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
    }
  }
  return count;
}

}  // namespace qlmkv::test

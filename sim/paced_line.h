// The serial line between host and simulated reader, paced like a real one
// when asked: a reply starts once the request's last character has crossed
// the line and the chip has done its writes, and then takes its own
// characters' time back. It keeps the account of a run: the bytes each way,
// their time on the line and the chips' write time. Unpaced, bytes move at
// memory speed and only the bytes are counted.
//
// Pure bookkeeping: the caller passes the times in and sends when told.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/wire_time.h"

namespace mkvsim {

class PacedLine {
 public:
  using Clock = std::chrono::steady_clock;
  // A typical chip takes 3 to 5 ms for 32 bits.
  static constexpr std::chrono::microseconds kTypicalChipWrite{4000};

  struct Totals {
    std::uint64_t rxBytes = 0;  // host to reader
    std::uint64_t txBytes = 0;  // reader to host
    std::uint64_t replies = 0;
    std::chrono::nanoseconds wire{0};  // of the bytes that crossed a paced line
    std::chrono::nanoseconds chip{0};
    std::optional<Clock::time_point> firstRx;  // the first byte's arrival
    std::optional<Clock::time_point> lastTx;   // the last reply's arrival at the host
  };

  explicit PacedLine(std::chrono::microseconds chipWritePer32Bits = kTypicalChipWrite)
      : chipPer32Bits_(chipWritePer32Bits) {}

  // Nothing: memory speed.
  void Pace(const std::optional<LineFormat>& format) { format_ = format; }
  const std::optional<LineFormat>& Format() const { return format_; }

  // `bytes` from the host, read at `now`: when their last character has
  // arrived (characters queue behind those still on the line).
  Clock::time_point Receive(std::size_t bytes, Clock::time_point now);
  // A reply of `bytes` to a request that arrived whole at `requestEnd` and
  // made the chip write `chipBytes`: when its last character reaches the
  // host. A reply the reader holds back (`holdBack`) is late on top of that.
  Clock::time_point Reply(std::size_t bytes, std::size_t chipBytes, Clock::time_point requestEnd,
                          std::chrono::milliseconds holdBack);

  const Totals& Account() const { return totals_; }
  void ResetAccount() { totals_ = Totals(); }

  // Answers the control commands "pace [BAUD|off]" and "wire [reset]".
  std::string Control(const std::string& verb, const std::string& argument);

 private:
  std::string DescribeAccount() const;

  std::chrono::microseconds chipPer32Bits_;
  std::optional<LineFormat> format_;
  Clock::time_point rxFree_{};
  Clock::time_point txFree_{};
  Totals totals_;
};

}  // namespace mkvsim

#include "sim/paced_line.h"

#include <algorithm>

namespace mkvsim {

namespace {

long long Micros(std::chrono::nanoseconds time) {
  return std::chrono::duration_cast<std::chrono::microseconds>(time).count();
}

long long SinceEpochNs(const std::optional<PacedLine::Clock::time_point>& at) {
  return at ? std::chrono::duration_cast<std::chrono::nanoseconds>(at->time_since_epoch()).count() : 0;
}

// "19200/8N1" or "off": one word of the account line.
std::string PaceWord(const std::optional<LineFormat>& format) {
  if (!format) return "off";
  std::string text = Describe(*format);
  std::replace(text.begin(), text.end(), ' ', '/');
  return text;
}

}  // namespace

PacedLine::Clock::time_point PacedLine::Receive(std::size_t bytes, Clock::time_point now) {
  totals_.rxBytes += bytes;
  if (!totals_.firstRx && bytes > 0) totals_.firstRx = now;
  if (!format_) return now;
  const std::chrono::nanoseconds onLine = WireTime(*format_, bytes);
  totals_.wire += onLine;
  rxFree_ = std::max(rxFree_, now) + onLine;
  return rxFree_;
}

PacedLine::Clock::time_point PacedLine::Reply(std::size_t bytes, std::size_t chipBytes, Clock::time_point requestEnd,
                                              std::chrono::milliseconds holdBack) {
  Clock::time_point ready = requestEnd;
  if (format_) {
    const std::chrono::nanoseconds chip = ChipWriteTime(chipBytes, chipPer32Bits_);
    totals_.chip += chip;
    ready += chip;
  }
  if (bytes == 0) return ready;
  totals_.txBytes += bytes;
  ++totals_.replies;
  Clock::time_point arrives = ready + holdBack;
  if (format_) {
    const std::chrono::nanoseconds onLine = WireTime(*format_, bytes);
    totals_.wire += onLine;
    arrives = std::max(ready, txFree_) + onLine + holdBack;
    txFree_ = arrives;
  }
  totals_.lastTx = arrives;
  return arrives;
}

std::string PacedLine::Control(const std::string& verb, const std::string& argument) {
  if (verb == "pace") {
    if (argument == "off") {
      format_.reset();
    } else if (!argument.empty()) {
      const std::optional<LineFormat> format = ParseBaudCode(argument);
      if (!format) return "ERR usage: pace BAUD|off (BAUD: rate plus line-format digit 0..3, e.g. 19200 or 9601)";
      format_ = format;
    }
    return format_ ? "OK " + Describe(*format_) : "OK off";
  }
  if (argument == "reset") {
    ResetAccount();
    return "OK";
  }
  if (!argument.empty()) return "ERR usage: wire [reset]";
  return DescribeAccount();
}

std::string PacedLine::DescribeAccount() const {
  return "OK rx=" + std::to_string(totals_.rxBytes) + " tx=" + std::to_string(totals_.txBytes) +
         " replies=" + std::to_string(totals_.replies) + " wire_us=" + std::to_string(Micros(totals_.wire)) +
         " chip_us=" + std::to_string(Micros(totals_.chip)) +
         " first_rx_ns=" + std::to_string(SinceEpochNs(totals_.firstRx)) +
         " last_tx_ns=" + std::to_string(SinceEpochNs(totals_.lastTx)) + " pace=" + PaceWord(format_);
}

}  // namespace mkvsim

// mkv-sim's account of a run on its line ("wire"): the bytes each way, their
// time on the paced line, the chips' write time, and when the first byte
// came in and the last reply went out (steady clock, shared by all
// processes of the machine).
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>

namespace bench {

struct WireAccount {
  std::uint64_t rx = 0;
  std::uint64_t tx = 0;
  std::uint64_t replies = 0;
  double wireSeconds = 0;
  double chipSeconds = 0;
  std::chrono::steady_clock::time_point firstRx;
  std::chrono::steady_clock::time_point lastTx;

  // What the line itself needs: its bytes' time and the chips' writes.
  double LimitSeconds() const { return wireSeconds + chipSeconds; }
  // From the first request in to the last reply out.
  double SpanSeconds() const { return std::chrono::duration<double>(lastTx - firstRx).count(); }
};

// Parses the answer of the control command "wire".
inline WireAccount ParseWireAccount(const std::string& answer) {
  std::istringstream words(answer);
  std::string word;
  words >> word;
  if (word != "OK") throw std::runtime_error("mkv-sim has no line account: " + answer);
  std::map<std::string, std::string> fields;
  while (words >> word) {
    const std::size_t equals = word.find('=');
    if (equals != std::string::npos) fields[word.substr(0, equals)] = word.substr(equals + 1);
  }
  const auto number = [&](const char* key) -> std::uint64_t {
    const auto it = fields.find(key);
    if (it == fields.end()) throw std::runtime_error(std::string("no ") + key + " in " + answer);
    return std::stoull(it->second);
  };
  const auto at = [&](const char* key) {
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(number(key)));
  };
  WireAccount account;
  account.rx = number("rx");
  account.tx = number("tx");
  account.replies = number("replies");
  account.wireSeconds = static_cast<double>(number("wire_us")) / 1e6;
  account.chipSeconds = static_cast<double>(number("chip_us")) / 1e6;
  account.firstRx = at("first_rx_ns");
  account.lastTx = at("last_tx_ns");
  return account;
}

}  // namespace bench

// The simulated reader: a protocol responder over a field of simulated tags.
// Bytes from the host go in through Feed; reply frames come out. Used by the
// mkv-sim program and, in process, by the test fake of the D2XX library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mkvsim {

using Bytes = std::vector<std::uint8_t>;

struct SimOptions {
  std::string modelCode = "3125";  // version reply: three hex digits of the type code + firmware char
  int variants = 2;                // framing variants answered: 0, 1, or 2 for both
  std::uint8_t address = 1;        // device address (requests to other addresses are ignored)
  int initialTags = 1;             // blank tags placed in the field at start
};

class SimReader {
 public:
  explicit SimReader(const SimOptions& options);
  ~SimReader();
  SimReader(const SimReader&) = delete;
  SimReader& operator=(const SimReader&) = delete;

  // Takes bytes received from the host and returns the bytes to send back
  // (empty while no complete request has arrived). Thread-safe.
  Bytes Feed(const std::uint8_t* data, std::size_t size);

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace mkvsim

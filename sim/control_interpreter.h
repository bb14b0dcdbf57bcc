// The text control channel of mkv-sim: one command per line in, one answer
// line ("OK ..." or "ERR ...") out. Knows nothing about sockets.
#pragma once

#include <optional>
#include <string>

#include "sim/sim_reader.h"

namespace mkvsim {

// Hex digits (blanks allowed between bytes) to bytes; nothing for odd or non-hex text.
std::optional<Bytes> ParseHex(const std::string& text);

class ControlInterpreter {
 public:
  explicit ControlInterpreter(SimReader& reader) : reader_(reader) {}

  std::string Handle(const std::string& line);
  bool QuitRequested() const { return quit_; }

 private:
  std::string Fault(const std::string& kind, const std::string& argument);

  SimReader& reader_;
  bool quit_ = false;
};

}  // namespace mkvsim

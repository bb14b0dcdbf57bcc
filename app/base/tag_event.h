// What happened to one tag in a write or read attempt, as data: for front
// ends that report more than the status line (the command line's JSON).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stampwise {

struct TagEvent {
  enum class Kind { kWrite, kRead };
  enum class Outcome {
    kDone,      // written, or read
    kFailed,    // nothing reached the tag, or the read failed
    kUnknown,   // a write that may have reached the tag (its value is used up)
    kMismatch,  // reported done, but the read-back differs or failed (its value is used up)
    kNone,      // a one-shot attempt found no tag in the field: nothing was tried
  };
  Kind kind = Kind::kWrite;
  Outcome outcome = Outcome::kDone;
  std::string value;                // the value written (before the increment) or the text read
  std::vector<std::uint8_t> bytes;  // the data sent to the tag or read from it; empty when none
  std::vector<std::uint8_t> epc;    // the tag's EPC as the inventory found it
  int counter = 0;                  // tags written (or read) so far in this run, this one included
  int status = 0;                   // the library's last error of a failure; 0 = none
  int messageId = 0;                // the message shown for a failure; 0 = none
};

}  // namespace stampwise

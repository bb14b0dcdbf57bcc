// The inventory step shared by writing and reading: exactly one tag must be
// in the field, and in a cycle it must not be the tag handled last.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/connection/tag_link.h"
#include "app/logs/status_log.h"

namespace stampwise {

using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

// What the cycles remember about the tags they have seen.
struct TagMemory {
  std::vector<std::uint8_t> currentTag;  // EPC found by the last inventory
  std::vector<std::uint8_t> lastTag;     // EPC last written or read; empty = none
  std::optional<std::chrono::steady_clock::time_point> lastSeen;
  bool sameTagStillPresent = false;
  // A tag was just written with an EPC nobody can predict and did not answer
  // afterwards: the next single tag seen (before the forget rule strikes) is
  // taken to be that tag, so it is not written again while it stays.
  bool adoptNextTag = false;
};

class InventoryStep {
 public:
  // A tag unseen for longer than this is forgotten, so putting it back
  // counts as a new tag.
  static constexpr std::chrono::milliseconds kForgetAfter{1000};

  InventoryStep(StatusReporter& reporter, TagMemory& memory, SteadyClock clock);

  // Runs one inventory on `link` and selects the single tag found.
  bool Run(const TagLink& link, bool cyclic);
  // The last Run failed because no tag answered (nothing was shown for it).
  bool FieldWasEmpty() const { return fieldWasEmpty_; }

 private:
  void Forget();
  void ShowLibraryError(const TagLink& link);

  StatusReporter& reporter_;
  TagMemory& memory_;
  SteadyClock clock_;
  bool fieldWasEmpty_ = false;
};

}  // namespace stampwise

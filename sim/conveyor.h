// Conveyor mode: a belt that brings a new blank tag whenever the field has
// been empty for one interval, and carries a tag off a hold time after its
// last write, so a cycling writer meets tag after tag.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>

#include "sim/tag_field.h"

namespace mkvsim {

using SimClock = std::chrono::steady_clock;

class Conveyor {
 public:
  Conveyor(std::chrono::milliseconds interval, std::chrono::milliseconds hold);

  void NoteWrite(std::uint32_t tagId, SimClock::time_point now);
  // Brings the field up to date with the belt at time `now`.
  void Step(TagField& field, SimClock::time_point now);
  std::size_t Delivered() const { return delivered_; }

 private:
  std::chrono::milliseconds interval_;
  std::chrono::milliseconds hold_;
  std::map<std::uint32_t, SimClock::time_point> lastWrite_;
  std::optional<SimClock::time_point> emptySince_;
  std::size_t delivered_ = 0;
};

}  // namespace mkvsim

#include "sim/conveyor.h"

#include <vector>

namespace mkvsim {

Conveyor::Conveyor(std::chrono::milliseconds interval, std::chrono::milliseconds hold)
    : interval_(interval), hold_(hold) {}

void Conveyor::NoteWrite(std::uint32_t tagId, SimClock::time_point now) { lastWrite_[tagId] = now; }

void Conveyor::Step(TagField& field, SimClock::time_point now) {
  std::optional<SimClock::time_point> lastLeft;
  std::vector<std::uint32_t> leaving;
  for (const auto& [id, at] : lastWrite_)
    if (now - at >= hold_) leaving.push_back(id);
  for (std::uint32_t id : leaving) {
    // The belt moved on time even if nobody looked: count emptiness from then.
    const SimClock::time_point left = lastWrite_[id] + hold_;
    if (!lastLeft || left > *lastLeft) lastLeft = left;
    field.RemoveById(id);
    lastWrite_.erase(id);
  }
  if (field.Count() > 0) {
    emptySince_.reset();
    return;
  }
  if (!emptySince_) emptySince_ = lastLeft ? *lastLeft : now;
  if (now - *emptySince_ >= interval_) {
    field.Add();
    ++delivered_;
    emptySince_.reset();
  }
}

}  // namespace mkvsim

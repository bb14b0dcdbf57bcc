#include "sim/fault_plan.h"

namespace mkvsim {

bool FaultPlan::Take(int& counter) {
  if (counter == 0) return false;
  if (counter > 0) --counter;
  return true;
}

Bytes FaultPlan::Apply(Bytes reply) {
  lateThisReply_ = 0;
  if (skip_ > 0) {
    --skip_;
    reply.insert(reply.begin(), stray_.begin(), stray_.end());
    return reply;
  }
  // Every counted fault is consumed by this reply, even when an earlier one already spoilt it.
  if (Take(late_)) lateThisReply_ = lateMs_;
  const bool drop = Take(drop_);
  const bool truncate = Take(truncate_);
  const bool badChecksum = Take(badChecksum_);
  if (drop) return {};
  if (badChecksum && !reply.empty()) reply.back() ^= 0xFF;
  // Half a reply: the host sees the frame start but never its end.
  if (truncate) reply.resize(reply.size() / 2);
  reply.insert(reply.begin(), stray_.begin(), stray_.end());
  return reply;
}

std::string FaultPlan::Describe() const {
  std::string text;
  auto add = [&text](const std::string& name, int value) {
    if (value == 0) return;
    if (!text.empty()) text += ' ';
    text += name + '=' + (value < 0 ? std::string("on") : std::to_string(value));
  };
  add("delay", delayMs_);
  add("stray", static_cast<int>(stray_.size()));
  add("badcrc", badChecksum_);
  add("truncate", truncate_);
  add("drop", drop_);
  add("lostack", lostAck_);
  add("collide", collision_ ? -1 : 0);
  add("skip", skip_);
  auto addWithValue = [&text](const std::string& name, int value, int count) {
    if (count == 0) return;
    if (!text.empty()) text += ' ';
    text += name + '=' + std::to_string(value) + '/' + (count < 0 ? std::string("on") : std::to_string(count));
  };
  addWithValue("late", lateMs_, late_);
  addWithValue("refuse", refuseStatus_, refuse_);
  add("unseen", unseen_);
  add("corrupt", corrupt_);
  return text.empty() ? "none" : text;
}

}  // namespace mkvsim

// Faults the operator (or a test) asks for: they bend the replies of the
// simulated reader. Counted faults hit the next N replies (N < 0: until cleared).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkvsim {

using Bytes = std::vector<std::uint8_t>;

class FaultPlan {
 public:
  static constexpr int kUntilCleared = -1;

  void SetDelay(int ms) { delayMs_ = ms < 0 ? 0 : ms; }
  void SetStray(const Bytes& bytes) { stray_ = bytes; }
  void SetBadChecksum(int count) { badChecksum_ = count; }
  void SetTruncate(int count) { truncate_ = count; }
  void SetDrop(int count) { drop_ = count; }
  void SetLostAck(int count) { lostAck_ = count; }
  void SetCollision(bool on) { collision_ = on; }
  // The next N replies pass untouched: the counted faults then hit the reply
  // after them (a write's, say, past its inventory and select).
  void SetSkip(int count) { skip_ = count < 0 ? 0 : count; }
  // The next N replies come MS late.
  void SetLate(int ms, int count) {
    lateMs_ = ms < 0 ? 0 : ms;
    late_ = count;
  }
  // The next N writes are answered with `status` and do not touch the tag.
  void SetRefuse(int status, int count) {
    refuseStatus_ = status;
    refuse_ = count;
  }
  // After each of the next N writes, the following inventory sees no tag.
  void SetUnseen(int count) { unseen_ = count; }
  // The next N writes are acknowledged as done, but the tag keeps the data
  // with its last byte inverted (a weak tag, a write at the field's edge).
  void SetCorrupt(int count) { corrupt_ = count; }
  void Clear() { *this = FaultPlan(); }

  int DelayMs() const { return delayMs_; }
  bool Collision() const { return collision_; }
  // Asked once per write that reached a tag: true when its acknowledgement is to be lost.
  bool TakeLostAck() { return Take(lostAck_); }
  // Asked once per write before it reaches the tag: the status to refuse it with, or 0.
  int TakeRefusal() { return Take(refuse_) ? refuseStatus_ : 0; }
  // Asked once per write that reached a tag: true when the next inventory is to miss it.
  bool TakeUnseen() { return Take(unseen_); }
  // Asked once per write before it reaches the tag: true when the tag is to keep it spoilt.
  bool TakeCorrupt() { return Take(corrupt_); }
  // How long the reply that Apply bent last is held back.
  int ReplyDelayMs() const { return lateThisReply_ > delayMs_ ? lateThisReply_ : delayMs_; }
  // Applies stray bytes, checksum, truncation and dropping to one reply frame.
  Bytes Apply(Bytes reply);
  // One line naming every active fault, "none" when there are none.
  std::string Describe() const;

 private:
  static bool Take(int& counter);

  int delayMs_ = 0;
  Bytes stray_;
  int badChecksum_ = 0;
  int truncate_ = 0;
  int drop_ = 0;
  int lostAck_ = 0;
  bool collision_ = false;
  int skip_ = 0;
  int late_ = 0;
  int lateMs_ = 0;
  int lateThisReply_ = 0;
  int refuse_ = 0;
  int refuseStatus_ = 0;
  int unseen_ = 0;
  int corrupt_ = 0;
};

}  // namespace mkvsim

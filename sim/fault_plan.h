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
  void Clear() { *this = FaultPlan(); }

  int DelayMs() const { return delayMs_; }
  bool Collision() const { return collision_; }
  // Asked once per write that reached a tag: true when its acknowledgement is to be lost.
  bool TakeLostAck() { return Take(lostAck_); }
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
};

}  // namespace mkvsim

// The ledger: every value a station takes for a tag (a claim), before
// anything reaches the tag, and what became of it. It is the authority on
// which bytes were handed out: the positions of every counter, GS1 serial and
// value list live here, and a claim of bytes that a tag may already carry at
// the same bank and start word is refused. The settings file's "LastData" and
// its kin only follow it.
//
// Claim is durable before it returns (or, made ahead of its tag, once Durable
// returns); Settle is safe against a killed program
// (a power loss may take it back, and the claim then counts as unknown). A
// claim left open by a program that ended is settled unknown once, by the next
// program that opens the ledger.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/base/result.h"
#include "app/values/values.h"

namespace stampwise::ledger {

enum class Outcome { kOpen, kWritten, kFailed, kUnknown, kMismatch };
// "open", "written", "failed", "unknown", "mismatch".
const char* OutcomeName(Outcome outcome);
std::optional<Outcome> OutcomeFromName(const std::string& name);

// One attempt on a tag as the ledger keeps it. An attempt that took no value
// (two tags in the field, a value refused before the claim) has no bytes.
struct Claim {
  std::int64_t id = 0;
  std::string station;
  std::string owner;  // the program that made it (see OwnerId)
  int bank = 0;
  int start = 0;       // word of the value's bytes
  std::string value;   // as the operator reads it
  Bytes bytes;         // the value's bytes
  std::string pool;    // the position the value advances; empty when it does not
  bool reuse = false;  // bytes used before, written again on purpose
  std::string tid;
  Outcome outcome = Outcome::kOpen;
  std::string claimed;  // extended ISO 8601, local time with offset, milliseconds
  std::string settled;  // empty while open
  // For the production journal.
  std::string journal;  // its file, empty when the job keeps none
  std::string epcBefore;
  int length = 0;    // bytes written (with a protocol-control word when one went along)
  std::string data;  // hex of what went to the tag; empty when nothing did
  std::string verify = "off";
  std::string message;
};

// A value planned under the ledger's lock, from the pool's position.
struct Plan {
  std::string value;
  Bytes bytes;
  std::string next;  // the pool's position after this value
  // False when `next` lies behind the pool's position (an operator's start
  // value inside a range used before): the position then stays where it is.
  bool advances = true;
};

struct ClaimRequest {
  std::string station;
  int bank = 0;
  int start = 0;
  std::string pool;       // empty: the value does not advance; recorded, never refused
  std::string poolShown;  // the pool as the operator knows it, for messages (else the pool)
  bool allowReuse = false;
  std::string tid;
  std::string epcBefore;
  std::string journal;
  // A claim made ahead of its tag: Take returns once the claim would outlast
  // a killed program, before it is on disk; Durable() waits for the disk and
  // must be called before anything of it reaches a tag. The flush so runs
  // while the tag is looked for.
  bool flushLater = false;
  // Plans the value from the pool's position (nothing when the pool is new).
  // A failure refuses the claim with its message.
  std::function<Result<Plan>(const std::optional<std::string>& position)> plan;
};

// The pool of `request` as messages name it.
inline const std::string& ShownPool(const ClaimRequest& request) {
  return request.poolShown.empty() ? request.pool : request.poolShown;
}

// What a settled attempt adds to its claim.
struct Settlement {
  Outcome outcome = Outcome::kUnknown;
  int length = 0;
  std::string data;
  std::string verify = "off";
  std::string message;
};

struct ListFilter {
  std::string station;  // empty: all
  std::string journal;  // empty: all
};

class Ledger {
 public:
  virtual ~Ledger() = default;

  // Where the ledger lives, fit to be shown (no credentials).
  virtual std::string Describe() const = 0;

  // Takes a value: plans it from the pool's position, refuses bytes that a
  // tag may carry already at the same bank and start word (unless the
  // request allows a re-use, which is recorded), records the claim and moves
  // the pool on, all in one durable transaction.
  virtual Result<Claim> Take(const ClaimRequest& request) = 0;

  // Records the outcome. kFailed (nothing reached the tag) gives the pool
  // position back when no later value was taken meanwhile.
  virtual Status Settle(Claim& claim, const Settlement& settlement) = 0;

  // Settles `claim` and takes the next value as Take(next) would, in one
  // transaction: a tag's outcome and the next tag's claim cost one commit. A
  // claim refused or failed (in `taken`) leaves the settlement standing; a
  // failure of the settlement records neither.
  virtual Status SettleAndTake(Claim& claim, const Settlement& settlement, const ClaimRequest& next,
                               std::optional<Result<Claim>>& taken) = 0;

  // Waits until every claim taken so far is on disk; fails when the disk
  // refused (the claims are then not safe against a power loss).
  virtual Status Durable() { return Done{}; }

  // The tag a claim made ahead of it went to, recorded before the write.
  virtual Status Locate(Claim& claim, const std::string& tid, const std::string& epcBefore) = 0;

  // A claim made ahead that no tag came for: it is removed and its value is
  // the pool's next again (true). When another program took a later value
  // meanwhile, it stays open (false) for the caller to settle as failed.
  virtual Result<bool> Withdraw(const Claim& claim) = 0;

  // An attempt that took no value, recorded as failed.
  virtual Result<Claim> Record(const ClaimRequest& request, const std::string& value, const Settlement& settlement) = 0;

  // Claims left open by programs that have ended: each settled unknown,
  // exactly once (another program's claims while it runs stay open).
  virtual Result<std::vector<Claim>> SettleAbandoned(const std::string& message) = 0;

  // The pool's position; nothing when the pool has none yet.
  virtual Result<std::optional<std::string>> Position(const std::string& pool) = 0;

  // Makes sure the next claim of the request's pool has a value at hand
  // (a station whose lease is used up takes the next one now), without
  // claiming it. Done at once for a ledger that leases nothing.
  virtual Status Ready(const ClaimRequest& /*request*/) { return Done{}; }

  // Claims in the order they were made.
  virtual Result<std::vector<Claim>> List(const ListFilter& filter) = 0;

  // Settled claims of a journal whose record is not known to be in it yet,
  // in the order they were settled; MarkJournaled notes their records are.
  virtual Result<std::vector<Claim>> Unjournaled(const std::string& journal) = 0;
  virtual void MarkJournaled(const std::vector<std::int64_t>& ids) = 0;
};

// This program's identity in the ledger: host, process id and the process's
// start time, so a restarted process with a reused id is another owner.
std::string OwnerId();
// False only when `owner` is a program on this host that has ended; a
// program on another host is taken as alive.
bool OwnerAlive(const std::string& owner);

}  // namespace stampwise::ledger

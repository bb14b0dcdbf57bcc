// The record of a write job's attempts: each value claimed in the ledger
// before anything reaches the tag, each outcome settled there, and the
// production journal written from the settled claims. At the start of a job
// it settles what ended programs left open and completes the journal from the
// ledger, so neither a kill nor a power loss leaves an attempt unaccounted.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/base/result.h"
#include "app/job/value_source.h"
#include "app/ledger/ledger.h"
#include "app/ledger/production_journal.h"

namespace stampwise {

// Where an attempt writes and what the tag was before it.
struct AttemptPlace {
  int bank = 0;
  int start = 0;  // word of the value's bytes
  std::string tid;
  std::string epcBefore;  // hex
};

// The journal's bank names: "res", "epc", "tid", "user".
const char* JournalBankName(int bank);

// Told of every attempt once the ledger has settled it (the MQTT messages).
// Called on the writer's thread: it must not wait.
class AttemptSink {
 public:
  virtual ~AttemptSink() = default;
  virtual void Settled(const ledger::Claim& claim) = 0;
};

class AttemptRecorder {
 public:
  // `journal` may be empty (no journal kept), `sink` null.
  AttemptRecorder(ledger::Ledger& ledger, std::string station, std::optional<ProductionJournal> journal,
                  AttemptSink* sink = nullptr);

  // Settles the claims that ended programs left open (each with a status
  // line in `lines`) and completes the journal from the ledger. A failure
  // means the job cannot keep its records.
  Status Begin(std::vector<std::string>& lines);

  // Claims the source's next value for a tag at `place`.
  Result<ledger::Claim> Claim(ValueSource& source, const AttemptPlace& place, bool allowReuse);
  Status Durable() { return ledger_.Durable(); }
  // The tag a claim made ahead went to.
  Status Locate(ledger::Claim& claim, const AttemptPlace& place) {
    return ledger_.Locate(claim, place.tid, place.epcBefore);
  }
  // A claim made ahead that no tag came for: removed, or settled failed
  // (journaled) when its value cannot be the pool's next again.
  Status Withdraw(ledger::Claim& claim, const ledger::Settlement& failed);
  // Makes sure the ledger has the source's next value at hand for a tag at
  // `place` (a new lease of a shared pool), without claiming it.
  Status Ready(ValueSource& source, const AttemptPlace& place, bool allowReuse);
  // Settles it and journals it.
  Status Settle(ledger::Claim& claim, const ledger::Settlement& settlement);
  // The same, and in the same commit claims the source's next value for a
  // tag not yet in the field (`next`, when the ledger gave one; a refusal is
  // met again by the next attempt). Its flush runs while the tag is looked
  // for: Durable, then Locate, come before its write.
  Status SettleAndClaimNext(ledger::Claim& claim, const ledger::Settlement& settlement, ValueSource& source,
                            const AttemptPlace& place, bool allowReuse, std::optional<ledger::Claim>& next);
  // An attempt that took no value (two tags in the field, a value refused).
  Status RecordFailure(const AttemptPlace& place, const std::string& value, const ledger::Settlement& settlement);

  const std::string& Station() const { return station_; }
  ledger::Ledger& Ledger() { return ledger_; }
  bool KeepsJournal() const { return journal_.has_value(); }
  // The journal's file was deleted or replaced and a new one begun (once).
  std::optional<std::string> TakeJournalRestart();

 private:
  ledger::ClaimRequest RequestFor(ValueSource& source, const AttemptPlace& place, bool allowReuse) const;
  // A request whose plan, once made, is kept in `planned`.
  ledger::ClaimRequest PlanningRequest(ValueSource& source, const AttemptPlace& place, bool allowReuse,
                                       std::optional<ledger::Plan>& planned) const;
  Status Journal(const ledger::Claim& claim);
  std::string JournalPath() const { return journal_ ? journal_->Path() : std::string(); }

  ledger::Ledger& ledger_;
  std::string station_;
  std::optional<ProductionJournal> journal_;
  AttemptSink* sink_;
};

// The journal record of a settled claim.
std::string JournalRecordOf(JournalFormat format, const ledger::Claim& claim);

}  // namespace stampwise

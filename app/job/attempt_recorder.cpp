#include "app/job/attempt_recorder.h"

#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise {
namespace {

Status JournalFailure(const std::string& reason) {
  return Status::Failure(Message{msg::kJournalFailed, FormatString(msg::kJournalFailed, {reason}), 0});
}

// The journal names a success "ok", as before there was a ledger.
const char* JournalOutcome(ledger::Outcome outcome) {
  return outcome == ledger::Outcome::kWritten ? "ok" : ledger::OutcomeName(outcome);
}

}  // namespace

const char* JournalBankName(int bank) { return NamesOf(static_cast<Bank>(bank)).key; }

std::string JournalRecordOf(JournalFormat format, const ledger::Claim& claim) {
  JournalEntry entry;
  entry.time = claim.settled;
  entry.station = claim.station;
  entry.tid = claim.tid;
  entry.epcBefore = claim.epcBefore;
  entry.bank = JournalBankName(claim.bank);
  entry.start = claim.start;
  entry.length = claim.length;
  entry.value = claim.value;
  // A failed attempt wrote nothing, whatever it sent to the reader.
  if (claim.outcome != ledger::Outcome::kFailed) entry.data = claim.data;
  entry.verify = claim.verify;
  entry.outcome = JournalOutcome(claim.outcome);
  entry.message = claim.message;
  return JournalRecord(format, entry);
}

AttemptRecorder::AttemptRecorder(ledger::Ledger& ledger, std::string station, std::optional<ProductionJournal> journal,
                                 AttemptSink* sink)
    : ledger_(ledger), station_(std::move(station)), journal_(std::move(journal)), sink_(sink) {}

Status AttemptRecorder::Begin(std::vector<std::string>& lines) {
  Result<std::vector<ledger::Claim>> abandoned = ledger_.SettleAbandoned(LoadString(msg::kLedgerAbandoned));
  if (!abandoned) return Status::Failure(abandoned.message());
  for (const ledger::Claim& claim : abandoned.value()) lines.push_back(claim.message);
  if (!journal_) return Done{};
  Result<std::vector<ledger::Claim>> missing = ledger_.Unjournaled(journal_->Path());
  if (!missing) return Status::Failure(missing.message());
  std::vector<std::string> records;
  std::vector<std::int64_t> ids;
  for (const ledger::Claim& claim : missing.value()) {
    records.push_back(JournalRecordOf(journal_->Format(), claim));
    ids.push_back(claim.id);
  }
  if (!journal_->CatchUp(records)) return JournalFailure(journal_->LastError());
  ledger_.MarkJournaled(ids);
  return Done{};
}

ledger::ClaimRequest AttemptRecorder::RequestFor(ValueSource& source, const AttemptPlace& place,
                                                 bool allowReuse) const {
  ledger::ClaimRequest request;
  request.station = station_;
  request.bank = place.bank;
  request.start = place.start;
  request.pool = source.Pool();
  request.poolShown = source.PoolShown();
  request.allowReuse = allowReuse;
  request.tid = place.tid;
  request.epcBefore = place.epcBefore;
  request.journal = JournalPath();
  request.plan = [&source](const std::optional<std::string>& position) { return source.PlanFrom(position); };
  return request;
}

Status AttemptRecorder::Ready(ValueSource& source, const AttemptPlace& place, bool allowReuse) {
  return ledger_.Ready(RequestFor(source, place, allowReuse));
}

ledger::ClaimRequest AttemptRecorder::PlanningRequest(ValueSource& source, const AttemptPlace& place, bool allowReuse,
                                                      std::optional<ledger::Plan>& planned) const {
  ledger::ClaimRequest request = RequestFor(source, place, allowReuse);
  request.plan = [&source, &planned](const std::optional<std::string>& position) {
    Result<ledger::Plan> plan = source.PlanFrom(position);
    if (plan) planned = plan.value();
    return plan;
  };
  return request;
}

Result<ledger::Claim> AttemptRecorder::Claim(ValueSource& source, const AttemptPlace& place, bool allowReuse) {
  std::optional<ledger::Plan> planned;
  Result<ledger::Claim> claim = ledger_.Take(PlanningRequest(source, place, allowReuse, planned));
  if (claim && planned) source.Claimed(*planned);
  return claim;
}

Status AttemptRecorder::Settle(ledger::Claim& claim, const ledger::Settlement& settlement) {
  if (Status settled = ledger_.Settle(claim, settlement); !settled) return settled;
  return Journal(claim);
}

Status AttemptRecorder::SettleAndClaimNext(ledger::Claim& claim, const ledger::Settlement& settlement,
                                           ValueSource& source, const AttemptPlace& place, bool allowReuse,
                                           std::optional<ledger::Claim>& next) {
  next.reset();
  std::optional<ledger::Plan> planned;
  ledger::ClaimRequest request = PlanningRequest(source, place, allowReuse, planned);
  request.flushLater = true;
  std::optional<Result<ledger::Claim>> taken;
  if (Status settled = ledger_.SettleAndTake(claim, settlement, request, taken); !settled) return settled;
  if (taken && *taken && planned) {
    source.Claimed(*planned);
    next = std::move(*taken).value();
  }
  return Journal(claim);
}

Status AttemptRecorder::Withdraw(ledger::Claim& claim, const ledger::Settlement& failed) {
  const Result<bool> withdrawn = ledger_.Withdraw(claim);
  if (!withdrawn) return Status::Failure(withdrawn.message());
  if (withdrawn.value()) return Done{};
  return Settle(claim, failed);
}

Status AttemptRecorder::RecordFailure(const AttemptPlace& place, const std::string& value,
                                      const ledger::Settlement& settlement) {
  ledger::ClaimRequest request;
  request.station = station_;
  request.bank = place.bank;
  request.start = place.start;
  request.tid = place.tid;
  request.epcBefore = place.epcBefore;
  request.journal = JournalPath();
  Result<ledger::Claim> recorded = ledger_.Record(request, value, settlement);
  if (!recorded) return Status::Failure(recorded.message());
  return Journal(recorded.value());
}

Status AttemptRecorder::Journal(const ledger::Claim& claim) {
  if (sink_ != nullptr) sink_->Settled(claim);
  if (!journal_) return Done{};
  if (!journal_->Append(JournalRecordOf(journal_->Format(), claim))) return JournalFailure(journal_->LastError());
  ledger_.MarkJournaled({claim.id});
  return Done{};
}

std::optional<std::string> AttemptRecorder::TakeJournalRestart() {
  if (!journal_ || !journal_->TakeRestarted()) return std::nullopt;
  return FormatString(msg::kJournalRestarted, {journal_->Path()});
}

}  // namespace stampwise

#include "app/job/tag_writer.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/base/paths.h"
#include "app/gs1/gs1_epc.h"
#include "app/job/value_list.h"
#include "app/ledger/open_ledger.h"
#include "app/ledger/sqlite_ledger.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/epc_prediction.h"
#include "app/values/formats.h"
#include "app/values/values.h"
#include "common/ascii.h"

namespace stampwise {
namespace {

// Lock area of the bank a write goes to: the kill password (Reserved word 0),
// the access password (other Reserved words), EPC, TID, User.
int LockArea(Bank bank, int startWord) {
  switch (bank) {
    case Bank::Reserved: return startWord == 0 ? 0 : 1;
    case Bank::Epc: return 2;
    case Bank::Tid: return 3;
    case Bank::User: return 4;
  }
  return 4;
}

class WaitCursor {
 public:
  explicit WaitCursor(FrontEnd& frontEnd) : frontEnd_(frontEnd) { frontEnd_.SetWaitCursor(true); }
  ~WaitCursor() { frontEnd_.SetWaitCursor(false); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  FrontEnd& frontEnd_;
};

// The numbering system toggle in the first byte of the protocol-control word:
// set, the second byte is an ISO AFI instead of EPCglobal attribute bits.
constexpr unsigned kPcToggle = 0x01;

// The halt that a refused value means.
TagWriter::Halt HaltOf(int messageId) {
  switch (messageId) {
    case msg::kCounterExhausted:
    case msg::kGs1SerialExhausted: return TagWriter::Halt::kCounterExhausted;
    case msg::kValueListEnd:
    case msg::kValueListChanged:
    case msg::kValueListBadLine:
    case msg::kValueListDuplicate:
    case msg::kValueListUnreadable:
    case msg::kValueListBadQuoting:
    case msg::kValueListEmpty:
    case msg::kValueListNoColumn: return TagWriter::Halt::kValueList;
    case msg::kLedgerFailed:
    case msg::kSharedLedgerAway: return TagWriter::Halt::kLedger;
    case msg::kLedgerBytesUsed: return TagWriter::Halt::kBytesUsed;
    case msg::kJournalFailed: return TagWriter::Halt::kJournalFailed;
    default: return TagWriter::Halt::kBadValues;
  }
}

}  // namespace

TagWriter::~TagWriter() { WithdrawAhead(false); }

TagWriter::TagWriter(FrontEnd& frontEnd, CycleTimer& writeTimer, CycleTimer& readTimer, Settings* settings,
                     Beeper* beeper, SteadyClock clock)
    : frontEnd_(frontEnd),
      writeTimer_(writeTimer),
      readTimer_(readTimer),
      settings_(settings),
      beeper_(beeper),
      reporter_([this](const std::string& line) {
        lastStatusLine_ = line;
        ++statusLines_;
        frontEnd_.AppendStatus(line);
      }),
      inventory_(reporter_, memory_, std::move(clock)) {}

void TagWriter::SetLedger(ledger::Ledger* ledger) {
  if (ledger == ledger_) return;
  WithdrawAhead();
  // Claims are made in one ledger: what was made for another is made anew.
  recorder_.reset();
  source_.reset();
  prepared_.reset();
  ledger_ = ledger;
}

Cycle TagWriter::RunningCycle() const {
  if (writeTimer_.IsRunning()) return Cycle::Write;
  if (readTimer_.IsRunning()) return Cycle::Read;
  return Cycle::None;
}

std::optional<std::pair<int, int>> TagWriter::ListPosition() const {
  std::optional<std::pair<int, int>> position = source_ ? source_->ListPosition() : std::nullopt;
  if (position && ahead_) --position->first;
  return position;
}

std::string TagWriter::NextValueShown() const {
  if (ahead_) return ahead_->value;
  if (source_) return source_->Next();
  return config_.gs1.enabled ? config_.gs1.nextUri : config_.params.value;
}

void TagWriter::Report(TagEvent::Kind kind, TagEvent::Outcome outcome, std::string value, const Bytes& bytes,
                       int counter, int status, int messageId) {
  frontEnd_.TagDone(TagEvent{kind, outcome, std::move(value), bytes, memory_.currentTag, counter, status, messageId});
}

// ---- the job: ledger, records, values -----------------------------------------

TagWriter::JobKey TagWriter::KeyOf(const WriterConfig& config) const {
  JobKey key{config.params, config.gs1.enabled, config.gs1.increment, config.trace};
  // The value itself goes on with the source; a new one comes as explicitValue.
  key.params.value.clear();
  key.trace.valueListRestart = false;
  return key;
}

bool TagWriter::OpenLedger() {
  const std::string file = config_.ledgerFile.empty() ? ledger::DefaultLedgerFile() : config_.ledgerFile;
  const bool same = file == ownLedgerFile_ && config_.leaseSize == ownLeaseSize_;
  if (ledger_ != nullptr && (ledger_ != ownLedger_.get() || same)) return true;
  // Another ledger named (or another lease size for it): what was made for
  // the old one is made anew.
  SetLedger(nullptr);
  ownLedger_.reset();
  Result<std::unique_ptr<ledger::Ledger>> opened = ledger::OpenLedger(file, config_.leaseSize);
  if (!opened) return StopWith(Halt::kLedger, opened.message());
  ownLedger_ = std::move(opened).value();
  ownLedgerFile_ = file;
  ownLeaseSize_ = config_.leaseSize;
  ledger_ = ownLedger_.get();
  return true;
}

bool TagWriter::OpenRecorder() {
  WithdrawAhead();
  recorder_.reset();
  std::optional<ProductionJournal> journal;
  if (!config_.trace.journalPath.empty()) {
    Result<ProductionJournal> opened = ProductionJournal::Open(config_.trace.journalPath);
    if (!opened) {
      return StopWith(Halt::kJournalFailed,
                      Message{msg::kJournalFailed, FormatString(msg::kJournalFailed, {opened.message().text}), 0});
    }
    journal = std::move(opened).value();
  }
  const std::string station = config_.trace.station.empty() ? DefaultStationName() : config_.trace.station;
  auto recorder = std::make_unique<AttemptRecorder>(*ledger_, station, std::move(journal), attemptSink_);
  std::vector<std::string> lines;
  const Status begun = recorder->Begin(lines);
  for (const std::string& line : lines) reporter_.ShowText(line);
  if (!begun) return StopWith(HaltOf(begun.message().id), begun.message());
  recorder_ = std::move(recorder);
  return true;
}

bool TagWriter::MakeSource() {
  WithdrawAhead();
  source_.reset();
  keysStored_ = false;  // a new job stores its first keys before its first tag
  const bool explicitValue = std::exchange(config_.explicitValue, false);
  std::unique_ptr<ValueSource> source;
  if (config_.gs1.enabled) {
    source = MakeGs1Source(config_.gs1, explicitValue);
  } else if (!config_.trace.valueListPath.empty()) {
    // One list, one position, from whichever folder the job starts.
    const std::string path =
        std::filesystem::absolute(FilePath(config_.trace.valueListPath)).lexically_normal().string();
    Result<std::vector<std::string>> values = LoadValueList(path, config_.trace.valueListColumn);
    if (!values) return StopWith(HaltOf(values.message().id), values.message());
    source = MakeListSource(config_.params, path, config_.trace.valueListColumn, std::move(values).value(),
                            std::exchange(config_.trace.valueListRestart, false));
  } else {
    source = MakeCounterSource(config_.params, explicitValue);
  }
  if (!source->Pool().empty()) {
    const Result<std::optional<std::string>> position = ledger_->Position(source->Pool());
    if (!position) return StopWith(Halt::kLedger, position.message());
    source->Follow(position.value());
  }
  if (const Status checked = source->CheckAll(); !checked)
    return StopWith(HaltOf(checked.message().id), checked.message());
  source_ = std::move(source);
  ShowNextValue();
  return true;
}

void TagWriter::MarkShown() { shownValue_ = config_.gs1.enabled ? config_.gs1.nextUri : config_.params.value; }

bool TagWriter::PrepareJob() {
  if (!OpenLedger()) return false;
  const JobKey key = KeyOf(config_);
  const bool changed = !prepared_ || !(*prepared_ == key);
  // A value other than the one the front end was shown was typed in.
  const bool listJob = !config_.gs1.enabled && !config_.trace.valueListPath.empty();
  const std::string& configured = config_.gs1.enabled ? config_.gs1.nextUri : config_.params.value;
  if (!listJob && shownValue_ && configured != *shownValue_) config_.explicitValue = true;
  if (changed || !recorder_) {
    if (!OpenRecorder()) return false;
  }
  if (changed || !source_ || config_.explicitValue) {
    if (!MakeSource()) return false;
  }
  prepared_ = key;
  return true;
}

void TagWriter::ShowNextValue() {
  if (!source_) return;
  const std::string next = source_->Next();
  shownValue_ = next;
  if (config_.gs1.enabled) {
    config_.gs1.nextUri = next;
    frontEnd_.ShowNextTagUri(next);
    return;
  }
  // A list's line is shown in the write field; the counter's value stays.
  if (config_.trace.valueListPath.empty()) config_.params.value = next;
  frontEnd_.ShowWriteValue(next);
}

std::optional<ledger::Claim> TagWriter::ClaimValue(bool mayWait) {
  if (!source_ && !PrepareJob()) return std::nullopt;
  Result<ledger::Claim> claim = ahead_ ? TakeAhead() : recorder_->Claim(*source_, place_, config_.allowReuse);
  if (!claim) {
    const Message& refusal = claim.message();
    reporter_.ShowMessage(refusal.id, refusal.text);
    RecordFailedAttempt();
    if (refusal.id == msg::kSharedLedgerAway && mayWait && config_.waitForLedger) {
      BeginLedgerWait();
    } else {
      StopWith(HaltOf(refusal.id));
    }
    return std::nullopt;
  }
  ShowNextValue();
  if (settings_ == nullptr) return std::move(claim).value();
  // The stored keys run ahead of the tags, as other programs expect. The
  // job's first are written before its tag: a file that cannot be written
  // stops the job before anything reaches a tag. Later ones are written while
  // their tag is, and are on disk when the attempt ends (the ledger, not this
  // file, is what keeps a value from a second tag).
  KeyUpdate keys = source_->StoreBack();
  if (keysStored_) {
    if (!keyWriter_) {
      keyWriter_ =
          std::make_unique<KeyWriter>(settings_->FileName(), settings_->LogDirectory(), settings_->LockTimeout());
    }
    keyWriter_->Start(std::move(keys));
  } else if (!keys(*settings_)) {
    const std::string error = settings_->LastError();
    SettleClaim(claim.value(), ledger::Outcome::kFailed, {});
    reporter_.ShowMessage(msg::kSettingsStoreFailed, FormatString(msg::kSettingsStoreFailed, {error}));
    StopWith(Halt::kStoreFailed);
    return std::nullopt;
  }
  keysStored_ = true;
  return std::move(claim).value();
}

void TagWriter::BeginLedgerWait() {
  if (std::exchange(ledgerWait_, true)) return;
  frontEnd_.LedgerWait(FormatString(msg::kSharedLedgerWaiting, {ledger_->Describe()}));
}

void TagWriter::EndLedgerWait() {
  if (std::exchange(ledgerWait_, false)) frontEnd_.LedgerWait({});
}

bool TagWriter::RetryLedger() {
  if (!ledgerWait_) return true;
  if (recorder_ && source_) {
    const AttemptPlace place{static_cast<int>(TargetBank()), TargetStart(), {}, {}};
    const Status ready = recorder_->Ready(*source_, place, config_.allowReuse);
    if (!ready && ready.message().id == msg::kSharedLedgerAway) return false;
    EndLedgerWait();
    // A refusal now (a conflict in what was sent) stops the job as a claim's would.
    if (!ready) return StopWith(HaltOf(ready.message().id), ready.message());
    reporter_.ShowText(FormatString(msg::kSharedLedgerBack, {ledger_->Describe()}));
  }
  EndLedgerWait();
  return true;
}

Result<ledger::Claim> TagWriter::TakeAhead() {
  // On disk before the write: the flush ran while the tag was looked for.
  Status ready = recorder_->Durable();
  if (ready) ready = recorder_->Locate(*ahead_, place_);
  if (!ready) {
    WithdrawAhead();
    return Result<ledger::Claim>::Failure(ready.message());
  }
  ledger::Claim claim = std::move(*ahead_);
  ahead_.reset();
  return claim;
}

bool TagWriter::MayClaimAhead() const {
  return writeTimer_.IsRunning() && halt_ == Halt::kNone && !ledgerWait_ && !ahead_ && !source_->Exhausted();
}

void TagWriter::WithdrawAhead(bool report) {
  if (!ahead_) return;
  ledger::Claim claim = std::move(*ahead_);
  ahead_.reset();
  source_->GivenBack(ledger::Plan{claim.value, claim.bytes, {}});
  ledger::Settlement failed;
  failed.outcome = ledger::Outcome::kFailed;
  failed.message = FormatString(msg::kLedgerNotUsed, {claim.value});
  // A withdrawal that cannot be recorded leaves the claim open: the next
  // start settles it unknown, and its value is not written twice.
  if (const Status withdrawn = recorder_->Withdraw(claim, failed); !withdrawn && report) {
    reporter_.ShowMessage(withdrawn.message().id, withdrawn.message().text);
  }
}

void TagWriter::StoreEnd() {
  if (settings_ == nullptr || !FinishStoringKeys()) return;
  if (!source_->StoreBack()(*settings_)) {
    reporter_.ShowMessage(msg::kSettingsStoreFailed, FormatString(msg::kSettingsStoreFailed, {settings_->LastError()}));
  }
}

bool TagWriter::FinishStoringKeys() {
  if (!keyWriter_) return true;
  const Status stored = keyWriter_->Finish();
  if (stored) return true;
  keysStored_ = false;
  reporter_.ShowMessage(msg::kSettingsStoreFailed, FormatString(msg::kSettingsStoreFailed, {stored.message().text}));
  StopWith(Halt::kStoreFailed);
  return false;
}

bool TagWriter::SettleClaim(ledger::Claim& claim, ledger::Outcome outcome, const Bytes& data, bool claimNext) {
  ledger::Settlement settlement;
  settlement.outcome = outcome;
  settlement.length = static_cast<int>(data.size());
  settlement.data = gs1::Hex(data);
  settlement.verify = verify_;
  settlement.message = lastStatusLine_;
  if (outcome == ledger::Outcome::kFailed) {
    // Nothing reached the tag: the value is the next one again.
    source_->GivenBack(ledger::Plan{claim.value, claim.bytes, {}});
    ShowNextValue();
  }
  Status settled = Done{};
  if (claimNext && MayClaimAhead()) {
    const AttemptPlace next{static_cast<int>(TargetBank()), TargetStart(), {}, {}};
    settled = recorder_->SettleAndClaimNext(claim, settlement, *source_, next, config_.allowReuse, ahead_);
  } else {
    settled = recorder_->Settle(claim, settlement);
  }
  if (const std::optional<std::string> restart = recorder_->TakeJournalRestart()) reporter_.ShowText(*restart);
  // A value given back is the stored next one again; a failed store shows up
  // at the next claim.
  if (settings_ != nullptr && outcome == ledger::Outcome::kFailed && FinishStoringKeys()) {
    source_->StoreGivenBack(*settings_);
  }
  if (!settled) {
    reporter_.ShowMessage(settled.message().id, settled.message().text);
    StopWith(HaltOf(settled.message().id));
    return false;
  }
  return true;
}

void TagWriter::RecordFailedAttempt() {
  if (!recorder_) return;
  ledger::Settlement settlement;
  settlement.outcome = ledger::Outcome::kFailed;
  settlement.length = config_.gs1.enabled ? 0 : config_.params.lengthBytes;
  settlement.message = lastStatusLine_;
  const Status recorded = recorder_->RecordFailure(place_, NextValueShown(), settlement);
  if (!recorded) {
    reporter_.ShowMessage(recorded.message().id, recorded.message().text);
    StopWith(HaltOf(recorded.message().id));
  }
}

bool TagWriter::TagFailed(TagEvent::Kind kind, int status, int messageId, const Bytes& bytes) {
  const bool writing = kind == TagEvent::Kind::kWrite;
  Report(kind, TagEvent::Outcome::kFailed, writing ? NextValueShown() : std::string(), bytes,
         writing ? programmedCount_ : readCount_, status, messageId);
  return false;
}

// A one-shot command with no tag in the field says so (a cycle waits for the
// next tag quietly). Nothing was tried: no journal line, the value unused.
void TagWriter::ReportEmptyField(TagEvent::Kind kind, bool cyclic) {
  if (cyclic || !inventory_.FieldWasEmpty()) return;
  reporter_.ShowId(msg::kNoValidTag);
  const bool writing = kind == TagEvent::Kind::kWrite;
  frontEnd_.TagDone(TagEvent{kind,
                             TagEvent::Outcome::kNone,
                             writing ? NextValueShown() : std::string(),
                             {},
                             {},
                             writing ? programmedCount_ : readCount_,
                             TagLink::NoTagError(),
                             msg::kNoValidTag});
}

bool TagWriter::LibraryFailure(TagEvent::Kind kind, const Bytes& bytes) {
  const int error = link_.LastError();
  reporter_.ShowId(ErrorMessageId(error));
  return TagFailed(kind, error, ErrorMessageId(error), bytes);
}

void TagWriter::AppendLogLine(LogFile& log, bool enabled, const std::string& value) {
  AppendLogLine(log, enabled, config_.params.format, config_.params.startWord, config_.params.lengthBytes, value);
}

void TagWriter::AppendLogLine(LogFile& log, bool enabled, DataFormat format, int startWord, int lengthBytes,
                              const std::string& value) {
  if (!enabled) return;
  const std::string& name = &log == &writeLog_ ? config_.logs.writeLogFile : config_.logs.readLogFile;
  if (log.FileName() != name) log.SetFileName(name);
  // A line that cannot be written is not dropped without a word: the operator
  // must know that the log of this run has a gap.
  if (!log.Append(format, startWord, lengthBytes, value)) {
    reporter_.ShowText(FormatString(msg::kLogWriteFailed, {name}));
  }
}

bool TagWriter::StopWith(Halt reason) {
  halt_ = reason;
  WithdrawAhead();
  if (writeTimer_.IsRunning()) {
    StopTimer(writeTimer_);
    frontEnd_.WriteCycleStopped();
  }
  return false;
}

bool TagWriter::StopWith(Halt reason, const Message& message) {
  reporter_.ShowMessage(message.id, message.text);
  return StopWith(reason);
}

void TagWriter::CheckLink() {
  if (!linkLost_ || !linkLost_()) return;
  reporter_.ShowText(FormatString(msg::kLinkLost, {connection_}));
  StopWith(Halt::kReaderLost);
  if (readTimer_.IsRunning()) {
    StopTimer(readTimer_);
    frontEnd_.ReadCycleStopped();
  }
}

// ---- the write ------------------------------------------------------------------

// A write whose data may have reached the tag: its value is used up. Nothing
// counts it as a success, but the value moves on and the tag is taken as
// handled, so neither this value nor this tag is written again.
void TagWriter::UseUp(ledger::Claim& claim, const Bytes& epcBefore, int start, const Bytes& data, int error) {
  reporter_.ShowText(FormatString(msg::kOutcomeUnknown, {LoadString(ErrorMessageId(error)), claim.value}));
  if (!SettleClaim(claim, ledger::Outcome::kUnknown, data)) return;
  Report(TagEvent::Kind::kWrite, TagEvent::Outcome::kUnknown, claim.value, data, programmedCount_, error,
         msg::kOutcomeUnknown);
  if (TargetBank() == Bank::Epc) {
    const std::optional<Bytes> predicted = PredictEpcAfterWrite(epcBefore, start, data);
    if (predicted) {
      memory_.lastTag = *predicted;
    } else {
      memory_.lastTag.clear();
      memory_.adoptNextTag = true;
    }
  } else {
    memory_.lastTag = memory_.currentTag;
  }
}

bool TagWriter::WriteTagData(const Bytes& data, int bank, int start, ledger::Claim& claim,
                             const unsigned char* password) {
  if (config_.options.setPassword &&
      (!link_.WriteData(0, 2, password, 4) ||
       (config_.options.activatePassword && !link_.Lock(LockArea(TargetBank(), TargetStart()), 2, password)))) {
    // The data frame has not gone out: the value is still unused.
    const int error = link_.LastError();
    reporter_.ShowId(ErrorMessageId(error));
    if (SettleClaim(claim, ledger::Outcome::kFailed, {})) {
      TagFailed(TagEvent::Kind::kWrite, error, ErrorMessageId(error));
    }
    return false;
  }
  const Bytes epcBefore = memory_.currentTag;
  const int length = static_cast<int>(data.size());
  if (link_.WriteData(bank, start, data.data(), length, config_.options.setPassword ? password : nullptr)) return true;
  const int error = link_.LastError();
  if (link_.LastWriteCertainlyMissedTag()) {
    reporter_.ShowId(ErrorMessageId(error));
    if (SettleClaim(claim, ledger::Outcome::kFailed, data)) {
      TagFailed(TagEvent::Kind::kWrite, error, ErrorMessageId(error), data);
    }
    return false;
  }
  UseUp(claim, epcBefore, start, data, error);
  return false;
}

bool TagWriter::WriteAttempt(bool cyclic, bool mayWait) {
  if (!PrepareJob()) return false;
  // A value claimed ahead is the next one, though the source may have run out after it.
  if (const std::optional<Message> exhausted = source_->Exhausted(); exhausted && !ahead_) {
    StoreEnd();
    return StopWith(HaltOf(exhausted->id), *exhausted);
  }
  // A cycle touches no tag while it waits; a command of its own asks anew.
  if (!cyclic) EndLedgerWait();
  if (ledgerWait_ && !RetryLedger()) return false;
  place_ = AttemptPlace{static_cast<int>(TargetBank()), TargetStart(), {}, {}};
  verify_ = "off";
  const int linesBefore = statusLines_;
  if (!inventory_.Run(link_, cyclic)) {
    // Two tags in the field is an attempt the journal must show (once, as the
    // status line shows it once).
    if (statusLines_ != linesBefore && lastStatusLine_ == LoadString(msg::kTagNotUnique)) {
      RecordFailedAttempt();
      TagFailed(TagEvent::Kind::kWrite, 0, msg::kTagNotUnique);
    }
    ReportEmptyField(TagEvent::Kind::kWrite, cyclic);
    return false;
  }
  place_.epcBefore = gs1::Hex(memory_.currentTag);
  if (config_.trace.readTid) place_.tid = gs1::Hex(link_.ReadTid());
  unsigned char password[20] = {};
  const WriteOptions& options = config_.options;
  if (options.setPassword && TagLink::HexToBytes(options.accessPassword, password, sizeof password) != 4) {
    reporter_.ShowId(msg::kPasswordLength);
    frontEnd_.FocusPasswordField();
    RecordFailedAttempt();
    return TagFailed(TagEvent::Kind::kWrite, 0, msg::kPasswordLength);
  }
  std::optional<ledger::Claim> claim = ClaimValue(mayWait);
  if (!claim) return TagFailed(TagEvent::Kind::kWrite, 0, reporter_.LastId());
  WaitCursor waitCursor(frontEnd_);
  const bool gs1 = config_.gs1.enabled;
  Bytes data = claim->bytes;
  // A GS1 job writes its encoding from word 2 of the EPC bank, always with
  // the EPC length bits set for it.
  const Bank target = TargetBank();
  const int bank = static_cast<int>(target);
  int start = TargetStart();
  const int lengthBytes = gs1 ? static_cast<int>(claim->bytes.size()) : config_.params.lengthBytes;
  if (target == Bank::Epc && (gs1 || config_.options.epcLengthFix) && start == 2) {
    // Write the protocol-control word with the EPC, its length bits set to the new length.
    const auto lengthBits = static_cast<std::uint8_t>((lengthBytes / 2) * 8);
    unsigned char pc[2] = {};
    Bytes prefix = {lengthBits, 0};
    if (link_.ReadData(1, 1, pc, 2) == 2) {
      prefix = {static_cast<std::uint8_t>((pc[0] & 7) | lengthBits), pc[1]};
      // A GS1 EPC wants the numbering system toggle clear (an EPCglobal
      // application): a set toggle and the AFI it carried go.
      if (gs1 && (pc[0] & kPcToggle) != 0) prefix = {static_cast<std::uint8_t>((pc[0] & 6) | lengthBits), 0};
    }
    data.insert(data.begin(), prefix.begin(), prefix.end());
    start = 1;
  }
  const Bytes epcBefore = memory_.currentTag;
  if (!WriteTagData(data, bank, start, *claim, password)) return false;

  if (target == Bank::Epc) {
    // The data is on the tag: its value is used up even when the tag does not
    // answer the check. Remember it by the EPC it now carries, so the cycle
    // neither writes it again nor hands this value to the next tag. A tag
    // that answers with another EPC is not the one written (it came in after
    // it) and must stay unknown, or the cycle would never write it.
    const std::optional<Bytes> predicted = PredictEpcAfterWrite(epcBefore, start, data);
    const bool answered = inventory_.Run(link_, false);
    if (!answered || (predicted && memory_.currentTag != *predicted)) {
      memory_.currentTag = predicted.value_or(Bytes{});
      // A new EPC nobody can know: the next single tag seen is this one.
      if (!answered && !predicted) memory_.adoptNextTag = true;
    }
  }
  memory_.lastTag = memory_.currentTag;
  if (config_.trace.verify && !VerifyWrite(*claim, data, bank, start)) return false;

  // The outcome is in the ledger before the logs, the beep and the count say
  // so: a record that cannot be made is no success.
  const bool dataFormat = !gs1 && IsDataFormat(config_.params.format);
  const std::string written = claim->value;
  const std::string line =
      dataFormat ? FormatString(msg::kDataWritten, {dataWriteCounter_}) : FormatString(msg::kValueWritten, {written});
  lastStatusLine_ = line;
  if (!SettleClaim(*claim, ledger::Outcome::kWritten, data, cyclic)) return false;
  if (dataFormat) ++dataWriteCounter_;
  if (gs1) {
    AppendLogLine(writeLog_, config_.logs.writeLogEnabled, DataFormat::HexBinary, kGs1StartWord, lengthBytes, written);
  } else {
    AppendLogLine(writeLog_, config_.logs.writeLogEnabled, written);
  }
  if (beeper_ != nullptr) beeper_->Beep(config_.beepTimeMs);
  reporter_.ShowText(line);
  frontEnd_.ShowProgrammedCount(++programmedCount_);
  Report(TagEvent::Kind::kWrite, TagEvent::Outcome::kDone, written, data, programmedCount_);
  reporter_.ResetRepeat();
  return true;
}

// Reads back what the reader reported written (after an EPC write, from the
// tag as the inventory found it with its new EPC). The protocol-control word
// is left out: a tag keeps some of its bits itself. A mismatch or a failed
// read is no success: the tag is not counted, and its value stays used.
bool TagWriter::VerifyWrite(ledger::Claim& claim, const Bytes& data, int bank, int start) {
  const bool withPc = bank == static_cast<int>(Bank::Epc) && start == 1;
  const Bytes expected(data.begin() + (withPc ? 2 : 0), data.end());
  Bytes back(expected.size());
  const int read = link_.ReadData(bank, withPc ? 2 : start, back.data(), static_cast<int>(back.size()));
  if (read == static_cast<int>(back.size()) && back == expected) {
    verify_ = "ok";
    return true;
  }
  verify_ = "mismatch";
  const int error = read < 0 ? link_.LastError() : 0;
  int messageId = msg::kVerifyMismatch;
  if (read < 0) {
    messageId = msg::kVerifyReadFailed;
    reporter_.ShowText(FormatString(messageId, {LoadString(ErrorMessageId(error))}));
  } else {
    back.resize(static_cast<std::size_t>(read));
    reporter_.ShowText(FormatString(messageId, {gs1::Hex(expected), gs1::Hex(back)}));
  }
  if (!SettleClaim(claim, ledger::Outcome::kMismatch, data)) return false;
  Report(TagEvent::Kind::kWrite, TagEvent::Outcome::kMismatch, claim.value, data, programmedCount_, error, messageId);
  return false;
}

bool TagWriter::WriteOnce(bool waits) {
  dataWriteCounter_ = 1;
  halt_ = Halt::kNone;
  const bool written = WriteAttempt(false, waits);
  FinishStoringKeys();
  if (written) return true;
  CheckLink();
  return false;
}

CycleTimer& TagWriter::TimerOf(Cycle cycle) { return cycle == Cycle::Read ? readTimer_ : writeTimer_; }

void TagWriter::StopTimer(CycleTimer& timer) {
  if (!timer.IsRunning()) return;
  timer.Stop();
  link_.SetWindowLock(true);
}

bool TagWriter::StartCycle(Cycle cycle) {
  if (cycle == Cycle::None || RunningCycle() != Cycle::None) return false;
  if (cycle == Cycle::Write) {
    halt_ = Halt::kNone;
    EndLedgerWait();
    if (!PrepareJob()) return false;
    if (const std::optional<Message> exhausted = source_->Exhausted()) {
      StoreEnd();
      reporter_.ShowMessage(exhausted->id, exhausted->text);
      halt_ = HaltOf(exhausted->id);
      return false;
    }
    dataWriteCounter_ = 1;
    programmedCount_ = 0;
    frontEnd_.ShowProgrammedCount(0);
  } else {
    if (halt_ == Halt::kReaderLost) halt_ = Halt::kNone;
    lastReadText_.clear();
    readCount_ = 0;
  }
  link_.SetWindowLock(false);
  memory_.lastTag.clear();
  reporter_.ResetRepeat();
  TimerOf(cycle).Start(config_.cycleTimeMs);
  return true;
}

void TagWriter::StopCycle() {
  WithdrawAhead();
  StopTimer(writeTimer_);
  StopTimer(readTimer_);
  EndLedgerWait();
}

void TagWriter::Tick(Cycle cycle) {
  if (cycle == Cycle::None || inTick_) return;
  inTick_ = true;
  reporter_.SetInTick(true);
  const bool done = cycle == Cycle::Write ? WriteAttempt(true, true) : ReadAttempt(true);
  // A write attempt ends with its stored keys on disk.
  if (cycle == Cycle::Write) FinishStoringKeys();
  if (!done) CheckLink();
  reporter_.SetInTick(false);
  inTick_ = false;
}

// The tag URI of what a read of the EPC bank found: the bytes read when they
// start at the EPC (word 2) and hold it whole, else the EPC the tag answered
// the inventory with.
void TagWriter::ShowReadTagUri(const Bytes& read) {
  const Bytes& epc = memory_.currentTag;
  const bool fromRead =
      (config_.gs1.enabled || config_.params.startWord == kGs1StartWord) && !epc.empty() && read.size() >= epc.size();
  frontEnd_.ShowReadTagUri(
      TagUriOfEpc(fromRead ? Bytes(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(epc.size())) : epc));
}

bool TagWriter::ReadAttempt(bool cyclic) {
  if (inventory_.Run(link_, cyclic)) {
    // A GS1 job reads the EPC from word 2, as long as the tag says it is.
    const bool gs1 = config_.gs1.enabled;
    ParameterSet shown = config_.params;
    if (gs1) {
      shown.bank = Bank::Epc;
      shown.startWord = kGs1StartWord;
      shown.lengthBytes = memory_.currentTag.empty() ? 12 : static_cast<int>(memory_.currentTag.size());
      shown.format = DataFormat::HexBinary;
      shown.msbFirst = true;
    }
    Bytes buffer(static_cast<std::size_t>(std::max(shown.lengthBytes, 0)), 0);
    const int read =
        link_.ReadData(static_cast<int>(shown.bank), shown.startWord, buffer.data(), static_cast<int>(buffer.size()));
    if (read != static_cast<int>(buffer.size())) {
      if (read < 0) {
        LibraryFailure(TagEvent::Kind::kRead);
      } else {
        // Fewer bytes than asked: the zeros after them were never read.
        reporter_.ShowId(msg::kBlockLength);
        TagFailed(TagEvent::Kind::kRead, 0, msg::kBlockLength);
      }
      if (!config_.keepLastValue) frontEnd_.ShowReadText("");
      return false;
    }
    const Result<std::string> rendered = BytesToText(buffer, shown);
    if (!rendered) reporter_.ShowMessage(rendered.message().id, rendered.message().text);
    lastReadText_ = rendered ? rendered.value() : std::string();
    frontEnd_.ShowReadText(lastReadText_);
    if (shown.bank == Bank::Epc) ShowReadTagUri(buffer);
    memory_.lastTag = memory_.currentTag;
    reporter_.ResetRepeat();
    ++readCount_;
    if (gs1) {
      AppendLogLine(readLog_, config_.logs.readLogEnabled, shown.format, shown.startWord, shown.lengthBytes,
                    TagUriOfEpc(buffer));
    } else {
      AppendLogLine(readLog_, config_.logs.readLogEnabled, lastReadText_);
    }
    Report(TagEvent::Kind::kRead, TagEvent::Outcome::kDone, lastReadText_, buffer, readCount_);
    return true;
  }
  if (memory_.sameTagStillPresent) {
    frontEnd_.ShowReadText(lastReadText_);
    return true;
  }
  if (!cyclic || !config_.keepLastValue) frontEnd_.ShowReadText("");
  ReportEmptyField(TagEvent::Kind::kRead, cyclic);
  return false;
}

bool TagWriter::ReadOnce() {
  if (halt_ == Halt::kReaderLost) halt_ = Halt::kNone;
  if (ReadAttempt(false)) return true;
  CheckLink();
  return false;
}

}  // namespace stampwise

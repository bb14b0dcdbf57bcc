#include "app/tag_writer.h"

#include <algorithm>
#include <cctype>

#include "app/epc_prediction.h"
#include "app/formats.h"
#include "app/gs1_epc.h"
#include "app/increment.h"
#include "app/messages.h"
#include "app/strings.h"
#include "app/values.h"
#include "app/values_validation.h"
#include "common/ascii.h"
#include "reader/rdr.h"

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

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), ascii::ToUpper);
  return text;
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

}  // namespace

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
      inventory_(reporter_, memory_, std::move(clock)),
      trace_(settings) {}

Cycle TagWriter::RunningCycle() const {
  if (writeTimer_.IsRunning()) return Cycle::Write;
  if (readTimer_.IsRunning()) return Cycle::Read;
  return Cycle::None;
}

void TagWriter::Report(TagEvent::Kind kind, TagEvent::Outcome outcome, std::string value, const Bytes& bytes,
                       int counter, int status, int messageId) {
  const TagEvent event{kind, outcome, std::move(value), bytes, memory_.currentTag, counter, status, messageId};
  frontEnd_.TagDone(event);
  if (kind == TagEvent::Kind::kWrite) Journal(event);
}

namespace {

const char* OutcomeName(TagEvent::Outcome outcome) {
  switch (outcome) {
    case TagEvent::Outcome::kDone: return "ok";
    case TagEvent::Outcome::kFailed: return "failed";
    case TagEvent::Outcome::kUnknown: return "unknown";
    case TagEvent::Outcome::kMismatch: return "mismatch";
    case TagEvent::Outcome::kNone: return "none";
  }
  return "failed";
}

}  // namespace

// The attempt's journal line, on the disk before the next tag is touched. A
// list line is closed once its outcome is on record; without a record it
// stays open and is journaled as unknown at the next start.
JournalEntry TagWriter::EntryOf(const TagEvent& event) const {
  JournalEntry entry;
  entry.time = std::chrono::system_clock::now();
  entry.station = trace_.Station();
  entry.tid = attempt_.tid;
  entry.epcBefore = gs1::Hex(attempt_.epcBefore);
  entry.bank = JournalBankName(TargetBank());
  entry.start = attempt_.start;
  entry.length = attempt_.length;
  entry.value = event.value;
  // A failed attempt wrote nothing, whatever it sent to the reader.
  if (event.outcome != TagEvent::Outcome::kFailed) entry.data = gs1::Hex(event.bytes);
  entry.verify = attempt_.verify;
  entry.outcome = OutcomeName(event.outcome);
  entry.message = lastStatusLine_;
  return entry;
}

// Before the data goes out: the attempt waits beside the journal, so that a
// crash before its record leaves a trace. False (the value given back, the
// write side stopped) when even that cannot be written.
bool TagWriter::IntendAttempt(const Claim& claim, const Bytes& data) {
  ProductionJournal* journal = trace_.Journal();
  if (journal == nullptr) return true;
  JournalEntry pending = EntryOf(
      TagEvent{TagEvent::Kind::kWrite, TagEvent::Outcome::kUnknown, NextValue(), data, memory_.currentTag, 0, 0, 0});
  if (journal->Intend(pending)) return true;
  attempt_.active = false;
  GiveBack(claim);
  reporter_.ShowText(FormatString(msg::kJournalFailed, {journal->LastError()}));
  return StopWith(Halt::kJournalFailed);
}

void TagWriter::Journal(const TagEvent& event) {
  if (!attempt_.active) return;
  attempt_.active = false;
  bool recorded = true;
  if (ProductionJournal* journal = trace_.Journal()) {
    recorded = journal->Append(EntryOf(event));
    if (!recorded) {
      reporter_.ShowText(FormatString(msg::kJournalFailed, {journal->LastError()}));
      StopWith(Halt::kJournalFailed);
    }
  }
  if (attempt_.listLine != 0 && recorded && trace_.List() != nullptr) trace_.List()->Close(attempt_.listLine);
}

void TagWriter::BeginAttempt() {
  attempt_ = Attempt{};
  attempt_.active = true;
  attempt_.epcBefore = memory_.currentTag;
  attempt_.start = config_.gs1.enabled ? kGs1StartWord : config_.params.startWord;
  attempt_.length = config_.gs1.enabled ? 0 : config_.params.lengthBytes;
}

bool TagWriter::PrepareTrace() {
  if (const std::optional<Message> failure = trace_.Prepare(config_.trace)) {
    reporter_.ShowMessage(failure->id, failure->text);
    return StopWith(failure->id == msg::kJournalFailed ? Halt::kJournalFailed : Halt::kValueList);
  }
  JournalPendingAttempt();
  JournalOpenListLine();
  return halt_ != Halt::kJournalFailed;
}

// An attempt a crash left between its start and its record: its value may be
// on a tag. It is journaled as unknown (and its list line with it).
void TagWriter::JournalPendingAttempt() {
  ProductionJournal* journal = trace_.Journal();
  if (journal == nullptr) return;
  std::optional<JournalEntry> pending = journal->TakePending();
  if (!pending) return;
  pending->time = std::chrono::system_clock::now();
  pending->outcome = OutcomeName(TagEvent::Outcome::kUnknown);
  pending->verify = "off";
  pending->message = FormatString(msg::kJournalPendingAttempt, {pending->value});
  reporter_.ShowText(pending->message);
  if (!journal->Append(*pending)) {
    reporter_.ShowText(FormatString(msg::kJournalFailed, {journal->LastError()}));
    StopWith(Halt::kJournalFailed);
    return;
  }
  ValueListCursor* list = trace_.List();
  const std::optional<ValueListCursor::Line> open = list != nullptr ? list->OpenLine() : std::nullopt;
  if (open && open->value == pending->value) list->Close(open->number);
}

// A list line taken before a crash whose outcome never reached the journal:
// it may be on a tag, so it is journaled as unknown and never given out again.
void TagWriter::JournalOpenListLine() {
  ValueListCursor* list = trace_.List();
  if (list == nullptr) return;
  const std::optional<ValueListCursor::Line> open = list->OpenLine();
  if (!open) return;
  reporter_.ShowText(FormatString(msg::kValueListReserved, {open->number}));
  attempt_ = Attempt{};
  attempt_.active = true;
  attempt_.listLine = open->number;
  attempt_.start = config_.params.startWord;
  attempt_.length = config_.params.lengthBytes;
  Journal(TagEvent{TagEvent::Kind::kWrite,
                   TagEvent::Outcome::kUnknown,
                   open->value,
                   {},
                   {},
                   programmedCount_,
                   0,
                   msg::kValueListReserved});
}

bool TagWriter::TagFailed(TagEvent::Kind kind, int status, int messageId, const Bytes& bytes) {
  const bool writing = kind == TagEvent::Kind::kWrite;
  Report(kind, TagEvent::Outcome::kFailed, writing ? NextValue() : std::string(), bytes,
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
                             writing ? NextValue() : std::string(),
                             {},
                             {},
                             writing ? programmedCount_ : readCount_,
                             RDR_ERR_NO_TAG,
                             msg::kNoValidTag});
}

bool TagWriter::LibraryFailure(TagEvent::Kind kind, const Bytes& bytes) {
  const int error = RdrGetLastError(handle_);
  reporter_.ShowId(ErrorMessageId(error));
  return TagFailed(kind, error, ErrorMessageId(error), bytes);
}

namespace {

// The write value as it will stand after a successful write of `params`:
// zero stripping of the decimal binary format, upper-casing of the binary
// formats, then the increment.
std::string ValueAfterSuccess(ParameterSet next) {
  if (next.format == DataFormat::DecimalBinary) next.value = StripLeadingZeros(next.value);
  if (IsBinaryFormat(next.format)) next.value = UpperCase(next.value);
  if (next.autoIncrementDec || next.autoIncrementHex) next.value = IncrementValue(next);
  return next.value;
}

// The numbering system toggle in the first byte of the protocol-control word:
// set, the second byte is an ISO AFI instead of EPCglobal attribute bits.
constexpr unsigned kPcToggle = 0x01;

// Status 6 (wrong data count) and 24 (unknown command): the reader refused
// the command, so it never reached the tag.
constexpr int kReaderBadLength = 6;

// True when a failed data write certainly left the tag as it was: the
// library refused the frame before it went out, or the reader refused the
// command (a refusal the library trusts: no other reply on its heels). Every
// other failure (time-out, a cut, stale or unreadable reply, status 21
// without a matching read-back, any other status, even one whose number
// equals one of the library's own) may have come after the tag took the
// data. A link that cannot send shows as a time-out too, and is counted
// with those.
bool WriteCertainlyMissedTag(int handle) {
  const int origin = RdrGetLastErrorOrigin(handle);
  if (origin == RDR_ORIGIN_NOT_SENT) return true;
  const int error = RdrGetLastError(handle);
  return origin == RDR_ORIGIN_READER && (error == kReaderBadLength || error == RDR_ERR_UNKNOWN_COMMAND);
}

}  // namespace

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
  if (writeTimer_.IsRunning()) {
    StopTimer(writeTimer_);
    frontEnd_.WriteCycleStopped();
  }
  return false;
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

void TagWriter::ShowExhausted() {
  reporter_.ShowMessage(msg::kCounterExhausted, FormatString(msg::kCounterExhausted, {config_.params.lengthBytes}));
}

// The next value could not be stored: nothing may go to the tag.
TagWriter::Claim TagWriter::StoreFailed(Claim& claim, const std::string& error) {
  reporter_.ShowText(FormatString(msg::kSettingsStoreFailed, {error}));
  StopWith(Halt::kStoreFailed);
  claim.messageId = msg::kSettingsStoreFailed;
  return claim;
}

namespace {

// A value must pass the checks of one typed into the field (it may come from
// another program's job or from a list); its bytes, or why not.
std::optional<Bytes> ConvertedValue(const ParameterSet& candidate, std::optional<Message>& refusal) {
  const ControlTexts texts{std::to_string(candidate.startWord), std::to_string(candidate.lengthBytes), candidate.value,
                           ""};
  const Result<ValidControls> valid = ValidateControls(texts, candidate, false);
  if (!valid) {
    refusal = valid.message();
    return std::nullopt;
  }
  Result<Bytes> converted = TextToBytes(candidate.value, candidate);
  if (!converted) {
    refusal = converted.message();
    return std::nullopt;
  }
  return std::move(converted).value();
}

}  // namespace

// Checks the write value, converts it and, when it counts, takes it under the
// settings store's lock and stores the value after it before anything goes
// to the tag: a crash, a power loss or a second program on the same store
// after this point never hands this value to another tag.
TagWriter::Claim TagWriter::ClaimValue() {
  if (config_.gs1.enabled) return ClaimGs1();
  if (trace_.List() != nullptr) return ClaimListValue();
  Claim claim;
  std::optional<Message> refusal;
  bool exhausted = false;
  auto check = [&](const std::string& value) -> std::optional<std::string> {
    ParameterSet candidate = config_.params;
    candidate.value = value;
    if (CounterExhausted(candidate)) {
      exhausted = true;
      return std::nullopt;
    }
    std::optional<Bytes> converted = ConvertedValue(candidate, refusal);
    if (!converted) return std::nullopt;
    claim.bytes = std::move(*converted);
    return ValueAfterSuccess(candidate);
  };

  const bool increments = config_.params.autoIncrementDec || config_.params.autoIncrementHex;
  std::optional<std::string> next;
  if (increments && settings_ != nullptr) {
    std::string value = config_.params.value;
    const Settings::Take taken = settings_->TakeLastData(value, [&](const std::string& v) {
      next = check(v);
      return next;
    });
    if (value != config_.params.value) {
      // Another program moved the numbering on: continue from there.
      config_.params.value = value;
      frontEnd_.ShowWriteValue(value);
    }
    if (taken == Settings::Take::kStoreFailed) return StoreFailed(claim, settings_->LastError());
    claim.stored = taken == Settings::Take::kTaken;
  } else {
    next = check(config_.params.value);
  }
  if (exhausted) {
    ShowExhausted();
    StopWith(Halt::kCounterExhausted);
    claim.messageId = msg::kCounterExhausted;
    return claim;
  }
  if (!next) {
    if (refusal) {
      reporter_.ShowMessage(refusal->id, refusal->text);
      claim.messageId = refusal->id;
    }
    return claim;
  }
  claim.next = *next;
  claim.ok = true;
  return claim;
}

// The same for a value list: its next line, taken under the store's lock
// with the position after it saved ahead of the write. A line that cannot
// be written stops the cycle (its failure is journaled, the line used).
TagWriter::Claim TagWriter::ClaimListValue() {
  Claim claim;
  ValueListCursor& list = *trace_.List();
  ValueListCursor::Line line;
  const ValueListCursor::Take taken = list.TakeNext(&line);
  if (taken != ValueListCursor::Take::kTaken) {
    if (taken == ValueListCursor::Take::kStoreFailed) return StoreFailed(claim, list.LastError());
    claim.messageId = taken == ValueListCursor::Take::kEnd ? msg::kValueListEnd : msg::kValueListChanged;
    reporter_.ShowMessage(claim.messageId, FormatString(claim.messageId, {list.Path()}));
    StopWith(Halt::kValueList);
    return claim;
  }
  claim.listLine = line.number;
  attempt_.listLine = line.number;
  config_.params.value = line.value;
  frontEnd_.ShowWriteValue(line.value);
  std::optional<Message> refusal;
  std::optional<Bytes> converted = ConvertedValue(config_.params, refusal);
  if (!converted) {
    claim.messageId = refusal->id;
    reporter_.ShowMessage(refusal->id, refusal->text);
    StopWith(Halt::kValueList);
    return claim;
  }
  claim.bytes = std::move(*converted);
  claim.next = list.ValueOf(line.number + 1);
  claim.stored = true;
  claim.ok = true;
  return claim;
}

// The same for a GS1 job: its tag URI, taken as "NextUri" under the settings
// store's lock with the URI of the next serial stored ahead of the write.
TagWriter::Claim TagWriter::ClaimGs1() {
  Claim claim;
  std::optional<Message> refusal;
  auto check = [&](const std::string& uri) -> std::optional<std::string> {
    Result<Gs1Step> step = PlanGs1Write(uri, config_.gs1.increment);
    if (!step) {
      refusal = step.message();
      return std::nullopt;
    }
    Gs1Step planned = std::move(step).value();
    claim.bytes = std::move(planned.bytes);
    return std::move(planned.next);
  };
  std::optional<std::string> next;
  if (settings_ != nullptr) {
    std::string uri = config_.gs1.nextUri;
    const Settings::Take taken = settings_->TakeNextUri(uri, [&](const std::string& v) {
      next = check(v);
      return next;
    });
    if (uri != config_.gs1.nextUri) {
      // Another program moved the numbering on: continue from there.
      config_.gs1.nextUri = uri;
      ShowNextValue();
    }
    if (taken == Settings::Take::kStoreFailed) return StoreFailed(claim, settings_->LastError());
    claim.stored = taken == Settings::Take::kTaken;
  } else {
    next = check(config_.gs1.nextUri);
  }
  if (!next) {
    if (refusal) {
      reporter_.ShowMessage(refusal->id, refusal->text);
      claim.messageId = refusal->id;
    }
    if (refusal && refusal->id == msg::kGs1SerialExhausted) StopWith(Halt::kCounterExhausted);
    return claim;
  }
  claim.next = *next;
  claim.ok = true;
  return claim;
}

void TagWriter::ShowNextValue() {
  if (config_.gs1.enabled) {
    frontEnd_.ShowNextTagUri(config_.gs1.nextUri);
  } else {
    frontEnd_.ShowWriteValue(config_.params.value);
  }
}

// The value was not used after all (nothing reached the tag): it goes back
// to the store unless another program has taken the one after it meanwhile.
void TagWriter::GiveBack(const Claim& claim) {
  if (!claim.stored) return;
  if (claim.listLine != 0) {
    trace_.List()->GiveBack(claim.listLine);
    return;
  }
  if (config_.gs1.enabled) {
    settings_->PutBackNextUri(config_.gs1.nextUri, claim.next);
  } else {
    settings_->PutBackLastData(config_.params.value, claim.next);
  }
}

// A write whose data may have reached the tag: its value is used up. Nothing
// counts it as a success, but the value moves on and the tag is taken as
// handled, so neither this value nor this tag is written again.
void TagWriter::UseUp(const Claim& claim, const Bytes& epcBefore, int start, const Bytes& data, int error) {
  reporter_.ShowText(FormatString(msg::kOutcomeUnknown, {LoadString(ErrorMessageId(error)), NextValue()}));
  Report(TagEvent::Kind::kWrite, TagEvent::Outcome::kUnknown, NextValue(), data, programmedCount_, error,
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
  NextValue() = claim.next;
  ShowNextValue();
}

// Writes the data, through the access password when one is set (`password`
// holds its 4 bytes then).
bool TagWriter::WriteTagData(const Bytes& data, int bank, int start, const Claim& claim,
                             const unsigned char* password) {
  if (config_.options.setPassword &&
      (RdrWriteData(handle_, 0, 2, password, 4) < 0 ||
       (config_.options.activatePassword &&
        RdrLock(handle_, LockArea(TargetBank(), config_.gs1.enabled ? kGs1StartWord : config_.params.startWord), 2,
                password) < 0))) {
    // The data frame has not gone out: the value is still unused.
    GiveBack(claim);
    return LibraryFailure(TagEvent::Kind::kWrite);
  }
  const Bytes epcBefore = memory_.currentTag;
  const int length = static_cast<int>(data.size());
  const int result = config_.options.setPassword ? RdrWriteDataPw(handle_, bank, start, password, data.data(), length)
                                                 : RdrWriteData(handle_, bank, start, data.data(), length);
  if (result >= 0) return true;
  const int error = RdrGetLastError(handle_);
  if (WriteCertainlyMissedTag(handle_)) {
    GiveBack(claim);
    return LibraryFailure(TagEvent::Kind::kWrite, data);
  }
  UseUp(claim, epcBefore, start, data, error);
  return false;
}

bool TagWriter::WriteAttempt(bool cyclic) {
  const bool gs1 = config_.gs1.enabled;
  if (gs1 && Gs1SerialExhausted(config_.gs1.nextUri)) {
    reporter_.ShowMessage(msg::kGs1SerialExhausted, FormatString(msg::kGs1SerialExhausted, {config_.gs1.nextUri}));
    return StopWith(Halt::kCounterExhausted);
  }
  // A value list counts its lines, not the write value.
  if (!gs1 && trace_.List() == nullptr && CounterExhausted(config_.params)) {
    ShowExhausted();
    return StopWith(Halt::kCounterExhausted);
  }
  const int linesBefore = statusLines_;
  if (!inventory_.Run(handle_, cyclic)) {
    // Two tags in the field is an attempt the journal must show (once, as the
    // status line shows it once).
    if (statusLines_ != linesBefore && lastStatusLine_ == LoadString(msg::kTagNotUnique)) {
      BeginAttempt();
      attempt_.epcBefore.clear();
      TagFailed(TagEvent::Kind::kWrite, 0, msg::kTagNotUnique);
    }
    ReportEmptyField(TagEvent::Kind::kWrite, cyclic);
    return false;
  }
  BeginAttempt();
  if (config_.trace.readTid) attempt_.tid = ReadTagTid(handle_);
  unsigned char password[20] = {};
  const WriteOptions& options = config_.options;
  if (options.setPassword && RdrHexToBytes(options.accessPassword.c_str(), password, sizeof password) != 4) {
    reporter_.ShowId(msg::kPasswordLength);
    frontEnd_.FocusPasswordField();
    return TagFailed(TagEvent::Kind::kWrite, 0, msg::kPasswordLength);
  }
  const Claim claim = ClaimValue();
  if (!claim.ok) return TagFailed(TagEvent::Kind::kWrite, 0, claim.messageId);
  WaitCursor waitCursor(frontEnd_);
  Bytes data = claim.bytes;
  // A GS1 job writes its encoding from word 2 of the EPC bank, always with
  // the EPC length bits set for it.
  const Bank target = TargetBank();
  const int bank = static_cast<int>(target);
  int start = gs1 ? kGs1StartWord : config_.params.startWord;
  const int lengthBytes = gs1 ? static_cast<int>(claim.bytes.size()) : config_.params.lengthBytes;
  attempt_.length = lengthBytes;
  if (target == Bank::Epc && (gs1 || config_.options.epcLengthFix) && start == 2) {
    // Write the protocol-control word with the EPC, its length bits set to the new length.
    const auto lengthBits = static_cast<std::uint8_t>((lengthBytes / 2) * 8);
    unsigned char pc[2] = {};
    Bytes prefix = {lengthBits, 0};
    if (RdrReadData(handle_, 1, 1, pc, 2) == 2) {
      prefix = {static_cast<std::uint8_t>((pc[0] & 7) | lengthBits), pc[1]};
      // A GS1 EPC wants the numbering system toggle clear (an EPCglobal
      // application): a set toggle and the AFI it carried go.
      if (gs1 && (pc[0] & kPcToggle) != 0) prefix = {static_cast<std::uint8_t>((pc[0] & 6) | lengthBits), 0};
    }
    data.insert(data.begin(), prefix.begin(), prefix.end());
    start = 1;
  }
  const Bytes epcBefore = memory_.currentTag;
  if (!IntendAttempt(claim, data)) return false;
  if (!WriteTagData(data, bank, start, claim, password)) return false;

  if (target == Bank::Epc) {
    // The data is on the tag: its value is used up even when the tag does not
    // answer the check. Remember it by the EPC it now carries, so the cycle
    // neither writes it again nor hands this value to the next tag. A tag
    // that answers with another EPC is not the one written (it came in after
    // it) and must stay unknown, or the cycle would never write it.
    const std::optional<Bytes> predicted = PredictEpcAfterWrite(epcBefore, start, data);
    const bool answered = inventory_.Run(handle_, false);
    if (!answered || (predicted && memory_.currentTag != *predicted)) {
      memory_.currentTag = predicted.value_or(Bytes{});
      // A new EPC nobody can know: the next single tag seen is this one.
      if (!answered && !predicted) memory_.adoptNextTag = true;
    }
  }
  memory_.lastTag = memory_.currentTag;
  if (config_.trace.verify && !VerifyWrite(claim, data, bank, start)) return false;

  if (gs1) {
    AppendLogLine(writeLog_, config_.logs.writeLogEnabled, DataFormat::HexBinary, kGs1StartWord, lengthBytes,
                  config_.gs1.nextUri);
    if (beeper_ != nullptr) beeper_->Beep(config_.beepTimeMs);
    reporter_.ShowText(FormatString(msg::kValueWritten, {config_.gs1.nextUri}));
    frontEnd_.ShowProgrammedCount(++programmedCount_);
    Report(TagEvent::Kind::kWrite, TagEvent::Outcome::kDone, config_.gs1.nextUri, data, programmedCount_);
    reporter_.ResetRepeat();
    config_.gs1.nextUri = claim.next;
    ShowNextValue();
    return true;
  }
  if (config_.params.format == DataFormat::DecimalBinary) {
    config_.params.value = StripLeadingZeros(config_.params.value);
    frontEnd_.ShowWriteValue(config_.params.value);
  }
  AppendLogLine(writeLog_, config_.logs.writeLogEnabled, config_.params.value);
  if (beeper_ != nullptr) beeper_->Beep(config_.beepTimeMs);
  if (IsBinaryFormat(config_.params.format)) config_.params.value = UpperCase(config_.params.value);
  if (IsDataFormat(config_.params.format)) {
    reporter_.ShowText(FormatString(msg::kDataWritten, {dataWriteCounter_++}));
  } else {
    reporter_.ShowText(FormatString(msg::kValueWritten, {config_.params.value}));
  }
  frontEnd_.ShowProgrammedCount(++programmedCount_);
  Report(TagEvent::Kind::kWrite, TagEvent::Outcome::kDone, config_.params.value, data, programmedCount_);
  reporter_.ResetRepeat();
  config_.params.value = claim.next;
  frontEnd_.ShowWriteValue(config_.params.value);
  return true;
}

// Reads back what the reader reported written (after an EPC write, from the
// tag as the inventory found it with its new EPC). The protocol-control word
// is left out: a tag keeps some of its bits itself. A mismatch or a failed
// read is no success: the tag is not counted, and its value stays used.
bool TagWriter::VerifyWrite(const Claim& claim, const Bytes& data, int bank, int start) {
  const bool withPc = bank == static_cast<int>(Bank::Epc) && start == 1;
  const Bytes expected(data.begin() + (withPc ? 2 : 0), data.end());
  Bytes back(expected.size());
  const int read = RdrReadData(handle_, bank, withPc ? 2 : start, back.data(), static_cast<int>(back.size()));
  if (read == static_cast<int>(back.size()) && back == expected) {
    attempt_.verify = "ok";
    return true;
  }
  attempt_.verify = "mismatch";
  const int error = read < 0 ? RdrGetLastError(handle_) : 0;
  int messageId = msg::kVerifyMismatch;
  if (read < 0) {
    messageId = msg::kVerifyReadFailed;
    reporter_.ShowText(FormatString(messageId, {LoadString(ErrorMessageId(error))}));
  } else {
    back.resize(static_cast<std::size_t>(read));
    reporter_.ShowText(FormatString(messageId, {gs1::Hex(expected), gs1::Hex(back)}));
  }
  Report(TagEvent::Kind::kWrite, TagEvent::Outcome::kMismatch, NextValue(), data, programmedCount_, error, messageId);
  NextValue() = claim.next;
  ShowNextValue();
  return false;
}

bool TagWriter::WriteOnce() {
  dataWriteCounter_ = 1;
  halt_ = Halt::kNone;
  if (!PrepareTrace()) return false;
  if (WriteAttempt(false)) return true;
  CheckLink();
  return false;
}

CycleTimer& TagWriter::TimerOf(Cycle cycle) { return cycle == Cycle::Read ? readTimer_ : writeTimer_; }

void TagWriter::StopTimer(CycleTimer& timer) {
  if (!timer.IsRunning()) return;
  timer.Stop();
  RdrSetNoWindowLock(handle_, 0);
}

bool TagWriter::StartCycle(Cycle cycle) {
  if (cycle == Cycle::None || RunningCycle() != Cycle::None) return false;
  if (cycle == Cycle::Write) {
    halt_ = Halt::kNone;
    if (!PrepareTrace()) return false;
    if (config_.gs1.enabled && Gs1SerialExhausted(config_.gs1.nextUri)) {
      reporter_.ShowMessage(msg::kGs1SerialExhausted, FormatString(msg::kGs1SerialExhausted, {config_.gs1.nextUri}));
      halt_ = Halt::kCounterExhausted;
      return false;
    }
    if (!config_.gs1.enabled && trace_.List() == nullptr && CounterExhausted(config_.params)) {
      ShowExhausted();
      halt_ = Halt::kCounterExhausted;
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
  RdrSetNoWindowLock(handle_, 1);
  memory_.lastTag.clear();
  reporter_.ResetRepeat();
  TimerOf(cycle).Start(config_.cycleTimeMs);
  return true;
}

void TagWriter::StopCycle() {
  StopTimer(writeTimer_);
  StopTimer(readTimer_);
}

void TagWriter::Tick(Cycle cycle) {
  if (cycle == Cycle::None || inTick_) return;
  inTick_ = true;
  reporter_.SetInTick(true);
  const bool done = cycle == Cycle::Write ? WriteAttempt(true) : ReadAttempt(true);
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
  if (inventory_.Run(handle_, cyclic)) {
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
    const int read = RdrReadData(handle_, static_cast<int>(shown.bank), shown.startWord, buffer.data(),
                                 static_cast<int>(buffer.size()));
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

#include "app/tag_writer.h"

#include <algorithm>
#include <cctype>

#include "app/epc_prediction.h"
#include "app/formats.h"
#include "app/increment.h"
#include "app/messages.h"
#include "app/strings.h"
#include "app/values.h"
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
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
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
      reporter_([this](const std::string& line) { frontEnd_.AppendStatus(line); }),
      inventory_(reporter_, memory_, std::move(clock)) {}

Cycle TagWriter::RunningCycle() const {
  if (writeTimer_.IsRunning()) return Cycle::Write;
  if (readTimer_.IsRunning()) return Cycle::Read;
  return Cycle::None;
}

bool TagWriter::ShowLibraryError() {
  reporter_.ShowId(ErrorMessageId(RdrGetLastError(handle_)));
  return false;
}

// The write value as it will stand after a successful write of the current one:
// zero stripping of the decimal binary format, upper-casing of the binary
// formats, then the increment.
std::string TagWriter::ValueAfterSuccess() const {
  ParameterSet next = params_;
  if (next.format == DataFormat::DecimalBinary) next.value = StripLeadingZeros(next.value);
  if (IsBinaryFormat(next.format)) next.value = UpperCase(next.value);
  if (next.autoIncrementDec || next.autoIncrementHex) next.value = IncrementValue(next);
  return next.value;
}

void TagWriter::StoreWriteValue(const std::string& value) {
  if (settings_ != nullptr) settings_->StoreLastData(value);
}

void TagWriter::AppendLogLine(LogFile& log, bool enabled, const std::string& value) {
  if (!enabled) return;
  const std::string& name = &log == &writeLog_ ? logs_.writeLogFile : logs_.readLogFile;
  if (log.FileName() != name) log.SetFileName(name);
  // A line that cannot be written is not dropped without a word: the operator
  // must know that the log of this run has a gap.
  if (!log.Append(params_.format, params_.startWord, params_.lengthBytes, value)) {
    reporter_.ShowText(FormatString(msg::kLogWriteFailed, {name}));
  }
}

// Writes the data, through the access password when one is set. Before the
// data goes out, the value that follows it is stored, so that a crash or a
// power loss after this point never hands the same value to a second tag.
bool TagWriter::WriteTagData(const Bytes& data, int bank, int start) {
  const bool increments = params_.autoIncrementDec || params_.autoIncrementHex;
  unsigned char password[20] = {};
  if (options_.setPassword) {
    if (RdrHexToBytes(options_.accessPassword.c_str(), password, sizeof password) != 4) {
      reporter_.ShowId(msg::kPasswordLength);
      frontEnd_.FocusPasswordField();
      return false;
    }
    if (RdrWriteData(handle_, 0, 2, password, 4) < 0) return ShowLibraryError();
    if (options_.activatePassword &&
        RdrLock(handle_, LockArea(params_.bank, params_.startWord), 2, password) < 0) {
      return ShowLibraryError();
    }
  }
  if (increments && settings_ != nullptr && !settings_->StoreLastData(ValueAfterSuccess())) {
    reporter_.ShowText(FormatString(msg::kSettingsStoreFailed, {settings_->LastError()}));
    return false;
  }
  const int length = static_cast<int>(data.size());
  const int result = options_.setPassword ? RdrWriteDataPw(handle_, bank, start, password, data.data(), length)
                                          : RdrWriteData(handle_, bank, start, data.data(), length);
  if (result < 0) {
    if (increments) StoreWriteValue(params_.value);
    return ShowLibraryError();
  }
  return true;
}

bool TagWriter::WriteAttempt(bool cyclic) {
  if (!inventory_.Run(handle_, cyclic)) return false;
  const BytesResult converted = TextToBytes(params_.value, params_);
  if (!converted.ok) {
    reporter_.ShowMessage(converted.message.id, converted.message.text);
    return false;
  }
  WaitCursor waitCursor(frontEnd_);
  Bytes data = converted.bytes;
  const int bank = static_cast<int>(params_.bank);
  int start = params_.startWord;
  if (params_.bank == Bank::Epc && options_.epcLengthFix && start == 2) {
    // Write the protocol-control word with the EPC, its length bits set to the new length.
    const auto lengthBits = static_cast<std::uint8_t>((params_.lengthBytes / 2) * 8);
    unsigned char pc[2] = {};
    Bytes prefix = {lengthBits, 0};
    if (RdrReadData(handle_, 1, 1, pc, 2) == 2) {
      prefix = {static_cast<std::uint8_t>((pc[0] & 7) | lengthBits), pc[1]};
    }
    data.insert(data.begin(), prefix.begin(), prefix.end());
    start = 1;
  }
  const Bytes epcBefore = memory_.currentTag;
  if (!WriteTagData(data, bank, start)) return false;

  if (params_.bank == Bank::Epc) {
    // The data is on the tag: its value is used up even when the tag does not
    // answer the check. Remember it by the EPC it now carries, so the cycle
    // neither writes it again nor hands this value to the next tag. A tag
    // that answers with another EPC is not the one written (it came in after
    // it) and must stay unknown, or the cycle would never write it.
    const std::optional<Bytes> predicted = PredictEpcAfterWrite(epcBefore, start, data);
    const bool answered = inventory_.Run(handle_, false);
    if (!answered || (predicted && memory_.currentTag != *predicted)) {
      memory_.currentTag = predicted.value_or(Bytes{});
    }
  }
  memory_.lastTag = memory_.currentTag;

  if (params_.format == DataFormat::DecimalBinary) {
    params_.value = StripLeadingZeros(params_.value);
    frontEnd_.ShowWriteValue(params_.value);
  }
  AppendLogLine(writeLog_, logs_.writeLogEnabled, params_.value);
  if (beeper_ != nullptr) beeper_->Beep(beepTimeMs_);
  if (IsBinaryFormat(params_.format)) params_.value = UpperCase(params_.value);
  if (IsDataFormat(params_.format)) {
    reporter_.ShowText(FormatString(msg::kDataWritten, {dataWriteCounter_++}));
  } else {
    reporter_.ShowText(FormatString(msg::kValueWritten, {params_.value}));
  }
  frontEnd_.ShowProgrammedCount(++programmedCount_);
  reporter_.ResetRepeat();
  if (params_.autoIncrementDec || params_.autoIncrementHex) params_.value = IncrementValue(params_);
  frontEnd_.ShowWriteValue(params_.value);
  return true;
}

bool TagWriter::WriteOnce() {
  dataWriteCounter_ = 1;
  return WriteAttempt(false);
}

void TagWriter::StartCycle(CycleTimer& timer) {
  RdrSetNoWindowLock(handle_, 1);
  memory_.lastTag.clear();
  reporter_.ResetRepeat();
  timer.Start(cycleTimeMs_);
}

void TagWriter::StopCycle(CycleTimer& timer) {
  if (!timer.IsRunning()) return;
  timer.Stop();
  RdrSetNoWindowLock(handle_, 0);
}

bool TagWriter::StartWriteCycle() {
  if (RunningCycle() != Cycle::None) return false;
  dataWriteCounter_ = 1;
  programmedCount_ = 0;
  frontEnd_.ShowProgrammedCount(0);
  StartCycle(writeTimer_);
  return true;
}

void TagWriter::StopWriteCycle() { StopCycle(writeTimer_); }

void TagWriter::WriteTick() {
  if (inWriteTick_) return;
  inWriteTick_ = true;
  reporter_.SetInTick(true);
  WriteAttempt(true);
  reporter_.SetInTick(false);
  inWriteTick_ = false;
}

bool TagWriter::ReadAttempt(bool cyclic) {
  if (inventory_.Run(handle_, cyclic)) {
    Bytes buffer(static_cast<std::size_t>(std::max(params_.lengthBytes, 0)), 0);
    if (RdrReadData(handle_, static_cast<int>(params_.bank), params_.startWord, buffer.data(),
                    static_cast<int>(buffer.size())) < 0) {
      ShowLibraryError();
      if (!keepLastValue_) frontEnd_.ShowReadText("");
      return false;
    }
    const TextResult rendered = BytesToText(buffer, params_);
    if (rendered.hasMessage) reporter_.ShowMessage(rendered.message.id, rendered.message.text);
    lastReadText_ = rendered.text;
    frontEnd_.ShowReadText(lastReadText_);
    memory_.lastTag = memory_.currentTag;
    reporter_.ResetRepeat();
    ++readCount_;
    AppendLogLine(readLog_, logs_.readLogEnabled, lastReadText_);
    return true;
  }
  if (memory_.sameTagStillPresent) {
    frontEnd_.ShowReadText(lastReadText_);
    return true;
  }
  if (!cyclic || !keepLastValue_) frontEnd_.ShowReadText("");
  return false;
}

bool TagWriter::ReadOnce() { return ReadAttempt(false); }

bool TagWriter::StartReadCycle() {
  if (RunningCycle() != Cycle::None) return false;
  lastReadText_.clear();
  readCount_ = 0;
  StartCycle(readTimer_);
  return true;
}

void TagWriter::StopReadCycle() { StopCycle(readTimer_); }

void TagWriter::ReadTick() {
  if (inReadTick_) return;
  inReadTick_ = true;
  reporter_.SetInTick(true);
  ReadAttempt(true);
  reporter_.SetInTick(false);
  inReadTick_ = false;
}

}  // namespace stampwise

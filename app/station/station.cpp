#include "app/station/station.h"

#include <algorithm>

#include "app/texts/messages.h"

namespace stampwise {
namespace station {

Outcome OutcomeOf(const std::optional<TagEvent>& last, bool halted) {
  if (!last) return halted ? Outcome::kFailed : Outcome::kNoTag;
  switch (last->outcome) {
    case TagEvent::Outcome::kDone: return Outcome::kWritten;
    case TagEvent::Outcome::kUnknown: return Outcome::kUnknown;
    case TagEvent::Outcome::kMismatch: return Outcome::kMismatch;
    case TagEvent::Outcome::kNone: return Outcome::kNoTag;
    case TagEvent::Outcome::kFailed:
      return last->messageId == msg::kTagNotUnique ? Outcome::kSeveralTags : Outcome::kFailed;
  }
  return Outcome::kFailed;
}

bool Rejects(Outcome outcome) { return outcome != Outcome::kNoneYet && outcome != Outcome::kWritten; }

}  // namespace station

namespace {

using station::Outcome;

// Bytes into registers, two to a register, the first byte high; what does not
// fit is left out, the rest of the registers cleared.
template <std::size_t N>
void PutBytes(std::array<std::uint16_t, N>& registers, int first, int count, const std::vector<std::uint8_t>& bytes) {
  for (int i = 0; i < count; ++i) {
    const std::size_t high = static_cast<std::size_t>(i) * 2;
    const std::uint16_t h = high < bytes.size() ? bytes[high] : 0;
    const std::uint16_t l = high + 1 < bytes.size() ? bytes[high + 1] : 0;
    registers[static_cast<std::size_t>(first + i)] = static_cast<std::uint16_t>(h << 8 | l);
  }
}

template <std::size_t N>
void PutCount(std::array<std::uint16_t, N>& registers, int first, std::uint32_t value) {
  registers[static_cast<std::size_t>(first)] = static_cast<std::uint16_t>(value >> 16);
  registers[static_cast<std::size_t>(first + 1)] = static_cast<std::uint16_t>(value & 0xFFFF);
}

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// Whether the attempt's data went out to a tag: the journal's rule, a failed
// attempt wrote nothing whatever it sent to the reader.
bool DataWentOut(Outcome outcome) {
  return outcome == Outcome::kWritten || outcome == Outcome::kUnknown || outcome == Outcome::kMismatch;
}

}  // namespace

Station::Station(TagWriter& writer, std::function<void()> dispatch) : writer_(writer), dispatch_(std::move(dispatch)) {
  UpdateInputs();
}

void Station::SetReady(bool readerOpen, bool jobValid) {
  std::lock_guard lock(mutex_);
  readerOpen_ = readerOpen;
  jobValid_ = jobValid;
  UpdateInputs();
}

void Station::UpdateInputs() {
  auto& in = image_.inputs;
  in[station::kReady] = readerOpen_ && jobValid_ && !halted_ && !waiting_;
  in[station::kBusy] = image_.trigger;
  in[station::kHalted] = halted_;
}

Station::Trigger Station::Fire() {
  {
    std::lock_guard lock(mutex_);
    if (image_.trigger) return Trigger::kBusy;
    if (!image_.inputs[station::kReady]) return Trigger::kNotReady;
    image_.trigger = true;
    UpdateInputs();
  }
  dispatch_();
  return Trigger::kAccepted;
}

void Station::Note(const TagEvent& event) {
  if (inAttempt_ && event.kind == TagEvent::Kind::kWrite) lastEvent_ = event;
}

void Station::RunAttempt() {
  bool ready = false;
  {
    std::lock_guard lock(mutex_);
    // Only a trigger starts an attempt (a late hand-over finds none).
    if (!image_.trigger) return;
    ready = image_.inputs[station::kReady];
  }
  // A job that stopped passing its checks since the trigger (the window's
  // fields) writes nothing: the trigger settles as failed.
  lastEvent_.reset();
  if (ready) {
    inAttempt_ = true;
    writer_.WriteOnce(true);
    inAttempt_ = false;
  }
  // A source at its end halts the station at once, said as the writer says
  // it: the PLC must not bring another tag for a value there is none of.
  bool halted = ready && writer_.HaltReason() != TagWriter::Halt::kNone;
  if (ready && !halted && writer_.Source() != nullptr) {
    if (const std::optional<Message> end = writer_.Source()->Exhausted()) {
      writer_.Reporter().ShowMessage(end->id, end->text);
      halted = true;
    }
  }
  const Outcome outcome = station::OutcomeOf(lastEvent_, !ready || halted);
  int status = 0;
  if (lastEvent_) {
    status = lastEvent_->status;
  } else if (ready && !halted && writer_.Link().IsOpen()) {
    // The inventory's exchange failed: the PLC gets the library's reason.
    status = writer_.Link().LastError();
  }
  // The TID of a tag that took its data, as the attempt read it (when the
  // job reads TIDs): no further exchange before the trigger settles.
  std::vector<std::uint8_t> tid;
  if (outcome == Outcome::kWritten || outcome == Outcome::kMismatch) tid = FromHex(writer_.AttemptTid());
  const std::vector<std::uint8_t> data = DataWentOut(outcome) ? lastEvent_->bytes : std::vector<std::uint8_t>{};

  std::lock_guard lock(mutex_);
  if (outcome == Outcome::kWritten) ++written_;
  if (station::Rejects(outcome)) ++rejected_;
  if (outcome == Outcome::kUnknown) ++unknown_;
  auto& regs = image_.registers;
  PutCount(regs, station::kWrittenCount, written_);
  PutCount(regs, station::kRejectedCount, rejected_);
  PutCount(regs, station::kUnknownCount, unknown_);
  regs[station::kLastOutcome] = static_cast<std::uint16_t>(outcome);
  regs[station::kLastStatus] = static_cast<std::uint16_t>(std::clamp(status, 0, 0xFFFF));
  regs[station::kByteCount] = static_cast<std::uint16_t>(std::min<std::size_t>(data.size(), 0xFFFF));
  PutBytes(regs, station::kBytes, station::kByteRegisters, data);
  PutBytes(regs, station::kTid, station::kTidRegisters, tid);
  image_.inputs[station::kPassed] = outcome == Outcome::kWritten;
  image_.inputs[station::kRejected] = station::Rejects(outcome);
  if (ready) halted_ = halted;
  waiting_ = writer_.WaitingForLedger();
  image_.trigger = false;
  ++settled_;
  UpdateInputs();
}

bool Station::Resume() {
  if (!Waiting()) return false;
  writer_.RetryLedger();
  std::lock_guard lock(mutex_);
  waiting_ = writer_.WaitingForLedger();
  if (writer_.HaltReason() != TagWriter::Halt::kNone) halted_ = true;
  UpdateInputs();
  return waiting_;
}

bool Station::Waiting() const {
  std::lock_guard lock(mutex_);
  return waiting_;
}

StationImage Station::Image() const {
  std::lock_guard lock(mutex_);
  return image_;
}

station::Outcome Station::LastOutcome() const {
  std::lock_guard lock(mutex_);
  return static_cast<Outcome>(image_.registers[station::kLastOutcome]);
}

int Station::Settled() const {
  std::lock_guard lock(mutex_);
  return settled_;
}

bool Station::Halted() const {
  std::lock_guard lock(mutex_);
  return halted_;
}

}  // namespace stampwise

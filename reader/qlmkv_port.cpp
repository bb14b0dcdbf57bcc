#include "reader/qlmkv_port.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "protocol/reply_shape.h"
#include "reader/rdr.h"
#include "reader/wait_hooks.h"

namespace qlmkv {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMinGuardMs = 50;
constexpr int kMaxGuardMs = 1000;
// A line that does not fall quiet within this many guard times is given up
// for this exchange.
constexpr int kDrainLimitGuards = 10;
// How long after a fault tag-changing replies are confirmed by a quiet line:
// the drain plus one guard time covers a reply that is still under way, and
// keeps the cost of an occasional fault to a write or two.
constexpr int kSuspectGuards = 3;
// Threads remembered with their own last error; the oldest goes first.
constexpr std::size_t kThreadErrorSlots = 16;

int CeilMilliseconds(Clock::duration d) {
  if (d <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

CQL_MKV_Port::CQL_MKV_Port(int deviceAddress, int timeoutMs, WaitClock& clock)
    : deviceAddress_(deviceAddress), timeoutMs_(timeoutMs), clock_(clock) {}

CQL_MKV_Port::~CQL_MKV_Port() { CloseTransport(); }

void CQL_MKV_Port::AttachTransport(std::unique_ptr<Transport> transport) {
  std::lock_guard use(transportMutex_);
  transport_ = std::move(transport);
  transportClosed_ = transport_ == nullptr;
}

void CQL_MKV_Port::CloseTransport() {
  // A waiting exchange learns of the close first and leaves its wait...
  {
    std::lock_guard lock(rxMutex_);
    closing_ = true;
  }
  WakeWaiters();
  // ...and a send or poll under way finishes before the link goes.
  std::lock_guard use(transportMutex_);
  if (transport_ != nullptr && !transportClosed_) {
    transportClosed_ = true;
    transport_->Close();
  }
}

bool CQL_MKV_Port::IsUsb() const {
  std::lock_guard use(transportMutex_);
  return transport_ != nullptr && transport_->IsUsb();
}

void CQL_MKV_Port::SetLastError(int code, ErrorOrigin origin) {
  const ErrorRecord record{code, origin};
  const std::thread::id self = std::this_thread::get_id();
  std::lock_guard lock(errorMutex_);
  latestError_ = record;
  for (auto& [thread, kept] : errorsByThread_) {
    if (thread == self) {
      kept = record;
      return;
    }
  }
  if (errorsByThread_.size() == kThreadErrorSlots) errorsByThread_.erase(errorsByThread_.begin());
  errorsByThread_.emplace_back(self, record);
}

CQL_MKV_Port::ErrorRecord CQL_MKV_Port::LastErrorRecord() const {
  const std::thread::id self = std::this_thread::get_id();
  std::lock_guard lock(errorMutex_);
  for (const auto& [thread, kept] : errorsByThread_) {
    if (thread == self) return kept;
  }
  return latestError_;
}

std::chrono::milliseconds CQL_MKV_Port::GuardTime() const {
  return std::chrono::milliseconds(std::clamp(timeoutMs_, kMinGuardMs, kMaxGuardMs));
}

CQL_MKV_Port::Turn::Turn(CQL_MKV_Port& port) : port_(port) {
  if (port_.turnOwner_.load() == std::this_thread::get_id()) return;
  port_.turnMutex_.lock();
  port_.turnOwner_.store(std::this_thread::get_id());
  taken_ = true;
}

CQL_MKV_Port::Turn::~Turn() {
  if (!taken_) return;
  port_.turnOwner_.store(std::thread::id{});
  port_.turnMutex_.unlock();
}

bool CQL_MKV_Port::Transceive(std::uint8_t command, const Bytes& payload, Bytes& data) {
  sendBuffer_.clear();
  sendBuffer_.push_back(command);
  sendBuffer_.insert(sendBuffer_.end(), payload.begin(), payload.end());
  if (!SendCommand()) return false;
  Bytes replyData;
  const bool ok = ReceiveReply(replyData);
  if (!ok && LastErrorOrigin() == ErrorOrigin::kExchange) return false;
  // A stale reply of another command does not pass for this one's.
  if (ok && !reply::Fits(command, payload, replyData)) return Unanswered(RDR_ERR_REPLY_MISFIT);
  // A reply that decides whether a tag was changed counts only when no other
  // reply follows on its heels: a refusal always, any reply shortly after a
  // fault (when a late one may still be under way).
  if (reply::ChangesTag(command) && (!ok || ShortlyAfterFault()) && !StaysQuiet()) {
    return Unanswered(RDR_ERR_REPLY_MISFIT);
  }
  unanswered_.store(0);
  if (ok) data = std::move(replyData);
  return ok;
}

bool CQL_MKV_Port::Unanswered(int code) {
  SetLastError(code, ErrorOrigin::kExchange);
  NoteFault();
  unanswered_.fetch_add(1);
  return false;
}

void CQL_MKV_Port::NoteFault() {
  drainFirst_ = true;
  faultSeen_ = true;
  lastFault_ = clock_.Now();
}

bool CQL_MKV_Port::ShortlyAfterFault() {
  return faultSeen_ && clock_.Now() - lastFault_ < GuardTime() * kSuspectGuards;
}

void CQL_MKV_Port::BuildFrame() {
  if (sendBuffer_.empty()) return;
  const std::uint8_t command = sendBuffer_.front();
  const std::size_t payloadSize = sendBuffer_.size() - 1;
  sendBuffer_ = frame::Build(Variant(), static_cast<std::uint8_t>(deviceAddress_ & 0xFF), command,
                             sendBuffer_.data() + 1, payloadSize);
}

bool CQL_MKV_Port::SendCommand() {
  // The length field is one byte: a longer payload would go out as a frame
  // the reader misreads, so it is refused before anything is sent.
  if (sendBuffer_.size() > frame::kMaxPayload + 1) {
    sendBuffer_.clear();
    SetLastError(RDR_ERR_CAPACITY);
    return false;
  }
  BuildFrame();
  if (sendBuffer_.empty()) {
    SetLastError(RDR_ERR_NOTHING_TO_SEND);
    return false;
  }
  // Bytes that came while no exchange was open answer nothing we asked:
  // the line is out of step, and is drained like after a time-out. A link
  // that callers read holds them until it is read: now.
  (void)ReceiveHere(clock_.Now(), [] { return false; });
  if (ReceivedCount() > 0) drainFirst_ = true;
  if (drainFirst_ && !Drain()) {
    sendBuffer_.clear();
    SetLastError(RDR_ERR_TIMEOUT);
    unanswered_.fetch_add(1);
    return false;
  }
  ClearReceived();
  {
    std::lock_guard use(transportMutex_);
    if (transport_ != nullptr && !transportClosed_) {
      transport_->Send(sendBuffer_.data(), sendBuffer_.size(), std::chrono::milliseconds(timeoutMs_));
    }
  }
  lastFrame_.swap(sendBuffer_);
  sendBuffer_.clear();
  if (WaitForReply()) return Unanswered(RDR_ERR_TIMEOUT);
  return true;
}

bool CQL_MKV_Port::ReceiveReply(Bytes& out) {
  Bytes reply;
  {
    std::lock_guard lock(rxMutex_);
    reply.swap(rxBuffer_);
  }
  // A line that hands the frame back (a connection to itself, an echoing
  // converter) has not answered it.
  if (!reply.empty() && reply == lastFrame_) return Unanswered(RDR_ERR_REPLY_MISFIT);
  const int error = frame::ValidateReply(Variant(), reply, out);
  if (error == RDR_ERR_CHECKSUM || error == RDR_ERR_EMPTY_REPLY) return Unanswered(error);
  if (error != 0) {
    // The reader's own status: it answered.
    out.clear();
    SetLastError(error, ErrorOrigin::kReader);
    return false;
  }
  return true;
}

bool CQL_MKV_Port::ArrivalBefore(Clock::time_point until) {
  std::uint64_t seen;
  {
    std::lock_guard lock(rxMutex_);
    seen = arrivals_;
  }
  for (;;) {
    {
      std::lock_guard lock(rxMutex_);
      if (arrivals_ != seen) return true;
      if (closing_ || linkLost_) return false;
    }
    if (clock_.Now() >= until) return false;
    Pass(true, seen, until);
  }
}

bool CQL_MKV_Port::Drain() {
  WindowLockGuard windowLock(NoWindowLock());
  const auto giveUp = clock_.Now() + GuardTime() * kDrainLimitGuards;
  for (;;) {
    ClearReceived();
    const bool arrived = ArrivalBefore(clock_.Now() + GuardTime());
    {
      std::lock_guard lock(rxMutex_);
      if (closing_ || linkLost_) return false;
      if (!arrived && rxBuffer_.empty()) {
        drainFirst_ = false;
        return true;
      }
    }
    if (clock_.Now() > giveUp) return false;
  }
}

bool CQL_MKV_Port::StaysQuiet() {
  WindowLockGuard windowLock(NoWindowLock());
  {
    std::lock_guard lock(rxMutex_);
    if (!rxBuffer_.empty()) return false;
  }
  return !ArrivalBefore(clock_.Now() + GuardTime());
}

bool CQL_MKV_Port::WaitForReply() {
  WindowLockGuard windowLock(NoWindowLock());
  const int variant = Variant();

  const bool headerSeen = RunPhase([](Bytes& rx) { return rx.size() >= 4 ? Step::kDone : Step::kWaiting; });
  if (!headerSeen) return true;

  if (variant == 0) {
    // Stray bytes before the start byte are dropped, all that have arrived
    // in one pass (one at a time would cost a copy of the buffer per byte).
    const bool startFound = RunPhase([](Bytes& rx) {
      if (rx.empty()) return Step::kWaiting;
      if (rx.front() == frame::kStartByte) return Step::kDone;
      rx.erase(rx.begin(), std::find(rx.begin(), rx.end(), frame::kStartByte));
      return Step::kProgress;
    });
    if (!startFound) return true;
  }

  // Also covers a buffer that dropped below the length byte in phase 2.
  const bool complete = RunPhase([variant](Bytes& rx) {
    return frame::CompleteLength(variant, rx.data(), rx.size()) > 0 ? Step::kDone : Step::kWaiting;
  });
  return !complete;
}

template <typename StepFn>
bool CQL_MKV_Port::RunPhase(StepFn step) {
  const auto deadline = clock_.Now() + std::chrono::milliseconds(timeoutMs_);
  for (;;) {
    Step result;
    std::uint64_t seen;
    {
      std::lock_guard lock(rxMutex_);
      if (closing_ || linkLost_) return false;
      result = step(rxBuffer_);
      seen = arrivals_;
    }
    if (result == Step::kDone) return true;
    if (clock_.Now() > deadline) return false;
    Pass(result == Step::kWaiting, seen, deadline);
  }
}

// One waiting pass: let the front end handle its events, or block until a
// byte arrives.
void CQL_MKV_Port::Pass(bool mayBlock, std::uint64_t seenArrivals, Clock::time_point deadline) {
  const auto until = mayBlock ? deadline : clock_.Now();
  const DispatchHooks hooks = CurrentDispatchHooks();
  if (hooks.dispatch != nullptr) {
    LetWorkerDeliver();
    bool news;
    {
      std::lock_guard lock(rxMutex_);
      news = arrivals_ != seenArrivals || closing_ || linkLost_;
    }
    hooks.dispatch(hooks.context, news ? 0 : CeilMilliseconds(until - clock_.Now()));
  } else if (mayBlock) {
    const auto news = [&] { return arrivals_ != seenArrivals || closing_ || linkLost_; };
    if (ReceiveHere(until, [&] {
          std::lock_guard lock(rxMutex_);
          return news();
        }))
      return;
    LetWorkerDeliver();
    std::unique_lock lock(rxMutex_);
    clock_.WaitUntil(lock, rxSignal_, until, news);
  }
}

bool CQL_MKV_Port::ReceiveHere(Clock::time_point until, const std::function<bool()>& news) {
  // A clock of a test's own keeps time that the link's real wait knows nothing of.
  if (&clock_ != &SteadyWaitClock()) return false;
  Transport* transport;
  {
    std::lock_guard use(transportMutex_);
    if (transport_ == nullptr || transportClosed_) return false;
    transport = transport_.get();
  }
  // The transport is destroyed only with the connection, and a close lets a
  // caller's wait end first.
  return transport->ReceiveHere(until, news);
}

void CQL_MKV_Port::LetWorkerDeliver() {
  std::lock_guard use(transportMutex_);
  if (transport_ != nullptr && !transportClosed_) transport_->LetWorkerDeliver();
}

std::size_t CQL_MKV_Port::ReceivedCount() const {
  std::lock_guard lock(rxMutex_);
  return rxBuffer_.size();
}

std::uint8_t CQL_MKV_Port::ReceivedAt(std::size_t index) const {
  std::lock_guard lock(rxMutex_);
  if (index >= rxBuffer_.size()) throw std::invalid_argument("receive buffer index out of range");
  return rxBuffer_[index];
}

void CQL_MKV_Port::DropReceived(std::size_t count) {
  std::lock_guard lock(rxMutex_);
  rxBuffer_.erase(rxBuffer_.begin(),
                  rxBuffer_.begin() + static_cast<std::ptrdiff_t>(std::min(count, rxBuffer_.size())));
}

void CQL_MKV_Port::ClearReceived() {
  std::lock_guard lock(rxMutex_);
  rxBuffer_.clear();
}

void CQL_MKV_Port::OnReceiveChar(std::uint8_t byte) { OnReceiveBytes(&byte, 1); }

void CQL_MKV_Port::OnReceiveBytes(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  {
    std::lock_guard lock(rxMutex_);
    rxBuffer_.insert(rxBuffer_.end(), data, data + size);
    arrivals_ += size;
  }
  WakeWaiters();
}

void CQL_MKV_Port::WakeWaiters() {
  rxSignal_.notify_all();
  const DispatchHooks hooks = CurrentDispatchHooks();
  if (hooks.wake != nullptr) hooks.wake(hooks.context);
}

void CQL_MKV_Port::OnLinkLost() {
  {
    std::lock_guard lock(rxMutex_);
    linkLost_ = true;
  }
  WakeWaiters();
}

}  // namespace qlmkv

#include "reader/qlmkv_port.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "reader/rdr.h"
#include "reader/wait_hooks.h"

namespace qlmkv {

namespace {

using Clock = std::chrono::steady_clock;

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

bool CQL_MKV_Port::Transceive(std::uint8_t command, const Bytes& payload, Bytes& data) {
  sendBuffer_.clear();
  sendBuffer_.push_back(command);
  sendBuffer_.insert(sendBuffer_.end(), payload.begin(), payload.end());
  if (!SendCommand()) return false;
  return ReceiveReply(data);
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
  ClearReceived();
  {
    std::lock_guard use(transportMutex_);
    if (transport_ != nullptr && !transportClosed_) {
      transport_->Send(sendBuffer_.data(), sendBuffer_.size(), std::chrono::milliseconds(timeoutMs_));
    }
  }
  sendBuffer_.clear();
  if (WaitForReply()) {
    SetLastError(RDR_ERR_TIMEOUT);
    return false;
  }
  return true;
}

bool CQL_MKV_Port::ReceiveReply(Bytes& out) {
  Bytes reply;
  {
    std::lock_guard lock(rxMutex_);
    reply.swap(rxBuffer_);
  }
  const int error = frame::ValidateReply(Variant(), reply, out);
  if (error != 0) {
    SetLastError(error);
    return false;
  }
  return true;
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
    bool news;
    {
      std::lock_guard lock(rxMutex_);
      news = arrivals_ != seenArrivals || closing_ || linkLost_;
    }
    hooks.dispatch(hooks.context, news ? 0 : CeilMilliseconds(until - clock_.Now()));
  } else if (mayBlock) {
    std::unique_lock lock(rxMutex_);
    clock_.WaitUntil(lock, rxSignal_, until, [&] { return arrivals_ != seenArrivals || closing_ || linkLost_; });
  }
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

#include "transport/usb_serial_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <system_error>

#include "transport/diagnostics.h"
#include "transport/open_failure_note.h"
#include "transport/poll_time.h"
#include "transport/port_name.h"

namespace qlmkv {
namespace {

constexpr int kPollPeriodMs = 1;
constexpr std::size_t kReadChunk = 256;

void Signal(int eventFd) {
  if (eventFd < 0) return;
  const std::uint64_t one = 1;
  ssize_t ignored = ::write(eventFd, &one, sizeof one);
  (void)ignored;
}

void Reset(int eventFd) {
  std::uint64_t value = 0;
  ssize_t ignored = ::read(eventFd, &value, sizeof value);
  (void)ignored;
}

std::chrono::steady_clock::time_point DeadlineAfter(std::chrono::milliseconds timeout) {
  if (timeout == CUSBSerialPort::kNoTimeLimit || timeout > std::chrono::hours(24 * 365))
    return std::chrono::steady_clock::time_point::max();
  return std::chrono::steady_clock::now() + (timeout.count() < 0 ? std::chrono::milliseconds(0) : timeout);
}

}  // namespace

CUSBSerialPort::CUSBSerialPort()
    : shutdownFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      writeRequestFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      callerWakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      rewatchFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CUSBSerialPort::~CUSBSerialPort() {
  ClosePort();
  for (const int fd : {writeRequestFd_, shutdownFd_, callerWakeFd_, rewatchFd_}) {
    if (fd >= 0) ::close(fd);
  }
}

bool CUSBSerialPort::InitPort(SerialPortListener* listener, const std::string& portName, std::uint32_t baudRate,
                              char parity, std::uint32_t dataBits, std::uint32_t stopBits, int handshake,
                              std::uint32_t eventMask, std::uint32_t writeBufferSize) {
  // A port object may be opened again: retire the old worker and line first.
  ClosePort();

  portName_ = portName;
  const ResolvedPortName resolved = ResolvePortName(portName);
  d2xxMode_ = resolved.d2xx;
  portNumber_ = resolved.portNumber;

  if (shutdownFd_ < 0 || writeRequestFd_ < 0 || callerWakeFd_ < 0 || rewatchFd_ < 0) {
    Warn("CreateEvent()", {EMFILE, std::system_category().message(EMFILE), false});
    return false;
  }
  // The events start unsignalled at every open.
  for (const int fd : {shutdownFd_, writeRequestFd_, callerWakeFd_, rewatchFd_}) Reset(fd);
  listener_ = listener;
  {
    std::lock_guard lock(writeMutex_);
    writeQueue_.clear();
    pendingBytes_ = 0;
    writeCapacity_ = writeBufferSize;
  }
  eventMask_ = eventMask;

  std::unique_lock config(configMutex_);
  LineError error;
  line_ = d2xxMode_ ? OpenD2xxLine(ftd2xx_, resolved.target, error) : OpenTerminalLine(resolved.target, error);
  if (!line_) {
    config.unlock();
    NoteOpenFailure({resolved.target, error.text});
    Warn("CreateFile()", error);
    ClosePort();
    return false;
  }
  lineOpen_ = true;

  const LineSettings settings{static_cast<int>(baudRate), parity,    static_cast<int>(dataBits),
                              static_cast<int>(stopBits), handshake, writeBufferSize};
  const std::string failedStep = line_->Configure(settings, eventMask);
  if (!failedStep.empty()) Warn(failedStep.c_str(), line_->LastError());
  line_->Purge();
  config.unlock();

  std::uint32_t bits = 0;
  if (line_->ModemStatus(bits)) {
    rlsd_ = bits & modem::kRlsdOn;
    dsr_ = bits & modem::kDsrOn;
    cts_ = bits & modem::kCtsOn;
    ring_ = bits & modem::kRingOn;
    if (listener_ != nullptr) {
      if (rlsd_) listener_->OnRlsdChange(true);
      if (dsr_) listener_->OnDsrChange(true);
      if (cts_) listener_->OnCtsChange(true);
      if (ring_) listener_->OnRingChange(true);
    }
  }
  return true;
}

bool CUSBSerialPort::StartMonitoring() {
  if (worker_.joinable() || !lineOpen_) return false;
  std::promise<void> started;
  std::future<void> running = started.get_future();
  {
    // Before the worker runs, so only the worker's loss of the line can end it.
    std::lock_guard lock(writeMutex_);
    callerWrites_ = true;
  }
  try {
    // The promise lives in the thread, so set_value never touches a dead object.
    worker_ = std::thread([this, started = std::move(started)]() mutable {
      threadAlive_ = true;
      started.set_value();
      WorkerMain();
    });
  } catch (const std::system_error& error) {
    Warn("CreateThread()", {error.code().value(), error.what(), false});
    std::lock_guard lock(writeMutex_);
    callerWrites_ = false;
    return false;
  }
  running.wait();
  // A terminal device may be read by a waiting caller; a D2XX line only
  // through its library, by the worker.
  if (!d2xxMode_ && line_->WaitFd() >= 0) {
    callerFd_ = line_->WaitFd();
    readTurn_.OpenToCallers();
  }
  return true;
}

bool CUSBSerialPort::ReceiveHere(std::chrono::steady_clock::time_point until, const std::function<bool()>& news) {
  if (!readTurn_.TakeForCaller()) return false;
  bool usable = true;
  if (!news()) {
    pollfd fds[2] = {{callerFd_, POLLIN, 0}, {callerWakeFd_, POLLIN, 0}};
    const int ready = poll(fds, 2, MillisecondsUntil(until));
    if (ready > 0 && (fds[0].revents & POLLIN)) usable = ReadHere();
    // A hung-up or failing line is the worker's to report.
    if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) usable = false;
  }
  if (readTurn_.ReturnFromCaller(usable)) Signal(rewatchFd_);
  return usable;
}

void CUSBSerialPort::LetWorkerDeliver() {
  if (readTurn_.HandToWorker()) Signal(rewatchFd_);
}

bool CUSBSerialPort::ReadHere() {
  std::uint8_t chunk[kReadChunk];
  for (;;) {
    const ssize_t got = ::read(callerFd_, chunk, sizeof chunk);
    if (got > 0 && listener_ != nullptr) listener_->OnReceiveBytes(chunk, static_cast<std::size_t>(got));
    if (got == static_cast<ssize_t>(sizeof chunk)) continue;
    if (got < 0 && errno == EINTR) continue;
    return got >= 0 || errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

void CUSBSerialPort::WriteToPort(const std::uint8_t* data, int length, std::chrono::milliseconds timeout) {
  if (data == nullptr) return;
  const std::size_t size = length == -1 ? std::strlen(reinterpret_cast<const char*>(data))
                                        : static_cast<std::size_t>(length < 0 ? 0 : length);
  {
    std::lock_guard lock(writeMutex_);
    Enqueue(data, size, DeadlineAfter(timeout));
  }
  Signal(writeRequestFd_);
}

void CUSBSerialPort::WriteNow(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds timeout) {
  if (data == nullptr || size == 0) return;
  const auto deadline = DeadlineAfter(timeout);
  {
    std::lock_guard lock(writeMutex_);
    // Behind queued bytes a frame waits its turn; one that does not fit is dropped whole.
    if (callerWrites_ && writeQueue_.empty() && size <= writeCapacity_) {
      const std::size_t written = line_->WriteAtOnce(data, size);
      if (written == size) return;
      data += written;
      size -= written;
    }
    if (!Enqueue(data, size, deadline)) return;
  }
  Signal(writeRequestFd_);
}

bool CUSBSerialPort::Enqueue(const std::uint8_t* data, std::size_t size,
                             std::chrono::steady_clock::time_point deadline) {
  if (size == 0 || pendingBytes_ + size > writeCapacity_) return false;
  writeQueue_.push_back({std::vector<std::uint8_t>(data, data + size), deadline});
  pendingBytes_ += size;
  return true;
}

std::size_t CUSBSerialPort::PendingBytes() const {
  std::lock_guard lock(writeMutex_);
  return pendingBytes_;
}

void CUSBSerialPort::ClosePort() {
  StopWorker();
  CloseToCallers();
  std::lock_guard lock(writeMutex_);
  callerWrites_ = false;
  if (line_) {
    if (lineOpen_ && !line_->Close()) Warn("CloseHandle()", line_->LastError());
    line_.reset();
    lineOpen_ = false;
  }
  writeQueue_.clear();
  pendingBytes_ = 0;
  writeCapacity_ = 0;
}

void CUSBSerialPort::StopWorker() {
  if (!worker_.joinable()) return;
  Signal(shutdownFd_);
  worker_.join();
  threadAlive_ = false;
}

void CUSBSerialPort::WorkerMain() {
  if (!line_->SetEventMask(eventMask_)) Warn("SetCommMask()", line_->LastError());
  while (lineOpen_) {
    // Received bytes wake the wait at once; the time-out paces the status
    // poll (modem lines, line errors, and everything on a D2XX line).
    // While callers read the line, the worker is woken when it is handed back.
    const int lineFd = readTurn_.WorkerMayWatch() ? line_->WaitFd() : -1;
    pollfd fds[4] = {
        {shutdownFd_, POLLIN, 0}, {writeRequestFd_, POLLIN, 0}, {lineFd, POLLIN, 0}, {rewatchFd_, POLLIN, 0}};
    // A line without status to watch sleeps until something happens, so an
    // idle pseudo-terminal costs no processor time.
    const bool pollStatus = line_->WaitFd() < 0 || line_->HasLineStatus();
    const int ready = poll(fds, 4, pollStatus ? kPollPeriodMs : -1);
    if (ready < 0) continue;  // interrupted: wait again
    if (fds[0].revents & POLLIN) break;
    if (fds[3].revents & POLLIN) Reset(rewatchFd_);
    if ((fds[1].revents & POLLIN) && !WriteStep()) {
      LoseLine();
      break;
    }
    const short lineEvents = fds[2].revents;
    if (ready == 0 || lineEvents != 0) {
      // A hung-up line (unplugged device, closed pseudo-terminal master)
      // keeps reporting POLLHUP: it is a lost line, not more data.
      const bool hungUp = (lineEvents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
      if (!PollLine() || hungUp) {
        LoseLine();
        break;
      }
    }
  }
  threadAlive_ = false;
}

bool CUSBSerialPort::PollLine() {
  LineStatus status;
  if (!line_->ReadStatus(status)) return false;
  if (status.outQueue == 0) {
    if (listener_ != nullptr) listener_->OnTxEmpty();
    (void)line_->SetEventMask(eventMask_ & ~comm_event::kTxEmpty);
  }
  std::uint32_t errors = status.errors;
  if (errors & line_error::kBreak) {
    if (listener_ != nullptr) listener_->OnBreak();
    errors &= ~line_error::kFrame;
  }
  if ((errors & line_error::kReported) != 0 && listener_ != nullptr) listener_->OnLineError(errors);

  std::uint32_t bits = 0;
  if (!line_->ModemStatus(bits)) return false;
  RaiseModemChanges(bits);
  return status.inQueue == 0 || ReceiveBytes(status.inQueue);
}

void CUSBSerialPort::RaiseModemChanges(std::uint32_t bits) {
  struct ModemLine {
    std::uint32_t mask;
    bool& state;
    void (SerialPortListener::*hook)(bool);
  };
  const ModemLine lines[] = {{modem::kCtsOn, cts_, &SerialPortListener::OnCtsChange},
                             {modem::kDsrOn, dsr_, &SerialPortListener::OnDsrChange},
                             {modem::kRlsdOn, rlsd_, &SerialPortListener::OnRlsdChange},
                             {modem::kRingOn, ring_, &SerialPortListener::OnRingChange}};
  for (const ModemLine& line : lines) {
    const bool on = (bits & line.mask) != 0;
    if (on == line.state) continue;
    line.state = on;
    if (listener_ != nullptr) (listener_->*line.hook)(on);
  }
}

bool CUSBSerialPort::ReceiveBytes(std::uint32_t count) {
  // A caller reading the line takes these bytes itself.
  if (!readTurn_.TryTakeForWorker()) return true;
  const bool kept = ReceiveBytesInTurn(count);
  readTurn_.ReturnFromWorker();
  return kept;
}

bool CUSBSerialPort::ReceiveBytesInTurn(std::uint32_t count) {
  std::uint8_t chunk[kReadChunk];
  while (count > 0) {
    const long got = line_->Read(chunk, count < kReadChunk ? count : kReadChunk);
    if (got < 0) {
      const LineError error = line_->LastError();
      if (error.code == 0) return true;
      Warn("ReadFile()", error);
      if (error.deviceLost) return false;
      if (listener_ != nullptr) listener_->OnLineError(0);
      return true;
    }
    if (got == 0) return true;
    if (listener_ != nullptr) listener_->OnReceiveBytes(chunk, static_cast<std::size_t>(got));
    count -= static_cast<std::uint32_t>(got);
  }
  return true;
}

bool CUSBSerialPort::WriteStep() {
  Reset(writeRequestFd_);
  bool wroteAny = false;
  std::size_t writtenTotal = 0;
  for (;;) {
    QueuedBlock* block = nullptr;
    {
      std::lock_guard lock(writeMutex_);
      if (writeQueue_.empty()) break;
      block = &writeQueue_.front();
    }
    wroteAny = true;
    // The lock is not held across the write: a stalled line must not hold up
    // a caller that queues the next frame. What the line does not take by the
    // block's deadline is dropped, so the caller's exchange ends as a time-out
    // instead (a line with room takes the block at once, deadline or not).
    std::size_t written = 0;
    const bool ok = line_->Write(block->bytes.data(), block->bytes.size(), written, shutdownFd_, block->deadline);
    const bool complete = written == block->bytes.size();
    const bool expired = !complete && std::chrono::steady_clock::now() >= block->deadline;
    {
      std::lock_guard lock(writeMutex_);
      if (complete || expired) {
        pendingBytes_ -= block->bytes.size();
        writeQueue_.pop_front();
      } else {
        // Only what went out leaves the queue, so nothing is sent twice.
        block->bytes.erase(block->bytes.begin(), block->bytes.begin() + static_cast<std::ptrdiff_t>(written));
        pendingBytes_ -= written;
      }
    }
    writtenTotal += written;
    if (!ok) {
      const LineError error = line_->LastError();
      Warn("WriteFile()", error);
      return !error.deviceLost;
    }
    if (expired) {
      Warn("WriteFile()", {ETIMEDOUT, "the line took no output within the time-out", false});
      continue;
    }
    if (!complete) return true;  // shutdown: the worker leaves its loop next
  }
  if (!wroteAny) {
    if (listener_ != nullptr) listener_->OnTxEmpty();
    return true;
  }
  if (writtenTotal > 0) {
    (void)line_->SetEventMask(eventMask_);
    if (listener_ != nullptr) listener_->OnBytesWritten(static_cast<std::uint32_t>(writtenTotal));
  }
  return true;
}

void CUSBSerialPort::LoseLine() {
  if (listener_ != nullptr) listener_->OnLineError(line_error::kPortLost);
  CloseToCallers();
  std::lock_guard lock(writeMutex_);
  callerWrites_ = false;
  (void)line_->Close();
  lineOpen_ = false;
}

void CUSBSerialPort::CloseToCallers() {
  readTurn_.CloseToCallers([this] { Signal(callerWakeFd_); });
  callerFd_ = -1;
}

void CUSBSerialPort::Warn(const char* operation, const LineError& error) const {
  diag::Warning(operation, error.text, portName_);
}

std::vector<std::string> CUSBSerialPort::EnumFtdiDevices() { return ListFreeD2xxDevices(); }

}  // namespace qlmkv

// D2XX readers on Windows: the D2XX DLL (loaded at run time) through the
// same D2XX line as on Linux. The device gives nothing to wait on, so the
// worker looks at its receive queue every millisecond, as the Linux port
// does; frames are written from the caller's thread.
#include "transport/d2xx_transport_win.h"

#include <windows.h>

#include <mutex>
#include <thread>

#include "transport/diagnostics.h"
#include "transport/ftd2xx_port.h"
#include "transport/open_failure_note.h"
#include "transport/serial_line.h"
#include "transport/serial_listener.h"

namespace qlmkv {
namespace {

constexpr DWORD kPollMs = 1;
constexpr std::size_t kReadChunk = 256;

class D2xxTransport final : public Transport {
 public:
  explicit D2xxTransport(ByteSink& sink) : sink_(sink), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~D2xxTransport() override {
    Close();
    if (stop_ != nullptr) CloseHandle(stop_);
  }
  D2xxTransport(const D2xxTransport&) = delete;
  D2xxTransport& operator=(const D2xxTransport&) = delete;

  bool Open(const std::string& serialNumber, const LineSettings& settings) {
    serialNumber_ = serialNumber;
    LineError error;
    line_ = OpenD2xxLine(library_, serialNumber, error);
    if (!line_ || stop_ == nullptr) {
      NoteOpenFailure({serialNumber, error.text});
      diag::Warning("CreateFile()", error.text, serialNumber);
      line_.reset();
      return false;
    }
    const std::string failedStep = line_->Configure(settings, comm_event::kRxChar);
    if (!failedStep.empty()) diag::Warning(failedStep, line_->LastError().text, serialNumber);
    line_->Purge();
    worker_ = std::thread([this] { Run(); });
    return true;
  }

  void Send(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds timeout) override {
    if (data == nullptr || size == 0) return;
    const auto deadline =
        timeout.count() > 0 ? std::chrono::steady_clock::now() + timeout : std::chrono::steady_clock::time_point::max();
    std::lock_guard lock(lineLock_);
    if (!line_) return;
    std::size_t written = 0;
    if (!line_->Write(data, size, written, -1, deadline))
      diag::Warning("WriteFile()", line_->LastError().text, serialNumber_);
  }

  bool IsUsb() const override { return true; }

  void Close() override {
    if (worker_.joinable()) {
      SetEvent(stop_);
      worker_.join();
    }
    std::lock_guard lock(lineLock_);
    if (line_ && !line_->Close()) diag::Warning("CloseHandle()", line_->LastError().text, serialNumber_);
    line_.reset();
  }

 private:
  void Run() {
    while (WaitForSingleObject(stop_, kPollMs) == WAIT_TIMEOUT) {
      if (!ReceiveQueued()) {
        sink_.OnLinkLost();
        return;
      }
    }
  }

  // Hands what the device holds to the sink; false when the device is gone.
  bool ReceiveQueued() {
    std::uint8_t chunk[kReadChunk];
    std::size_t got = 0;
    {
      std::lock_guard lock(lineLock_);
      LineStatus status;
      if (!line_->ReadStatus(status)) {
        diag::Warning("ClearCommError()", line_->LastError().text, serialNumber_);
        return false;
      }
      if (status.inQueue == 0) return true;
      const long n = line_->Read(chunk, status.inQueue < kReadChunk ? status.inQueue : kReadChunk);
      if (n < 0) {
        const LineError error = line_->LastError();
        if (error.code != 0) diag::Warning("ReadFile()", error.text, serialNumber_);
        return !error.deviceLost;
      }
      got = static_cast<std::size_t>(n);
    }
    // Outside the lock: the sink may wake a caller that sends at once.
    if (got > 0) sink_.OnReceiveBytes(chunk, got);
    return true;
  }

  ByteSink& sink_;
  std::string serialNumber_;
  CFTD2xxPort library_;  // before line_: the line calls through it until closed
  std::unique_ptr<SerialLine> line_;
  HANDLE stop_;
  std::mutex lineLock_;  // the worker's reads and the callers' writes take turns on the device
  std::thread worker_;
};

}  // namespace

std::unique_ptr<Transport> OpenD2xxTransport(const std::string& serialNumber, const LineSettings& settings,
                                             ByteSink& sink) {
  auto transport = std::make_unique<D2xxTransport>(sink);
  if (!transport->Open(serialNumber, settings)) return nullptr;
  return transport;
}

}  // namespace qlmkv

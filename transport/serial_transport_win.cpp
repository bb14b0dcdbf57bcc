// The serial transport on Windows: a COM port opened for overlapped I/O. A
// worker thread keeps a one-byte read under way, which the driver completes
// when a byte arrives, and waits for it or for the close: no polling. Frames
// are written from the caller's thread.
#include <windows.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "transport/d2xx_transport_win.h"
#include "transport/diagnostics.h"
#include "transport/ftd2xx_port.h"
#include "transport/open_failure_note.h"
#include "transport/overlapped_win.h"
#include "transport/port_list.h"
#include "transport/port_name.h"
#include "transport/transports.h"
#include "transport/win_device_source.h"

namespace qlmkv {
namespace {

constexpr DWORD kReadChunk = 512;
constexpr DWORD kInputQueue = 4096;

// The line settings of a COM port: the line text through BuildCommDCB, then
// the flow-control flags of the handshake mode.
bool ApplyLineSettings(HANDLE port, const LineSettings& settings, std::string& failedStep) {
  // No time-outs: a read waits until its bytes are there, so the worker
  // sleeps in it; a write waits until the driver has taken the frame.
  COMMTIMEOUTS timeouts{};
  if (!SetCommTimeouts(port, &timeouts)) return failedStep = "SetCommTimeouts()", false;
  if (!SetCommMask(port, EV_RXCHAR)) return failedStep = "SetCommMask()", false;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) return failedStep = "GetCommState()", false;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  const std::string text = "baud=" + std::to_string(settings.baudRate) + " parity=" + settings.parity +
                           " data=" + std::to_string(settings.dataBits) + " stop=" + std::to_string(settings.stopBits);
  if (!BuildCommDCBA(text.c_str(), &dcb)) return failedStep = "BuildCommDCB()", false;
  dcb.fAbortOnError = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fBinary = TRUE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fNull = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  const bool hardware = settings.handshake == 1;
  const bool rtsHandshake = hardware || settings.handshake == 3;
  const bool xonXoff = settings.handshake == 2;
  dcb.fRtsControl = rtsHandshake ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  dcb.fOutxCtsFlow = hardware;
  dcb.fOutxDsrFlow = hardware;
  dcb.fOutX = xonXoff;
  dcb.fInX = xonXoff;
  if (xonXoff) {
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
  }
  if (!SetCommState(port, &dcb)) return failedStep = "SetCommState()", false;
  return true;
}

class ComPortTransport final : public Transport {
 public:
  explicit ComPortTransport(ByteSink& sink) : sink_(sink) {}
  ~ComPortTransport() override { Close(); }
  ComPortTransport(const ComPortTransport&) = delete;
  ComPortTransport& operator=(const ComPortTransport&) = delete;

  bool Open(const std::string& portName, const LineSettings& settings) {
    const ResolvedPortName resolved = ResolvePortName(portName);
    portName_ = portName;
    if (stop_.Get() == nullptr || written_.Get() == nullptr) {
      NoteOpenFailure({resolved.target, SystemMessage(GetLastError())});
      return false;
    }
    if (resolved.target.empty()) {
      NoteOpenFailure({portName, "not a COM port"});
      return false;
    }
    port_ = CreateFileA(resolved.target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr);
    if (port_ == INVALID_HANDLE_VALUE) {
      const std::string reason = SystemMessage(GetLastError());
      NoteOpenFailure({resolved.target, reason});
      diag::Warning("CreateFile()", reason, portName_);
      return false;
    }
    SetupComm(port_, kInputQueue, static_cast<DWORD>(settings.writeBufferSize));
    std::string failedStep;
    if (!ApplyLineSettings(port_, settings, failedStep))
      diag::Warning(failedStep, SystemMessage(GetLastError()), portName_);
    PurgeComm(port_, PURGE_TXCLEAR | PURGE_RXCLEAR);
    worker_ = std::thread([this] { Run(); });
    return true;
  }

  void Send(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds timeout) override {
    if (data == nullptr || size == 0) return;
    std::lock_guard lock(writeLock_);
    if (port_ == INVALID_HANDLE_VALUE) return;
    OVERLAPPED overlapped{};
    overlapped.hEvent = written_.Get();
    ResetEvent(overlapped.hEvent);
    DWORD done = 0;
    if (WriteFile(port_, data, static_cast<DWORD>(size), &done, &overlapped)) return;
    if (GetLastError() != ERROR_IO_PENDING) {
      diag::Warning("WriteFile()", SystemMessage(GetLastError()), portName_);
      return;
    }
    // The driver normally takes a frame at once; a stalled line drops it
    // after the time-out, and the exchange ends as a reply time-out.
    const auto waitMs =
        timeout.count() <= 0 || timeout.count() >= INFINITE ? INFINITE : static_cast<DWORD>(timeout.count());
    FinishOverlapped(port_, overlapped, waitMs, done);
  }

  bool IsUsb() const override { return false; }

  void Close() override {
    if (worker_.joinable()) {
      SetEvent(stop_.Get());
      worker_.join();
    }
    std::lock_guard lock(writeLock_);
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
  }

 private:
  // One overlapped read of one byte is always under way: the driver
  // completes it when a byte arrives. What came with it is then read at once.
  void Run() {
    Event readDone;
    OVERLAPPED reading{};
    reading.hEvent = readDone.Get();
    std::uint8_t buffer[kReadChunk];
    for (;;) {
      DWORD got = 0;
      if (!Read(reading, buffer, 1, got)) {
        if (GetLastError() == ERROR_OPERATION_ABORTED) return;  // closing
        return LoseLine("ReadFile()", GetLastError());
      }
      // A read without time-outs ends empty only on a line that has ended.
      if (got == 0) return LoseLine("ReadFile()", ERROR_HANDLE_EOF);
      DWORD errors = 0;
      COMSTAT status{};
      DWORD more = 0;
      if (ClearCommError(port_, &errors, &status) && status.cbInQue > 0) {
        const DWORD want = status.cbInQue < kReadChunk - 1 ? status.cbInQue : kReadChunk - 1;
        if (!Read(reading, buffer + 1, want, more)) return LoseLine("ReadFile()", GetLastError());
      }
      sink_.OnReceiveBytes(buffer, 1 + more);
    }
  }

  // One overlapped read, waited for unless the close comes first (then it is
  // cancelled and fails with ERROR_OPERATION_ABORTED).
  bool Read(OVERLAPPED& reading, std::uint8_t* buffer, DWORD size, DWORD& got) {
    ResetEvent(reading.hEvent);
    if (ReadFile(port_, buffer, size, &got, &reading)) return true;
    if (GetLastError() != ERROR_IO_PENDING) return false;
    const HANDLE handles[2] = {stop_.Get(), reading.hEvent};
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
      CancelIoEx(port_, &reading);
      GetOverlappedResult(port_, &reading, &got, TRUE);
      SetLastError(ERROR_OPERATION_ABORTED);
      return false;
    }
    return GetOverlappedResult(port_, &reading, &got, FALSE) != 0;
  }

  void LoseLine(const char* operation, DWORD code) {
    diag::Warning(operation, SystemMessage(code), portName_);
    sink_.OnLinkLost();
  }

  ByteSink& sink_;
  std::string portName_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  Event stop_;
  Event written_;
  std::mutex writeLock_;  // one frame at a time; Close waits for a write under way
  std::thread worker_;
};

}  // namespace

std::unique_ptr<Transport> OpenSerialTransport(const std::string& portName, const LineSettings& settings,
                                               ByteSink& sink) {
  const ResolvedPortName resolved = ResolvePortName(portName);
  if (resolved.d2xx) return OpenD2xxTransport(resolved.target, settings, sink);
  auto transport = std::make_unique<ComPortTransport>(sink);
  if (!transport->Open(portName, settings)) return nullptr;
  return transport;
}

std::vector<std::string> GetComPortList() { return GetComPortList(WinDeviceSource()); }

std::vector<std::string> EnumFtdiDevices() { return ListFreeD2xxDevices(); }

int CheckUsbDrivers() { return CheckUsbDrivers(WinDeviceSource()); }

bool VirtualComDriverInstalled() { return WinDeviceSource().VirtualComDriverInstalled(); }

}  // namespace qlmkv

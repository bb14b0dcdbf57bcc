// A serial line on a D2XX device, through the library's COM-style functions.
// The device has no descriptor to wait on, so the port polls it every
// millisecond.
#include "transport/d2xx_line.h"

#include <algorithm>
#include <cctype>
#include <chrono>

#include "common/ascii.h"
#include "transport/ftd2xx_port.h"

namespace qlmkv {

namespace {

using namespace d2xx::dcb;

constexpr std::uint8_t kLatencyTimerMs = 2;
constexpr d2xx::Word32 kReadReturnsAtOnce = 0xFFFFFFFFu;

void SetRtsControl(d2xx::Dcb& dcb, d2xx::Word32 value) {
  dcb.flags = (dcb.flags & ~kRtsControlMask) | (value << kRtsControlShift);
}

void SetDtrControl(d2xx::Dcb& dcb, d2xx::Word32 value) {
  dcb.flags = (dcb.flags & ~kDtrControlMask) | (value << kDtrControlShift);
}

class D2xxLine final : public SerialLine {
 public:
  D2xxLine(CFTD2xxPort& library, d2xx::Handle handle) : library_(library), handle_(handle) {}
  ~D2xxLine() override { Close(); }

  std::string Configure(const LineSettings& config, std::uint32_t eventMask) override {
    d2xx::CommTimeouts timeouts{kReadReturnsAtOnce, 0, 0, 0, 0};
    if (!library_.FT_W32_SetCommTimeouts(handle_, &timeouts)) return Fail("SetCommTimeouts()");
    if (!library_.FT_W32_SetCommMask(handle_, eventMask)) return Fail("SetCommMask()");
    d2xx::Dcb dcb{};
    if (!library_.FT_W32_GetCommState(handle_, &dcb)) return Fail("GetCommState()");
    SetRtsControl(dcb, kControlEnable);
    if (!BuildDcb(config, dcb)) return "BuildCommDCB()";
    ApplyHandshake(config.handshake, dcb);
    if (!library_.FT_W32_SetCommState(handle_, &dcb)) return Fail("SetCommState()");
    return {};
  }

  void Purge() override { library_.FT_W32_PurgeComm(handle_, d2xx::kPurgeTxClear | d2xx::kPurgeRxClear); }

  bool SetEventMask(std::uint32_t mask) override {
    return library_.FT_W32_SetCommMask(handle_, mask) ? true : (Remember(), false);
  }

  bool ReadStatus(LineStatus& status) override {
    d2xx::Word32 errors = 0;
    d2xx::ComStat stat{};
    if (!library_.FT_W32_ClearCommError(handle_, &errors, &stat)) return Remember(), false;
    status = {errors, stat.inQueue, stat.outQueue};
    return true;
  }

  bool ModemStatus(std::uint32_t& bits) override {
    d2xx::Word32 value = 0;
    if (!library_.FT_W32_GetCommModemStatus(handle_, &value)) return Remember(), false;
    bits = value;
    return true;
  }

  long Read(std::uint8_t* buffer, std::size_t size) override {
    d2xx::Word32 read = 0;
    if (!library_.FT_W32_ReadFile(handle_, buffer, static_cast<d2xx::Word32>(size), &read, nullptr))
      return Remember(), -1;
    return static_cast<long>(read);
  }

  // The library's write blocks until done or until the write time-out, which
  // is set from the deadline; it cannot be cancelled otherwise.
  bool Write(const std::uint8_t* data, std::size_t size, std::size_t& written, int /*cancelFd*/,
             std::chrono::steady_clock::time_point deadline) override {
    written = 0;
    if (!SetWriteTimeout(deadline)) return false;
    d2xx::Word32 count = 0;
    const bool ok = library_.FT_W32_WriteFile(handle_, data, static_cast<d2xx::Word32>(size), &count, nullptr);
    written = count;
    if (!ok) Remember();
    return ok;
  }

  int WaitFd() const override { return -1; }

  // Write time-out of the line: the time left until `deadline` (0: none).
  bool SetWriteTimeout(std::chrono::steady_clock::time_point deadline) {
    d2xx::Word32 ms = 0;
    if (deadline != std::chrono::steady_clock::time_point::max()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      ms = left.count() < 1 ? 1 : static_cast<d2xx::Word32>(std::min<long long>(left.count(), 0x7FFFFFFF));
    }
    if (ms == writeTimeoutMs_) return true;
    d2xx::CommTimeouts timeouts{kReadReturnsAtOnce, 0, 0, 0, ms};
    if (!library_.FT_W32_SetCommTimeouts(handle_, &timeouts)) return Remember(), false;
    writeTimeoutMs_ = ms;
    return true;
  }

  bool Close() override {
    if (handle_ == nullptr) return true;
    const bool ok = library_.FT_W32_CloseHandle(handle_) != 0;
    if (!ok) Remember();
    handle_ = nullptr;
    return ok;
  }

  LineError LastError() const override { return lastError_; }

 private:
  void Remember() {
    const d2xx::Word32 code = handle_ != nullptr ? library_.FT_W32_GetLastError(handle_) : 0;
    lastError_ = {static_cast<long>(code), "D2XX error " + std::to_string(code), code == d2xx::kErrorAccessDenied};
  }

  std::string Fail(const char* label) {
    Remember();
    return label;
  }

  CFTD2xxPort& library_;
  d2xx::Handle handle_;
  LineError lastError_;
  d2xx::Word32 writeTimeoutMs_ = 0;  // as last applied; Configure sets none
};

}  // namespace

bool BuildDcb(const LineSettings& config, d2xx::Dcb& dcb) {
  std::uint8_t parity = kNoParity;
  switch (ascii::ToUpper(config.parity)) {
    case 'N': parity = kNoParity; break;
    case 'E': parity = kEvenParity; break;
    case 'O': parity = kOddParity; break;
    case 'M': parity = kMarkParity; break;
    case 'S': parity = kSpaceParity; break;
    default: return false;
  }
  if (config.baudRate <= 0 || config.dataBits < 5 || config.dataBits > 8) return false;
  if (config.stopBits != 1 && config.stopBits != 2) return false;
  dcb.dcbLength = sizeof(d2xx::Dcb);
  dcb.baudRate = static_cast<d2xx::Word32>(config.baudRate);
  dcb.parity = parity;
  dcb.flags = parity != kNoParity ? dcb.flags | kParity : dcb.flags & ~kParity;
  dcb.byteSize = static_cast<std::uint8_t>(config.dataBits);
  dcb.stopBits = config.stopBits == 2 ? kTwoStopBits : kOneStopBit;
  return true;
}

void ApplyHandshake(int mode, d2xx::Dcb& dcb) {
  dcb.flags &= ~(kAbortOnError | kDsrSensitivity | (2u << kDtrControlShift) | kNull);
  dcb.flags |= kBinary | kTxContinueOnXoff;
  dcb.flags &= ~(kOutxCtsFlow | kOutxDsrFlow | kOutX | kInX);
  SetDtrControl(dcb, kControlEnable);
  switch (mode) {
    case 1:
      SetRtsControl(dcb, kRtsHandshake);
      dcb.flags |= kOutxCtsFlow | kOutxDsrFlow;
      break;
    case 2:
      SetRtsControl(dcb, kControlEnable);
      dcb.flags |= kOutX | kInX;
      dcb.xonChar = 0x11;
      dcb.xoffChar = 0x13;
      break;
    case 3: SetRtsControl(dcb, kRtsHandshake); break;
    default: SetRtsControl(dcb, kControlEnable); break;
  }
}

std::unique_ptr<SerialLine> OpenD2xxLine(CFTD2xxPort& library, const std::string& serialNumber, LineError& error) {
  const d2xx::Handle handle =
      library.FT_W32_CreateFile(serialNumber.c_str(), d2xx::kGenericRead | d2xx::kGenericWrite, 0, nullptr,
                                d2xx::kOpenExisting, d2xx::kOpenBySerialNumber, nullptr);
  if (handle == d2xx::InvalidHandleValue() || handle == nullptr) {
    error = {0, library.IsLoaded() ? "the D2XX device cannot be opened" : "the D2XX library is missing", false};
    return nullptr;
  }
  (void)library.FT_SetLatencyTimer(handle, kLatencyTimerMs);
  return std::make_unique<D2xxLine>(library, handle);
}

}  // namespace qlmkv

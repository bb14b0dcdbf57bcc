// The serial-side transports of a reader connection: a CUSBSerialPort whose
// received bytes go to the connection's sink, and whose lost line ends the
// connection's waits at once; its other events are not used.
#include "transport/port_list.h"
#include "transport/transports.h"
#include "transport/usb_serial_port.h"

namespace qlmkv {
namespace {

// Events the reader opens with: received characters and CTS changes.
constexpr std::uint32_t kReaderEventMask = comm_event::kRxChar | comm_event::kCts;

class SerialTransport final : public Transport, private SerialPortListener {
 public:
  explicit SerialTransport(ByteSink& sink) : sink_(sink) {}
  ~SerialTransport() override { port_.ClosePort(); }

  bool Open(const std::string& portName, const LineSettings& settings) {
    if (!port_.InitPort(this, portName, static_cast<std::uint32_t>(settings.baudRate), settings.parity,
                        static_cast<std::uint32_t>(settings.dataBits), static_cast<std::uint32_t>(settings.stopBits),
                        settings.handshake, kReaderEventMask, static_cast<std::uint32_t>(settings.writeBufferSize)))
      return false;
    port_.StartMonitoring();
    return true;
  }

  // Written from the calling thread where the line takes it at once.
  void Send(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds timeout) override {
    port_.WriteNow(data, size, timeout);
  }
  // The reply then comes without a hand-over too, where the line allows it.
  bool ReceiveHere(std::chrono::steady_clock::time_point until, const std::function<bool()>& news) override {
    return port_.ReceiveHere(until, news);
  }
  void LetWorkerDeliver() override { port_.LetWorkerDeliver(); }
  bool IsUsb() const override { return port_.IsD2xxMode(); }
  void Close() override { port_.ClosePort(); }

 private:
  void OnReceiveChar(std::uint8_t byte) override { sink_.OnReceiveChar(byte); }
  void OnReceiveBytes(const std::uint8_t* data, std::size_t size) override { sink_.OnReceiveBytes(data, size); }
  // An unplugged adapter or a hung-up terminal: nothing more will come.
  void OnLineError(std::uint32_t errors) override {
    if (errors & line_error::kPortLost) sink_.OnLinkLost();
  }

  ByteSink& sink_;
  CUSBSerialPort port_;
};

}  // namespace

std::unique_ptr<Transport> OpenSerialTransport(const std::string& portName, const LineSettings& settings,
                                               ByteSink& sink) {
  auto transport = std::make_unique<SerialTransport>(sink);
  if (!transport->Open(portName, settings)) return nullptr;
  return transport;
}

std::vector<std::string> GetComPortList() { return GetComPortList(SysfsDeviceSource()); }

std::vector<std::string> EnumFtdiDevices() { return CUSBSerialPort::EnumFtdiDevices(); }

int CheckUsbDrivers() { return CheckUsbDrivers(SysfsDeviceSource()); }

// The virtual-COM readers use the kernel's CDC-ACM driver: nothing to install.
bool VirtualComDriverInstalled() { return true; }

}  // namespace qlmkv

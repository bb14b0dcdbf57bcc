// The whole C interface with arbitrary arguments against an in-memory reader
// whose replies come from the input: good frames, raw bytes or silence. Every
// buffer handed over is exactly as large as the capacity claimed for it, so
// the sanitizers catch any byte the library reads or writes beyond it. The
// replies arrive within the send and the waits run on a virtual clock: no
// thread, no device, no socket, no real time-out.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "reader/connection_string.h"
#include "reader/links.h"
#include "reader/rdr.h"
#include "reader/sdk_app.h"
#include "tests/reader/virtual_clock.h"

namespace {

using qlmkv::Bytes;

FuzzedDataProvider* input = nullptr;  // the input being run
qlmkv::test::VirtualWaitClock waitClock;

// Sizes near the edges the library must check, or anything at all.
int SizeArgument() {
  static constexpr int kEdges[] = {0, 1, 3, 4, 15, 16, 20, 64, 247, 248, 251, 252, 255, 256, -1, -5, INT_MAX, INT_MIN};
  if (input->ConsumeBool()) return kEdges[input->ConsumeIntegralInRange<std::size_t>(0, std::size(kEdges) - 1)];
  return input->ConsumeIntegral<int>();
}

// The reader: answers each request with what the input says.
class InputReader final : public qlmkv::Transport {
 public:
  explicit InputReader(qlmkv::ByteSink& sink) : sink_(sink) {}
  void Send(const std::uint8_t* data, std::size_t size, std::chrono::milliseconds) override {
    if (size == 0) std::abort();  // a frame always has bytes
    const int variant = data[0] == qlmkv::frame::kStartByte ? 0 : 1;
    Bytes reply;
    switch (input->ConsumeIntegralInRange<int>(0, 4)) {
      case 0: return;  // silence
      case 1: {
        const Bytes payload = input->ConsumeBytes<std::uint8_t>(input->ConsumeIntegralInRange<std::size_t>(0, 40));
        reply =
            qlmkv::frame::Build(variant, 1, input->ConsumeBool() ? 0 : input->ConsumeIntegral<std::uint8_t>(), payload);
        break;
      }
      case 2: {
        std::vector<Bytes> blocks(input->ConsumeIntegralInRange<std::size_t>(0, 4));
        for (Bytes& block : blocks)
          block = input->ConsumeBytes<std::uint8_t>(input->ConsumeIntegralInRange<std::size_t>(0, 20));
        reply = qlmkv::frame::BuildBlockList(variant, 1, 0, blocks);
        break;
      }
      case 3: {
        // A good frame with trailing bytes.
        reply = qlmkv::frame::Build(variant, 1, 0, input->ConsumeBytes<std::uint8_t>(4));
        const Bytes tail = input->ConsumeBytes<std::uint8_t>(input->ConsumeIntegralInRange<std::size_t>(1, 3));
        reply.insert(reply.end(), tail.begin(), tail.end());
        break;
      }
      default: reply = input->ConsumeBytes<std::uint8_t>(input->ConsumeIntegralInRange<std::size_t>(0, 64)); break;
    }
    if (!reply.empty()) sink_.OnReceiveBytes(reply.data(), reply.size());
  }
  bool IsUsb() const override { return false; }
  void Close() override {}

 private:
  qlmkv::ByteSink& sink_;
};

class InputConfigLink final : public qlmkv::LanConfigLink {
 public:
  bool ReadRecord(int, std::vector<std::uint8_t>& out) override {
    out = input->ConsumeBytes<std::uint8_t>(input->ConsumeIntegralInRange<std::size_t>(0, 130));
    return input->ConsumeBool();
  }
  bool WriteRecord(int, const std::vector<std::uint8_t>&) override { return input->ConsumeBool(); }
  bool Identify(std::vector<std::uint8_t>& out) override {
    out = input->ConsumeBytes<std::uint8_t>(30);
    return !out.empty();
  }
  bool AssignAddress(const std::uint8_t*, const std::uint8_t*) override { return true; }
  void Restart() override {}
};

std::vector<std::string> Names() {
  std::vector<std::string> names(input->ConsumeIntegralInRange<std::size_t>(0, 4));
  for (std::string& name : names) name = input->ConsumeRandomLengthString(24);
  return names;
}

void InstallInputLinks() {
  qlmkv::Links links;
  auto open = [](qlmkv::ByteSink& sink) -> std::unique_ptr<qlmkv::Transport> {
    if (input->ConsumeIntegralInRange<int>(0, 7) == 0) return nullptr;  // the link does not open
    return std::make_unique<InputReader>(sink);
  };
  links.openSerial = [open](const std::string&, const qlmkv::LineSettings&, qlmkv::ByteSink& sink) {
    return open(sink);
  };
  links.openHid = [open](const std::string&, qlmkv::ByteSink& sink) { return open(sink); };
  links.openLan = [open](const std::string&, qlmkv::ByteSink& sink) { return open(sink); };
  links.openLanConfig = [](const std::string&) -> std::unique_ptr<qlmkv::LanConfigLink> {
    if (!input->ConsumeBool()) return nullptr;
    return std::make_unique<InputConfigLink>();
  };
  links.ping = [](const std::string&, int) { return input->ConsumeBool(); };
  links.listSerialPorts = Names;
  links.listFtdiDevices = Names;
  links.listHidDevices = Names;
  links.listLanReaders = [](int, bool) { return Names(); };
  links.waitClock = &waitClock;
  qlmkv::ReplaceLinks(std::move(links));
}

// A buffer of exactly `capacity` bytes, or none.
struct OutBuffer {
  explicit OutBuffer(int capacity, bool present) : bytes(present && capacity > 0 ? Clip(capacity) : 0) {
    missing = !present;
  }
  unsigned char* get() { return missing ? nullptr : bytes.data(); }
  static std::size_t Clip(int capacity) { return static_cast<std::size_t>(capacity < (1 << 16) ? capacity : 1 << 16); }
  std::vector<unsigned char> bytes;
  bool missing = false;
};

// Input bytes: as many as claimed up to the protocol's most, fewer beyond it
// (the library must refuse those lengths before reading).
std::vector<unsigned char> InBytes(int length) {
  const std::size_t n = length <= 0 ? 0 : static_cast<std::size_t>(length < 256 ? length : 256);
  std::vector<unsigned char> bytes = input->ConsumeBytes<unsigned char>(n);
  bytes.resize(n);
  return bytes;
}

const unsigned char* DataOrNull(const std::vector<unsigned char>& bytes, bool present) {
  static const unsigned char kNone = 0;
  if (!present) return nullptr;
  return bytes.empty() ? &kNone : bytes.data();
}

void CheckCount(int result, int capacity) {
  if (result < -1) std::abort();
  if (result > 0 && result > capacity) std::abort();
}

std::string ConnectionString() {
  static const char* const kKnown[] = {"COM1", "COM2:3", "/dev/ttyFAKE0", "170512345", "0012 HID", "COM1:x", ""};
  std::string text = input->ConsumeBool() ? kKnown[input->ConsumeIntegralInRange<std::size_t>(0, std::size(kKnown) - 1)]
                                          : input->ConsumeRandomLengthString(24);
  // A LAN reader that does not answer is switched over with a real pause.
  if (qlmkv::ClassifyPort(qlmkv::ParseConnectionString(text).port) == qlmkv::LinkKind::kLan) text = "COM1";
  return text;
}

void RunCall(int handle) {
  const int capacity = SizeArgument();
  const bool present = input->ConsumeIntegralInRange<int>(0, 9) != 0;
  switch (input->ConsumeIntegralInRange<int>(0, 22)) {
    case 0: {
      OutBuffer data(capacity, present);
      const int modelCapacity = SizeArgument();
      OutBuffer model(modelCapacity, input->ConsumeBool());
      CheckCount(RdrGetVersion(handle, data.get(), capacity, reinterpret_cast<char*>(model.get()), modelCapacity),
                 capacity);
      break;
    }
    case 1: RdrSetMode(handle, input->ConsumeIntegral<int>()); break;
    case 2: {
      OutBuffer buffer(capacity, present);
      CheckCount(RdrInventory(handle, input->ConsumeIntegral<int>(), buffer.get(), capacity), capacity);
      break;
    }
    case 3: {
      const auto epc = InBytes(capacity);
      RdrSelectTag(handle, DataOrNull(epc, present), capacity);
      break;
    }
    case 4: {
      OutBuffer buffer(capacity, present);
      CheckCount(
          RdrReadData(handle, input->ConsumeIntegral<int>(), input->ConsumeIntegral<int>(), buffer.get(), capacity),
          capacity);
      break;
    }
    case 5: {
      const auto data = InBytes(capacity);
      RdrWriteData(handle, input->ConsumeIntegral<int>(), input->ConsumeIntegral<int>(), DataOrNull(data, present),
                   capacity);
      break;
    }
    case 6: {
      const auto data = InBytes(capacity);
      const auto password = InBytes(4);
      RdrWriteDataPw(handle, input->ConsumeIntegral<int>(), input->ConsumeIntegral<int>(),
                     DataOrNull(password, input->ConsumeBool()), DataOrNull(data, present), capacity);
      break;
    }
    case 7: {
      const auto password = InBytes(4);
      RdrLock(handle, input->ConsumeIntegral<int>(), input->ConsumeIntegral<int>(), DataOrNull(password, present));
      break;
    }
    case 8: {
      int power = 0;
      RdrGetTxPower(handle, present ? &power : nullptr);
      break;
    }
    case 9: RdrSetTxPower(handle, input->ConsumeIntegral<int>(), input->ConsumeIntegral<int>()); break;
    case 10: RdrSwitchUsbMode(handle, input->ConsumeIntegral<int>()); break;
    case 11: {
      const int payloadLength = SizeArgument();
      const auto payload = InBytes(payloadLength);
      OutBuffer buffer(capacity, input->ConsumeBool());
      CheckCount(RdrCommand(handle, input->ConsumeIntegral<int>(), DataOrNull(payload, present), payloadLength,
                            buffer.get(), capacity),
                 capacity);
      break;
    }
    case 12: RdrSetNoWindowLock(handle, input->ConsumeIntegral<int>()); break;
    case 13: RdrIsUsb(handle); break;
    case 14: RdrGetLastError(handle); break;
    case 15: {
      OutBuffer buffer(capacity, present);
      CheckCount(RdrListSerialPorts(reinterpret_cast<char*>(buffer.get()), capacity), capacity);
      break;
    }
    case 16: {
      OutBuffer buffer(capacity, present);
      CheckCount(RdrListUsbDevices(reinterpret_cast<char*>(buffer.get()), capacity), capacity);
      break;
    }
    case 17: {
      OutBuffer buffer(capacity, present);
      CheckCount(RdrListLanReaders(reinterpret_cast<char*>(buffer.get()), capacity, input->ConsumeIntegral<int>()),
                 capacity);
      break;
    }
    case 18: {
      const std::string address = input->ConsumeRandomLengthString(24);
      RdrPing(present ? address.c_str() : nullptr);
      break;
    }
    case 19: {
      const std::string address = input->ConsumeRandomLengthString(24);
      const int config = RdrLanConfigOpen(present ? address.c_str() : nullptr);
      OutBuffer buffer(capacity, input->ConsumeBool());
      CheckCount(RdrLanConfigRead(config, input->ConsumeIntegral<int>(), buffer.get(), capacity), capacity);
      RdrLanConfigClose(config, input->ConsumeIntegral<int>());
      break;
    }
    case 20: {
      const std::string text = input->ConsumeRandomLengthString(40);
      OutBuffer buffer(capacity, present);
      CheckCount(RdrHexToBytes(text.c_str(), buffer.get(), capacity), capacity);
      break;
    }
    case 21: IsVirtualComDriverInstalled(); break;
    default: RdrGetLibraryVersion(); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InstallInputLinks();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  input = &provider;
  const std::string connection = ConnectionString();
  const int handle = RdrOpen(connection.c_str(), input->ConsumeIntegral<int>(), input->ConsumeIntegral<int>(),
                             input->ConsumeIntegralInRange<int>(-2, 1000));
  if (handle == 0 || handle < -11) std::abort();
  // Calls on the open handle, a stale one or a made-up one.
  const int target = input->ConsumeIntegralInRange<int>(0, 7) == 0 ? input->ConsumeIntegral<int>() : handle;
  for (int calls = 0; calls < 8 && input->remaining_bytes() > 0; ++calls) RunCall(target);
  if (handle > 0 && RdrClose(handle) != 0) std::abort();
  qlmkv::CQL_MKV_SDKApp::Instance().CloseAll();
  input = nullptr;
  return 0;
}

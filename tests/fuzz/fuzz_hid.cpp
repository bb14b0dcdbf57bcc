// Arbitrary bytes as a HID reader's input reports and report descriptor: the
// unpacking must never yield more than arrived, the descriptor parser must
// stay inside its buffer, and the exchange fed with the payloads must end in
// a result code. The wait runs on a virtual clock.
//
// Input: byte 0 chooses the announced input report length (1..65), byte 1 bit 0
// numbered reports; then reports as [size byte][size bytes] until the data ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "reader/qlmkv_port.h"
#include "tests/reader/virtual_clock.h"
#include "transport/hid_report.h"

namespace {

using qlmkv::Bytes;
namespace hid = qlmkv::hid;

// Hands every report's payload over as soon as the request is sent.
class ReportReplyLink final : public qlmkv::Transport {
 public:
  ReportReplyLink(std::vector<Bytes> payloads, qlmkv::ByteSink& sink) : payloads_(std::move(payloads)), sink_(sink) {}
  void Send(const std::uint8_t*, std::size_t, std::chrono::milliseconds) override {
    for (const Bytes& payload : payloads_) sink_.OnReceiveBytes(payload.data(), payload.size());
  }
  bool IsUsb() const override { return true; }
  void Close() override {}

 private:
  std::vector<Bytes> payloads_;
  qlmkv::ByteSink& sink_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const hid::ReportLengths lengths = hid::ParseReportDescriptor(data, size);
  if ((lengths.input && *lengths.input < 2) || (lengths.output && *lengths.output < 2)) std::abort();
  if (size < 2) return 0;

  const hid::InputLayout layout{static_cast<std::size_t>(data[0] % 65) + 1, (data[1] & 1) != 0};
  std::vector<Bytes> payloads;
  for (std::size_t at = 2; at < size;) {
    const std::size_t reportSize = std::min<std::size_t>(data[at], size - at - 1);
    const std::uint8_t* report = data + at + 1;
    const Bytes payload = hid::UnpackInputReport(report, reportSize, layout);
    const std::size_t header = layout.numberedReports ? 2 : 1;
    if (!payload.empty() && (reportSize < header || payload.size() > reportSize - header)) std::abort();
    if (!payload.empty() && payload.size() > report[header - 1]) std::abort();
    payloads.push_back(payload);
    at += 1 + reportSize;
  }

  qlmkv::test::VirtualWaitClock clock;
  qlmkv::CQL_MKV_Port port(1, 500, clock);
  port.AttachTransport(std::make_unique<ReportReplyLink>(std::move(payloads), port));
  Bytes out;
  if (!port.Transceive(0xF0, {}, out) && port.LastError() == 0) std::abort();
  port.CloseTransport();
  return 0;
}

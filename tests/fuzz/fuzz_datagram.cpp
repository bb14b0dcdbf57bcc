// Arbitrary bytes as a datagram from the network: the module-service parsers
// of the SDK, the echo-reply check of the ping and the simulated module must
// take or refuse it without reading past a buffer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "lan/datagram.h"
#include "lan/ping.h"
#include "sim/lan_module.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qlmkv::lan;
  // The first four bytes stand for the sender's address.
  Ipv4Bytes sender{};
  for (std::size_t i = 0; i < 4 && i < size; ++i) sender[i] = data[i];
  const std::uint8_t* datagram = size > 4 ? data + 4 : data;
  const std::size_t datagramSize = size > 4 ? size - 4 : 0;

  if (const auto parsed = ParseDatagram(sender, datagram, datagramSize)) {
    if (const auto record = ParseSetupRecord(parsed->data)) {
      const std::string entry = EntryText(*record, parsed->sender);
      const EntryParts parts = SplitEntry(entry);
      if (parts.address.empty() && parts.name.empty()) return 0;
    }
    IsReaderDeviceRecord(parsed->data);
    SplitEntry(std::string(parsed->data.begin(), parsed->data.end()));
  }
  MatchEchoReply(datagram, datagramSize, 0x1234, 1, 16, true);

  mkvsim::LanModule module{mkvsim::LanModuleOptions{}};
  module.Handle(datagram, datagramSize);
  return 0;
}

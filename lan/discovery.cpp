#include "lan/discovery.h"

#include <set>

#include "lan/address_text.h"
#include "lan/module_requests.h"

namespace qlmkv::lan {

namespace {

constexpr auto kNameSearchLimit = std::chrono::milliseconds(200);

bool IsRecord0Reply(const Datagram& datagram) {
  return datagram.type == reply::kRecord0 && datagram.data.size() >= kSetupRecordMin;
}

// Keeps the entries whose module belongs to a reader, a named one by its name.
std::set<std::string> ReaderCheck(DatagramSocket& socket, const std::set<std::string>& entries) {
  std::set<std::string> readers;
  for (const std::string& entry : entries) {
    const EntryParts parts = SplitEntry(entry);
    Bytes record;
    if (!ReadRecord(socket, parts.address, 2, record) || !IsReaderDeviceRecord(record)) continue;
    readers.insert(parts.name.empty() ? entry : parts.name);
  }
  return readers;
}

std::set<std::string> ListOnAdapter(const std::string& localAddress, std::chrono::milliseconds collect,
                                    bool readerCheck) {
  DatagramSocket socket;
  std::set<std::string> entries;
  if (!socket.Open(localAddress) || !socket.SendTo(kBroadcast, ReadRequest(0))) return entries;
  CollectReplies(socket, collect, [&](const Datagram& datagram) {
    if (!IsRecord0Reply(datagram)) return false;
    entries.insert(EntryText(*ParseSetupRecord(datagram.data), datagram.sender));
    return true;
  });
  return readerCheck ? ReaderCheck(socket, entries) : entries;
}

}  // namespace

std::vector<std::string> ListModules(std::chrono::milliseconds collect, bool readerCheck) {
  AdapterChoice adapters;
  adapters.Refill();
  std::set<std::string> all;
  // Without an Ethernet adapter the one run goes out through any address.
  bool more = adapters.FirstAdapter() || adapters.Table().empty();
  while (more) {
    all.merge(ListOnAdapter(adapters.LocalAddress(), collect, readerCheck));
    more = adapters.NextAdapter();
  }
  return {all.begin(), all.end()};
}

std::string SearchByName(const std::string& localAddress, const std::string& name, std::chrono::milliseconds limit) {
  DatagramSocket socket;
  if (!socket.Open(localAddress) || !socket.SendTo(kBroadcast, ReadRequest(0))) return {};
  std::string found;
  AwaitReplies(socket, limit, false, [&](const Datagram& datagram) {
    if (!IsRecord0Reply(datagram)) return false;
    const SetupRecord record = *ParseSetupRecord(datagram.data);
    // Modules with a fixed address are known by their address, never by name.
    if (record.address == datagram.sender || BracketName(record) != name) return false;
    found = DottedText(datagram.sender) + "-" + std::to_string(record.port);
    return true;
  });
  return found;
}

std::string ResolveAddress(const std::string& text, AdapterChoice& adapters) {
  const std::string name = BracketedName(text);
  if (name.empty()) return text;
  if (adapters.Table().empty()) adapters.Refill();
  bool more = adapters.FirstAdapter() || adapters.Table().empty();
  while (more) {
    std::string found = SearchByName(adapters.LocalAddress(), name, kNameSearchLimit);
    if (!found.empty()) return found;
    more = adapters.NextAdapter();
  }
  return {};
}

}  // namespace qlmkv::lan

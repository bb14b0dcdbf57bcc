#include "lan/discovery.h"

#include <map>
#include <set>
#include <vector>

#include "lan/address_text.h"
#include "lan/module_requests.h"

namespace qlmkv::lan {

namespace {

constexpr auto kNameSearchLimit = std::chrono::milliseconds(200);

bool IsRecord0Reply(const Datagram& datagram) {
  return datagram.type == reply::kRecord0 && datagram.data.size() >= kSetupRecordMin;
}

// Keeps the entries whose module belongs to a reader, a named one by its
// name. The record-2 requests go out together and the replies are told apart
// by sender within one window (restarting with every datagram), so silent
// modules cost one window in all, not one each.
std::set<std::string> ReaderCheck(DatagramSocket& socket, const std::set<std::string>& entries) {
  std::map<std::string, std::vector<std::string>> entriesAt;
  for (const std::string& entry : entries) entriesAt[SplitEntry(entry).address].push_back(entry);
  constexpr int kDeviceRecord = 2;
  std::set<std::string> pending;
  for (const auto& [address, unused] : entriesAt)
    if (socket.SendTo(address, ReadRequest(kDeviceRecord))) pending.insert(address);
  if (pending.empty()) return {};

  std::set<std::string> readers;
  const std::uint8_t expected = ReadReplyType(kDeviceRecord);
  AwaitReplies(socket, kReplyWindow, true, [&](const Datagram& datagram) {
    const std::string sender = DottedText(datagram.sender);
    if (datagram.type != expected || datagram.data.size() < kSetupRecordMin || pending.erase(sender) == 0) return false;
    if (IsReaderDeviceRecord(datagram.data)) {
      for (const std::string& entry : entriesAt[sender]) {
        const std::string name = SplitEntry(entry).name;
        readers.insert(name.empty() ? entry : name);
      }
    }
    return pending.empty();
  });
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

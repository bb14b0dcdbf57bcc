#include "lan/module_requests.h"

namespace qlmkv::lan {

namespace {

// Requests to the peer are broadcast when the peer is the broadcast address.
std::string Destination(const std::string& peer) { return peer.empty() ? kBroadcast : peer; }

}  // namespace

bool ReadRecord(DatagramSocket& socket, const std::string& peer, int record, Bytes& out) {
  const Bytes request = ReadRequest(record);
  if (request.empty()) return false;
  if (!socket.SendTo(record == 0 ? kBroadcast : Destination(peer), request)) return false;
  const std::uint8_t expected = ReadReplyType(record);
  return AwaitReplies(socket, kReplyWindow, true, [&](Datagram& datagram) {
    if (datagram.type != expected || datagram.data.size() < kSetupRecordMin) return false;
    if (peer != kBroadcast && DottedText(datagram.sender) != peer) return false;
    out = std::move(datagram.data);
    return true;
  });
}

bool WriteRecord(DatagramSocket& socket, const std::string& peer, int record, const Bytes& data) {
  const Bytes request = WriteRequest(record, data);
  if (request.empty() || !socket.SendTo(Destination(peer), request)) return false;
  const std::uint8_t expected = WriteReplyType(record);
  return AwaitReplies(socket, kReplyWindow, true, [&](const Datagram& datagram) { return datagram.type == expected; });
}

bool Identify(DatagramSocket& socket, const std::string& peer, Bytes& out) {
  if (!socket.SendTo(kBroadcast, IdentifyRequest())) return false;
  return AwaitReplies(socket, kReplyWindow, true, [&](Datagram& datagram) {
    if (datagram.type != reply::kInformation || datagram.data.size() < kInformationRecordMin) return false;
    if (DottedText(datagram.sender) != peer) return false;
    out = std::move(datagram.data);
    return true;
  });
}

bool SendAddressAssignment(DatagramSocket& socket, std::uint8_t id0, std::uint8_t id1, const Ipv4Bytes& address) {
  return socket.SendTo(kBroadcast, AddressAssignment(id0, id1, address));
}

void SendRestart(DatagramSocket& socket, const std::string& peer) {
  socket.SendTo(Destination(peer), RestartRequest());
}

}  // namespace qlmkv::lan

// Requests to one LAN module over an open service-port socket.
#pragma once

#include <chrono>
#include <string>

#include "lan/datagram_socket.h"

namespace qlmkv::lan {

constexpr auto kReplyWindow = std::chrono::milliseconds(500);
constexpr char kBroadcast[] = "255.255.255.255";

// Record n (0..15) from `peer`. Record 0 is asked by broadcast; the reply
// must come from the peer and carry at least 120 bytes.
bool ReadRecord(DatagramSocket& socket, const std::string& peer, int record, Bytes& out);
// Any reply of the expected type ends the wait with success.
bool WriteRecord(DatagramSocket& socket, const std::string& peer, int record, const Bytes& data);
// The information record, from the peer, more than 25 bytes.
bool Identify(DatagramSocket& socket, const std::string& peer, Bytes& out);
bool SendAddressAssignment(DatagramSocket& socket, std::uint8_t id0, std::uint8_t id1, const Ipv4Bytes& address);
void SendRestart(DatagramSocket& socket, const std::string& peer);

}  // namespace qlmkv::lan

// The echo on Windows: the IP helper's ICMP functions, which need no
// privileges. The call blocks for at most the time-out.
#include <winsock2.h>
// winsock2.h first: the IP helper's headers build on it.
#include <iphlpapi.h>
// The ICMP functions' header builds on the IP helper's types.
#include <icmpapi.h>

#include <algorithm>

#include "lan/ping.h"

namespace qlmkv::lan {

bool CPing::Echo(in_addr host, const EchoOptions& options) {
  const HANDLE icmp = IcmpCreateFile();
  if (icmp == INVALID_HANDLE_VALUE) return false;
  const std::vector<std::uint8_t> data(options.dataSize, kEchoFiller);
  IP_OPTION_INFORMATION ip{};
  ip.Ttl = static_cast<UCHAR>(options.timeToLive);
  ip.Tos = static_cast<UCHAR>(options.typeOfService);
  ip.Flags = options.dontFragment ? IP_FLAG_DF : 0;
  // Room for one reply with its data and an ICMP error's worth besides.
  std::vector<unsigned char> reply(sizeof(ICMP_ECHO_REPLY) + options.dataSize + 8 + 64);
  const long long timeoutMs = options.timeout.count();
  const DWORD count =
      IcmpSendEcho(icmp, host.s_addr, const_cast<std::uint8_t*>(data.data()), static_cast<WORD>(data.size()), &ip,
                   reply.data(), static_cast<DWORD>(reply.size()), static_cast<DWORD>(timeoutMs < 0 ? 0 : timeoutMs));
  bool answered = false;
  if (count > 0) {
    const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data());
    const auto* returned = static_cast<const std::uint8_t*>(echo->Data);
    answered = echo->Status == IP_SUCCESS && echo->Address == host.s_addr && echo->DataSize == data.size() &&
               (data.empty() || (returned != nullptr && std::equal(data.begin(), data.end(), returned)));
  }
  IcmpCloseHandle(icmp);
  return answered;
}

}  // namespace qlmkv::lan

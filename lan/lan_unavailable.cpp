// LAN links are not built yet: every LAN operation fails cleanly, so the
// reader library's LAN branches report "could not open" and empty lists.
#include "lan/lan.h"

namespace qlmkv {

std::unique_ptr<Transport> OpenLanTransport(const std::string&, ByteSink&) { return nullptr; }
std::vector<std::string> ListLanReaders(int, bool) { return {}; }
std::unique_ptr<LanConfigLink> OpenLanConfigLink(const std::string&) { return nullptr; }
bool PingAddress(const std::string&, int) { return false; }

}  // namespace qlmkv

// The "lan" commands of stampwise-cli: the LAN modules on the local networks,
// the network settings of one, their change, and the reachability test.
#pragma once

#include <optional>
#include <string>

#include "cli/commands.h"

namespace stampwise::cli {

struct LanSetOptions {
  std::optional<std::string> ip;
  std::optional<std::string> mask;
  std::optional<std::string> gateway;
  std::optional<int> port;
  std::optional<std::string> dhcpName;
};

// Readers only, or with `all` every module.
int LanList(Context& context, bool all);
int LanShow(Context& context, const std::string& address);
// Applies the change, then waits until the module answers at its new
// address (at most 25 s).
int LanSet(Context& context, const std::string& address, const LanSetOptions& options);
int LanPing(Context& context, const std::string& address);

}  // namespace stampwise::cli

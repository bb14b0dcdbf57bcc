// An address's scheme and host, as the platform's HTTP library reads them
// (https_client_curl.cpp, https_client_winhttp.cpp).
#pragma once

#include <optional>
#include <string>

namespace stampwise::update {

struct AddressParts {
  std::string scheme;
  std::string host;
};

// Nothing when the library cannot read `address` as a URL.
std::optional<AddressParts> SplitAddress(const std::string& address);

}  // namespace stampwise::update

#include "update/https_address.h"

#include "common/ascii.h"
#include "update/https_client.h"

namespace stampwise::update {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = ascii::ToLower(c);
  return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool IsUsableHttpsAddress(const std::string& address, std::string* why) {
  auto refuse = [why](const char* reason) {
    if (why != nullptr) *why = reason;
    return false;
  };
  const std::optional<AddressParts> parts = SplitAddress(address);
  if (!parts) return refuse("not an address");
  if (Lower(parts->scheme) != "https") return refuse("not an https:// address");
  std::string host = Lower(parts->host);
  if (!host.empty() && host.back() == '.') host.pop_back();
  if (host.empty()) return refuse("no host");
  if (host == "invalid" || EndsWith(host, ".invalid")) return refuse("a host under .invalid never resolves");
  return true;
}

}  // namespace stampwise::update

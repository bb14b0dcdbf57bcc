#include "app/connection/lan_setup.h"

#include <algorithm>
#include <cstdio>

#include "app/connection/reader_client.h"
#include "common/ascii.h"

namespace stampwise {

namespace {

constexpr std::size_t kRecordSize = 120;

std::string Dotted(const std::array<std::uint8_t, 4>& a) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
  return text;
}

}  // namespace

std::string LanSetup::AddressText() const { return Dotted(address); }
std::string LanSetup::GatewayText() const { return Dotted(gateway); }

std::string LanSetup::MaskText() const {
  const int bits = std::clamp(hostBits, 0, 32);
  const std::uint32_t mask = bits >= 32 ? 0 : ~std::uint32_t{0} << bits;
  return Dotted({static_cast<std::uint8_t>(mask >> 24), static_cast<std::uint8_t>(mask >> 16),
                 static_cast<std::uint8_t>(mask >> 8), static_cast<std::uint8_t>(mask)});
}

std::optional<LanSetup> ParseLanSetup(const std::vector<std::uint8_t>& record) {
  if (record.size() != kRecordSize) return std::nullopt;
  LanSetup setup;
  std::copy_n(record.begin(), 4, setup.address.begin());
  setup.hostBits = record[6];
  std::copy_n(record.begin() + 12, 4, setup.gateway.begin());
  setup.port = record[20] | (record[21] << 8);
  const auto name = record.begin() + 112;
  setup.name.assign(name, std::find(name, name + kLanNameMax, std::uint8_t{0}));
  return setup;
}

namespace {

std::string ModuleKey(const std::string& entry) {
  if (entry.empty() || entry.front() != '[') return entry;
  const std::size_t close = entry.find(']');
  return close == std::string::npos ? entry : entry.substr(0, close + 1);
}

}  // namespace

std::vector<FoundModule> MergeFoundModules(const std::vector<std::string>& readers,
                                           const std::vector<std::string>& modules) {
  std::vector<FoundModule> found;
  for (const std::string& reader : readers) found.push_back({reader, FoundModule::kReader});
  for (const std::string& module : modules) {
    const std::string key = ModuleKey(module);
    const auto listed = std::find_if(found.begin(), found.end(),
                                     [&](const FoundModule& entry) { return ascii::EqualsNoCase(entry.text, key); });
    if (listed == found.end()) {
      found.push_back({module, FoundModule::kForeign});
    } else {
      *listed = {module, FoundModule::kReader};
    }
  }
  return found;
}

bool AwaitLanAnswer(const std::string& address, const std::function<void(std::chrono::milliseconds)>& pause,
                    const std::function<void(std::chrono::milliseconds)>& progress) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  for (;;) {
    pause(kLanAnswerPause);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    if (progress) progress(std::min(elapsed, kLanAnswerLimit));
    if (ReaderClient::Ping(address)) return true;
    if (elapsed >= kLanAnswerLimit) return false;
  }
}

std::string LanAddressText(const std::string& addressOrBracketedName, int port) {
  return port > 0 ? addressOrBracketedName + "-" + std::to_string(port) : addressOrBracketedName;
}

}  // namespace stampwise

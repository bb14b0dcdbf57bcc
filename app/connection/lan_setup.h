// The network settings of a reader's LAN module as its setup record 0 holds
// them, and the address text that asks the library for a change.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace stampwise {

struct LanSetup {
  std::array<std::uint8_t, 4> address{};  // 0.0.0.0: automatic addressing
  int hostBits = 0;
  std::array<std::uint8_t, 4> gateway{};
  int port = 0;
  std::string name;

  bool Automatic() const { return address == std::array<std::uint8_t, 4>{}; }
  // Dotted texts; the mask is all ones but the lowest hostBits bits.
  std::string AddressText() const;
  std::string MaskText() const;
  std::string GatewayText() const;
};

// A record of exactly 120 bytes, else nothing (a record of another length is
// not the module's setup).
std::optional<LanSetup> ParseLanSetup(const std::vector<std::uint8_t>& record);

// The longest module name the record holds.
inline constexpr std::size_t kLanNameMax = 8;

// "a.b.c.d" or "[NAME]", with "-port" when a port is given (> 0).
std::string LanAddressText(const std::string& addressOrBracketedName, int port);

// One entry of the IP search's list: a reader of this family or another module.
struct FoundModule {
  enum Tag { kReader = 1, kForeign = 2 };
  std::string text;
  Tag tag = kReader;
  bool operator==(const FoundModule&) const = default;
};

// The readers (listed with the reader check) first, then every module of the
// unchecked listing: one whose key (the entry, or its "[NAME]" part) names a
// reader already listed takes that reader's place, so that a reader with an
// automatic address shows its name, address and port; any other is foreign.
std::vector<FoundModule> MergeFoundModules(const std::vector<std::string>& readers,
                                           const std::vector<std::string>& modules);

// After a change the module restarts: ping `address` every 100 ms until it
// answers or 25 s have passed. `pause` waits between pings (a window keeps
// painting in it); `progress` hears the time elapsed before each ping.
inline constexpr auto kLanAnswerLimit = std::chrono::milliseconds(25000);
inline constexpr auto kLanAnswerPause = std::chrono::milliseconds(100);
bool AwaitLanAnswer(const std::string& address, const std::function<void(std::chrono::milliseconds)>& pause,
                    const std::function<void(std::chrono::milliseconds elapsed)>& progress);

}  // namespace stampwise

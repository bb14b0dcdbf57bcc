#include "cli/lan_commands.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "app/connection/lan_setup.h"
#include "app/connection/reader_client.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/values_validation.h"

namespace stampwise::cli {

namespace {

void NoAnswer(Context& context, const std::string& address) { context.Out().Error(address + ": no answer"); }

// Waits until `address` answers a ping; on a terminal the seconds run by.
bool AwaitAnswer(Context& context, const std::string& address) {
  const bool progress = !context.Out().Json() && ::isatty(STDERR_FILENO) == 1;
  const bool answered = AwaitLanAnswer(
      address, [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); },
      [&](std::chrono::milliseconds elapsed) {
        if (!progress) return;
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
        std::fprintf(stderr, "\r%s: waiting for an answer, %lld s", address.c_str(), static_cast<long long>(seconds));
      });
  if (progress) std::fprintf(stderr, "\n");
  return answered;
}

}  // namespace

int LanList(Context& context, bool all) {
  const auto entries = all ? ReaderClient::LanModules(ReaderClient::kLanSearchCapacity)
                           : ReaderClient::LanReaders(ReaderClient::kLanSearchCapacity);
  for (const std::string& entry : entries) context.Out().Print(entry, {{"type", "lan"}, {"entry", ToUtf8(entry)}});
  return kSuccess;
}

int LanShow(Context& context, const std::string& address) {
  const std::optional<LanSetup> setup = ReaderClient::ReadLanSetup(address);
  if (!setup) {
    NoAnswer(context, address);
    return kNoReader;
  }
  const std::string shownAddress = setup->Automatic() ? "automatic" : setup->AddressText();
  context.Out().Print("address " + shownAddress + "\nmask " + setup->MaskText() + "\ngateway " + setup->GatewayText() +
                          "\nport " + std::to_string(setup->port) + "\nname " + setup->name,
                      {{"type", "lan-setup"},
                       {"automatic", setup->Automatic()},
                       {"address", setup->AddressText()},
                       {"mask", setup->MaskText()},
                       {"hostBits", setup->hostBits},
                       {"gateway", setup->GatewayText()},
                       {"port", setup->port},
                       {"name", ToUtf8(setup->name)}});
  return kSuccess;
}

int LanSet(Context& context, const std::string& address, const LanSetOptions& options) {
  if (options.dhcpName && options.dhcpName->size() > kLanNameMax) {
    context.Out().Error(TooLongError(0, kLanNameMax).text);
    return kBadArguments;
  }
  const int port = options.port.value_or(0);
  const std::string newAddress =
      options.dhcpName ? LanAddressText("[" + *options.dhcpName + "]", port) : LanAddressText(*options.ip, port);
  // A gateway not asked for stays as the module has it.
  std::string gateway = options.gateway.value_or("");
  if (!options.gateway) {
    const std::optional<LanSetup> setup = ReaderClient::ReadLanSetup(address);
    if (!setup) {
      NoAnswer(context, address);
      return kNoReader;
    }
    gateway = setup->GatewayText();
  }
  if (!ReaderClient::SetLanParams(address, newAddress, options.mask.value_or(""), gateway)) {
    context.Out().Error(LoadString(msg::kLanConfigFailed));
    return kNoReader;
  }
  const bool answered = AwaitAnswer(context, newAddress);
  context.Out().Print(newAddress + (answered ? "" : " (no answer yet)"),
                      {{"type", "lan-set"}, {"address", ToUtf8(newAddress)}, {"answered", answered}});
  return answered ? kSuccess : kNoReader;
}

int LanPing(Context& context, const std::string& address) {
  const bool answered = ReaderClient::Ping(address);
  context.Out().Print(address + (answered ? " answers" : " does not answer"),
                      {{"type", "ping"}, {"address", ToUtf8(address)}, {"answered", answered}});
  return answered ? kSuccess : kNoReader;
}

}  // namespace stampwise::cli

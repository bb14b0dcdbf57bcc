// `ledger list` and the ledger's exports: the claims of the ledger, for the
// operator, for scripts and for other systems.
#include <chrono>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/events/epcis.h"
#include "app/events/mqtt_publisher.h"
#include "app/events/shift_report.h"
#include "app/events/time_window.h"
#include "app/gs1/gs1_epc.h"
#include "app/job/attempt_recorder.h"
#include "app/ledger/open_ledger.h"
#include "app/ledger/production_journal.h"
#include "app/store/settings_keys.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "cli/commands.h"
#include "cli/mqtt_link.h"

namespace stampwise::cli {
namespace {

// The ledger's claims of one station or all; nothing (the reason printed)
// when the ledger cannot be read.
std::optional<std::vector<ledger::Claim>> ReadClaims(Context& context, const std::string& station) {
  Result<std::unique_ptr<ledger::Ledger>> opened = ledger::OpenLedgerToRead(context.Ledger());
  if (!opened) {
    context.Out().Error(opened.message().text);
    return std::nullopt;
  }
  Result<std::vector<ledger::Claim>> claims = opened.value()->List({station, ""});
  if (!claims) {
    context.Out().Error(claims.message().text);
    return std::nullopt;
  }
  return std::move(claims).value();
}

events::TimeWindow WindowOf(const LedgerWindowOptions& options) {
  events::TimeWindow window;
  // The options were checked when they were read.
  if (options.since) window.since = events::ParseIsoTime(*options.since);
  if (options.until) window.until = events::ParseIsoTime(*options.until);
  return window;
}

// This station's name as its attempts carry it.
std::string StationName(Settings& settings) {
  const std::string stored = settings.ReadString(keys::kJournalStation);
  return stored.empty() ? DefaultStationName() : stored;
}

}  // namespace

int LedgerList(Context& context, const LedgerListOptions& options) {
  const std::optional<std::vector<ledger::Claim>> claims = ReadClaims(context, options.station.value_or(""));
  if (!claims) return kTagFailed;
  for (const ledger::Claim& claim : *claims) {
    const std::string bank = JournalBankName(claim.bank);
    const std::string bytes = gs1::Hex(claim.bytes);
    const std::string text = claim.claimed + " " + (claim.settled.empty() ? "-" : claim.settled) + " " + claim.station +
                             " " + bank + ":" + std::to_string(claim.start) + " <" + claim.value + "> " +
                             (bytes.empty() ? "-" : bytes) + " " + (claim.tid.empty() ? "-" : claim.tid) + " " +
                             ledger::OutcomeName(claim.outcome) + (claim.reuse ? " reuse" : "");
    context.Out().Print(text, {{"type", "claim"},
                               {"value", ToUtf8(claim.value)},
                               {"bytes", bytes},
                               {"bank", bank},
                               {"start", claim.start},
                               {"station", ToUtf8(claim.station)},
                               {"tid", claim.tid},
                               {"outcome", ledger::OutcomeName(claim.outcome)},
                               {"reuse", claim.reuse},
                               {"claimed", claim.claimed},
                               {"settled", claim.settled}});
  }
  return kSuccess;
}

int LedgerEpcis(Context& context, const LedgerWindowOptions& options) {
  const std::optional<std::vector<ledger::Claim>> claims = ReadClaims(context, options.station.value_or(""));
  if (!claims) return kTagFailed;
  const std::string setting = context.Store().ReadString(keys::kReadPoint);
  const std::optional<std::string> readPoint = events::ReadPointUri(setting);
  if (!setting.empty() && !readPoint) context.Out().Note(FormatString(msg::kReadPointIgnored, {setting}));
  const events::EpcisExport exported =
      events::EpcisDocument(events::SettledWithin(*claims, WindowOf(options)), StationName(context.Store()), readPoint,
                            IsoLocalTime(std::chrono::system_clock::now()));
  std::cout << exported.document << std::flush;
  if (exported.unknown > 0) context.Out().Note(FormatString(msg::kEpcisUnknownLeftOut, {exported.unknown}));
  return std::cout ? kSuccess : kTagFailed;
}

int LedgerReport(Context& context, const LedgerWindowOptions& window, const std::string& html) {
  const std::string title = window.since || window.until ? window.since.value_or("") + " - " + window.until.value_or("")
                                                         : std::string("(all attempts)");
  const Status saved =
      events::SaveShiftReport(context.Ledger(), window.station.value_or(""), WindowOf(window), title, html);
  if (!saved) {
    context.Out().Error(saved.message().text);
    return kTagFailed;
  }
  return kSuccess;
}

int LedgerPublish(Context& context, const LedgerWindowOptions& window, const LedgerPublishOptions& options) {
  const std::string uri = options.mqtt.value_or(context.Store().ReadString(keys::kMqttUri));
  if (uri.empty()) {
    context.Out().Error(FormatString(msg::kMqttBadUri, {"--mqtt"}), {}, {{"kind", "arguments"}});
    return kBadArguments;
  }
  const std::optional<std::vector<ledger::Claim>> claims = ReadClaims(context, window.station.value_or(""));
  if (!claims) return kTagFailed;
  const std::vector<ledger::Claim> chosen = events::SettledWithin(*claims, WindowOf(window));
  // Every message waits in the queue: nothing of what was asked is dropped.
  std::optional<MqttLink> mqtt =
      StartMqtt(context.Out(), uri, options.credentials, options.ca, StationName(context.Store()), chosen.size() + 1);
  if (!mqtt) return kBadArguments;
  for (const ledger::Claim& claim : chosen) mqtt->publisher->Settled(claim);
  // Nothing sent for a while means the broker is away.
  const bool all = FinishMqtt(context.Out(), *mqtt, std::chrono::hours(1), std::chrono::seconds(10));
  context.Out().Print(
      std::to_string(chosen.size()) + " -> " + mqtt->broker,
      {{"type", "published"}, {"messages", chosen.size()}, {"broker", mqtt->broker}, {"complete", all}});
  return all ? kSuccess : kTagFailed;
}

}  // namespace stampwise::cli

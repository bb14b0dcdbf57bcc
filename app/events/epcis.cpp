#include "app/events/epcis.h"

#include <nlohmann/json.hpp>
#include <regex>

#include "app/events/time_window.h"
#include "app/gs1/gs1_epc.h"
#include "app/texts/strings.h"

namespace stampwise::events {
namespace {

constexpr const char* kContext = "https://ref.gs1.org/standards/epcis/2.0.0/epcis-context.jsonld";
constexpr int kEpcBank = 1;

// The pure identity of a claim that wrote a GS1 EPC; nothing for any other.
std::optional<std::string> EpcOf(const ledger::Claim& claim) {
  if (claim.bank != kEpcBank || claim.value.rfind("urn:epc:tag:", 0) != 0) return std::nullopt;
  const Result<gs1::TagEpc> epc = gs1::ParseTagUri(claim.value);
  if (!epc) return std::nullopt;
  return gs1::PureIdentityUri(epc.value());
}

}  // namespace

std::optional<std::string> ReadPointUri(const std::string& setting) {
  if (setting.rfind("urn:epc:tag:sgln", 0) == 0) {
    const Result<gs1::TagEpc> epc = gs1::ParseTagUri(setting);
    if (!epc) return std::nullopt;
    return gs1::PureIdentityUri(epc.value());
  }
  // An absolute URI: a scheme, then no blank and no control character.
  static const std::regex kUri(R"([A-Za-z][A-Za-z0-9+.\-]*:[^\s\x00-\x1f\x7f]+)");
  if (!std::regex_match(setting, kUri)) return std::nullopt;
  return setting;
}

EpcisExport EpcisDocument(const std::vector<ledger::Claim>& claims, const std::string& station,
                          const std::optional<std::string>& readPoint, const std::string& created) {
  EpcisExport result;
  nlohmann::ordered_json events = nlohmann::ordered_json::array();
  for (const ledger::Claim& claim : claims) {
    const std::optional<std::string> epc = EpcOf(claim);
    if (!epc) continue;
    if (claim.outcome == ledger::Outcome::kUnknown) ++result.unknown;
    if (claim.outcome != ledger::Outcome::kWritten) continue;
    nlohmann::ordered_json event;
    event["type"] = "ObjectEvent";
    // The tag carries its EPC from the moment the write was confirmed.
    event["eventTime"] = claim.settled;
    event["eventTimeZoneOffset"] = OffsetOf(claim.settled).value_or("+00:00");
    event["epcList"] = nlohmann::ordered_json::array({*epc});
    event["action"] = "ADD";
    event["bizStep"] = "commissioning";
    event["disposition"] = "active";
    if (readPoint && claim.station == station) event["readPoint"] = {{"id", ToUtf8(*readPoint)}};
    events.push_back(std::move(event));
    ++result.events;
  }
  nlohmann::ordered_json document;
  document["@context"] = nlohmann::ordered_json::array({kContext});
  document["type"] = "EPCISDocument";
  document["schemaVersion"] = "2.0";
  document["creationDate"] = created;
  document["epcisBody"] = {{"eventList", std::move(events)}};
  result.document = document.dump(2) + "\n";
  return result;
}

}  // namespace stampwise::events

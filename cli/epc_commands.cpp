#include "cli/epc_commands.h"

#include <nlohmann/json.hpp>

#include "app/gs1/gs1_epc.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "cli/commands.h"

namespace stampwise::cli {
namespace {

using gs1::Scheme;
using gs1::TagEpc;

nlohmann::json Describe(const std::string& hex, const gs1::Decoded& decoded) {
  nlohmann::json object{{"type", "epc"}, {"hex", hex}, {"tagUri", decoded.tagUri}, {"bits", decoded.bits}};
  if (decoded.epc) {
    object["pureIdentityUri"] = gs1::PureIdentityUri(*decoded.epc);
    object["scheme"] = gs1::SchemeName(decoded.epc->scheme);
    object["filter"] = gs1::HasFilter(decoded.epc->scheme) ? nlohmann::json(decoded.epc->filter) : nlohmann::json();
  } else {
    object["pureIdentityUri"] = nullptr;
    object["scheme"] = "raw";
    object["filter"] = nullptr;
  }
  return object;
}

int Refuse(Output& out, const Message& message) {
  out.Error(message.text);
  return kBadArguments;
}

// The tag EPC from the URI, or from the GS1 keys and the scheme.
Result<TagEpc> EpcOf(const EpcEncodeOptions& o) {
  if (o.tagUri) return gs1::ParseTagUri(*o.tagUri);
  const auto fail = [](int id, const std::string& what) {
    return Result<TagEpc>::Failure({id, FormatString(id, {what}), 0});
  };
  const std::optional<Scheme> scheme = gs1::SchemeByName(o.scheme.value_or(""));
  if (!scheme || (*scheme != Scheme::kSgtin96 && *scheme != Scheme::kSgtin198 && *scheme != Scheme::kSscc96)) {
    return fail(msg::kEpcUnknownScheme, o.scheme.value_or(""));
  }
  if (!o.filter) return fail(msg::kEpcFilterMissing, "");
  if (!o.companyDigits) return fail(msg::kEpcNoPartition, "");
  if (*scheme == Scheme::kSscc96) return gs1::FromSscc(o.sscc.value_or(""), *o.companyDigits, *o.filter);
  return gs1::FromGtin(*scheme, o.gtin.value_or(""), o.serial.value_or(""), *o.companyDigits, *o.filter);
}

}  // namespace

int EpcEncode(Output& out, const EpcEncodeOptions& options) {
  const Result<TagEpc> epc = EpcOf(options);
  if (!epc) return Refuse(out, epc.message());
  const Result<std::vector<std::uint8_t>> bytes = gs1::Encode(epc.value());
  if (!bytes) return Refuse(out, bytes.message());
  const std::string hex = gs1::Hex(bytes.value());
  gs1::Decoded decoded;
  decoded.epc = epc.value();
  decoded.tagUri = gs1::TagUri(epc.value());
  decoded.bits = gs1::BitCount(epc.value().scheme);
  out.Print(hex, Describe(hex, decoded));
  return kSuccess;
}

int EpcDecode(Output& out, const std::string& hex) {
  const Result<gs1::Decoded> decoded = gs1::Decode(hex);
  if (!decoded) return Refuse(out, decoded.message());
  std::string upper = hex;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (out.Json()) {
    out.Print("", Describe(upper, decoded.value()));
    return kSuccess;
  }
  out.Print(decoded.value().tagUri, {});
  if (decoded.value().epc) out.Print(gs1::PureIdentityUri(*decoded.value().epc), {});
  return kSuccess;
}

}  // namespace stampwise::cli

// stampwise-cli epc: GS1 EPC encodings to and from hex, without a reader.
#pragma once

#include <optional>
#include <string>

#include "cli/cli_output.h"

namespace stampwise::cli {

struct EpcEncodeOptions {
  std::optional<std::string> tagUri;
  std::optional<std::string> scheme;  // sgtin-96, sgtin-198 or sscc-96, with the GS1 keys
  std::optional<std::string> gtin;
  std::optional<std::string> sscc;
  std::optional<std::string> serial;
  std::optional<int> companyDigits;
  std::optional<int> filter;
};

// Exit 0 with the encoding, or 2 with the reason on stderr.
int EpcEncode(Output& out, const EpcEncodeOptions& options);
int EpcDecode(Output& out, const std::string& hex);

}  // namespace stampwise::cli

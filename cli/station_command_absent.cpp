// The station of a build made without a Modbus library (Windows): the
// command is there, and says it is not available.
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "cli/station_command.h"

namespace stampwise::cli {

const char* const kStationRegisterMap = "Not available in this build (no Modbus TCP library).";

int RunStation(Context& context, const JobOptions&, const std::string&) {
  context.Out().Error(FormatString(msg::kNotInThisBuild, {"Modbus TCP"}), {}, {{"kind", "arguments"}});
  return kBadArguments;
}

}  // namespace stampwise::cli

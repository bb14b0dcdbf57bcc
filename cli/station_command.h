// stampwise-cli station: the write job as a station the line's PLC drives
// over Modbus TCP, one write attempt per trigger, until a stop signal.
#pragma once

#include <string>

#include "cli/commands.h"
#include "plc/modbus_station.h"

namespace stampwise::cli {

// The register map as `station --help` shows it.
extern const char* const kStationRegisterMap;

// The listening address as typed: "[ADDRESS:]PORT".
int RunStation(Context& context, const JobOptions& job, const std::string& modbus);

}  // namespace stampwise::cli

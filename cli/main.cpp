// stampwise-cli: the tag writer on the command line. It shares the settings
// store with the desktop program, so both continue the same numbering.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <limits>

#include "app/base/paths.h"
#include "app/connection/port_settings.h"
#include "app/events/time_window.h"
#include "app/ledger/pg_ledger.h"
#include "app/store/settings.h"
#include "app/texts/language.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "cli/argument_checks.h"
#include "cli/commands.h"
#include "cli/epc_commands.h"
#include "cli/gs1_options.h"
#include "cli/lan_commands.h"
#include "cli/mqtt_link.h"
#include "cli/station_command.h"
#include "cli/stop_signals.h"
#include "cli/trace_options.h"
#include "update/version_rules.h"

namespace {

using namespace stampwise;
using namespace stampwise::cli;

// A time of the ledger's exports: "2026-12-09", "2026-12-09T06:00",
// seconds, milliseconds and an offset ("Z", "+01:00") as the operator likes.
const CLI::Validator IsoTime(
    [](std::string& text) -> std::string {
      if (events::ParseIsoTime(text)) return {};
      return "a time as YYYY-MM-DD[THH:MM[:SS[.fff]]][Z|+HH:MM], got \"" + text + "\"";
    },
    "TIME");

CLI::Validator PositiveSeconds() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        double value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (error != std::errc() || stop != end || !(value > 0) || value > 1e9) {
          return "a number of seconds above 0, got \"" + text + "\"";
        }
        return {};
      },
      "SECONDS");
}

// The tag area and its format: what a write and a read both address.
void AddAreaOptions(CLI::App& command, JobOptions& job) {
  command.add_option("--bank", job.bank, "memory bank")->check(CLI::IsMember({"res", "epc", "tid", "user"}));
  command.add_option("--start", job.startWord, "start word");
  command.add_option("--length", job.lengthBytes, "length in bytes");
  command.add_option("--format", job.format, "data format")
      ->check(CLI::IsMember({"hex-bin", "hex-ascii", "dec-bin", "dec-ascii", "data-bin", "data-ascii"}));
  auto* msb = command.add_flag("--msb", job.msb, "most significant byte first");
  auto* lsb = command.add_flag("--lsb", job.lsb, "least significant byte first");
  msb->excludes(lsb);
}

// The broker a write job's attempts go to, or `ledger publish` sends to.
void AddMqttOptions(CLI::App& command, std::optional<std::string>& uri, std::optional<std::string>& credentials,
                    std::optional<std::string>& ca) {
  auto* mqtt = command.add_option("--mqtt", uri, "each attempt to mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC");
  command.add_option("--mqtt-credentials", credentials, "MQTT user and password (two lines)")
      ->needs(mqtt)
      ->check(CLI::ExistingFile);
  command.add_option("--mqtt-ca", ca, "the MQTT broker's CA certificates (mqtts)")
      ->needs(mqtt)
      ->check(CLI::ExistingFile);
}

// What only a write uses; a read must not take (and store) any of it.
void AddWriteOptions(CLI::App& command, JobOptions& job) {
  command.add_option("--value", job.value, "write value");
  command.add_option("--inc", job.increment, "auto increment")->check(CLI::IsMember({"dec", "hex", "off"}));
  command.add_option("--leading-zeros", job.leadingZeros, "keep leading zeros")->check(CLI::IsMember({"on", "off"}));
  command.add_option("--extra-text", job.extraText, "allow text around the number")
      ->check(CLI::IsMember({"on", "off"}));
  command.add_option("--epc-length-fix", job.epcLengthFix, "correct the EPC length word")
      ->check(CLI::IsMember({"on", "off"}));
  auto* password = command.add_option("--password", job.password, "set this access password (hex)");
  auto* noPassword = command.add_flag("--no-password", job.noPassword, "set no access password");
  password->excludes(noPassword);
  command.add_option("--lock", job.lock, "lock with the access password")->check(CLI::IsMember({"on", "off"}));
  command.add_option("--write-log", job.writeLog, "write log: FILE, on or off");
  AddMqttOptions(command, job.mqtt, job.mqttCredentials, job.mqttCa);
}

void AddReadOptions(CLI::App& command, JobOptions& job) {
  command.add_option("--read-log", job.readLog, "read log: FILE, on or off");
  command.add_option("--keep-last", job.keepLast, "keep the last read value")->check(CLI::IsMember({"on", "off"}));
}

void AddCycleOptions(CLI::App& command, JobOptions& job) {
  auto* cycle = command.add_flag("--cycle", job.cycle, "run cyclically");
  command.add_option("--count", job.count, "stop after N tags")
      ->needs(cycle)
      ->check(WholeNumberIn(1, std::numeric_limits<int>::max()));
  command.add_option("--period", job.periodMs, "cycle period in ms")
      ->needs(cycle)
      ->check(WholeNumberIn(1, kMaxCycleTimeMs));
  command.add_option("--max-time", job.maxTimeS, "stop after S seconds")->needs(cycle)->check(PositiveSeconds());
}

// A shared ledger's password is not left for process listings to show.
void HidePasswords(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const std::size_t uri = argument.find("postgres");
    if (uri == std::string::npos || !ledger::IsSharedLedgerUri(argument.substr(uri))) continue;
    const std::string shown = argument.substr(0, uri) + ledger::WithoutPassword(argument.substr(uri));
    if (shown == argument) continue;
    std::fill(argv[i], argv[i] + argument.size(), '\0');
    std::copy(shown.begin(), shown.end(), argv[i]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Stop signals are taken by a watcher thread; block them before any thread exists.
  StopSignals::Block();

  CLI::App app{"QL-MKV Stampwise: serial programming of UHF RFID tags", "stampwise-cli"};
  app.require_subcommand(1);
  GlobalOptions global;
  app.add_option("--port", global.port, "connection string");
  app.add_option("--baud", global.baudCode, "baud code: rate plus line-format digit")->check(BaudCodeValidator());
  app.add_option("--timeout", global.timeoutMs, "reply time-out in ms")
      ->check(WholeNumberIn(kMinTimeoutMs, kMaxTimeoutMs));
  app.add_option("--settings", global.settingsFile, "settings file to use");
  app.add_option("--ledger", global.ledger, "ledger of the values handed out (default: stored, else per user)");
  app.add_option("--lang", global.language, "message language")->check(CLI::IsMember({"de", "en"}));
  app.add_flag("--json", global.json, "one JSON object per line");
  app.set_version_flag(
      "--version", [] { return "stampwise-cli " + update::GetOwnVersion() + " (" + update::GetOwnBuildDate() + ")"; },
      "print version and build date, then exit");

  auto* ports = app.add_subcommand("ports", "serial ports and USB readers");
  auto* info = app.add_subcommand("info", "model, firmware, link and device text of the reader");
  JobOptions writeJob;
  auto* write = app.add_subcommand("write", "program tags");
  AddAreaOptions(*write, writeJob);
  AddWriteOptions(*write, writeJob);
  AddReadOptions(*write, writeJob);
  AddCycleOptions(*write, writeJob);
  AddGs1Options(*write, writeJob);
  AddTraceOptions(*write, writeJob);
  // The write job, one attempt per trigger of the line's PLC.
  JobOptions stationJob;
  std::string modbus = plc::ListenAddress{}.Text();
  auto* stationCommand =
      app.add_subcommand("station", "program tags as a station the line's PLC triggers (Modbus TCP)");
  AddAreaOptions(*stationCommand, stationJob);
  AddWriteOptions(*stationCommand, stationJob);
  AddReadOptions(*stationCommand, stationJob);
  AddGs1Options(*stationCommand, stationJob);
  AddTraceOptions(*stationCommand, stationJob);
  stationCommand->add_option("--modbus", modbus, "listen on [ADDRESS:]PORT (default " + modbus + ", loopback)");
  stationCommand->footer(kStationRegisterMap);
  JobOptions readJob;
  auto* read = app.add_subcommand("read", "read tags");
  AddAreaOptions(*read, readJob);
  AddReadOptions(*read, readJob);
  AddCycleOptions(*read, readJob);
  std::optional<int> powerDbm;
  auto* power = app.add_subcommand("power", "show or set the transmit power");
  power->add_option("--set", powerDbm, "transmit power in dBm, 13..27");
  auto* record = app.add_subcommand("record", "data record files");
  record->require_subcommand(1);
  std::string loadFile;
  std::string saveFile;
  auto* recordLoad = record->add_subcommand("load", "load a data record into the stored parameter set");
  recordLoad->add_option("FILE", loadFile)->required();
  auto* recordSave = record->add_subcommand("save", "save the stored parameter set as a data record");
  recordSave->add_option("FILE", saveFile)->required();

  auto* epc = app.add_subcommand("epc", "GS1 EPC encodings (no reader needed)");
  epc->require_subcommand(1);
  EpcEncodeOptions epcEncode;
  auto* encode = epc->add_subcommand("encode", "a tag URI, or GS1 keys, as hex");
  encode->add_option("TAG-URI", epcEncode.tagUri, "urn:epc:tag:...");
  encode->add_option("--scheme", epcEncode.scheme, "sgtin-96, sgtin-198 or sscc-96");
  encode->add_option("--gtin", epcEncode.gtin, "GTIN-14 (sgtin)");
  encode->add_option("--serial", epcEncode.serial, "serial number as plain text (sgtin)");
  encode->add_option("--sscc", epcEncode.sscc, "SSCC-18 (sscc-96)");
  encode->add_option("--company-digits", epcEncode.companyDigits, "digits of the GS1 company prefix, 6..12");
  encode->add_option("--filter", epcEncode.filter, "filter value, 0..7");
  std::string epcHex;
  auto* decode = epc->add_subcommand("decode", "hex as tag URI and pure-identity URI");
  decode->add_option("HEX", epcHex, "the EPC bank's EPC, hex")->required();

  auto* lan = app.add_subcommand("lan", "LAN modules: list, show, set, ping");
  lan->require_subcommand(1);
  bool lanAll = false;
  std::string lanAddress;
  auto* lanList = lan->add_subcommand("list", "reader modules on the local networks");
  lanList->add_flag("--all", lanAll, "every module, readers or not");
  auto* lanShow = lan->add_subcommand("show", "the network settings of a module");
  lanShow->add_option("ADDRESS", lanAddress, "a.b.c.d, a.b.c.d-port or [NAME]")->required();
  LanSetOptions lanSet;
  auto* lanSetCommand = lan->add_subcommand("set", "change a module's address, mask, gateway, port or name");
  lanSetCommand->add_option("ADDRESS", lanAddress, "the module's current address")->required();
  auto* ip = lanSetCommand->add_option("--ip", lanSet.ip, "fixed address")->check(CLI::ValidIPV4);
  auto* mask = lanSetCommand->add_option("--mask", lanSet.mask, "subnet mask")->check(CLI::ValidIPV4)->needs(ip);
  lanSetCommand->add_option("--gateway", lanSet.gateway, "gateway")->check(CLI::ValidIPV4);
  lanSetCommand->add_option("--port", lanSet.port, "TCP port of the reader")->check(CLI::Range(1, 65535));
  auto* dhcp = lanSetCommand->add_option("--dhcp", lanSet.dhcpName, "automatic addressing under this module name");
  ip->excludes(dhcp);
  mask->excludes(dhcp);
  lanSetCommand->require_option(1, 0);
  auto* lanPing = lan->add_subcommand("ping", "does the address answer?");
  lanPing->add_option("ADDRESS", lanAddress, "a.b.c.d, a.b.c.d-port or [NAME]")->required();

  UpdateOptions updateOptions;
  auto* ledgerCommand = app.add_subcommand("ledger", "the ledger of the values handed out");
  ledgerCommand->require_subcommand(1);
  LedgerListOptions ledgerList;
  auto* ledgerListCommand = ledgerCommand->add_subcommand("list", "every claim: value, bytes, place, station, outcome");
  ledgerListCommand->add_option("--station", ledgerList.station, "only this station's claims");
  auto* ledgerLeasesCommand =
      ledgerCommand->add_subcommand("leases", "a shared ledger's pools, their next values and the open leases");
  LedgerWindowOptions ledgerWindow;
  const auto addWindow = [&ledgerWindow](CLI::App* command) {
    command->add_option("--since", ledgerWindow.since, "settled at or after this time (ISO 8601)")->check(IsoTime);
    command->add_option("--until", ledgerWindow.until, "settled before this time (ISO 8601)")->check(IsoTime);
    command->add_option("--station", ledgerWindow.station, "only this station's attempts");
  };
  auto* ledgerEpcisCommand =
      ledgerCommand->add_subcommand("epcis", "the written GS1 EPCs as an EPCIS 2.0 JSON-LD document");
  addWindow(ledgerEpcisCommand);
  std::string reportFile;
  auto* ledgerReportCommand =
      ledgerCommand->add_subcommand("report", "a shift's attempts as one HTML page: totals, yield, rate, failures");
  addWindow(ledgerReportCommand);
  ledgerReportCommand->add_option("--html", reportFile, "the page to write")->required();
  LedgerPublishOptions ledgerPublish;
  auto* ledgerPublishCommand =
      ledgerCommand->add_subcommand("publish", "send the settled attempts to an MQTT broker (what it missed)");
  addWindow(ledgerPublishCommand);
  AddMqttOptions(*ledgerPublishCommand, ledgerPublish.mqtt, ledgerPublish.credentials, ledgerPublish.ca);
  auto* updateCommand = app.add_subcommand("update", "look for a newer program (and, with --reader, firmware)");
  updateCommand->add_flag("--reader", updateOptions.reader, "also check the reader's firmware");
  updateCommand->add_option("--server", updateOptions.server, "base address of the update server (https://)");
  updateCommand->add_option("--download", updateOptions.downloadDir, "download what is newer into this folder")
      ->check(CLI::ExistingDirectory);

  const CommandLineScan scan = ScanCommandLine(app, std::vector<std::string>(argv + 1, argv + argc));
  try {
    if (scan.unknownCommand) throw CLI::ValidationError(*scan.unknownCommand);
    app.parse(argc, argv);
    HidePasswords(argc, argv);
    const bool sharedLedger = global.ledger && ledger::IsSharedLedgerUri(*global.ledger);
    for (const JobOptions* job : {&writeJob, &stationJob}) {
      if (job->station && !job->journal && !sharedLedger) {
        throw CLI::ValidationError("--station", "names the station in a journal (--journal) or a shared --ledger");
      }
    }
    if (*lanSetCommand && !lanSet.ip && !lanSet.dhcpName) {
      throw CLI::ValidationError("lan set", "give --ip ADDRESS or --dhcp NAME");
    }
    if (*encode && !epcEncode.tagUri && !epcEncode.scheme) {
      throw CLI::ValidationError("epc encode", "give a TAG-URI, or --scheme with the GS1 keys");
    }
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return ReportArgumentError(app, e, scan.json);
  }

  try {
    StopSignals stop;
    // A settings file named on the command line that is not there is made
    // by the command: said, so that a mistyped name does not go unnoticed.
    std::error_code ignored;
    const bool newStore = global.settingsFile && !std::filesystem::exists(FilePath(*global.settingsFile), ignored);
    Settings settings(global.settingsFile ? *global.settingsFile : DefaultSettingsFile());
    const int language = global.language ? (*global.language == "en" ? 1 : 0) : settings.ReadLanguage();
    ApplyLanguage(language, ResourceDirectoryOf(kEnglishLibraryName));
    Output output(global.json);
    // Encodings need no reader and no stored link.
    if (*encode) return EpcEncode(output, epcEncode);
    if (*decode) return EpcDecode(output, epcHex);
    // A build without a PostgreSQL client (Windows) says so before anything starts.
    if (global.ledger && ledger::IsSharedLedgerUri(*global.ledger) && !ledger::SharedLedgerAvailable()) {
      output.Error(FormatString(msg::kNotInThisBuild, {"PostgreSQL"}), {}, {{"kind", "arguments"}});
      return kBadArguments;
    }
    // A settings file that is something else altogether is not taken for an
    // empty one: its defaults would start every job from scratch.
    if (const std::optional<int> line = DamagedSettingsLine(settings.FileName())) {
      output.Error(FormatString(msg::kSettingsDamaged, {settings.FileName(), *line}));
      return kBadArguments;
    }
    // A broker address or file that cannot be used is refused before
    // anything is stored (the context may already write the settings file).
    const auto mqttUsable = [&output](const std::optional<std::string>& uri,
                                      const std::optional<std::string>& credentials,
                                      const std::optional<std::string>& ca) {
      return !uri || ReadMqttOptions(output, *uri, credentials, ca).has_value();
    };
    if ((*write && !mqttUsable(writeJob.mqtt, writeJob.mqttCredentials, writeJob.mqttCa)) ||
        (*stationCommand && !mqttUsable(stationJob.mqtt, stationJob.mqttCredentials, stationJob.mqttCa)) ||
        (*ledgerPublishCommand && !mqttUsable(ledgerPublish.mqtt, ledgerPublish.credentials, ledgerPublish.ca))) {
      return kBadArguments;
    }
    Context context(global, settings, output, stop);
    const auto runCommand = [&]() -> int {
      if (*ports) return ListPorts(context);
      if (*info) return ShowInfo(context);
      if (*write) return Write(context, writeJob);
      if (*read) return Read(context, readJob);
      if (*stationCommand) return RunStation(context, stationJob, modbus);
      if (*power) return Power(context, powerDbm);
      if (*recordLoad) return RecordLoad(context, loadFile);
      if (*recordSave) return RecordSave(context, saveFile);
      if (*lanList) return LanList(context, lanAll);
      if (*lanShow) return LanShow(context, lanAddress);
      if (*lanSetCommand) return LanSet(context, lanAddress, lanSet);
      if (*lanPing) return LanPing(context, lanAddress);
      if (*updateCommand) return CheckForUpdates(context, updateOptions);
      if (*ledgerListCommand) return LedgerList(context, ledgerList);
      if (*ledgerLeasesCommand) return LedgerLeases(context);
      if (*ledgerEpcisCommand) return LedgerEpcis(context, ledgerWindow);
      if (*ledgerReportCommand) return LedgerReport(context, ledgerWindow, reportFile);
      if (*ledgerPublishCommand) return LedgerPublish(context, ledgerWindow, ledgerPublish);
      return kBadArguments;
    };
    const int status = runCommand();
    if (newStore && std::filesystem::exists(FilePath(settings.FileName()), ignored)) {
      output.Note(FormatString(msg::kSettingsCreated, {settings.FileName()}));
    }
    return status;
  } catch (const std::exception& e) {
    std::cerr << "stampwise-cli: " << e.what() << '\n';
    return kBadArguments;
  }
  return kBadArguments;
}

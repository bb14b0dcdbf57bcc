#include "cli/commands.h"

#include <chrono>
#include <limits>
#include <utility>
#include <vector>

#include "app/connection/open_failure.h"
#include "app/connection/port_settings.h"
#include "app/connection/reader_client.h"
#include "app/job/beeper.h"
#include "app/job/tag_writer.h"
#include "app/job/value_list.h"
#include "app/job/write_job.h"
#include "app/ledger/open_ledger.h"
#include "app/ledger/production_journal.h"
#include "app/store/record.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/increment.h"
#include "app/values/values.h"
#include "app/values/values_validation.h"
#include "cli/cycle_summary.h"
#include "cli/gs1_options.h"
#include "cli/loop_timer.h"
#include "cli/mqtt_link.h"
#include "cli/trace_options.h"

namespace stampwise::cli {
namespace {

// At a job's end the broker gets this long to acknowledge what is queued;
// one that stays away this long does not hold the end up.
constexpr std::chrono::milliseconds kMqttFinishDeadline{15000};
constexpr std::chrono::milliseconds kMqttFinishIdle{3000};

// A log file chosen on the command line is stored at once, as the window's
// file chooser does.
void StoreChosenLogFiles(Settings& settings, const JobOptions& job, const AppSettings& app) {
  auto isFile = [](const std::optional<std::string>& v) { return v && *v != "on" && *v != "off"; };
  if (isFile(job.writeLog)) settings.WriteWriteLogFile(app.logs.writeLogFile);
  if (isFile(job.readLog)) settings.WriteReadLogFile(app.logs.readLogFile);
}

// The parameter set a job that never ran keeps: the options were given.
void StoreParameterSet(Settings& settings, AppSettings app) {
  app.window = settings.ReadWindowRect();
  settings.Save(app);
}

struct Job {
  AppSettings app;
  bool keepLast = false;
  Gs1Job gs1;
  TraceConfig trace;
};

// Loads the stored job, applies the options and validates it as the window
// does before a command; prints the reason and returns nothing on failure.
// The checks the window runs on its fields before a command.
Result<ValidControls> ValidateStoredJob(const AppSettings& app, bool forReading) {
  const ControlTexts texts{std::to_string(app.params.startWord), std::to_string(app.params.lengthBytes),
                           app.params.value, app.options.accessPassword};
  return ValidateControls(texts, app.params, forReading);
}

// A password that is set must give 4 bytes: the window finds that out at the
// tag, the command line before anything is stored or sent.
bool PasswordUsable(const WriteOptions& options) {
  return !options.setPassword || ReaderClient::HexByteCount(options.accessPassword) == 4;
}

// A GS1 job: its own checks, then the options it shares with the other jobs
// (password, lock, write log, cycle); the six formats' stored job is not used.
std::optional<Job> PrepareGs1Job(Context& context, const JobOptions& options, Job job) {
  const Result<Gs1Job> gs1 = PrepareGs1(options, context.Store().LoadGs1());
  if (!gs1) {
    context.Out().Error(gs1.message().text);
    return std::nullopt;
  }
  // --inc is the GS1 job's own: the six formats' increment boxes stay as stored.
  JobOptions shared = options;
  shared.increment.reset();
  if (auto error = ApplyJobOptions(shared, job.app, &job.keepLast)) {
    context.Out().Error(*error);
    return std::nullopt;
  }
  if (!PasswordUsable(job.app.options)) {
    context.Out().Error(LoadString(msg::kPasswordLength));
    return std::nullopt;
  }
  job.gs1 = gs1.value();
  StoreChosenLogFiles(context.Store(), options, job.app);
  return job;
}

std::optional<Job> PrepareJob(Context& context, const JobOptions& options, bool forReading) {
  Job job{context.Store().Load(), false, {}, {}};
  if (!forReading) job.trace = TraceConfigOf(options, context.Store(), job.app.logs.writeLogFile);
  if (!forReading && IsGs1Job(options)) return PrepareGs1Job(context, options, std::move(job));
  if (auto error = ApplyJobOptions(options, job.app, &job.keepLast)) {
    context.Out().Error(*error);
    return std::nullopt;
  }
  // A list gives the values (every line is checked before anything is sent):
  // the write value is not this job's.
  const bool counterJob = !forReading && !options.valuesFile;
  // A counter that ran out stays stopped until a new start value is given;
  // say so rather than that the value is too long.
  if (counterJob && CounterExhausted(job.app.params)) {
    context.Out().Error(FormatString(msg::kCounterExhausted, {job.app.params.lengthBytes}));
    return std::nullopt;
  }
  const Result<ValidControls> checked = ValidateStoredJob(job.app, !counterJob);
  if (!checked) {
    context.Out().Error(checked.message().text);
    if (!forReading) context.Out().AppendStatus(TagWriter::kUpdateDataFailed);
    return std::nullopt;
  }
  if (!forReading && !PasswordUsable(job.app.options)) {
    context.Out().Error(LoadString(msg::kPasswordLength));
    return std::nullopt;
  }
  // A value that gives no bytes (none at all, too long for the length) is
  // told before the reader is opened, not once per tag.
  if (counterJob) {
    if (const Result<Bytes> bytes = TextToBytes(checked.value().params.value, checked.value().params); !bytes) {
      context.Out().Error(bytes.message().text);
      return std::nullopt;
    }
  }
  job.app.params = checked.value().params;
  job.app.options.accessPassword = checked.value().accessPassword;
  StoreChosenLogFiles(context.Store(), options, job.app);
  return job;
}

WriterConfig ConfigOf(Context& context, const Job& job, const JobOptions& options) {
  WriterConfig config;
  config.params = job.app.params;
  config.options = job.app.options;
  config.logs = job.app.logs;
  config.beepTimeMs = job.app.beepTimeMs;
  config.cycleTimeMs = options.periodMs.value_or(job.app.cycleTimeMs);
  config.keepLastValue = job.keepLast;
  config.gs1 = job.gs1;
  config.trace = job.trace;
  // A value given on the command line is the operator's: it is not moved
  // forward to the ledger's position.
  config.explicitValue = options.value.has_value() || options.epcUri.has_value();
  config.allowReuse = options.allowReuse;
  config.ledgerFile = context.Ledger();
  config.leaseSize = options.lease.value_or(ledger::kDefaultLeaseSize);
  return config;
}

// The exit status of a job that stopped before its first tag.
int StatusOfHalt(TagWriter::Halt halt) {
  switch (halt) {
    case TagWriter::Halt::kBadValues:
    case TagWriter::Halt::kValueList: return kBadArguments;
    default: return kTagFailed;
  }
}

std::chrono::steady_clock::time_point Deadline(const JobOptions& options) {
  if (!options.maxTimeS) return std::chrono::steady_clock::time_point::max();
  return std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                std::chrono::duration<double>(*options.maxTimeS));
}

}  // namespace

Context::Context(const GlobalOptions& options, Settings& settings, Output& output, StopSignals& stop)
    : settings_(settings), output_(output), stop_(stop) {
  if (options.port) {
    // An entry as `ports` lists it names the same link.
    connection_ = WithoutListPrefix(*options.port);
  } else {
    // Exactly the stored reader: a station never writes through another
    // station's reader because its own missed a ping or is unplugged (the
    // window may offer another one; the command line fails instead).
    const PortSettings port = LoadPortSettings(settings_);
    connection_ = ConnectString(port.name, port.address);
  }
  ledger_ = ChosenLedger(settings_, options.ledger);
  baudCode_ = options.baudCode ? *options.baudCode : settings_.ReadPortBaudrate();
  timeoutMs_ = options.timeoutMs ? *options.timeoutMs : settings_.ReadPortTimeout();
}

ReaderIdentity Context::OpenReader(ReaderClient& reader) {
  ReaderIdentity identity = reader.Open(connection_, baudCode_, timeoutMs_);
  if (reader.IsOpen()) return identity;
  nlohmann::json fields{{"messageId", identity.messageId}, {"connection", ToUtf8(connection_)}};
  // The reader is always named: the path and the system's reason where known.
  std::string detail = connection_;
  if (identity.messageId == msg::kPortOpenFailed) {
    if (const std::optional<OpenFailure> failure = FindOpenFailure(connection_)) {
      detail = failure->path + ": " + failure->reason;
      fields["path"] = ToUtf8(failure->path);
      fields["reason"] = failure->reason;
    }
  }
  output_.Error(LoadString(identity.messageId), detail, fields);
  return identity;
}

int ListPorts(Context& context) {
  // Room for every port a machine may have, not only for a dialog's list.
  constexpr int kCapacity = 64 * 1024;
  for (const std::string& name : ReaderClient::SerialPorts(kCapacity)) {
    context.Out().Print(name, {{"type", "port"}, {"kind", "serial"}, {"name", ToUtf8(name)}});
  }
  for (const std::string& name : ReaderClient::UsbDevices(kCapacity)) {
    const std::string entry = std::string(kUsbPrefix) + name;
    context.Out().Print(entry, {{"type", "port"}, {"kind", "usb"}, {"name", ToUtf8(entry)}});
  }
  return kSuccess;
}

int ShowInfo(Context& context) {
  ReaderClient reader;
  const ReaderIdentity id = context.OpenReader(reader);
  if (!reader.IsOpen()) return kNoReader;
  const std::string link = (id.usb ? "USB:" : "") + context.Connection();
  if (context.Out().Json()) {
    context.Out().Print("", {{"type", "info"},
                             {"model", ToUtf8(id.modelName)},
                             {"firmware", ToUtf8(id.firmwareText)},
                             {"link", ToUtf8(link)},
                             {"deviceText", ToUtf8(id.deviceText)},
                             {"txPowerAdjustable", id.txPowerAdjustable}});
  } else {
    context.Out().Print("model: " + id.modelName, {});
    context.Out().Print("firmware: " + id.firmwareText, {});
    context.Out().Print("link: " + link, {});
    context.Out().Print("device text: " + id.deviceText, {});
  }
  return kSuccess;
}

namespace {

// A write or read job, once or as a cycle; both share everything but the
// tag writer's calls.
int RunJob(Context& context, const JobOptions& options, bool reading, const JobRunner* runner = nullptr) {
  std::optional<Job> job = PrepareJob(context, options, reading);
  if (!job) return kBadArguments;
  LoopTimer writeTimer;
  LoopTimer readTimer;
  Beeper beeper;
  TagWriter writer(runner != nullptr ? runner->frontEnd : context.Out(), writeTimer, readTimer, &context.Store(),
                   reading ? nullptr : &beeper);
  WriterConfig config = ConfigOf(context, *job, options);
  config.waitForLedger = runner != nullptr && runner->waitForLedger;
  writer.Configure(config);
  std::optional<MqttLink> mqtt;
  if (!reading && options.mqtt) {
    const std::string station = writer.Config().trace.station;
    mqtt = StartMqtt(context.Out(), *options.mqtt, options.mqttCredentials, options.mqttCa,
                     station.empty() ? DefaultStationName() : station, events::MqttPublisher::kDefaultQueue);
    if (!mqtt) return kBadArguments;
    writer.SetAttemptSink(mqtt->publisher.get());
  }
  // The broker hears of a halt once, and of the job's end whichever way it ends.
  bool haltSent = false;
  const auto halt = [&mqtt, &haltSent] {
    if (!mqtt || std::exchange(haltSent, true)) return;
    mqtt->publisher->State("halted");
  };
  const auto ended = [&mqtt, &writer, &context, &halt] {
    if (!mqtt) return;
    if (writer.HaltReason() != TagWriter::Halt::kNone) halt();
    mqtt->publisher->State("stopped");
    FinishMqtt(context.Out(), *mqtt, kMqttFinishDeadline, kMqttFinishIdle);
  };
  // A write job is checked whole before the reader is opened: its ledger,
  // its journal and every value it can write.
  if (!reading && !writer.PrepareJob()) {
    SaveWriteJob(context.Store(), job->app, writer);
    ended();
    return StatusOfHalt(writer.HaltReason());
  }
  ReaderClient reader;
  context.OpenReader(reader);
  if (!reader.IsOpen()) {
    if (!reading) SaveWriteJob(context.Store(), job->app, writer);
    ended();
    return kNoReader;
  }
  // From here on a stop signal ends the job after the tag in hand; one that
  // came while the reader was opened ends it before any tag.
  context.Stop().LetCommandFinish(true);
  if (context.Stop().Received() != 0) {
    if (!reading) SaveWriteJob(context.Store(), job->app, writer);
    ended();
    return context.Stop().ExitStatus();
  }
  writer.SetLink(reader.Tags());
  // A reader that is gone or has stopped answering ends the job instead of
  // being waited on for ever.
  writer.WatchLink([&reader] { return reader.LinkLost(); }, context.Connection());

  int status = kSuccess;
  const auto started = std::chrono::steady_clock::now();
  if (mqtt) mqtt->publisher->State("started");
  if (runner != nullptr) {
    status = runner->run(writer, reader, halt);
  } else if (!options.cycle) {
    if (!(reading ? writer.ReadOnce() : writer.WriteOnce())) status = kTagFailed;
  } else {
    auto done = [&] { return reading ? writer.ReadCount() : writer.ProgrammedCount(); };
    const Cycle cycle = reading ? Cycle::Read : Cycle::Write;
    const bool running = writer.StartCycle(cycle);
    if (running) {
      RunLoop(
          reading ? readTimer : writeTimer, context.Stop(), [&] { writer.Tick(cycle); },
          [&] { return !options.count || done() < *options.count; }, Deadline(options));
    }
    writer.StopCycle();
    if (!running || (options.count && done() < *options.count)) status = kTagFailed;
    PrintCycleSummary(context.Out(), cycle, writer, std::chrono::steady_clock::now() - started);
  }
  // The counter ran out or the next value could not be stored: the job did
  // not do what was asked, whatever the count says.
  if (writer.HaltReason() != TagWriter::Halt::kNone) status = kTagFailed;
  if (writer.HaltReason() == TagWriter::Halt::kReaderLost) {
    context.Out().Error(FormatString(msg::kLinkLost, {context.Connection()}));
    status = kNoReader;
  }
  // A read never changes the write job.
  if (!reading) SaveWriteJob(context.Store(), job->app, writer);
  ended();
  // A one-shot job has no summary to tell of a stop signal: the status does.
  if (runner == nullptr && !options.cycle && context.Stop().Received() != 0) return context.Stop().ExitStatus();
  return status;
}

}  // namespace

int Write(Context& context, const JobOptions& options) { return RunJob(context, options, false); }

int Read(Context& context, const JobOptions& options) { return RunJob(context, options, true); }

int WriteWith(Context& context, const JobOptions& options, const JobRunner& runner) {
  return RunJob(context, options, false, &runner);
}

int Power(Context& context, std::optional<int> setDbm) {
  if (setDbm && (*setDbm < kMinTxPowerDbm || *setDbm > kMaxTxPowerDbm)) {
    context.Out().Error(RangeError(0, kMinTxPowerDbm, kMaxTxPowerDbm).text);
    return kBadArguments;
  }
  ReaderClient reader;
  const ReaderIdentity id = context.OpenReader(reader);
  if (!reader.IsOpen()) return kNoReader;
  if (!id.txPowerAdjustable) {
    context.Out().Error(LoadString(msg::kPowerNotSupported));
    return kTagFailed;
  }
  if (setDbm) {
    const int value = TenthsOfDbm(*setDbm);
    if (!reader.WriteTxPower(value, true)) {
      context.Out().Error(LoadString(msg::kPowerNotStored));
      return kTagFailed;
    }
    context.Out().Print(std::to_string(*setDbm) + " dBm", {{"type", "power"}, {"dbm", *setDbm}, {"set", true}});
    return kSuccess;
  }
  int power = 0;
  if (!reader.ReadTxPower(&power)) {
    context.Out().Error(LoadString(reader.LastMessageId()));
    return kTagFailed;
  }
  const int dbm = WholeDbm(power);
  context.Out().Print(std::to_string(dbm) + " dBm",
                      {{"type", "power"}, {"dbm", dbm}, {"tenths", power}, {"set", false}});
  return kSuccess;
}

namespace {

// A file's error names the file once: the store's own texts mostly do.
std::string NamingFile(const std::string& file, const std::string& text) {
  return text.rfind(file + ":", 0) == 0 ? text : file + ": " + text;
}

}  // namespace

int RecordLoad(Context& context, const std::string& file) {
  const Result<DataRecord> loaded = LoadRecord(file);
  if (!loaded) {
    context.Out().Error(NamingFile(file, loaded.message().text), {}, {{"file", ToUtf8(file)}});
    return kBadArguments;
  }
  AppSettings app = context.Store().Load();
  // As the window loads a record: the format rules clear what the format
  // does not allow; the value itself is taken as it stands.
  app.params = ApplyFormatRules(loaded.value().params);
  app.options = loaded.value().options;
  StoreParameterSet(context.Store(), app);
  context.Out().Print(
      FormatString(msg::kRecordLoaded, {file, app.params.value}),
      {{"type", "record"}, {"action", "load"}, {"file", ToUtf8(file)}, {"next", ToUtf8(app.params.value)}});
  return kSuccess;
}

int RecordSave(Context& context, const std::string& file) {
  const AppSettings app = context.Store().Load();
  // A record is only written from a parameter set that passes the checks.
  if (const Result<ValidControls> checked = ValidateStoredJob(app, false); !checked) {
    context.Out().Error(checked.message().text);
    return kBadArguments;
  }
  if (const Status saved = SaveRecord(file, DataRecord{app.params, app.options}); !saved) {
    context.Out().Error(NamingFile(file, saved.message().text), {}, {{"file", ToUtf8(file)}});
    return kBadArguments;
  }
  context.Out().Print(FormatString(msg::kRecordSaved, {file}),
                      {{"type", "record"}, {"action", "save"}, {"file", ToUtf8(file)}});
  return kSuccess;
}

}  // namespace stampwise::cli

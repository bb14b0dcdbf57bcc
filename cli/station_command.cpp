#include "cli/station_command.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <stdexcept>

#include "app/station/station.h"
#include "app/station/station_front_end.h"
#include "app/station/station_worker.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "cli/cycle_summary.h"
#include "plc/modbus_station.h"

namespace stampwise::cli {

const char* const kStationRegisterMap =
    R"(Modbus TCP registers (numbered from 0; anything else: exception 2, illegal data address):
  coil 0            trigger: write 1 for one write attempt; 0 again once it has settled.
                    A 1 while an attempt runs: exception 6 (busy); while not ready: exception 4.
  discrete inputs   0 ready (not while a shared ledger is awaited), 1 busy, 2 last attempt passed,
                    3 last attempt rejected,
                    4 halted (counter or list at its end, ledger unusable or bytes already used,
                      journal or stored value failed, reader lost; until the station is started anew)
  input registers   0-1 tags written, 2-3 attempts rejected, 4-5 outcomes unknown (32 bits, high word first)
                    6 last outcome: 0 none yet, 1 written, 2 failed, 3 unknown, 4 mismatch, 5 no tag,
                      6 several tags
                    7 last reader status (0: none), 8 byte count of the last value,
                    9-40 its bytes (first byte high), 41-48 the TID's words (when the job reads TIDs)
  holding register  0 reserved (reads 0; the job is set only on the command line)
Modbus has no authentication: the station listens on loopback unless ADDRESS says otherwise.)";

namespace {

// An eventfd that a stop signal makes readable, for the server's poll.
class StopEvent {
 public:
  StopEvent() : fd_(::eventfd(0, EFD_CLOEXEC)) {
    if (fd_ < 0) throw std::runtime_error("no event for the stop signal");
  }
  ~StopEvent() { ::close(fd_); }
  StopEvent(const StopEvent&) = delete;
  StopEvent& operator=(const StopEvent&) = delete;
  int Fd() const { return fd_; }
  void Raise() const {
    const std::uint64_t one = 1;
    // An eventfd only fails to count past 2^64 - 2: nothing to do then.
    [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
  }

 private:
  int fd_;
};

int Serve(Context& context, StationFrontEnd& frontEnd, TagWriter& writer, const plc::ListenAddress& address,
          const std::function<void()>& halted) {
  StationWorker* worker = nullptr;
  Station station(writer, [&worker] { worker->Post(); });
  station.SetReady(true, true);
  plc::ModbusStation server(station);
  if (const std::optional<std::string> failure = server.Listen(address)) {
    context.Out().Error(FormatString(msg::kStationListenFailed, {address.Text(), *failure}));
    return kBadArguments;
  }
  const std::string bound = server.Bound().Text();
  context.Out().Print(FormatString(msg::kStationReady, {bound}), {{"type", "station"}, {"listen", bound}});
  const auto started = std::chrono::steady_clock::now();
  {
    // From here on the writer belongs to the worker's thread until it ends.
    frontEnd.Attach(&station);
    StationWorker attempts(
        [&station, &halted] {
          station.RunAttempt();
          if (station.Halted()) halted();
        },
        [&station] { return station.Resume(); });
    worker = &attempts;
    StopEvent stop;
    const StopSignals::OnStop onStop(context.Stop(), [&stop] { stop.Raise(); });
    server.Serve(stop.Fd());
  }
  frontEnd.Attach(nullptr);
  PrintCycleSummary(context.Out(), Cycle::Write, writer, std::chrono::steady_clock::now() - started);
  // A halted station did not do what was asked, as a cycle that halted.
  return station.Halted() ? kTagFailed : kSuccess;
}

}  // namespace

int RunStation(Context& context, const JobOptions& job, const std::string& modbus) {
  const std::optional<plc::ListenAddress> address = plc::ParseListenAddress(modbus);
  if (!address) {
    context.Out().Error(FormatString(msg::kStationBadAddress, {modbus}), {}, {{"kind", "arguments"}});
    return kBadArguments;
  }
  StationFrontEnd frontEnd(context.Out());
  const JobRunner runner{frontEnd,
                         [&](TagWriter& writer, ReaderClient&, const std::function<void()>& halted) {
                           return Serve(context, frontEnd, writer, *address, halted);
                         },
                         true};
  return WriteWith(context, job, runner);
}

}  // namespace stampwise::cli

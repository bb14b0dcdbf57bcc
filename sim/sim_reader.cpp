#include "sim/sim_reader.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "protocol/frame.h"
#include "sim/command_set.h"
#include "sim/conveyor.h"
#include "sim/fault_plan.h"
#include "sim/request_assembler.h"
#include "sim/tag_field.h"
#include "sim/write_journal.h"

namespace mkvsim {

namespace {
// A partial request older than this was abandoned by the host; a new one starts clean.
constexpr std::chrono::milliseconds kAbandonAfter{250};
}  // namespace

struct SimReader::Impl {
  explicit Impl(const SimOptions& opts)
      : options(opts), commands(opts.modelCode, field, faults, journal), assembler(opts.address) {
    if (!options.clock) options.clock = [] { return SimClock::now(); };
    if (!options.recordPath.empty() && !journal.OpenFile(options.recordPath))
      throw std::runtime_error("cannot open record file " + options.recordPath + ": " + std::strerror(errno));
    for (int i = 0; i < options.initialTags; ++i) field.Add();
    if (options.conveyorIntervalMs > 0) {
      conveyor.emplace(std::chrono::milliseconds(options.conveyorIntervalMs),
                       std::chrono::milliseconds(options.conveyorHoldMs));
      commands.SetWriteListener([this](std::uint32_t id) { conveyor->NoteWrite(id, options.clock()); });
      conveyor->Step(field, options.clock());
    }
  }

  bool Answers(const Request& request) const {
    if (request.address != options.address) return false;
    return options.variants == 2 || options.variants == request.variant;
  }

  void StepConveyor() {
    if (conveyor) conveyor->Step(field, options.clock());
  }

  TimedReply Feed(const std::uint8_t* data, std::size_t size) {
    const SimClock::time_point now = options.clock();
    if (assembler.Pending() && now - lastInput > kAbandonAfter) assembler.Discard();
    lastInput = now;
    assembler.Append(data, size);
    TimedReply reply;
    while (std::optional<Request> request = assembler.Next()) {
      if (!Answers(*request)) continue;
      StepConveyor();
      const Response response = commands.Execute(*request);
      reply.chipBytes += response.chipBytes;
      const Bytes frame = qlmkv::frame::Build(request->variant, options.address, response.status, response.data);
      const Bytes sent = faults.Apply(frame);
      reply.bytes.insert(reply.bytes.end(), sent.begin(), sent.end());
      reply.delay = std::max(reply.delay, std::chrono::milliseconds(faults.ReplyDelayMs()));
    }
    return reply;
  }

  SimOptions options;
  TagField field;
  FaultPlan faults;
  WriteJournal journal;
  CommandSet commands;
  std::optional<Conveyor> conveyor;
  RequestAssembler assembler;
  SimClock::time_point lastInput{};
  std::mutex mutex;
};

SimReader::SimReader(const SimOptions& options) : impl_(std::make_unique<Impl>(options)) {}
SimReader::~SimReader() = default;

TimedReply SimReader::FeedTimed(const std::uint8_t* data, std::size_t size) {
  std::lock_guard lock(impl_->mutex);
  return impl_->Feed(data, size);
}

Bytes SimReader::Feed(const std::uint8_t* data, std::size_t size) {
  TimedReply reply = FeedTimed(data, size);
  if (!reply.bytes.empty() && reply.delay.count() > 0) std::this_thread::sleep_for(reply.delay);
  return std::move(reply.bytes);
}

void SimReader::ResetInput() {
  std::lock_guard lock(impl_->mutex);
  impl_->assembler.Discard();
}

std::size_t SimReader::AddTag(const std::optional<Bytes>& epc) {
  std::lock_guard lock(impl_->mutex);
  return impl_->field.Add(epc);
}

void SimReader::RemoveAllTags() {
  std::lock_guard lock(impl_->mutex);
  impl_->field.RemoveAll();
}

bool SimReader::RemoveTag(std::size_t index) {
  std::lock_guard lock(impl_->mutex);
  return impl_->field.RemoveAt(index);
}

void SimReader::NextOnBelt(int count) {
  std::lock_guard lock(impl_->mutex);
  impl_->field.RemoveAll();
  for (int i = 0; i < count; ++i) impl_->field.Add();
}

std::vector<TagInfo> SimReader::Tags() {
  std::lock_guard lock(impl_->mutex);
  impl_->StepConveyor();
  std::vector<TagInfo> infos;
  const SimTag* selected = impl_->field.Selected();
  for (const SimTag& tag : impl_->field.Tags()) infos.push_back({tag.Id(), tag.Epc(), &tag == selected});
  return infos;
}

void SimReader::ChangeFaults(const std::function<void(FaultPlan&)>& change) {
  std::lock_guard lock(impl_->mutex);
  change(impl_->faults);
}

std::string SimReader::DescribeFaults() {
  std::lock_guard lock(impl_->mutex);
  return impl_->faults.Describe();
}

int SimReader::TxPower() {
  std::lock_guard lock(impl_->mutex);
  return impl_->commands.TxPower();
}

std::size_t SimReader::WrittenCount() {
  std::lock_guard lock(impl_->mutex);
  return impl_->journal.Count();
}

std::vector<WriteEntry> SimReader::Writes() {
  std::lock_guard lock(impl_->mutex);
  return impl_->journal.Entries();
}

bool SimReader::RecordOk() {
  std::lock_guard lock(impl_->mutex);
  return impl_->commands.RecordOk();
}

}  // namespace mkvsim

#include "app/job/inventory_step.h"

#include "app/logs/diagnostic_trace.h"
#include "app/texts/messages.h"

namespace stampwise {

InventoryStep::InventoryStep(StatusReporter& reporter, TagMemory& memory, SteadyClock clock)
    : reporter_(reporter), memory_(memory), clock_(std::move(clock)) {}

void InventoryStep::Forget() {
  if (memory_.lastSeen && clock_() - *memory_.lastSeen > kForgetAfter) {
    memory_.lastTag.clear();
    memory_.lastSeen.reset();
    memory_.adoptNextTag = false;
  }
}

void InventoryStep::ShowLibraryError(const TagLink& link) { reporter_.ShowId(ErrorMessageId(link.LastError())); }

bool InventoryStep::Run(const TagLink& link, bool cyclic) {
  TimingRecord timing(TraceChannel::Default(), 0);
  struct TraceAtEnd {
    TimingRecord& record;
    ~TraceAtEnd() { record.Trace("Inventory"); }
  } traceAtEnd{timing};

  std::uint8_t reply[100] = {};
  const int length = link.Inventory(reply, sizeof reply);
  timing.Trace("Nach Inventory");

  const bool keepSameTagFlag = memory_.sameTagStillPresent;
  memory_.sameTagStillPresent = false;
  fieldWasEmpty_ = false;
  if (length < 0) {
    if (link.LastFoundNoTag()) {
      fieldWasEmpty_ = true;
      Forget();
    } else if (link.LastFoundSeveralTags()) {
      reporter_.ShowId(msg::kTagNotUnique);
    } else {
      ShowLibraryError(link);
    }
    return false;
  }
  if (length == 0 || reply[0] == 0) {
    fieldWasEmpty_ = true;
    Forget();
    return false;
  }
  if (reply[0] >= 2) {
    reporter_.ShowId(msg::kTagNotUnique);
    return false;
  }
  memory_.currentTag.assign(reply + (length > 3 ? 3 : length), reply + length);
  memory_.lastSeen = clock_();
  if (memory_.adoptNextTag) {
    memory_.adoptNextTag = false;
    memory_.lastTag = memory_.currentTag;
  }
  if (memory_.currentTag == memory_.lastTag) {
    if (cyclic) {
      memory_.sameTagStillPresent = true;
      return false;
    }
    memory_.sameTagStillPresent = keepSameTagFlag;  // a one-shot run leaves the flag alone
  }
  if (!link.SelectTag(memory_.currentTag)) {
    ShowLibraryError(link);
    return false;
  }
  return true;
}

}  // namespace stampwise

// The trace viewer has no Windows counterpart in this build: nothing is
// sent, and the trace reports that (as when no viewer listens).
#include "app/logs/diagnostic_trace.h"

namespace stampwise {

bool TraceChannel::Send(const std::string&) { return false; }

}  // namespace stampwise

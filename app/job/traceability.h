// What a production line wants beyond the write itself: the read-back check,
// the TID of every tag, a journal line for every attempt, and values taken
// from a list.
#pragma once

#include <string>

namespace stampwise {

struct TraceConfig {
  bool verify = false;        // read each write back and compare
  bool readTid = false;       // read the TID of each tag before writing
  std::string journalPath;    // empty: no journal
  std::string station;        // empty: the host name
  std::string valueListPath;  // empty: the write value counts as before
  int valueListColumn = 1;
  // The list starts at its first line again (the operator chose so); its
  // lines that were used need the job's re-use permission.
  bool valueListRestart = false;
  bool operator==(const TraceConfig&) const = default;
};

}  // namespace stampwise

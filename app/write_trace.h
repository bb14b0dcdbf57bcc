// What a production line wants beyond the write itself: the read-back check,
// the TID of every tag, a journal line for every attempt, and values taken
// from a list. The tag writer asks this for the journal and the list of its
// job; both stay open while the job keeps them.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/journal.h"
#include "app/params.h"
#include "app/result.h"
#include "app/settings.h"
#include "app/value_list.h"

namespace stampwise {

struct TraceConfig {
  bool verify = false;        // read each write back and compare
  bool readTid = false;       // read the TID of each tag before writing
  std::string journalPath;    // empty: no journal
  std::string station;        // empty: the host name
  std::string valueListPath;  // empty: the write value counts as before
  int valueListColumn = 1;
  bool operator==(const TraceConfig&) const = default;
};

// The journal's bank names.
const char* JournalBankName(Bank bank);

// TID words 0 to 5 of the tag alone in the field as hex, fewer words when
// the chip has fewer; empty when none can be read.
std::string ReadTagTid(int handle);

class WriteTrace {
 public:
  explicit WriteTrace(Settings* settings) : settings_(settings) {}

  // Opens the journal and loads the value list of `config` unless they are
  // open for it already. The message says what failed.
  std::optional<Message> Prepare(const TraceConfig& config);

  ProductionJournal* Journal() { return journal_ ? &*journal_ : nullptr; }
  ValueListCursor* List() { return list_.get(); }
  const ValueListCursor* List() const { return list_.get(); }
  const std::string& Station() const { return station_; }

 private:
  Settings* settings_;
  TraceConfig prepared_;
  bool isPrepared_ = false;
  std::optional<ProductionJournal> journal_;
  std::unique_ptr<ValueListCursor> list_;
  std::string station_;
};

}  // namespace stampwise

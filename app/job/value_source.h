// Where a write job's values come from: a counter (the write value and its
// auto increment), a GS1 EPC's serial, or the lines of a value list. Every
// source goes through the same three steps with the ledger: what comes next
// (to show), the claim (planned from the pool's position, durable before
// anything reaches the tag), and the settling (given back when nothing
// reached the tag, used up otherwise). The claim rules live in the ledger and
// the tag writer; a source only knows its values.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/base/params.h"
#include "app/base/result.h"
#include "app/gs1/gs1_job.h"
#include "app/job/key_writer.h"
#include "app/ledger/ledger.h"
#include "app/store/settings.h"

namespace stampwise {

class ValueSource {
 public:
  virtual ~ValueSource() = default;

  // The value the next tag gets, as far as this program knows.
  virtual std::string Next() const = 0;
  // The position its values advance in the ledger; empty when they do not.
  virtual std::string Pool() const = 0;
  // The pool as the operator knows it, for messages.
  virtual std::string PoolShown() const = 0;
  // Every value the job can write passes the checks (before the first tag).
  virtual Status CheckAll() const = 0;
  // The pool's position as the ledger holds it: a stored value that lags
  // behind it follows it forward, never back; a value the operator gave
  // explicitly is kept (the ledger refuses bytes already used).
  virtual void Follow(const std::optional<std::string>& position) = 0;
  // The value for the next tag, planned under the ledger's lock.
  virtual Result<ledger::Plan> PlanFrom(const std::optional<std::string>& position) = 0;
  // The claim of `plan` is durable: the next value is the one after it.
  virtual void Claimed(const ledger::Plan& plan) = 0;
  // Nothing of `plan` reached the tag: it is the next value again.
  virtual void GivenBack(const ledger::Plan& plan) = 0;
  // Why nothing more can be written (the counter, the serial or the list
  // ran out); nothing while values are left.
  virtual std::optional<Message> Exhausted() const = 0;
  // A list's next line and its number of lines; nothing for other sources.
  virtual std::optional<std::pair<int, int>> ListPosition() const { return std::nullopt; }
  // The settings keys that other programs and data records read
  // ("LastData", "NextUri", the list's position) as they are now, to be
  // written later, never moving them back.
  virtual KeyUpdate StoreBack() const = 0;
  // After a value was given back: the stored keys go back to it, unless
  // another program moved them on since this one stored them.
  virtual bool StoreGivenBack(Settings& settings) const = 0;
};

// The write value of the six formats, counted on by the auto increment.
// `explicitValue`: the operator gave it for this job (it is not followed
// forward to the ledger's position).
std::unique_ptr<ValueSource> MakeCounterSource(const ParameterSet& params, bool explicitValue);

// A GS1 job's EPCs, from its next tag URI on.
std::unique_ptr<ValueSource> MakeGs1Source(const Gs1Job& job, bool explicitValue);

// The lines of a value list, written in the format of `params`. `restart`
// begins at the first line again (the operator chose it; the ledger still
// refuses lines already used unless the job allows a re-use).
std::unique_ptr<ValueSource> MakeListSource(const ParameterSet& params, std::string path, int column,
                                            std::vector<std::string> values, bool restart);

// The pool a job's counter advances: bank, start word, format, length and
// increment; a GS1 item: scheme and every component but the serial; a list:
// its first line. Empty when nothing advances.
std::string CounterPool(const ParameterSet& params);
std::string Gs1Pool(const std::string& tagUri);
std::string ListPool(const std::vector<std::string>& values);

// True when counter value `a` comes after `b` for `params`; false when they
// cannot be compared (other text around the number).
bool CounterAhead(const ParameterSet& params, const std::string& a, const std::string& b);

// The bytes of a write value, with the checks of the write field.
Result<Bytes> WriteValueBytes(const ParameterSet& params, const std::string& value);

}  // namespace stampwise

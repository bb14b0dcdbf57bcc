// What the write and read cycles need from a front end (the main window or
// the command line tool): a place for status lines and for the values they
// change, and a periodic timer.
#pragma once

#include <string>

#include "app/base/tag_event.h"

namespace stampwise {

class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  virtual void AppendStatus(const std::string& line) = 0;
  // The write value changed (zero stripping, upper-casing, increment).
  virtual void ShowWriteValue(const std::string& /*value*/) {}
  // The read field's text changed ("" clears it).
  virtual void ShowReadText(const std::string& /*text*/) {}
  // A GS1 job's tag URI for the next tag changed (after a write, or another
  // program moved the numbering on).
  virtual void ShowNextTagUri(const std::string& /*uri*/) {}
  // The tag URI of the EPC a read of the EPC bank found ("" clears it).
  virtual void ShowReadTagUri(const std::string& /*uri*/) {}
  virtual void ShowProgrammedCount(int /*count*/) {}
  virtual void FocusPasswordField() {}
  virtual void SetWaitCursor(bool /*on*/) {}
  // The write cycle stopped by itself (see TagWriter::HaltReason).
  virtual void WriteCycleStopped() {}
  // The read cycle stopped by itself (the reader is gone).
  virtual void ReadCycleStopped() {}
  // A write or read attempt on a single tag ended (after its status line).
  virtual void TagDone(const TagEvent& /*event*/) {}
  // The job waits for its shared ledger (`text` says so), or goes on (empty).
  virtual void LedgerWait(const std::string& /*text*/) {}
};

// A periodic timer that calls back on the front end's own thread (a window
// timer in the GUI, a plain loop in the command line tool).
class CycleTimer {
 public:
  virtual ~CycleTimer() = default;
  virtual void Start(int periodMs) = 0;
  virtual void Stop() = 0;
  virtual bool IsRunning() const = 0;
};

}  // namespace stampwise

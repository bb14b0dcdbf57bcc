// The front end of a station's tag writer: everything goes on to the front
// end the operator sees, and each attempt's outcome also to the station.
#pragma once

#include "app/job/front_end.h"
#include "app/station/station.h"

namespace stampwise {

class StationFrontEnd : public FrontEnd {
 public:
  explicit StationFrontEnd(FrontEnd& shown) : shown_(shown) {}
  // The station the outcomes go to (none: they are only shown).
  void Attach(Station* station) { station_ = station; }

  void AppendStatus(const std::string& line) override { shown_.AppendStatus(line); }
  void ShowWriteValue(const std::string& value) override { shown_.ShowWriteValue(value); }
  void ShowReadText(const std::string& text) override { shown_.ShowReadText(text); }
  void ShowNextTagUri(const std::string& uri) override { shown_.ShowNextTagUri(uri); }
  void ShowReadTagUri(const std::string& uri) override { shown_.ShowReadTagUri(uri); }
  void ShowProgrammedCount(int count) override { shown_.ShowProgrammedCount(count); }
  void FocusPasswordField() override { shown_.FocusPasswordField(); }
  void SetWaitCursor(bool on) override { shown_.SetWaitCursor(on); }
  void WriteCycleStopped() override { shown_.WriteCycleStopped(); }
  void ReadCycleStopped() override { shown_.ReadCycleStopped(); }
  void LedgerWait(const std::string& text) override { shown_.LedgerWait(text); }
  void TagDone(const TagEvent& event) override {
    shown_.TagDone(event);
    if (station_ != nullptr) station_->Note(event);
  }

 private:
  FrontEnd& shown_;
  Station* station_ = nullptr;
};

}  // namespace stampwise

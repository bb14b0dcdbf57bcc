// The main window as a station the line's PLC drives: the panel's row above
// the status log, its triggers run as "Schreiben" runs a write, and the
// station's state in the status bar.
#include <QTimer>
#include <QVBoxLayout>

#include "gui/connection_status.h"
#include "gui/stampwise_dlg.h"
#include "gui/station_panel.h"

namespace stampwise::gui {
namespace {

// How soon a trigger that met another exchange (the operator's read, say)
// tries again.
constexpr int kRetryMs = 20;

}  // namespace

void CStampwiseDlg::BuildStationPanel(QVBoxLayout* report) {
  stationPanel_ = new StationPanel(writer_, settings_);
  report->addWidget(stationPanel_);
  connect(stationPanel_, &StationPanel::AttemptRequested, this, &CStampwiseDlg::RunStationAttempt);
  connect(stationPanel_, &StationPanel::StatusChanged, this,
          [this](const QString& text) { statusBar_->ShowStation(text); });
  connect(stationPanel_, &StationPanel::ResumeRequested, this, &CStampwiseDlg::ResumeStation);
}

void CStampwiseDlg::ResumeStation() {
  if (exchange_.Busy()) {
    QTimer::singleShot(kRetryMs, this, &CStampwiseDlg::ResumeStation);
    return;
  }
  Exclusive([this] { stationPanel_->Resume(); });
}

void CStampwiseDlg::RunStationAttempt() {
  if (exchange_.Busy()) {
    QTimer::singleShot(kRetryMs, this, &CStampwiseDlg::RunStationAttempt);
    return;
  }
  Exclusive([this] {
    // The fields as they stand, checked without a message box: the line
    // does not wait for one. A job that fails them writes nothing.
    const bool valid = ReadControls(false, false);
    stationPanel_->RunAttempt(valid);
    if (valid) WriteControls();
  });
}

void CStampwiseDlg::UpdateStationReady() {
  if (stationPanel_ != nullptr) stationPanel_->SetReady(reader_.IsOpen() && writer_.RunningCycle() == Cycle::None);
}

}  // namespace stampwise::gui

// The window as a station the line's PLC drives: "PLC-Station (Modbus TCP):"
// with its address. While on, a Modbus TCP server runs on a thread of its own
// and hands each trigger to the window's thread, where the window runs it as
// one write attempt (RunAttempt); the status bar shows whether a PLC is
// connected and the last trigger.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "app/job/tag_writer.h"
#include "app/station/station.h"

class QCheckBox;
class QLineEdit;

namespace stampwise {
class Settings;
}

namespace stampwise::plc {
class ModbusStation;
struct ListenAddress;
}  // namespace stampwise::plc

namespace stampwise::gui {

class StationPanel : public QWidget {
  Q_OBJECT

 public:
  // The station writes through `writer`; its address is kept in `settings`.
  // The window runs each accepted trigger (AttemptRequested) through RunAttempt.
  StationPanel(TagWriter& writer, Settings& settings, QWidget* parent = nullptr);
  ~StationPanel() override;

  // Switches the station on (listening at the address field's text) or off;
  // false with the reason shown when it cannot listen.
  bool SetOn(bool on);
  bool IsOn() const { return station_ != nullptr; }
  // Where it listens while on (the port the system chose for port 0).
  std::optional<plc::ListenAddress> Listening() const;
  // Whether the window can take a trigger now: a reader open, no cycle running.
  void SetReady(bool ready);
  // Runs the accepted trigger: `jobValid` says whether the window's fields
  // passed their checks (else it settles as failed, nothing written).
  void RunAttempt(bool jobValid);
  // Every attempt's outcome (the window's TagDone).
  void Note(const TagEvent& event);
  // Asks the shared ledger the station waits for again (ResumeRequested).
  void Resume();

  QString StatusText() const;

 signals:
  // A trigger was accepted: the window runs it (queued to its thread).
  void AttemptRequested();
  // The status bar's text changed.
  void StatusChanged(const QString& text);
  // The station waits for its shared ledger: the window calls Resume.
  void ResumeRequested();

 private:
  void Stop();
  void ClientsChanged(int clients);

  TagWriter& writer_;
  Settings& settings_;
  QCheckBox* on_;
  QLineEdit* address_;
  bool ready_ = false;
  int clients_ = 0;
  QString lastTrigger_;
  QTimer resume_;  // while the station waits for its shared ledger
  std::unique_ptr<Station> station_;
  std::unique_ptr<plc::ModbusStation> server_;
  int stopFd_ = -1;
  std::thread serving_;
};

}  // namespace stampwise::gui

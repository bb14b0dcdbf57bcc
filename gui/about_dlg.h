// CAboutDlg: the program's version and build date, the reader library's
// version, the two update status lines, the maker's links and the switch of
// the automatic update check. A status line that reports something newer is
// a link: its click downloads and starts the installer, then the program
// ends. The lines refresh when the software check finishes, also while the
// box is open.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <string>

#include "app/base/nested_wait.h"
#include "app/store/settings.h"
#include "gui/label.h"
#include "gui/message_boxes.h"
#include "update/installer.h"
#include "update/status_lines.h"
#include "update/update_check.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace stampwise::gui {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  // Starts a downloaded installer; tests replace it.
  using Starter = std::function<update::InstallerStart(const std::string& path)>;

  CAboutDlg(Settings& settings, update::UpdateChecks& checks, MessageBoxes& boxes, QWidget* parent = nullptr);
  ~CAboutDlg() override;

  void SetInstallerStarter(Starter starter) { startInstaller_ = std::move(starter); }
  // True when an installer was started: the program is to end.
  bool ExitRequested() const { return exitRequested_; }

  // Message 1034: the software check has finished.
  void Refresh();
  // Escape and the close box; during a download they abandon it instead.
  void reject() override;

 private:
  void BuildControls();
  void ShowLine(CLabel* label, const update::StatusLine& line);
  void OnStatusClicked(CLabel* label, update::CUpdateCheck& check);
  void OnOk();
  // Downloads on a worker thread while the box keeps painting; closing the
  // box meanwhile abandons the download.
  bool Download(const std::string& address, const std::string& path);

  Settings& settings_;
  update::UpdateChecks& checks_;
  MessageBoxes& boxes_;
  Starter startInstaller_;
  bool updateFlag_;
  bool exitRequested_ = false;
  NestedWait download_;
  std::atomic<bool> cancelDownload_{false};

  QLabel* title_ = nullptr;              // 101
  QLabel* sdkVersion_ = nullptr;         // 1012
  CLabel* softwareLine_ = nullptr;       // 105
  CLabel* deviceLine_ = nullptr;         // 106
  QCheckBox* updateCheckBox_ = nullptr;  // 1058
  CLabel* web_ = nullptr;                // 104
  CLabel* mail_ = nullptr;               // 103
  QPushButton* ok_ = nullptr;            // 1
};

}  // namespace stampwise::gui

// The production view's shift report: the page `ledger report --html` writes,
// for the shift the view counts (from its start by the shift plan up to now,
// every station on the ledger), saved where the operator says and then
// offered to open in the desktop's browser.
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QUrl>
#include <chrono>
#include <filesystem>

#include "app/base/paths.h"
#include "app/events/shift_report.h"
#include "app/texts/messages.h"
#include "gui/production_view.h"
#include "gui/stampwise_dlg.h"
#include "gui/texts.h"
#include "gui/wait_cursor.h"

namespace stampwise::gui {

namespace {

QDateTime LocalTime(std::chrono::system_clock::time_point when) {
  return QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count());
}

// "2026-12-10 06:00 - 09:41"; the end's date too when the shift began the day before.
std::string ReportTitle(const QDateTime& since, const QDateTime& now) {
  const QString end =
      now.toString(since.date() == now.date() ? QStringLiteral("HH:mm") : QStringLiteral("yyyy-MM-dd HH:mm"));
  return ToUtf8(since.toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QStringLiteral(" - ") + end);
}

}  // namespace

void CStampwiseDlg::OnSaveShiftReport() {
  production_->Update();
  const std::chrono::system_clock::time_point shiftStart = production_->ShiftStart();
  const QDateTime since = LocalTime(shiftStart);
  QWidget* parent = productionView_ != nullptr ? static_cast<QWidget*>(productionView_) : this;

  // Beside the write log, where the operator looks for the window's files.
  const std::string writeLog = writer_.Config().logs.writeLogFile;
  const std::filesystem::path logFolder = std::filesystem::path(writeLog).parent_path();
  const QString folder = FromUtf8(logFolder.empty() ? DefaultLogDirectory() : logFolder.string());
  QFileDialog dialog(parent, Caption("Schichtbericht speichern"));
  dialog.setObjectName(QStringLiteral("saveShiftReport"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(QStringLiteral("HTML (*.html);;All Files (*)"));
  dialog.setDefaultSuffix(QStringLiteral("html"));
  dialog.setLabelText(QFileDialog::Accept, TableText(msg::kFileDialogOk));
  dialog.setLabelText(QFileDialog::Reject, TableText(msg::kFileDialogCancel));
  dialog.selectFile(QDir(folder).filePath(since.toString(QStringLiteral("'Schicht-'yyyy-MM-dd-HHmm'.html'"))));
  if (runDialog_(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString file = dialog.selectedFiles().first();

  events::TimeWindow shift;
  shift.since = std::chrono::time_point_cast<std::chrono::milliseconds>(shiftStart);
  const Status saved = [&] {
    WaitCursor wait;
    return events::SaveShiftReport(writer_.Config().ledgerFile, "", shift,
                                   ReportTitle(since, QDateTime::currentDateTime()), ToUtf8(file));
  }();
  if (!saved) {
    boxes_.Warning(parent, Caption("Schichtbericht nicht gespeichert:\n%1").arg(FromUtf8(saved.message().text)));
    return;
  }
  if (boxes_.Question(parent, Caption("Schichtbericht gespeichert:\n%1\n\nJetzt öffnen?").arg(file))) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(file));
  }
}

}  // namespace stampwise::gui

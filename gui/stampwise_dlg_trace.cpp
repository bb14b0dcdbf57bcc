// The main window's traceability controls: "Schreiben prüfen", the production
// journal (its switch and folder) and the value list beside the write value,
// with the number of lines left. Each is stored at once in its own section.
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <filesystem>

#include "app/job/value_list.h"
#include "app/job/write_job.h"
#include "app/store/settings_keys.h"
#include "app/texts/messages.h"
#include "gui/dialog_support.h"
#include "gui/stampwise_dlg.h"
#include "gui/texts.h"

namespace stampwise::gui {

namespace {

QLabel* PathLabel(int id) {
  auto* label = Named(new QLabel, id);
  label->setFrameShape(QFrame::StyledPanel);
  label->setMinimumWidth(120);
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  return label;
}

QPushButton* SmallButton(const char* caption, int id) {
  auto* button = Named(new QPushButton(Caption(caption)), id);
  button->setAutoDefault(false);
  button->setFixedWidth(32);
  return button;
}

}  // namespace

void CStampwiseDlg::BuildTraceControls(QGridLayout* writeLayout, int writeRow, QGridLayout* logGrid, int logRow) {
  valueListPath_ = PathLabel(1301);
  chooseValueList_ = SmallButton("...", 1302);
  clearValueList_ = SmallButton("X", 1303);
  valueListLeft_ = Named(new QLabel, 1304);
  auto* listRow = new QHBoxLayout;
  listRow->addWidget(new QLabel(Caption("Werteliste:")));
  listRow->addWidget(valueListPath_, 1);
  listRow->addWidget(chooseValueList_);
  listRow->addWidget(clearValueList_);
  writeLayout->addLayout(listRow, writeRow, 0, 1, 2);
  // One row for both: the window must not grow taller than a laptop screen.
  writeLayout->addWidget(valueListLeft_, writeRow + 1, 0);
  verifyWrites_ = Named(new QCheckBox(Caption("Schreiben prüfen")), 1305);
  writeLayout->addWidget(verifyWrites_, writeRow + 1, 1);

  journalOn_ = Named(new QCheckBox(Caption("Journal führen")), 1306);
  journalPath_ = PathLabel(1307);
  chooseJournal_ = SmallButton("...", 1308);
  logGrid->addWidget(journalOn_, logRow, 0);
  logGrid->addWidget(journalPath_, logRow, 1);
  logGrid->addWidget(chooseJournal_, logRow, 2);
}

void CStampwiseDlg::LoadTraceState() {
  verifyWrites_->setChecked(settings_.ReadInt(keys::kVerifyWrites) != 0);
  journalOn_->setChecked(settings_.ReadInt(keys::kJournalEnabled) != 0);
  ApplyTrace();
}

void CStampwiseDlg::ConnectTraceControls() {
  connect(verifyWrites_, &QCheckBox::toggled, this, [this](bool on) {
    settings_.WriteInt(keys::kVerifyWrites, on ? 1 : 0);
    ApplyTrace();
  });
  connect(journalOn_, &QCheckBox::toggled, this, [this](bool on) {
    settings_.WriteInt(keys::kJournalEnabled, on ? 1 : 0);
    ApplyTrace();
  });
  connect(chooseJournal_, &QPushButton::clicked, this, &CStampwiseDlg::OnChooseJournalFolder);
  connect(chooseValueList_, &QPushButton::clicked, this, &CStampwiseDlg::OnChooseValueList);
  connect(clearValueList_, &QPushButton::clicked, this, [this] { UseValueList(""); });
}

// The stored choices as the writer's job: the journal in its folder (the
// log folder when none is chosen), the TID read with it unless "TIDLesen"
// says otherwise, the list the window shows.
void CStampwiseDlg::ApplyTrace() {
  std::string folder = settings_.ReadString(keys::kJournalFolder);
  if (folder.empty()) folder = std::filesystem::path(loaded_.logs.writeLogFile).parent_path().string();
  journalPath_->setText(FromUtf8((std::filesystem::path(folder) / kJournalFileName).string()));
  const std::string list = ToUtf8(valueListPath_->text());
  const int column = settings_.ReadInt(keys::kValueListColumn);
  Reconfigure([&](WriterConfig& config) {
    config.trace = StoredTrace(settings_, loaded_.logs.writeLogFile);
    config.trace.valueListPath = list;
    config.trace.valueListColumn = column < 1 ? 1 : column;
  });
  UpdateValueListLeft();
}

void CStampwiseDlg::OnChooseJournalFolder() {
  const QString folder = QFileDialog::getExistingDirectory(this, Caption("Journal führen"),
                                                           QFileInfo(journalPath_->text()).absolutePath());
  if (folder.isEmpty()) return;
  settings_.WriteString(keys::kJournalFolder, ToUtf8(folder));
  ApplyTrace();
}

void CStampwiseDlg::OnChooseValueList() {
  QFileDialog dialog(this, Caption("Werteliste:"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({QStringLiteral("CSV (*.csv *.txt)"), QStringLiteral("* (*)")});
  if (runDialog_(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  UseValueList(ToUtf8(dialog.selectedFiles().first()));
}

// A list chosen is taken from where the ledger holds it; a list already
// partly given out starts from its first line only when the operator says
// so (its used lines then need a confirmation each, as any re-use does).
void CStampwiseDlg::UseValueList(const std::string& path) {
  std::string absolute;
  if (!path.empty()) {
    absolute = std::filesystem::absolute(path).lexically_normal().string();
    const int column = std::max(1, settings_.ReadInt(keys::kValueListColumn));
    if (Result<std::vector<std::string>> values = LoadValueList(absolute, column); !values) {
      boxes_.Warning(this, FromUtf8(values.message().text));
      return;
    }
  }
  valueListPath_->setText(FromUtf8(absolute));
  ApplyTrace();
  UpdateValuesLeft();
  if (absolute.empty()) {
    // The field shows the counter's value again.
    ShowWriteValue(writer_.CounterValue());
    return;
  }
  const std::optional<std::pair<int, int>> position = writer_.ListPosition();
  if (position && position->first > 1 &&
      boxes_.Question(this, Caption("Die Werteliste ist schon teilweise vergeben. Von vorn beginnen?"))) {
    Reconfigure([](WriterConfig& config) { config.trace.valueListRestart = true; });
    writer_.PrepareJob();
    UpdateValueListLeft();
  }
}

// A journal switched on mid-cycle would journal nothing, a list chosen
// mid-cycle would show another list than the one written from.
void CStampwiseDlg::ApplyTraceStates() {
  const bool idle = writer_.RunningCycle() != Cycle::Write;
  for (QWidget* control : {static_cast<QWidget*>(journalOn_), static_cast<QWidget*>(chooseJournal_),
                           static_cast<QWidget*>(chooseValueList_)}) {
    control->setEnabled(idle);
  }
  clearValueList_->setEnabled(idle && ValueListInUse());
}

bool CStampwiseDlg::ValueListInUse() const { return !valueListPath_->text().isEmpty(); }

void CStampwiseDlg::UpdateValueListLeft() {
  const std::string path = ToUtf8(valueListPath_->text());
  clearValueList_->setEnabled(!path.empty() && writer_.RunningCycle() != Cycle::Write);
  if (path.empty()) {
    valueListLeft_->clear();
    return;
  }
  // The writer opens the list with the job: every line checked, its place
  // from the ledger (a list it cannot use says why in the status log).
  if (writer_.RunningCycle() == Cycle::None && !writer_.PrepareJob()) {
    valueListLeft_->setText(FromUtf8(writer_.LastStatusLine()));
    return;
  }
  const std::optional<std::pair<int, int>> position = writer_.ListPosition();
  if (!position) {
    valueListLeft_->clear();
    return;
  }
  const int left = std::max(0, position->second - position->first + 1);
  valueListLeft_->setText(Caption("noch %1 von %2 Zeilen").arg(left).arg(position->second));
}

}  // namespace stampwise::gui

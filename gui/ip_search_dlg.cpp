#include "gui/ip_search_dlg.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/connection/reader_client.h"
#include "app/texts/messages.h"
#include "gui/dialog_support.h"
#include "gui/lan_config_dlg.h"
#include "gui/texts.h"
#include "gui/wait_cursor.h"

namespace stampwise::gui {
namespace {

// The module restarts after a change: give it a moment before searching again.
constexpr int kRelistPauseMs = 300;

}  // namespace

CIPAddrSuche::CIPAddrSuche(MessageBoxes& boxes, QWidget* parent) : QDialog(parent), boxes_(boxes) {
  setObjectName(QStringLiteral("CIPAddrSuche"));
  setWindowTitle(TableText(msg::kIpListCaption));
  list_ = Named(new QListWidget, 1128);
  list_->setMinimumSize(360, 180);
  change_ = Named(new QPushButton(Caption("IP-Adresse ändern")), 1);
  change_->setAutoDefault(false);
  close_ = Named(new QPushButton(Caption("Schliessen")), 2);
  close_->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(change_);
  buttons->addStretch(1);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  change_->setEnabled(false);
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] { change_->setEnabled(SelectedRow() >= 0); });
  connect(change_, &QPushButton::clicked, this, &CIPAddrSuche::OnChangeAddress);
  connect(close_, &QPushButton::clicked, this, &CIPAddrSuche::accept);
}

void CIPAddrSuche::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (filledOnce_) return;
  filledOnce_ = true;
  // After the dialog is on screen, so that it is seen while the search runs.
  QTimer::singleShot(0, this, &CIPAddrSuche::FillList);
}

void CIPAddrSuche::FillList() {
  for (;;) {
    {
      const WaitCursor waitCursor;
      entries_.clear();
      ShowEntries();
      entries_ = MergeFoundModules(ReaderClient::LanReaders(ReaderClient::kLanSearchCapacity),
                                   ReaderClient::LanModules(ReaderClient::kLanSearchCapacity));
    }
    if (!entries_.empty()) break;
    if (!boxes_.RetryCancel(this, TableText(msg::kIpListCaption), TableText(msg::kNoLanDevices))) {
      reject();
      return;
    }
  }
  ShowEntries();
}

void CIPAddrSuche::ShowEntries() {
  const QSignalBlocker block(list_);
  list_->clear();
  for (const FoundModule& entry : entries_) {
    auto* item = new QListWidgetItem(FromUtf8(entry.text), list_);
    item->setData(Qt::UserRole, static_cast<int>(entry.tag));
    if (entry.tag == FoundModule::kForeign) {
      QFont font = list_->font();
      font.setItalic(true);
      item->setFont(font);
      // A selected entry keeps the highlight text colour (the style draws it).
      item->setForeground(QColor(255, 0, 0));
    }
  }
  change_->setEnabled(SelectedRow() >= 0);
}

int CIPAddrSuche::SelectedRow() const {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? -1 : list_->row(selected.first());
}

void CIPAddrSuche::OnChangeAddress() {
  const int row = SelectedRow();
  if (row < 0 || row >= static_cast<int>(entries_.size())) return;
  CLanConfig config(boxes_, entries_[static_cast<std::size_t>(row)].text, this);
  if (config.exec() != QDialog::Accepted) return;
  WaitWithEvents(kRelistPauseMs);
  FillList();
}

void CIPAddrSuche::done(int result) {
  const int row = SelectedRow();
  if (row >= 0 && row < static_cast<int>(entries_.size()) &&
      entries_[static_cast<std::size_t>(row)].tag == FoundModule::kReader) {
    result_ = entries_[static_cast<std::size_t>(row)].text;
  }
  QDialog::done(result);
}

}  // namespace stampwise::gui

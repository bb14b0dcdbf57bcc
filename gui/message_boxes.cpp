#include "gui/message_boxes.h"

#include <QMessageBox>

namespace stampwise::gui {
namespace {
const QString kBoxTitle = QStringLiteral("QL-MKV Stampwise");
}

void QtMessageBoxes::Information(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, kBoxTitle, text);
}

void QtMessageBoxes::Warning(QWidget* parent, const QString& text) { QMessageBox::warning(parent, kBoxTitle, text); }

bool QtMessageBoxes::Question(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, kBoxTitle, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void QtMessageBoxes::About(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::about(parent, title, text);
}

bool QtMessageBoxes::RetryCancel(QWidget* parent, const QString& caption, const QString& text) {
  return QMessageBox::warning(parent, caption, text, QMessageBox::Retry | QMessageBox::Cancel) == QMessageBox::Retry;
}

}  // namespace stampwise::gui

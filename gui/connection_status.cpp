#include "gui/connection_status.h"

#include <QLabel>

#include "app/increment.h"
#include "app/messages.h"
#include "app/strings.h"
#include "gui/texts.h"

namespace stampwise::gui {

ConnectionStatusBar::ConnectionStatusBar(QWidget* parent)
    : QStatusBar(parent), reader_(new QLabel(this)), valuesLeft_(new QLabel(this)) {
  setObjectName(QStringLiteral("statusBar"));
  setSizeGripEnabled(false);  // the dialog has its own
  reader_->setObjectName(QStringLiteral("statusReader"));
  valuesLeft_->setObjectName(QStringLiteral("statusValuesLeft"));
  addWidget(reader_, 1);
  addPermanentWidget(valuesLeft_);
  ShowReader(nullptr);
}

void ConnectionStatusBar::ShowReader(const ReaderIdentity* identity) {
  const bool open = identity != nullptr && identity->handle > 0;
  reader_->setText(open ? FromUtf8(identity->linkText) : TableText(msg::kNoReader));
  reader_->setToolTip(reader_->text());  // whole, where the bar is too narrow
}

void ConnectionStatusBar::ShowValuesLeft(const ParameterSet& params) {
  const std::optional<std::string> left = ValuesLeft(params);
  valuesLeft_->setText(left ? FromUtf8(FormatString(msg::kValuesLeft, {*left})) : QString());
}

QString ConnectionStatusBar::ReaderText() const { return reader_->text(); }

QString ConnectionStatusBar::ValuesLeftText() const { return valuesLeft_->text(); }

}  // namespace stampwise::gui

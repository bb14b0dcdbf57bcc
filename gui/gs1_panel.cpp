#include "gui/gs1_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "gui/texts.h"

namespace stampwise::gui {
namespace {

constexpr const char* kSchemes[] = {"sgtin-96", "sgtin-198", "sscc-96", "sgln-96", "grai-96", "giai-96", "gid-96"};

template <typename Widget>
Widget* NamedAs(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* ResultLabel(const char* name) {
  auto* label = NamedAs(new QLabel, name);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setFrameShape(QFrame::StyledPanel);
  label->setWordWrap(true);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 30);
  return label;
}

}  // namespace

CGs1Panel::CGs1Panel(QWidget* parent) : QGroupBox(Caption("GS1 EPC"), parent) {
  setObjectName(QStringLiteral("gs1Panel"));
  scheme_ = NamedAs(new QComboBox, "gs1Scheme");
  for (const char* scheme : kSchemes) scheme_->addItem(QString::fromLatin1(scheme));
  filter_ = NamedAs(new QLineEdit, "gs1Filter");
  filter_->setMaxLength(1);
  companyDigits_ = NamedAs(new QLineEdit, "gs1CompanyDigits");
  companyDigits_->setMaxLength(2);
  for (QLineEdit* small : {filter_, companyDigits_}) {
    small->setMaximumWidth(small->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
  }
  identifier_ = NamedAs(new QLineEdit, "gs1Identifier");
  identifier_->setMaxLength(40);
  serial_ = NamedAs(new QLineEdit, "gs1Serial");
  serial_->setMaxLength(20);
  increment_ = NamedAs(new QCheckBox(Caption("Seriennummer hochzählen")), "gs1Increment");
  increment_->setChecked(true);
  hex_ = ResultLabel("gs1Hex");
  uri_ = ResultLabel("gs1Uri");

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(TableText(msg::kGs1NameScheme) + QLatin1Char(':')), 0, 0);
  grid->addWidget(scheme_, 0, 1);
  grid->addWidget(new QLabel(TableText(msg::kGs1NameFilter) + QLatin1Char(':')), 0, 2);
  grid->addWidget(filter_, 0, 3);
  grid->addWidget(new QLabel(TableText(msg::kGs1NameCompanyDigits) + QLatin1Char(':')), 0, 4);
  grid->addWidget(companyDigits_, 0, 5);
  grid->addWidget(new QLabel(TableText(msg::kGs1NameIdentifier) + QLatin1Char(':')), 1, 0);
  grid->addWidget(identifier_, 1, 1, 1, 5);
  grid->addWidget(new QLabel(TableText(msg::kGs1NameSerial) + QLatin1Char(':')), 2, 0);
  grid->addWidget(serial_, 2, 1, 1, 3);
  grid->addWidget(increment_, 2, 4, 1, 2);
  grid->addWidget(new QLabel(Caption("Hex:")), 3, 0);
  grid->addWidget(hex_, 3, 1, 1, 5);
  grid->addWidget(new QLabel(Caption("Tag-URI:")), 4, 0);
  grid->addWidget(uri_, 4, 1, 1, 5);
  grid->setColumnStretch(1, 1);

  connect(scheme_, &QComboBox::currentIndexChanged, this, &CGs1Panel::Refresh);
  for (QLineEdit* edit : {filter_, companyDigits_, identifier_, serial_}) {
    connect(edit, &QLineEdit::textChanged, this, &CGs1Panel::Refresh);
  }
  Refresh();
}

void CGs1Panel::SetInputs(const Gs1Inputs& inputs) {
  const int index = scheme_->findText(FromUtf8(inputs.scheme));
  scheme_->setCurrentIndex(index < 0 ? 0 : index);
  filter_->setText(FromUtf8(inputs.filter));
  companyDigits_->setText(FromUtf8(inputs.companyDigits));
  identifier_->setText(FromUtf8(inputs.identifier));
  serial_->setText(FromUtf8(inputs.serial));
  Refresh();
}

Gs1Inputs CGs1Panel::Inputs() const {
  Gs1Inputs inputs;
  inputs.scheme = ToUtf8(scheme_->currentText());
  inputs.filter = ToUtf8(filter_->text().trimmed());
  inputs.companyDigits = ToUtf8(companyDigits_->text().trimmed());
  inputs.identifier = ToUtf8(identifier_->text().trimmed());
  inputs.serial = ToUtf8(serial_->text());
  return inputs;
}

void CGs1Panel::SetIncrement(bool on) { increment_->setChecked(on); }

bool CGs1Panel::Increment() const { return increment_->isChecked(); }

Result<gs1::TagEpc> CGs1Panel::Check() const {
  Gs1Inputs inputs = Inputs();
  const std::optional<gs1::Scheme> scheme = gs1::SchemeByName(inputs.scheme);
  if (scheme && !Gs1SchemeHasSerial(*scheme)) inputs.serial.clear();
  return EpcFromInputs(inputs);
}

QWidget* CGs1Panel::Field(int controlId) const {
  switch (static_cast<Gs1Field>(controlId)) {
    case Gs1Field::kScheme: return scheme_;
    case Gs1Field::kFilter: return filter_;
    case Gs1Field::kCompanyDigits: return companyDigits_;
    case Gs1Field::kIdentifier: return identifier_;
    case Gs1Field::kSerial: return serial_;
  }
  return nullptr;
}

void CGs1Panel::ShowNextUri(const std::string& uri) {
  const Result<gs1::TagEpc> epc = gs1::ParseTagUri(uri);
  if (!epc) return;
  SetInputs(InputsFromEpc(epc.value()));
  // One past the range: Check refuses it; say so.
  if (Gs1SerialExhausted(uri)) uri_->setText(FromUtf8(FormatString(msg::kGs1SerialExhausted, {uri})));
}

void CGs1Panel::Refresh() {
  const std::optional<gs1::Scheme> scheme = gs1::SchemeByName(ToUtf8(scheme_->currentText()));
  const bool withSerial = scheme && Gs1SchemeHasSerial(*scheme);
  const bool withFilter = scheme && gs1::HasFilter(*scheme);
  serial_->setEnabled(withSerial);
  filter_->setEnabled(withFilter);
  companyDigits_->setEnabled(withFilter);
  const Result<gs1::TagEpc> epc = Check();
  if (!epc) {
    hex_->clear();
    uri_->setText(FromUtf8(epc.message().text));
    return;
  }
  const Result<Bytes> bytes = gs1::Encode(epc.value());
  hex_->setText(bytes ? FromUtf8(gs1::Hex(bytes.value())) : QString());
  uri_->setText(FromUtf8(gs1::TagUri(epc.value())));
}

}  // namespace stampwise::gui

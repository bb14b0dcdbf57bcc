// The main window's GS1 EPC mode: a seventh choice beside the six data
// formats (whose stored index "Datenformat" stays as it is), the GS1 panel's
// inputs checked before each write, and section "GS1" of the settings.
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "gui/gs1_panel.h"
#include "gui/stampwise_dlg.h"
#include "gui/texts.h"

namespace stampwise::gui {

// Below the read and write groups, as wide as the window: a tag URI is long.
QWidget* CStampwiseDlg::BuildReadUriRow() {
  readUriRow_ = new QWidget;
  auto* row = new QHBoxLayout(readUriRow_);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(new QLabel(Caption("Gelesene Tag-URI:")));
  readUri_ = new QLineEdit;
  readUri_->setObjectName(QStringLiteral("gs1ReadUri"));
  readUri_->setReadOnly(true);
  row->addWidget(readUri_, 1);
  readUriRow_->hide();
  return readUriRow_;
}

void CStampwiseDlg::FitToContents() { resize(size().expandedTo(FittingSize())); }

void CStampwiseDlg::LoadGs1State() {
  gs1Loaded_ = settings_.LoadGs1();
  gs1Panel_->SetInputs(gs1Loaded_.inputs);
  gs1Panel_->SetIncrement(gs1Loaded_.increment);
  // The stored next tag URI is the job's counter: the panel continues there.
  if (!gs1Loaded_.nextUri.empty()) gs1Panel_->ShowNextUri(gs1Loaded_.nextUri);
  Reconfigure([&](WriterConfig& config) {
    config.gs1.nextUri = gs1Loaded_.nextUri;
    config.gs1.increment = gs1Loaded_.increment;
  });
  SetGs1Mode(gs1Loaded_.enabled);
}

void CStampwiseDlg::SetGs1Mode(bool on) {
  gs1Mode_ = on;
  Reconfigure([on](WriterConfig& config) { config.gs1.enabled = on; });
  if (on) gs1Radio_->setChecked(true);
  ApplyControlStates();
  if (on) FitToContents();
}

// The panel into the job. A read needs no valid inputs (it reads whatever
// EPC the tag carries); a write does, and says which input is wrong.
bool CStampwiseDlg::ReadGs1Controls(bool skipValueCheck, bool showErrors) {
  if (!gs1Mode_) {
    Reconfigure([](WriterConfig& config) { config.gs1.enabled = false; });
    return true;
  }
  const Result<gs1::TagEpc> epc = gs1Panel_->Check();
  const bool increment = gs1Panel_->Increment();
  std::optional<std::string> uri;
  if (epc) {
    uri = gs1::TagUri(epc.value());
    // What the store's take refuses is refused here already (a scheme that cannot count).
    if (!skipValueCheck) {
      if (const Result<Gs1Step> step = PlanGs1Write(*uri, increment); !step) {
        if (showErrors) {
          boxes_.Warning(this, FromUtf8(step.message().text));
          if (QWidget* field = gs1Panel_->Field(step.message().controlId)) field->setFocus();
        }
        return false;
      }
    }
  } else if (!skipValueCheck) {
    if (showErrors) {
      boxes_.Warning(this, FromUtf8(epc.message().text));
      if (QWidget* field = gs1Panel_->Field(epc.message().controlId)) field->setFocus();
    }
    return false;
  }
  Reconfigure([&](WriterConfig& config) {
    config.gs1.enabled = true;
    config.gs1.increment = increment;
    if (uri) config.gs1.nextUri = *uri;
  });
  return true;
}

void CStampwiseDlg::ApplyGs1States() {
  const bool idle = writer_.RunningCycle() == Cycle::None;
  gs1Radio_->setEnabled(idle);
  gs1Panel_->setVisible(gs1Mode_);
  gs1Panel_->setEnabled(idle);
  // The read field shows a 96-bit EPC whole.
  readSingle_->setMinimumWidth(
      gs1Mode_ ? readSingle_->fontMetrics().horizontalAdvance(QString(25, QLatin1Char('0'))) + 16 : 0);
  if (!gs1Mode_) return;
  gs1Radio_->setChecked(true);
  // What a GS1 job decides itself: bank, start word, length, byte order, the
  // length word, the counting and the write value.
  for (QWidget* control : std::initializer_list<QWidget*>{bank_, startWord_, lengthBytes_, epcLengthFix_, msbFirst_,
                                                          autoIncDec_, autoIncHex_, leadingZeros_, additionalText_,
                                                          valueSingle_, valueMulti_, takeOver_}) {
    control->setEnabled(false);
  }
}

void CStampwiseDlg::SaveGs1State() {
  const Gs1Inputs inputs = gs1Panel_->Inputs();
  // A section that was never used is not created.
  if (!gs1Mode_ && !gs1Loaded_.enabled && gs1Loaded_.nextUri.empty() && inputs.identifier.empty()) return;
  Gs1Settings state;
  state.enabled = gs1Mode_;
  state.inputs = inputs;
  state.increment = gs1Panel_->Increment();
  const Result<gs1::TagEpc> epc = gs1Panel_->Check();
  state.nextUri = epc ? gs1::TagUri(epc.value()) : writer_.Config().gs1.nextUri;
  settings_.SaveGs1(state);
}

void CStampwiseDlg::ShowNextTagUri(const std::string& uri) { gs1Panel_->ShowNextUri(uri); }

void CStampwiseDlg::ShowReadTagUri(const std::string& uri) {
  readUri_->setText(FromUtf8(uri));
  readUri_->setCursorPosition(0);
  const bool appears = !uri.empty() && readUriRow_->isHidden();
  readUriRow_->setVisible(!uri.empty());
  if (appears) FitToContents();
}

}  // namespace stampwise::gui

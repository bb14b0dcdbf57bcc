// The controls of the main window, laid out after the 320 x 340 dialog-unit
// template: parameter and format groups on top, the read and write groups
// side by side, the log files, the status log, the counter and the buttons.
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/texts/messages.h"
#include "app/values/enabling.h"
#include "app/values/formats.h"
#include "gui/connection_status.h"
#include "gui/gs1_panel.h"
#include "gui/stampwise_dlg.h"
#include "gui/texts.h"

namespace stampwise::gui {
namespace {

// A control's number, given as an id of the enabling rules or as a plain
// number: both convert, so each control is named the same way.
struct Number {
  Number(int number) : value(number) {}
  Number(ControlId id) : value(ControlNumber(id)) {}
  int value;
};

template <typename Widget>
Widget* NamedControl(Widget* widget, Number id) {
  widget->setObjectName(QStringLiteral("id%1").arg(id.value));
  return widget;
}

QPushButton* Button(const char* caption, Number id) {
  auto* button = NamedControl(new QPushButton(Caption(caption)), id);
  button->setAutoDefault(false);  // Enter belongs to the dialog (restart)
  return button;
}

// A cycle's button: pressed while its cycle runs, and marked so that the
// running cycle is seen from a step away.
QPushButton* PushLikeCheckBox(const char* caption, Number id) {
  QPushButton* button = Button(caption, id);
  button->setCheckable(true);
  button->setStyleSheet(QStringLiteral("QPushButton:checked { font-weight: bold; color: #1b5e20; }"));
  return button;
}

QCheckBox* Check(const char* caption, Number id) { return NamedControl(new QCheckBox(Caption(caption)), id); }

QGroupBox* Group(const char* caption, const char* name) {
  auto* group = new QGroupBox(Caption(caption));
  group->setObjectName(QString::fromLatin1(name));
  return group;
}

QPlainTextEdit* ShapeMultiLine(QPlainTextEdit* edit, bool readOnly) {
  edit->setReadOnly(readOnly);
  edit->setTabChangesFocus(true);
  edit->setFixedHeight(edit->fontMetrics().lineSpacing() * 4 + 10);
  edit->hide();
  return edit;
}

QPlainTextEdit* MultiLine(Number id, bool readOnly) {
  return ShapeMultiLine(NamedControl(new QPlainTextEdit, id), readOnly);
}

// Asks for room for all it holds (a plain scroll area asks for a fixed
// small size): the window is as large as its controls where the screen
// allows, and scrolls where it does not.
class ContentScrollArea : public QScrollArea {
 public:
  QSize sizeHint() const override {
    if (widget() == nullptr) return QScrollArea::sizeHint();
    return widget()->sizeHint() + QSize(2 * frameWidth(), 2 * frameWidth());
  }
};

}  // namespace

void CStampwiseDlg::BuildControls() {
  // Parameter
  bank_ = NamedControl(new QComboBox, ControlId::kBank);
  bank_->addItems({QStringLiteral("Res."), QStringLiteral("EPC"), QStringLiteral("TID"), QStringLiteral("User")});
  startWord_ = NamedControl(new QLineEdit, ControlId::kStartWord);
  lengthBytes_ = NamedControl(new QLineEdit, ControlId::kLengthBytes);
  epcLengthFix_ = Check("EPC Länge korrigieren", ControlId::kEpcLengthFix);
  auto* parameterGroup = Group("Parameter", "groupParameter");
  auto* parameterForm = new QFormLayout(parameterGroup);
  parameterForm->addRow(Caption("Typ:"), bank_);
  parameterForm->addRow(Caption("Startwort:"), startWord_);
  parameterForm->addRow(Caption("Länge in Bytes:"), lengthBytes_);
  parameterForm->addRow(epcLengthFix_);

  // Datenformat: the radios in format order 0..5.
  auto* formatGroup = Group("Datenformat", "groupDataFormat");
  auto* formatGrid = new QGridLayout(formatGroup);
  for (int index = 0; index <= 5; ++index) {
    const auto format = static_cast<DataFormat>(index);
    const std::string caption(FormatCaption(format));
    formatRadios_[index] = NamedControl(new QRadioButton(Caption(caption.c_str())), FormatRadioId(format));
    formatGrid->addWidget(formatRadios_[index], index / 2, index % 2);
  }
  gs1Radio_ = new QRadioButton(Caption("GS1 EPC"));
  gs1Radio_->setObjectName(QStringLiteral("gs1Format"));
  formatGrid->addWidget(gs1Radio_, 3, 0);
  msbFirst_ = Check("höchstwertiges Byte an erster Stelle", ControlId::kMsbFirst);
  formatGrid->addWidget(msbFirst_, 4, 0, 1, 2);

  auto* topRow = new QHBoxLayout;
  topRow->addWidget(parameterGroup, 2);
  topRow->addWidget(formatGroup, 3);

  // Lesen
  readGroup_ = NamedControl(new QGroupBox(Caption("Lesen")), 1024);
  readCycle_ = PushLikeCheckBox("Zyklisch ", ControlId::kReadCycle);
  readOnce_ = Button("Einmalig", ControlId::kReadOnce);
  keepLastValue_ = Check("letzten Wert beibehalten", 1159);
  readSingle_ = NamedControl(new QLineEdit, ControlId::kReadSingleLine);
  readSingle_->setReadOnly(true);
  readMulti_ = MultiLine(ControlId::kReadMultiLine, true);
  auto* readLayout = new QVBoxLayout(readGroup_);
  auto* readButtons = new QHBoxLayout;
  readButtons->addWidget(readCycle_);
  readButtons->addWidget(readOnce_);
  readLayout->addLayout(readButtons);
  readLayout->addWidget(keepLastValue_);
  readLayout->addStretch(1);
  readLayout->addWidget(readSingle_);
  readLayout->addWidget(readMulti_);

  takeOver_ = Button(">>", ControlId::kTakeOver);
  takeOver_->setFixedWidth(takeOver_->fontMetrics().horizontalAdvance(QStringLiteral(">>")) + 24);

  // Schreiben
  writeGroup_ = NamedControl(new QGroupBox(Caption("Schreiben")), 1025);
  writeCycle_ = PushLikeCheckBox("Zyklisch", ControlId::kWriteCycle);
  writeOnce_ = Button("Einmalig", ControlId::kWriteOnce);
  autoIncDec_ = Check("Auto increment (Dez)", ControlId::kAutoIncrementDec);
  autoIncHex_ = Check("Auto increment (Hex)", ControlId::kAutoIncrementHex);
  leadingZeros_ = Check("Führende Nullen", ControlId::kLeadingZeros);
  additionalText_ = Check("Zusatztext zulassen", ControlId::kAdditionalText);
  setPassword_ = Check("Access Passwort setzen", ControlId::kSetPassword);
  password_ = NamedControl(new QLineEdit, ControlId::kAccessPassword);
  password_->setMaxLength(8);
  password_->setMaximumWidth(password_->fontMetrics().horizontalAdvance(QStringLiteral("DDDDDDDDDD")) + 12);
  activatePassword_ = Check("Access Passwort aktivieren", ControlId::kActivatePassword);
  valueSingle_ = NamedControl(new LimitedLineEdit, ControlId::kValueSingleLine);
  valueMulti_ = NamedControl(new LimitedPlainTextEdit, ControlId::kValueMultiLine);
  ShapeMultiLine(valueMulti_, false);
  auto* writeLayout = new QGridLayout(writeGroup_);
  writeLayout->addWidget(writeCycle_, 0, 0);
  writeLayout->addWidget(writeOnce_, 0, 1);
  writeLayout->addWidget(autoIncDec_, 1, 0);
  writeLayout->addWidget(autoIncHex_, 1, 1);
  writeLayout->addWidget(leadingZeros_, 2, 0);
  writeLayout->addWidget(additionalText_, 2, 1);
  writeLayout->addWidget(setPassword_, 3, 0);
  writeLayout->addWidget(password_, 3, 1);
  writeLayout->addWidget(activatePassword_, 4, 0, 1, 2);
  writeLayout->addWidget(valueSingle_, 5, 0, 1, 2);
  writeLayout->addWidget(valueMulti_, 6, 0, 1, 2);

  auto* middleRow = new QHBoxLayout;
  middleRow->addWidget(readGroup_, 1);
  middleRow->addWidget(takeOver_, 0, Qt::AlignVCenter);
  middleRow->addWidget(writeGroup_, 1);

  // Logdateien
  auto* logGroup = Group("Logdateien", "groupLogFiles");
  writeLogOn_ = Check("Schreiben protokollieren", 1151);
  writeLogPath_ = NamedControl(new QLabel, 1149);
  chooseWriteLog_ = Button("...", 1147);
  readLogOn_ = Check("Lesen protokollieren", 1153);
  readLogPath_ = NamedControl(new QLabel, 1150);
  chooseReadLog_ = Button("...", 1148);
  for (QLabel* path : {writeLogPath_, readLogPath_}) {
    path->setFrameShape(QFrame::StyledPanel);
    path->setMinimumWidth(120);
    path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  for (QPushButton* choose : {chooseWriteLog_, chooseReadLog_}) choose->setFixedWidth(32);
  auto* logGrid = new QGridLayout(logGroup);
  logGrid->addWidget(writeLogOn_, 0, 0);
  logGrid->addWidget(writeLogPath_, 0, 1);
  logGrid->addWidget(chooseWriteLog_, 0, 2);
  logGrid->addWidget(readLogOn_, 1, 0);
  logGrid->addWidget(readLogPath_, 1, 1);
  logGrid->addWidget(chooseReadLog_, 1, 2);
  logGrid->setColumnStretch(1, 1);
  BuildTraceControls(writeLayout, 7, logGrid, 2);

  // Status log, counter and buttons.
  status_ = NamedControl(new QPlainTextEdit, 1007);
  status_->setReadOnly(true);
  status_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  status_->setMinimumHeight(status_->fontMetrics().lineSpacing() * 5);
  programmed_ = NamedControl(new QLabel(QStringLiteral("0")), 1033);
  resetStatus_ = Button("Reset Status", 1017);
  loadRecord_ = Button("Datensatz lesen", 1019);
  saveRecord_ = Button("Datensatz schreiben", 1020);
  close_ = Button("Schliessen", 2);

  // The counter and the buttons in one row below everything.
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(loadRecord_);
  buttonRow->addWidget(saveRecord_);
  buttonRow->addStretch(1);
  buttonRow->addWidget(new QLabel(Caption("Anzahl programmiert:")));
  buttonRow->addWidget(programmed_);
  buttonRow->addSpacing(12);
  buttonRow->addWidget(resetStatus_);
  buttonRow->addStretch(1);
  buttonRow->addWidget(close_);

  // The job on the left, what it did on the right (the GS1 panel above the
  // status log), so the window is wide rather than tall: a laptop screen is.
  // The groups and the status log scroll where the screen is too small; the
  // counter, the buttons and the status bar always stay in sight.
  auto* content = new QWidget;
  content->setObjectName(QStringLiteral("mainContent"));
  auto* job = new QVBoxLayout;
  job->addLayout(topRow);
  job->addLayout(middleRow);
  job->addWidget(logGroup);
  job->addStretch(1);
  auto* report = new QVBoxLayout;
  // The station's row heads the right side: the left one is as tall as a
  // laptop screen allows.
  BuildStationPanel(report);
  gs1Panel_ = new CGs1Panel;
  gs1Panel_->hide();
  report->addWidget(gs1Panel_);
  report->addWidget(BuildReadUriRow());
  report->addWidget(new QLabel(Caption("Status")));
  report->addWidget(status_, 1);
  status_->setMinimumWidth(status_->fontMetrics().averageCharWidth() * 48);
  auto* layout = new QHBoxLayout(content);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(job, 3);
  layout->addLayout(report, 2);
  scroll_ = new ContentScrollArea;
  scroll_->setObjectName(QStringLiteral("mainScroll"));
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  scroll_->setWidget(content);

  auto* outer = new QVBoxLayout(this);
  outer->addWidget(scroll_, 1);
  outer->addLayout(buttonRow);
  statusBar_ = new ConnectionStatusBar(this);
  outer->addWidget(statusBar_);
  BuildSystemMenu();
  outer->setMenuBar(systemMenu_->parentWidget());
  BuildControlTable();
}

void CStampwiseDlg::BuildControlTable() {
  controls_ = {
      {ControlId::kBank, bank_},
      {ControlId::kStartWord, startWord_},
      {ControlId::kLengthBytes, lengthBytes_},
      {ControlId::kEpcLengthFix, epcLengthFix_},
      {ControlId::kMsbFirst, msbFirst_},
      {ControlId::kReadCycle, readCycle_},
      {ControlId::kReadOnce, readOnce_},
      {ControlId::kReadSingleLine, readSingle_},
      {ControlId::kReadMultiLine, readMulti_},
      {ControlId::kTakeOver, takeOver_},
      {ControlId::kWriteCycle, writeCycle_},
      {ControlId::kWriteOnce, writeOnce_},
      {ControlId::kAutoIncrementDec, autoIncDec_},
      {ControlId::kAutoIncrementHex, autoIncHex_},
      {ControlId::kLeadingZeros, leadingZeros_},
      {ControlId::kAdditionalText, additionalText_},
      {ControlId::kSetPassword, setPassword_},
      {ControlId::kAccessPassword, password_},
      {ControlId::kActivatePassword, activatePassword_},
      {ControlId::kValueSingleLine, valueSingle_},
      {ControlId::kValueMultiLine, valueMulti_},
  };
  for (int index = 0; index <= 5; ++index) {
    controls_[FormatRadioId(static_cast<DataFormat>(index))] = formatRadios_[index];
  }
}

void CStampwiseDlg::BuildSystemMenu() {
  auto* bar = new QMenuBar(this);
  bar->setObjectName(QStringLiteral("menuBar"));
  systemMenu_ = bar->addMenu(QStringLiteral("&Stampwise"));
  systemMenu_->setObjectName(QStringLiteral("systemMenu"));
  // Beside the window menu, whose items are fixed.
  QMenu* view = bar->addMenu(Caption("&Ansicht"));
  view->setObjectName(QStringLiteral("viewMenu"));
  QAction* production = view->addAction(Caption("Produktionsansicht"));
  production->setObjectName(QStringLiteral("actionProductionView"));
  production->setShortcut(QKeySequence(Qt::Key_F9));
  connect(production, &QAction::triggered, this, [this] { ShowProductionView(); });
  const QString about = TableText(msg::kAboutMenu);
  if (about.isEmpty()) return;
  auto add = [this](const QString& text, int command) {
    QAction* action = systemMenu_->addAction(text);
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { SysCommand(command); });
  };
  const int language = settings_.ReadLanguage();
  systemMenu_->addSeparator();
  add(TableText(msg::kMenuChooseInterface), kCmdChooseInterface);
  add(TableText(msg::kMenuTransmitPower), kCmdTransmitPower);
  add(TableText(msg::kMenuSettings), kCmdSettings);
  systemMenu_->addSeparator();
  if (language != 0) add(TableText(msg::kMenuGerman), kCmdGerman);
  if (language != 1) add(TableText(msg::kMenuEnglish), kCmdEnglish);
  systemMenu_->addSeparator();
  add(about, kCmdAbout);
}

}  // namespace stampwise::gui

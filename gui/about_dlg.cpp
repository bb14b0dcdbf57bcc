#include "gui/about_dlg.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <system_error>
#include <thread>

#include "app/connection/reader_client.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "gui/bitmap_static.h"
#include "gui/dialog_support.h"
#include "gui/texts.h"
#include "gui/wait_cursor.h"
#include "update/https_client.h"
#include "update/version_rules.h"

namespace stampwise::gui {
namespace {

// The maker's texts.
const char kMakerName[] = "Stampwise Werkstatt";
const char kMakerStreet[] = "Werkstattweg 1";
const char kMakerTown[] = "00000 Musterstadt";
const char kMakerPhone[] = "Tel. +00 000 000000 · Fax +00 000 000001";
const char kCopyright[] = "Copyright © 2026 Stampwise Werkstatt";
const char kMakerWeb[] = "https://www.stampwise.example/";
const char kMakerMail[] = "mailto:info@stampwise.example";

const QColor kLinkBlue(0, 0, 255);
const QColor kGrey(128, 128, 128);
const QColor kRed(255, 0, 0);
const QColor kDarkRed(192, 0, 0);

}  // namespace

CAboutDlg::CAboutDlg(Settings& settings, update::UpdateChecks& checks, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      checks_(checks),
      boxes_(boxes),
      startInstaller_(update::StartInstaller),
      updateFlag_(settings_.ReadUpdateCheck()) {
  setObjectName(QStringLiteral("CAboutDlg"));
  setWindowTitle(Caption("Info über QL-MKV Stampwise"));
  BuildControls();

  const QFont dialogFont = font();
  QFont linkFont = dialogFont;
  linkFont.setUnderline(true);
  for (CLabel* link : {web_, mail_}) {
    link->SetFont(linkFont);
    link->SetTextColor(kLinkBlue);
    link->SetLinkCursor(QCursor(Qt::PointingHandCursor));
    link->SetLink(true);
  }
  for (CLabel* line : {softwareLine_, deviceLine_}) {
    line->SetFontName(dialogFont.family());
    if (dialogFont.pixelSize() > 0) line->SetFontSize(dialogFont.pixelSize());
    line->SetFontItalic(true);
    line->SetTextColor(kGrey);
    line->SetLink(false);
  }
  title_->setText(Caption("QL-MKV Stampwise V") + QLatin1Char(' ') + FromUtf8(update::GetOwnVersion()) +
                  QStringLiteral(" (") + FromUtf8(update::GetOwnBuildDate()) + QLatin1Char(')'));
  sdkVersion_->setText(FromUtf8(
      FormatText("SDK Version %d.%02d", {ReaderClient::LibraryVersion() / 100, ReaderClient::LibraryVersion() % 100})));
  updateCheckBox_->setChecked(updateFlag_);

  connect(softwareLine_, &CLabel::clicked, this, [this] { OnStatusClicked(softwareLine_, checks_.software); });
  connect(deviceLine_, &CLabel::clicked, this, [this] { OnStatusClicked(deviceLine_, checks_.device); });
  connect(ok_, &QPushButton::clicked, this, &CAboutDlg::OnOk);

  // The worker thread only posts; the refresh runs here. Once the box goes,
  // its registration is withdrawn, and a refresh still queued goes with it.
  checks_.software.StartCheck(this, [this] {
    QMetaObject::invokeMethod(
        this, [this] { Refresh(); }, Qt::QueuedConnection);
  });
}

CAboutDlg::~CAboutDlg() { checks_.software.Withdraw(this); }

void CAboutDlg::BuildControls() {
  auto* logo = Named(new CBitmapStatic(StampwiseLogo(), this), 102);
  title_ = Named(new QLabel(this), 101);
  sdkVersion_ = Named(new QLabel(this), 1012);
  softwareLine_ = Named(new CLabel(this), 105);
  softwareLine_->SetText(Caption("Nach Update suchen"));
  deviceLine_ = Named(new CLabel(this), 106);
  deviceLine_->SetText(Caption("Gerät"));
  updateCheckBox_ = Named(new QCheckBox(Caption("automatisch auf neue Version prüfen"), this), 1058);
  web_ = Named(new CLabel(this), 104);
  web_->SetText(QString::fromLatin1(kMakerWeb));
  mail_ = Named(new CLabel(this), 103);
  mail_->SetText(QString::fromLatin1(kMakerMail));
  ok_ = Named(new QPushButton(QStringLiteral("OK"), this), 1);
  ok_->setDefault(true);

  auto* maker = new QVBoxLayout;
  maker->addWidget(title_);
  maker->addWidget(sdkVersion_);
  maker->addSpacing(6);
  for (const char* line : {kMakerName, kMakerStreet, kMakerTown, kMakerPhone}) {
    maker->addWidget(new QLabel(QString::fromUtf8(line), this));
  }
  maker->addWidget(web_);
  maker->addWidget(mail_);
  maker->addSpacing(6);
  maker->addWidget(new QLabel(QString::fromUtf8(kCopyright), this));

  auto* top = new QHBoxLayout;
  top->addWidget(logo, 0, Qt::AlignTop);
  top->addSpacing(10);
  top->addLayout(maker, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(updateCheckBox_);
  buttons->addStretch(1);
  buttons->addWidget(ok_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addWidget(softwareLine_);
  layout->addWidget(deviceLine_);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CAboutDlg::ShowLine(CLabel* label, const update::StatusLine& line) {
  label->SetText(FromUtf8(line.text));
  switch (line.kind) {
    case update::LineKind::kNewer:
      label->SetTextColor(kDarkRed);
      label->SetLinkCursor(QCursor(Qt::PointingHandCursor));
      label->SetLink(true);
      break;
    case update::LineKind::kNoUpdate:
      label->SetTextColor(kRed);
      label->SetLinkCursor(std::nullopt);
      label->SetLink(false);
      break;
    case update::LineKind::kCurrent:
      label->SetTextColor(kGrey);
      label->SetLinkCursor(std::nullopt);
      label->SetLink(false);
      break;
  }
}

void CAboutDlg::Refresh() {
  ShowLine(softwareLine_, update::SoftwareLine(checks_.software));
  ShowLine(deviceLine_, update::DeviceLine(checks_.device));
}

void CAboutDlg::OnStatusClicked(CLabel* label, update::CUpdateCheck& check) {
  const QString kept = label->text();
  label->SetText(msg::kUpdateStarting);
  const std::string address = check.GetInstaller();
  std::string path = update::InstallerPath(address, {});
  {
    WaitCursor busy;
    if (!path.empty() && !Download(address, path)) path.clear();
  }
  if (!path.empty()) {
    const update::InstallerStart started = startInstaller_(path);
    if (started.started) {
      exitRequested_ = true;
      OnOk();
      return;
    }
    boxes_.Warning(this, FromUtf8(started.message));
  }
  label->SetText(kept);
}

bool CAboutDlg::Download(const std::string& address, const std::string& path) {
  bool ok = false;
  QEventLoop loop;
  cancelDownload_ = false;
  const NestedWait::Turn turn(download_);
  try {
    std::thread worker([&] {
      ok = update::DownloadToFile(address, path, update::kInstallerLimits, &cancelDownload_).ok;
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Paints, but no clicks or keys reach the windows until it is done.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
  } catch (const std::system_error&) {
    ok = false;
  }
  return ok;
}

void CAboutDlg::reject() {
  if (download_.Busy()) {
    cancelDownload_ = true;
    return;
  }
  QDialog::reject();
}

void CAboutDlg::OnOk() {
  updateFlag_ = updateCheckBox_->isChecked();
  settings_.WriteUpdateCheck(updateFlag_);
  accept();
}

}  // namespace stampwise::gui

#include "gui/station_panel.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QTime>

#include "app/station/station_worker.h"
#include "app/store/settings.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "gui/texts.h"
#include "plc/modbus_station.h"

namespace stampwise::gui {
namespace {

// The address is kept in a section of its own; the station always starts off.
constexpr const char* kSection = "Station";
constexpr const char* kAddressKey = "Modbus";

}  // namespace

StationPanel::StationPanel(TagWriter& writer, Settings& settings, QWidget* parent)
    : QWidget(parent),
      writer_(writer),
      settings_(settings),
      on_(new QCheckBox(Caption("PLC-Station (Modbus TCP):"))),
      address_(new QLineEdit) {
  on_->setObjectName(QStringLiteral("stationOn"));
  address_->setObjectName(QStringLiteral("stationAddress"));
  address_->setText(FromUtf8(settings_.ReadString(kSection, kAddressKey, plc::ListenAddress{}.Text())));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(on_);
  row->addWidget(address_, 1);
  connect(on_, &QCheckBox::toggled, this, [this](bool on) {
    if (!SetOn(on)) on_->setChecked(false);
  });
  resume_.setSingleShot(true);
  resume_.setInterval(static_cast<int>(StationWorker::kResumePause.count()));
  connect(&resume_, &QTimer::timeout, this, &StationPanel::ResumeRequested);
}

StationPanel::~StationPanel() { Stop(); }

bool StationPanel::SetOn(bool on) {
  if (!on || IsOn()) {
    if (!on) Stop();
    address_->setEnabled(!IsOn());
    emit StatusChanged(StatusText());
    return true;
  }
  const std::string text = ToUtf8(address_->text().trimmed());
  const std::optional<plc::ListenAddress> address = plc::ParseListenAddress(text);
  if (!address) {
    QMessageBox::warning(this, windowTitle(), FromUtf8(FormatString(msg::kStationBadAddress, {text})));
    return false;
  }
  // Triggers come on the server's thread; the window runs them on its own.
  station_ = std::make_unique<Station>(writer_, [this] {
    QMetaObject::invokeMethod(
        this, [this] { emit AttemptRequested(); }, Qt::QueuedConnection);
  });
  station_->SetReady(ready_, true);
  server_ = std::make_unique<plc::ModbusStation>(*station_);
  if (const std::optional<std::string> failure = server_->Listen(*address)) {
    server_.reset();
    station_.reset();
    QMessageBox::warning(this, windowTitle(),
                         FromUtf8(FormatString(msg::kStationListenFailed, {address->Text(), *failure})));
    return false;
  }
  settings_.WriteString(kSection, kAddressKey, text);
  server_->OnClients([this](int clients) {
    QMetaObject::invokeMethod(
        this, [this, clients] { ClientsChanged(clients); }, Qt::QueuedConnection);
  });
  stopFd_ = ::eventfd(0, EFD_CLOEXEC);
  serving_ = std::thread([this] { server_->Serve(stopFd_); });
  address_->setEnabled(false);
  emit StatusChanged(StatusText());
  return true;
}

void StationPanel::Stop() {
  if (serving_.joinable()) {
    const std::uint64_t one = 1;
    // An eventfd only fails to count past 2^64 - 2.
    [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
    serving_.join();
    ::close(stopFd_);
    stopFd_ = -1;
  }
  resume_.stop();
  server_.reset();
  station_.reset();
  clients_ = 0;
  lastTrigger_.clear();
}

std::optional<plc::ListenAddress> StationPanel::Listening() const {
  if (!server_) return std::nullopt;
  return server_->Bound();
}

void StationPanel::SetReady(bool ready) {
  ready_ = ready;
  if (station_) station_->SetReady(ready, true);
}

void StationPanel::RunAttempt(bool jobValid) {
  if (!station_) return;  // switched off since the trigger came
  station_->SetReady(ready_, jobValid);
  station_->RunAttempt();
  station_->SetReady(ready_, true);
  if (station_->Waiting()) resume_.start();
  const bool passed = station_->LastOutcome() == station::Outcome::kWritten;
  lastTrigger_ = FromUtf8(
      FormatString(msg::kStationLastTrigger, {ToUtf8(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))),
                                              LoadString(passed ? msg::kStationPassed : msg::kStationRejected)}));
  emit StatusChanged(StatusText());
}

void StationPanel::Resume() {
  if (station_ && station_->Resume()) resume_.start();
}

void StationPanel::Note(const TagEvent& event) {
  if (station_) station_->Note(event);
}

void StationPanel::ClientsChanged(int clients) {
  clients_ = clients;
  emit StatusChanged(StatusText());
}

QString StationPanel::StatusText() const {
  if (!IsOn()) return {};
  QString text = TableText(clients_ > 0 ? msg::kPlcConnected : msg::kPlcNotConnected);
  if (!lastTrigger_.isEmpty()) text += QStringLiteral(" · ") + lastTrigger_;
  return text;
}

}  // namespace stampwise::gui

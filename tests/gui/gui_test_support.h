// Shared pieces of the GUI tests: recorded message boxes, a private settings
// file per test, and finding controls by their "id<number>" names.
#pragma once

#include <stdlib.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "app/base/paths.h"
#include "app/store/settings.h"
#include "gui/message_boxes.h"
#include "tests/app/temp_folder.h"

namespace stampwise::gui::testing {

// How long a test waits for the simulated reader before it fails: a guard
// against a hang, never a measure of speed.
inline constexpr int kSimWaitMs = 30000;

struct ShownBox {
  std::string kind;
  std::string text;
};

class RecordingBoxes : public MessageBoxes {
 public:
  void Information(QWidget*, const QString& text) override { Record("information", text); }
  void Warning(QWidget*, const QString& text) override { Record("warning", text); }
  bool Question(QWidget*, const QString& text) override {
    Record("question", text);
    return answerYes;
  }
  void About(QWidget*, const QString&, const QString& text) override { Record("about", text); }
  bool RetryCancel(QWidget*, const QString&, const QString& text) override {
    Record("retry", text);
    return retries-- > 0;
  }

  std::vector<ShownBox> shown;
  bool answerYes = false;
  int retries = 0;  // Retry answers before the first Cancel

 private:
  void Record(const char* kind, const QString& text) { shown.push_back({kind, text.toStdString()}); }
};

// A settings file of its own for each test, named through the environment so
// that every Settings object of the program under test uses it.
class PrivateSettings {
 public:
  PrivateSettings() {
    setenv(kSettingsFileVariable, File().c_str(), 1);
    Settings settings;
    settings.WriteString(section::kLog, "LogFileNameSchreiben", folder_.File("Protokoll_S.txt"));
    settings.WriteString(section::kLog, "LogFileNameLesen", folder_.File("Protokoll_L.txt"));
  }
  ~PrivateSettings() { unsetenv(kSettingsFileVariable); }
  PrivateSettings(const PrivateSettings&) = delete;
  PrivateSettings& operator=(const PrivateSettings&) = delete;

  std::string File() const { return folder_.File("QL-MKV Stampwise.ini"); }
  void SetPort(const std::string& name) { Settings().WriteString(section::kPort, "Name", name); }

 private:
  stampwise::testing::TempFolder folder_;
  stampwise::testing::PrivateLedger ledger_{folder_};
};

template <typename Widget = QWidget>
Widget* Control(const QWidget& parent, int id) {
  return parent.findChild<Widget*>(QStringLiteral("id%1").arg(id));
}

}  // namespace stampwise::gui::testing

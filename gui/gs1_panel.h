// The GS1 EPC panel of the main window: scheme, filter, company prefix
// digits, identifier and next serial, with the encoding and the tag URI they
// give shown before anything is written. The checks are those of app/gs1_job.
#pragma once

#include <QGroupBox>

#include "app/base/result.h"
#include "app/gs1/gs1_job.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace stampwise::gui {

class CGs1Panel : public QGroupBox {
  Q_OBJECT

 public:
  explicit CGs1Panel(QWidget* parent = nullptr);

  void SetInputs(const Gs1Inputs& inputs);
  Gs1Inputs Inputs() const;
  void SetIncrement(bool on);
  bool Increment() const;

  // The tag EPC of the inputs, or the message naming the input that is wrong.
  Result<gs1::TagEpc> Check() const;
  // The input a failure of Check names (its controlId).
  QWidget* Field(int controlId) const;

  // The job moved on: the inputs show the next tag's URI.
  void ShowNextUri(const std::string& uri);

 private:
  void Refresh();

  QComboBox* scheme_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QLineEdit* companyDigits_ = nullptr;
  QLineEdit* identifier_ = nullptr;
  QLineEdit* serial_ = nullptr;
  QCheckBox* increment_ = nullptr;
  QLabel* hex_ = nullptr;
  QLabel* uri_ = nullptr;
};

}  // namespace stampwise::gui

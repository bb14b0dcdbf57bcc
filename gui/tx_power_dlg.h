// "Sendeleistung einstellen": reads and sets the reader's RF transmit power
// (13..27 dBm, tenths of a dBm on the wire) for one open connection.
#pragma once

#include <QDialog>

#include "app/connection/reader_client.h"
#include "gui/message_boxes.h"

class QComboBox;

namespace stampwise::gui {

// List index 0..14 <-> power in tenths of a dBm (13.0 .. 27.0 dBm).
inline int PowerIndexFromValue(int tenthsDbm) { return WholeDbm(tenthsDbm) - kMinTxPowerDbm; }
inline int PowerValueFromIndex(int index) { return TenthsOfDbm(index + kMinTxPowerDbm); }

class CTXPowerDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kEntries = kMaxTxPowerDbm - kMinTxPowerDbm + 1;

  CTXPowerDlg(const ReaderClient& reader, MessageBoxes& boxes, QWidget* parent = nullptr);

  // "Lesen": selects the reader's power; a failure leaves the list as it is.
  void ReadPower();
  // "Schreiben": stores the selected power in the reader (message 121 on failure).
  void WritePower();

 private:
  const ReaderClient& reader_;
  MessageBoxes& boxes_;
  QComboBox* power_ = nullptr;  // 1034
};

}  // namespace stampwise::gui

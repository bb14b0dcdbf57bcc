// "Liste aller gefundenen IP-Adressen": every LAN module that answers the
// discovery, readers of this family in the list's colours and any other
// module red and in italics. "IP-Adresse ändern" opens the LAN settings of
// the selected module; closing on a reader hands its entry to the caller.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "app/connection/lan_setup.h"
#include "gui/message_boxes.h"

class QListWidget;
class QPushButton;

namespace stampwise::gui {

class CIPAddrSuche : public QDialog {
  Q_OBJECT

 public:
  explicit CIPAddrSuche(MessageBoxes& boxes, QWidget* parent = nullptr);

  // The reader entry selected when the dialog closed; empty otherwise.
  const std::string& Result() const { return result_; }
  const std::vector<FoundModule>& Entries() const { return entries_; }
  // Searches and shows what answered; with nothing found, asks whether to
  // search again and closes the dialog when the operator cancels.
  void FillList();

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowEntries();
  int SelectedRow() const;
  void OnChangeAddress();

  MessageBoxes& boxes_;
  std::vector<FoundModule> entries_;
  std::string result_;
  bool filledOnce_ = false;

  QListWidget* list_ = nullptr;    // 1128
  QPushButton* change_ = nullptr;  // 1 "IP-Adresse ändern"
  QPushButton* close_ = nullptr;   // 2 "Schliessen"
};

}  // namespace stampwise::gui

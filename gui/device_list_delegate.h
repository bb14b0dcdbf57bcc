// Draws a device list entry as it is and, in a quieter colour after it, the
// stable name of its device (/dev/serial/by-id/...) when it has one. The
// entry's text stays the list entry, so selection and storage are unchanged.
#pragma once

#include <QStyledItemDelegate>

namespace stampwise::gui {

class DeviceListDelegate : public QStyledItemDelegate {
 public:
  // The item data role that holds the stable name.
  static constexpr int kStableNameRole = Qt::UserRole + 1;

  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  static constexpr int kGap = 16;
};

}  // namespace stampwise::gui

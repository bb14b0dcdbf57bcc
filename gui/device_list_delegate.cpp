#include "gui/device_list_delegate.h"

#include <QPainter>

namespace stampwise::gui {

void DeviceListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  const QString stable = index.data(kStableNameRole).toString();
  if (stable.isEmpty()) return;
  const QString text = index.data(Qt::DisplayRole).toString();
  QRect area = option.rect;
  area.setLeft(area.left() + option.fontMetrics.horizontalAdvance(text) + kGap);
  const bool selected = (option.state & QStyle::State_Selected) != 0;
  painter->save();
  painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
  painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("(%1)").arg(stable));
  painter->restore();
}

QSize DeviceListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  const QString stable = index.data(kStableNameRole).toString();
  if (!stable.isEmpty())
    size.rwidth() += kGap + option.fontMetrics.horizontalAdvance(QStringLiteral("(%1)").arg(stable));
  return size;
}

}  // namespace stampwise::gui

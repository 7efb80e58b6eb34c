#include "camitemdelegate.h"

#include <QPainter>
#include <QPainterPath>

CamItemDelegate::CamItemDelegate(QObject *parent) : QStyledItemDelegate(parent)
{
    m_toolhelper.SettingAllSets();
}

void CamItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(option.rect).adjusted(1, 1, -1, -1);
    const qreal radius = 6;
    // Rounded corners drawn as quadratic curves.
    QPainterPath path;
    path.moveTo(r.left() + radius, r.top());
    path.lineTo(r.right() - radius, r.top());
    path.quadTo(r.topRight(), QPointF(r.right(), r.top() + radius));
    path.lineTo(r.right(), r.bottom() - radius);
    path.quadTo(r.bottomRight(), QPointF(r.right() - radius, r.bottom()));
    path.lineTo(r.left() + radius, r.bottom());
    path.quadTo(r.bottomLeft(), QPointF(r.left(), r.bottom() - radius));
    path.lineTo(r.left(), r.top() + radius);
    path.quadTo(r.topLeft(), QPointF(r.left() + radius, r.top()));
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillPath(path, selected ? m_toolhelper.cameraitemselectcolor : m_toolhelper.cameraitemcolor);
    if (selected)
        painter->strokePath(path, QPen(m_toolhelper.drawCropcolor, 1.5));
    painter->restore();
    // The picture itself is the item's widget; the standard painting adds focus and hover.
    QStyleOptionViewItem plain = option;
    plain.state &= ~QStyle::State_Selected;
    QStyledItemDelegate::paint(painter, plain, index);
}

QSize CamItemDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return QSize(50, 40);
}

void CamItemDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                           const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}

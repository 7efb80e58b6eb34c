#include "mainitemdelegate.h"

#include "adfmain.h"
#include "threadadditem.h"

#include <QApplication>
#include <QPainter>

MainItemDelegate::MainItemDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

// A cell: its background, its picture or type icon in the image box, its name below.
void MainItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    if (!index.isValid())
        return;
    // The style paints the hover and selection background only (the base class would
    // take the icon and text from the index again).
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    background.features &= ~(QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration);
    const QWidget *view = option.widget;
    QStyle *style = view ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, view);

    const QRect imageBox(option.rect.x() + 10, option.rect.y() + 8, ItemWidgetWidth, g_ItemHeight - 40);
    const QPixmap picture = index.data(Qt::DecorationRole).value<QPixmap>();
    if (!picture.isNull()) {
        // A picture's frame may stand out of the box by its width.
        const QSize size = picture.size().boundedTo(imageBox.size() + QSize(2, 2));
        QRect target(QPoint(), size);
        target.moveCenter(imageBox.center());
        painter->drawPixmap(target, picture);
    }
    static const QFont font = [] {
        QFont f("SourceHanSansSC-Normal,SourceHanSansSC");
        f.setPixelSize(10);
        return f;
    }();
    painter->setFont(font);
    painter->setPen(option.palette.color(QPalette::Text));
    const QRect textBox(imageBox.x(), imageBox.bottom() + 3, ItemWidgetWidth, 20);
    painter->drawText(textBox, Qt::AlignCenter,
                      ThreadAddItem::elidedName(index.data(ItemNameRole).toString()));
}

QSize MainItemDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return QSize(g_ItemWidth, g_ItemHeight);
}

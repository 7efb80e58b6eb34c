#include "mainitemdelegate.h"

#include "adfmain.h"
#include "threadadditem.h"

#include <QApplication>
#include <QPainter>

MainItemDelegate::MainItemDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

// Picture cells are widgets of their own; an icon cell is painted here: the cell's
// background, its type icon in the image box and its name below.
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
    if (index.data(ItemReplacedRole).toString() == "1")
        return;

    const QRect imageBox(option.rect.x() + 10, option.rect.y() + 8, ItemWidgetWidth, g_ItemHeight - 40);
    const QPixmap icon = index.data(Qt::DecorationRole).value<QPixmap>();
    if (!icon.isNull()) {
        const QSize size = icon.size().boundedTo(imageBox.size());
        QRect target(QPoint(), size);
        target.moveCenter(imageBox.center());
        painter->drawPixmap(target, icon);
    }
    QFont font("SourceHanSansSC-Normal,SourceHanSansSC");
    font.setPixelSize(10);
    painter->setFont(font);
    painter->setPen(option.palette.color(QPalette::Text));
    const QRect textBox(imageBox.x(), imageBox.bottom() + 3, ItemWidgetWidth, 20);
    painter->drawText(textBox, Qt::AlignCenter,
                      ThreadAddItem::elidedName(index.data(ItemNameRole).toString()));
}

void MainItemDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                            const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}

QSize MainItemDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return QSize(g_ItemWidth, g_ItemHeight);
}

#include "mainitemdelegate.h"

#include "adfmain.h"

MainItemDelegate::MainItemDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

void MainItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    if (index.isValid())
        QStyledItemDelegate::paint(painter, option, index);
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

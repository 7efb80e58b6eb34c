// Paints the cells of the thumbnail list and gives every cell the same size.
#ifndef MAINITEMDELEGATE_H
#define MAINITEMDELEGATE_H

#include <QStyledItemDelegate>

class MainItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit MainItemDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

#endif // MAINITEMDELEGATE_H

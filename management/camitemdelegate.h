// Cells of the camera window's strip of captured pictures: a rounded card in the
// theme's item colour, highlighted when selected.
#ifndef CAMITEMDELEGATE_H
#define CAMITEMDELEGATE_H

#include "ctoolhelper.h"

#include <QStyledItemDelegate>

class CamItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit CamItemDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

private:
    CToolHelper m_toolhelper;
};

#endif // CAMITEMDELEGATE_H

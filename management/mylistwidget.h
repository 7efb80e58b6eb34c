// The thumbnail list of the home window: a QListWidget that reports where its
// vertical scroll bar stands, so the owner can load more cells as the user scrolls.
#ifndef MYLISTWIDGET_H
#define MYLISTWIDGET_H

#include <QListWidget>

class QScrollBar;

class MyListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit MyListWidget(QWidget *parent = nullptr);

    QScrollBar *m_scrollbar;

signals:
    void reachedBottom();
    void msliderChanged(int value);

private slots:
    void onSliderChanged(int value);
};

#endif // MYLISTWIDGET_H

#include "mylistwidget.h"

#include <QScrollBar>

MyListWidget::MyListWidget(QWidget *parent) : QListWidget(parent), m_scrollbar(verticalScrollBar())
{
    connect(m_scrollbar, SIGNAL(valueChanged(int)), this, SLOT(onSliderChanged(int)));
}

void MyListWidget::onSliderChanged(int value)
{
    qWarning("MyListWidget::onSliderChanged()  -- %d", value);
    if (value == m_scrollbar->maximum())
        emit reachedBottom();
    emit msliderChanged(value);
}

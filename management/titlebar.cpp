#include "titlebar.h"

#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

TitleBar::TitleBar(QWidget *parent)
    : QWidget(parent), m_colorR(153), m_colorG(153), m_colorB(153), m_isPressed(false),
      m_buttonType(MIN_MAX_BUTTON), m_windowBorderWidth(0), m_isTransparent(true)
{
    initControl();
    initConnections();
}

void TitleBar::initControl()
{
    m_pIcon = new QLabel(this);
    m_pTitleContent = new QLabel(this);
    m_pButtonMin = new QPushButton(this);
    m_pButtonRestore = new QPushButton(this);
    m_pButtonMax = new QPushButton(this);
    m_pButtonClose = new QPushButton(this);
    m_pButtonSet = new QPushButton(this);
    m_comboSelect = new QComboBox(this);
    m_pButtonfunction = new QPushButton(this);
    m_label = new QLabel(this);
    m_capture = new QPushButton(this);
    m_scan = new QPushButton(this);
    m_list = new QPushButton(this);

    m_pIcon->setFixedSize(16, 16);
    m_pButtonClose->setFixedSize(36, 30);

    m_pTitleContent->setObjectName("TitleContent");
    m_pButtonMin->setObjectName("ButtonMin");
    m_pButtonRestore->setObjectName("ButtonRestore");
    m_pButtonMax->setObjectName("ButtonMax");
    m_pButtonClose->setObjectName("ButtonClose");
    m_pButtonSet->setObjectName("ButtonSet");
    m_pButtonfunction->setObjectName("ButtonFunction");

    // Clicking a title button must not leave a focus frame on it.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setFocusPolicy(Qt::NoFocus);

    QHBoxLayout *layout = new QHBoxLayout(this);
    layout->setObjectName("titleLayout");
    layout->addWidget(m_pIcon);
    layout->addWidget(m_pTitleContent);
    layout->addSpacing(100);
    layout->addStretch();
    layout->addWidget(m_comboSelect);
    layout->addWidget(m_capture);
    layout->addWidget(m_scan);
    layout->addWidget(m_label);
    layout->addStretch();
    layout->addWidget(m_list);
    layout->addStretch();
    layout->addWidget(m_pButtonfunction);
    layout->addWidget(m_pButtonSet);
    layout->addWidget(m_pButtonMin);
    layout->addWidget(m_pButtonRestore);
    layout->addWidget(m_pButtonMax);
    layout->addWidget(m_pButtonClose);
    layout->setContentsMargins(16, 0, 17, 0);

    setFixedHeight(40);
}

void TitleBar::initConnections()
{
    connect(m_pButtonMin, SIGNAL(clicked()), this, SLOT(onButtonMinClicked()));
    connect(m_pButtonRestore, SIGNAL(clicked()), this, SLOT(onButtonRestoreClicked()));
    connect(m_pButtonMax, SIGNAL(clicked()), this, SLOT(onButtonMaxClicked()));
    connect(m_pButtonClose, SIGNAL(clicked()), this, SLOT(onButtonCloseClicked()));
    connect(m_pButtonSet, SIGNAL(clicked()), this, SLOT(onButtonSetClicked()));
    connect(m_pButtonfunction, SIGNAL(clicked()), this, SLOT(onButtonFunctionClicked()));
}

void TitleBar::setBackgroundColor(int r, int g, int b, bool isTransparent)
{
    m_colorR = r;
    m_colorG = g;
    m_colorB = b;
    m_isTransparent = isTransparent;
    update();
}

void TitleBar::setTitleIcon(QString path, QSize size)
{
    // Vector images are rendered at the target size rather than blown up.
    QImageReader reader(path);
    if (reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(size);
    QPixmap icon = QPixmap::fromImage(reader.read());
    m_pIcon->setPixmap(icon.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

void TitleBar::setTitleContent(QString text, int fontSize)
{
    QFont font("Microsoft YaHei");
    font.setWeight(QFont::Bold);
    font.setPointSize(fontSize);
    m_pTitleContent->setFont(font);
    QPalette palette = m_pTitleContent->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    m_pTitleContent->setPalette(palette);
    m_pTitleContent->setText(text);
    m_titleContent = text;
}

void TitleBar::setTitleWidth(int width)
{
    setFixedWidth(width);
}

void TitleBar::setButtonType(TitleButtonType type)
{
    m_buttonType = type;
    switch (type) {
    case MIN_BUTTON:
        m_pButtonRestore->setVisible(false);
        m_pButtonMax->setVisible(false);
        break;
    case MIN_MAX_BUTTON:
        m_pButtonRestore->setVisible(false);
        break;
    case ONLY_CLOSE_BUTTON:
        for (QWidget *w :
             std::initializer_list<QWidget *>{m_pButtonMin, m_pButtonRestore, m_pButtonMax, m_pButtonSet,
                                              m_pButtonfunction, m_comboSelect, m_list, m_capture, m_scan})
            w->setVisible(false);
        break;
    }
}

void TitleBar::setTitleRoll()
{
    connect(&m_titleRollTimer, SIGNAL(timeout()), this, SLOT(onRollTitle()));
    m_titleRollTimer.start(200);
}

void TitleBar::setWindowBorderWidth(int width)
{
    m_windowBorderWidth = width;
}

void TitleBar::saveRestoreInfo(QPoint pos, QSize size)
{
    m_restorePos = pos;
    m_restoreSize = size;
}

void TitleBar::getRestoreInfo(QPoint &pos, QSize &size)
{
    pos = m_restorePos;
    size = m_restoreSize;
}

void TitleBar::loadStyleSheet(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    setStyleSheet(styleSheet() + QString::fromLatin1(file.readAll()));
}

void TitleBar::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!m_isTransparent) {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 0, 0);
        painter.fillPath(path, QBrush(QColor(m_colorR, m_colorG, m_colorB, 255)));
    }
    painter.setPen(QPen(QColor(227, 227, 227), 1, Qt::SolidLine));
    painter.drawLine(0, height(), width(), height());

    // Follow the window when it is resized.
    if (QWidget *parent = parentWidget()) {
        int wanted = parent->width() - m_windowBorderWidth;
        if (width() != wanted)
            setFixedWidth(wanted);
    }
    QWidget::paintEvent(event);
}

void TitleBar::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_buttonType == MIN_MAX_BUTTON) {
        if (m_pButtonMax->isVisible())
            onButtonMaxClicked();
        else
            onButtonRestoreClicked();
    }
    QWidget::mouseDoubleClickEvent(event);
}

void TitleBar::mousePressEvent(QMouseEvent *event)
{
    // A maximised window stays where it is.
    if (m_buttonType != MIN_MAX_BUTTON || m_pButtonMax->isVisible()) {
        m_isPressed = true;
        m_startMovePos = event->globalPos();
    }
    QWidget::mousePressEvent(event);
}

void TitleBar::mouseMoveEvent(QMouseEvent *event)
{
    if (m_isPressed) {
        QPoint movePoint = event->globalPos() - m_startMovePos;
        m_startMovePos = event->globalPos();
        if (QWidget *parent = parentWidget())
            parent->move(parent->pos() + movePoint);
    }
    QWidget::mouseMoveEvent(event);
}

void TitleBar::mouseReleaseEvent(QMouseEvent *event)
{
    m_isPressed = false;
    QWidget::mouseReleaseEvent(event);
}

void TitleBar::onButtonMinClicked()
{
    emit signalButtonMinClicked();
}

void TitleBar::onButtonRestoreClicked()
{
    m_pButtonRestore->setVisible(false);
    m_pButtonMax->setVisible(true);
    emit signalButtonRestoreClicked();
}

void TitleBar::onButtonMaxClicked()
{
    m_pButtonMax->setVisible(false);
    m_pButtonRestore->setVisible(true);
    emit signalButtonMaxClicked();
}

void TitleBar::onButtonCloseClicked()
{
    emit signalButtonCloseClicked();
}

void TitleBar::onButtonSetClicked()
{
    emit signalButtonSetClicked();
}

void TitleBar::onButtonFunctionClicked()
{
    emit signalButtonFunctionClicked();
}

void TitleBar::onRollTitle()
{
    // One position for every bar: the program rolls at most one title at a time.
    static int nPos = 0;
    if (nPos > m_titleContent.length())
        nPos = 0;
    m_pTitleContent->setText(m_titleContent.mid(nPos));
    nPos++;
}

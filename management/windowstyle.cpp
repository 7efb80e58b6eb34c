#include "windowstyle.h"

#include "ctoolhelper.h"
#include "titlebar.h"

#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

namespace WindowStyle {

QString rgb(const QColor &c)
{
    return QString("%1,%2,%3").arg(c.red()).arg(c.green()).arg(c.blue());
}

namespace {
// Normal, hover and pressed looks of a button drawn by its images.
QString imageButton(const QString (&images)[3], const int (&colors)[3][3], int radius)
{
    const char *selectors[3] = {"", ":hover", ":pressed"};
    QStringList states;
    for (int i = 0; i < 3; ++i)
        states << QString("QPushButton%1{border-image: url(%2);background: rgb(%3,%4,%5);border-radius:%6px;"
                          "outline:none;}")
                      .arg(selectors[i], images[i])
                      .arg(colors[i][0])
                      .arg(colors[i][1])
                      .arg(colors[i][2])
                      .arg(radius);
    return QString("%1\n%2\n%3").arg(states[0], states[1], states[2]);
}
} // namespace

QString titleButton(const CToolHelper &t, const QString &normal, const QString &hover, const QString &pressed)
{
    const int colors[3][3] = {{t.title_normal_R, t.title_normal_G, t.title_normal_B},
                              {t.title_hovor_R, t.title_hovor_G, t.title_hovor_B},
                              {t.title_pressed_R, t.title_pressed_G, t.title_pressed_B}};
    return imageButton({normal, hover, pressed}, colors, 6);
}

QString toolButton(const CToolHelper &t, const QString &normal, const QString &hover, const QString &pressed)
{
    const int colors[3][3] = {{t.ui_normal_R, t.ui_normal_G, t.ui_normal_B},
                              {t.ui_hovor_R, t.ui_hovor_G, t.ui_hovor_B},
                              {t.ui_pressed_R, t.ui_pressed_G, t.ui_pressed_B}};
    return imageButton({normal, hover, pressed}, colors, 3);
}

QString textButton(const CToolHelper &t, int radius)
{
    // The theme's button colours are near the dialog background: a thin frame
    // in the line-edit colour keeps the button visible.
    const QString frame = QString("border:1px solid rgb(%1);").arg(rgb(t.lineeditBordercolor));
    auto state = [&](const char *selector, int r, int g, int b) {
        return QString("QPushButton%1{background: rgb(%2,%3,%4);border-radius:%5px;outline:none;%6}")
            .arg(selector)
            .arg(r)
            .arg(g)
            .arg(b)
            .arg(radius)
            .arg(frame);
    };
    return QString("%1\n%2\n%3")
        .arg(state("", t.ui_normal_R, t.ui_normal_G, t.ui_normal_B),
             state(":hover", t.ui_hovor_R, t.ui_hovor_G, t.ui_hovor_B),
             state(":pressed", t.ui_pressed_R, t.ui_pressed_G, t.ui_pressed_B));
}

QString lineEdit(const CToolHelper &t)
{
    return QString("QLineEdit{border:1px solid rgb(%1);border-radius:6px;background:transparent;}")
        .arg(rgb(t.lineeditBordercolor));
}

QString radioButton(const CToolHelper &t)
{
    return QString("QRadioButton::indicator:checked {background-color: rgb(%1);border:3px solid "
                   "rgb(%2);border-radius:7px;}")
        .arg(rgb(t.radiobuttonbackcolor), rgb(t.radiobuttonbordercolor));
}

QString comboBox(const CToolHelper &t)
{
    return QString("QComboBox{border:1px solid rgb(%1);border-radius:6px;background-color:rgb(%2);"
                   "color:rgb(%3);padding-left:6px;}"
                   "QComboBox:hover{background-color:rgb(%4);}"
                   "QComboBox::drop-down{width:24px;border:none;}QComboBox::down-arrow{image:url(%5);}"
                   "QComboBox QAbstractItemView{background:rgb(%6);border:1px solid rgb(%1);"
                   "selection-background-color:rgb(%7);selection-color:rgb(%8);color:rgb(%3);}")
        .arg(rgb(t.comboBoxbordercolor), rgb(t.comboBackcolor), rgb(t.comboBoxfontcolor),
             rgb(t.combohovercolor), t.comboBoxdownarrowpath, rgb(t.comboBoxBackcolor),
             rgb(t.comboBoxSelectcolor), rgb(t.comboBoxSelectfontcolor));
}

QString tabBar(const CToolHelper &t)
{
    const QColor &back = t.tabBackgroundcolor, &border = t.tabBordercolor, &select = t.tabSelectioncolor;
    return QString("QTabBar::tab{background-color:rgb(%1,%2,%3);min-width:150px;min-height:30px;border: 1px "
                   "solid rgb(%4,%5,%6);border-top-left-radius: 4px;border-top-right-radius: "
                   "4px;}QTabBar::tab:selected{background-color:rgb(%7,%8,%9);}QTabBar::tab:!selected{margin-"
                   "top:2px;}")
        .arg(back.red())
        .arg(back.green())
        .arg(back.blue())
        .arg(border.red())
        .arg(border.green())
        .arg(border.blue())
        .arg(select.red())
        .arg(select.green())
        .arg(select.blue());
}

void frameWindow(QMainWindow *window, const CToolHelper &t, QSize size, const QColor &background)
{
    window->resize(size);
    window->setMinimumSize(size);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->geometry();
        window->move((desk.width() - size.width()) / 2, (desk.height() - size.height()) / 2);
    }
    window->setWindowFlags(window->windowFlags() | Qt::FramelessWindowHint);
    QPalette pal = window->palette();
    pal.setColor(QPalette::Window, background);
    window->setPalette(pal);
    window->setAutoFillBackground(true);
    window->setWindowIcon(QIcon(t.uiiconpath));
    window->setWindowTitle(t.titlename);
}

TitleBar *closeOnlyTitleBar(QMainWindow *window, const CToolHelper &t, const QString &text, int closeIconSize,
                            const QString &closeTip)
{
    auto *bar = new TitleBar(window);
    bar->setTitleContent(text, 9);
    bar->setTitleWidth(window->width());
    bar->setBackgroundColor(t.title_background_R, t.title_background_G, t.title_background_B, false);
    bar->setButtonType(ONLY_CLOSE_BUTTON);
    QPushButton *close = bar->m_pButtonClose;
    close->setFixedSize(36, 30);
    close->setIconSize(QSize(closeIconSize, closeIconSize));
    close->setToolTip(closeTip);
    close->setStyleSheet(titleButton(t, t.closeiconpath, t.closeiconpath, t.closepressiconpath));
    return bar;
}

bool isMouseInput(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        return true;
    default:
        return false;
    }
}

} // namespace WindowStyle

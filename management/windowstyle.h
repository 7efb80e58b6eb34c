// Looks shared by the settings windows: style sheets filled with theme colours
// and the frameless frame every settings window starts from.
#ifndef WINDOWSTYLE_H
#define WINDOWSTYLE_H

#include <QColor>
#include <QSize>
#include <QString>

class CToolHelper;
class QEvent;
class QMainWindow;
class TitleBar;

namespace WindowStyle {

// "r,g,b" of an opaque colour, for the rgb(...) of a style sheet.
QString rgb(const QColor &c);

// A title-bar button drawn by its image on the theme's title colours.
QString titleButton(const CToolHelper &t, const QString &normal, const QString &hover,
                    const QString &pressed);
// An icon button of the home window's tool row, on the theme's button colours.
QString toolButton(const CToolHelper &t, const QString &normal, const QString &hover, const QString &pressed);
// A text button in the theme's button colours.
QString textButton(const CToolHelper &t, int radius);
QString lineEdit(const CToolHelper &t);
QString radioButton(const CToolHelper &t);
QString comboBox(const CToolHelper &t);
QString tabBar(const CToolHelper &t);

// Resizes (with the same minimum), centres on the desktop, makes the window
// frameless and fills it with the background colour; icon and title from the theme.
void frameWindow(QMainWindow *window, const CToolHelper &t, QSize size, const QColor &background);

// A close-only title bar across the top of a settings window.
TitleBar *closeOnlyTitleBar(QMainWindow *window, const CToolHelper &t, const QString &text, int closeIconSize,
                            const QString &closeTip);

// Presses, releases, double clicks and moves: what a window swallows while one of
// its settings windows is open.
bool isMouseInput(const QEvent *event);

} // namespace WindowStyle

#endif // WINDOWSTYLE_H

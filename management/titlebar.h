// The title bar every frameless window of the program carries: icon, title,
// window buttons and the tool buttons of the main windows. Buttons only emit
// signals; the owning window decides what they do. The bar itself only drags
// the window.
#ifndef TITLEBAR_H
#define TITLEBAR_H

#include <QPoint>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

enum TitleButtonType {
    MIN_BUTTON = 0,     // minimise and close
    MIN_MAX_BUTTON = 1, // minimise, maximise/restore and close
    ONLY_CLOSE_BUTTON = 2
};

class TitleBar : public QWidget
{
    Q_OBJECT

public:
    explicit TitleBar(QWidget *parent);

    void setBackgroundColor(int r, int g, int b, bool isTransparent);
    void setTitleIcon(QString path, QSize size);
    void setTitleContent(QString text, int fontSize);
    void setTitleWidth(int width);
    void setButtonType(TitleButtonType type);
    void setTitleRoll();
    void setWindowBorderWidth(int width);
    void saveRestoreInfo(QPoint pos, QSize size);
    void getRestoreInfo(QPoint &pos, QSize &size);
    void loadStyleSheet(const QString &fileName);

    // The windows style and connect these children themselves.
    QLabel *m_pIcon;
    QLabel *m_pTitleContent;
    QPushButton *m_pButtonMin;
    QPushButton *m_pButtonRestore;
    QPushButton *m_pButtonMax;
    QPushButton *m_pButtonClose;
    QPushButton *m_pButtonSet;
    QComboBox *m_comboSelect;
    QPushButton *m_pButtonfunction;
    QLabel *m_label;
    QPushButton *m_capture;
    QPushButton *m_scan;
    QPushButton *m_list;

signals:
    void signalButtonMinClicked();
    void signalButtonRestoreClicked();
    void signalButtonMaxClicked();
    void signalButtonCloseClicked();
    void signalButtonSetClicked();
    void signalButtonFunctionClicked();

public slots:
    void onButtonMinClicked();
    void onButtonRestoreClicked();
    void onButtonMaxClicked();
    void onButtonCloseClicked();
    void onButtonSetClicked();
    void onButtonFunctionClicked();
    void onRollTitle();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void initControl();
    void initConnections();

    int m_colorR;
    int m_colorG;
    int m_colorB;
    QPoint m_restorePos;
    QSize m_restoreSize;
    bool m_isPressed;
    QPoint m_startMovePos;
    QTimer m_titleRollTimer;
    QString m_titleContent;
    TitleButtonType m_buttonType;
    int m_windowBorderWidth;
    bool m_isTransparent;
};

#endif // TITLEBAR_H

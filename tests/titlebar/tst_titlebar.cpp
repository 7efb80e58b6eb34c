// The title bar offscreen: which buttons each type keeps, dragging the window,
// double click, maximise/restore, painting and the rolling title.
#include "titlebar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
// A shown frameless window with a bar across its top.
struct Window {
    explicit Window(TitleButtonType type)
    {
        widget.setWindowFlags(Qt::FramelessWindowHint);
        widget.resize(600, 400);
        widget.move(100, 100);
        bar = new TitleBar(&widget);
        bar->setButtonType(type);
        widget.show();
    }
    QWidget widget;
    TitleBar *bar;
};

void sendMouse(QWidget *target, QEvent::Type type, QPoint global)
{
    QMouseEvent event(type, target->mapFromGlobal(global), global, Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Press at a point of the bar, move by delta, release; returns how far the window went.
QPoint drag(Window &w, QPoint delta)
{
    const QPoint before = w.widget.pos();
    QPoint start = w.bar->mapToGlobal(QPoint(300, 20));
    sendMouse(w.bar, QEvent::MouseButtonPress, start);
    sendMouse(w.bar, QEvent::MouseMove, start + delta);
    sendMouse(w.bar, QEvent::MouseButtonRelease, start + delta);
    return w.widget.pos() - before;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

QImage paintedBar(TitleBar *bar)
{
    QImage image(bar->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // Only the bar's own painting: no background, no children.
    bar->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}
} // namespace

class TitleBarTest : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void buttonTypes_data();
    void buttonTypes();
    void buttonsEmitTheirSignals();
    void maximiseAndRestoreSwapButtons();
    void dragging();
    void doubleClick_data();
    void doubleClick();
    void painting();
    void widthFollowsParent();
    void titleContentAndIcon();
    void rollingTitle();
    void styleSheetFiles();
};

void TitleBarTest::construction()
{
    QWidget parent;
    TitleBar bar(&parent);
    QCOMPARE(bar.minimumHeight(), 40);
    QCOMPARE(bar.maximumHeight(), 40);
    QCOMPARE(bar.m_pIcon->size(), QSize(16, 16));
    QCOMPARE(bar.m_pButtonClose->minimumSize(), QSize(36, 30));
    QCOMPARE(bar.m_pButtonClose->maximumSize(), QSize(36, 30));
    QCOMPARE(bar.m_pTitleContent->objectName(), QString("TitleContent"));

    auto *layout = qobject_cast<QHBoxLayout *>(bar.layout());
    QVERIFY(layout);
    QCOMPARE(layout->objectName(), QString("titleLayout"));
    QCOMPARE(layout->contentsMargins(), QMargins(16, 0, 17, 0));
    // Left to right, with the fixed spacing and the stretches in between.
    QList<QWidget *> widgets;
    QStringList shape;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget()) {
            widgets << item->widget();
            shape << "w";
        } else if (item->spacerItem()) {
            shape << (item->spacerItem()->sizeHint().width() == 100 ? "100" : "stretch");
        }
    }
    QCOMPARE(shape.join(' '), QString("w w 100 stretch w w w w stretch w stretch w w w w w w"));
    QList<QWidget *> expected = {
        bar.m_pIcon,          bar.m_pTitleContent, bar.m_comboSelect,     bar.m_capture,    bar.m_scan,
        bar.m_label,          bar.m_list,          bar.m_pButtonfunction, bar.m_pButtonSet, bar.m_pButtonMin,
        bar.m_pButtonRestore, bar.m_pButtonMax,    bar.m_pButtonClose};
    QCOMPARE(widgets, expected);
}

void TitleBarTest::buttonTypes_data()
{
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QString>("hidden");
    const QString allButClose = "min restore max set function select list capture scan";
    QTest::newRow("min") << QList<int>{MIN_BUTTON} << "restore max";
    QTest::newRow("min-max") << QList<int>{MIN_MAX_BUTTON} << "restore";
    QTest::newRow("only-close") << QList<int>{ONLY_CLOSE_BUTTON} << allButClose;
    // A later type never shows again what an earlier one hid.
    QTest::newRow("only-close, then min-max") << QList<int>{ONLY_CLOSE_BUTTON, MIN_MAX_BUTTON} << allButClose;
}

void TitleBarTest::buttonTypes()
{
    QFETCH(QList<int>, types);
    QFETCH(QString, hidden);
    QWidget parent;
    TitleBar bar(&parent);
    for (int type : types)
        bar.setButtonType(TitleButtonType(type));
    const QMap<QString, QWidget *> children = {
        {"min", bar.m_pButtonMin},     {"restore", bar.m_pButtonRestore},
        {"max", bar.m_pButtonMax},     {"close", bar.m_pButtonClose},
        {"set", bar.m_pButtonSet},     {"function", bar.m_pButtonfunction},
        {"select", bar.m_comboSelect}, {"list", bar.m_list},
        {"capture", bar.m_capture},    {"scan", bar.m_scan},
        {"label", bar.m_label},        {"title", bar.m_pTitleContent},
    };
    const QStringList hiddenNames = hidden.split(' ');
    for (auto it = children.begin(); it != children.end(); ++it)
        QVERIFY2(it.value()->isHidden() == hiddenNames.contains(it.key()), qPrintable(it.key()));
}

void TitleBarTest::buttonsEmitTheirSignals()
{
    Window w(MIN_MAX_BUTTON);
    TitleBar *bar = w.bar;
    const QList<QPair<QPushButton *, const char *>> pairs = {
        {bar->m_pButtonMin, SIGNAL(signalButtonMinClicked())},
        {bar->m_pButtonClose, SIGNAL(signalButtonCloseClicked())},
        {bar->m_pButtonSet, SIGNAL(signalButtonSetClicked())},
        {bar->m_pButtonfunction, SIGNAL(signalButtonFunctionClicked())},
    };
    for (const auto &p : pairs) {
        QSignalSpy spy(bar, p.second);
        QSignalSpy max(bar, SIGNAL(signalButtonMaxClicked()));
        QTest::mouseClick(p.first, Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(max.count(), 0);
        // Only signals: the window itself is untouched.
        QVERIFY(w.widget.isVisible());
        QVERIFY(!bar->m_pButtonMax->isHidden());
    }
}

void TitleBarTest::maximiseAndRestoreSwapButtons()
{
    Window w(MIN_MAX_BUTTON);
    QSignalSpy maxSpy(w.bar, SIGNAL(signalButtonMaxClicked()));
    QSignalSpy restoreSpy(w.bar, SIGNAL(signalButtonRestoreClicked()));

    QTest::mouseClick(w.bar->m_pButtonMax, Qt::LeftButton);
    QCOMPARE(maxSpy.count(), 1);
    QVERIFY(w.bar->m_pButtonMax->isHidden());
    QVERIFY(w.bar->m_pButtonRestore->isVisible());

    QTest::mouseClick(w.bar->m_pButtonRestore, Qt::LeftButton);
    QCOMPARE(restoreSpy.count(), 1);
    QVERIFY(w.bar->m_pButtonRestore->isHidden());
    QVERIFY(w.bar->m_pButtonMax->isVisible());
    QCOMPARE(maxSpy.count(), 1);
}

void TitleBarTest::dragging()
{
    {
        Window w(MIN_MAX_BUTTON);
        QCOMPARE(drag(w, QPoint(30, 20)), QPoint(30, 20));
        // Moves after the release do nothing.
        const QPoint pos = w.widget.pos();
        sendMouse(w.bar, QEvent::MouseMove, w.bar->mapToGlobal(QPoint(10, 10)));
        QCOMPARE(w.widget.pos(), pos);
        // A maximised window (restore button shown) is not dragged.
        w.bar->onButtonMaxClicked();
        QCOMPARE(drag(w, QPoint(40, 15)), QPoint(0, 0));
        w.bar->onButtonRestoreClicked();
        QCOMPARE(drag(w, QPoint(-25, 5)), QPoint(-25, 5));
    }
    for (TitleButtonType type : {MIN_BUTTON, ONLY_CLOSE_BUTTON}) {
        Window w(type);
        QCOMPARE(drag(w, QPoint(12, -7)), QPoint(12, -7));
        // The max/restore state of another type does not matter.
        w.bar->onButtonMaxClicked();
        QCOMPARE(drag(w, QPoint(5, 5)), QPoint(5, 5));
    }
    // Several steps of one drag add up.
    Window w(ONLY_CLOSE_BUTTON);
    const QPoint before = w.widget.pos();
    QPoint p = w.bar->mapToGlobal(QPoint(200, 10));
    sendMouse(w.bar, QEvent::MouseButtonPress, p);
    for (int i = 1; i <= 5; ++i)
        sendMouse(w.bar, QEvent::MouseMove, p + QPoint(3 * i, 2 * i));
    sendMouse(w.bar, QEvent::MouseButtonRelease, p + QPoint(15, 10));
    QCOMPARE(w.widget.pos() - before, QPoint(15, 10));
}

void TitleBarTest::doubleClick_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("switches");
    QTest::newRow("min") << int(MIN_BUTTON) << false;
    QTest::newRow("min-max") << int(MIN_MAX_BUTTON) << true;
    QTest::newRow("only-close") << int(ONLY_CLOSE_BUTTON) << false;
}

void TitleBarTest::doubleClick()
{
    QFETCH(int, type);
    QFETCH(bool, switches);
    Window w{TitleButtonType(type)};
    QSignalSpy maxSpy(w.bar, SIGNAL(signalButtonMaxClicked()));
    QSignalSpy restoreSpy(w.bar, SIGNAL(signalButtonRestoreClicked()));
    const bool maxHidden = w.bar->m_pButtonMax->isHidden();

    sendMouse(w.bar, QEvent::MouseButtonDblClick, w.bar->mapToGlobal(QPoint(250, 20)));
    QCOMPARE(maxSpy.count(), switches ? 1 : 0);
    QCOMPARE(w.bar->m_pButtonMax->isHidden(), switches ? true : maxHidden);
    sendMouse(w.bar, QEvent::MouseButtonDblClick, w.bar->mapToGlobal(QPoint(250, 20)));
    QCOMPARE(restoreSpy.count(), switches ? 1 : 0);
    QCOMPARE(w.bar->m_pButtonMax->isHidden(), maxHidden);
}

void TitleBarTest::painting()
{
    QWidget parent;
    parent.resize(400, 200);
    TitleBar bar(&parent);
    bar.resize(400, 40);

    // Never coloured: only the bottom line is painted.
    QImage image = paintedBar(&bar);
    QCOMPARE(qAlpha(image.pixel(200, 10)), 0);
    QCOMPARE(qAlpha(image.pixel(200, 30)), 0);
    const QRgb line = image.pixel(200, 39);
    QVERIFY(qAlpha(line) > 0);
    const QColor unmultiplied(qRed(line) * 255 / qAlpha(line), qGreen(line) * 255 / qAlpha(line),
                              qBlue(line) * 255 / qAlpha(line));
    QVERIFY(qAbs(unmultiplied.red() - 227) <= 2 && qAbs(unmultiplied.blue() - 227) <= 2);

    // Coloured: the whole bar is filled, the line still shows at the bottom.
    bar.setBackgroundColor(10, 120, 200, false);
    image = paintedBar(&bar);
    QCOMPARE(image.pixel(5, 5), qRgb(10, 120, 200));
    QCOMPARE(image.pixel(395, 30), qRgb(10, 120, 200));
    QVERIFY(image.pixel(200, 39) != qRgb(10, 120, 200));

    // Transparent again: nothing but the line.
    bar.setBackgroundColor(10, 120, 200, true);
    image = paintedBar(&bar);
    QCOMPARE(qAlpha(image.pixel(5, 5)), 0);
}

void TitleBarTest::widthFollowsParent()
{
    QWidget parent;
    parent.resize(600, 400);
    TitleBar *bar = new TitleBar(&parent);
    bar->setTitleWidth(600);
    QCOMPARE(bar->width(), 600);

    parent.resize(900, 400);
    QCOMPARE(bar->width(), 600);
    bar->grab();
    QCOMPARE(bar->width(), 900);

    bar->setWindowBorderWidth(6);
    parent.resize(700, 400);
    bar->grab();
    QCOMPARE(bar->width(), 694);
    QCOMPARE(bar->minimumWidth(), 694);
    QCOMPARE(bar->maximumWidth(), 694);
}

void TitleBarTest::titleContentAndIcon()
{
    QWidget parent;
    TitleBar bar(&parent);
    bar.setTitleContent("文件命名设置", 9);
    QCOMPARE(bar.m_pTitleContent->text(), QString("文件命名设置"));
    const QFont font = bar.m_pTitleContent->font();
    QCOMPARE(font.family(), QString("Microsoft YaHei"));
    QCOMPARE(font.weight(), 75);
    QCOMPARE(font.pointSize(), 9);
    QCOMPARE(bar.m_pTitleContent->palette().color(QPalette::WindowText), QColor(Qt::black));

    // Scaled to exactly the size asked for, whatever the source's aspect.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QImage wide(50, 20, QImage::Format_RGB32);
    wide.fill(Qt::red);
    const QString png = dir.filePath("wide.png");
    QVERIFY(wide.save(png));
    bar.setTitleIcon(png, QSize(30, 30));
    QCOMPARE(bar.m_pIcon->pixmap(Qt::ReturnByValue).size(), QSize(30, 30));
    QCOMPARE(bar.m_pIcon->pixmap(Qt::ReturnByValue).toImage().pixel(15, 15), qRgb(255, 0, 0));

    bar.setTitleIcon(":/images/app/pagelux.svg", QSize(16, 16));
    const QImage icon = bar.m_pIcon->pixmap(Qt::ReturnByValue).toImage();
    QCOMPARE(icon.size(), QSize(16, 16));
    QVERIFY(qAlpha(icon.pixel(8, 8)) > 0);

    // Missing and corrupt files leave an empty icon.
    bar.setTitleIcon(dir.filePath("missing.png"), QSize(16, 16));
    QVERIFY(bar.m_pIcon->pixmap(Qt::ReturnByValue).isNull());
    writeFile(dir.filePath("corrupt.png"), "\x89PNG\r\n\x1a\n garbage");
    bar.setTitleIcon(dir.filePath("corrupt.png"), QSize(16, 16));
    QVERIFY(bar.m_pIcon->pixmap(Qt::ReturnByValue).isNull());
}

void TitleBarTest::rollingTitle()
{
    QWidget parent;
    TitleBar bar(&parent);
    bar.setTitleContent("ABCDE", 9);
    // The position is shared by every bar; run it round to the start first.
    int guard = 0;
    do {
        bar.onRollTitle();
    } while (bar.m_pTitleContent->text() != "ABCDE" && ++guard < 100);
    QCOMPARE(bar.m_pTitleContent->text(), QString("ABCDE"));

    QStringList shown;
    for (int i = 0; i < 7; ++i) {
        bar.onRollTitle();
        shown << bar.m_pTitleContent->text();
    }
    QCOMPARE(shown, QStringList({"BCDE", "CDE", "DE", "E", "", "ABCDE", "BCDE"}));

    // Started, the timer rolls the title by itself.
    bar.setTitleRoll();
    const QString now = bar.m_pTitleContent->text();
    QTRY_VERIFY_WITH_TIMEOUT(bar.m_pTitleContent->text() != now, 5000);
}

void TitleBarTest::styleSheetFiles()
{
    QWidget parent;
    TitleBar bar(&parent);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString qss = dir.filePath("bar.qss");
    writeFile(qss, "QLabel#TitleContent{color:rgb(1,2,3);}");
    bar.setStyleSheet("QPushButton{border:none;}");
    bar.loadStyleSheet(qss);
    QCOMPARE(bar.styleSheet(), QString("QPushButton{border:none;}QLabel#TitleContent{color:rgb(1,2,3);}"));

    // Files that cannot be opened change nothing.
    bar.loadStyleSheet(dir.filePath("missing.qss"));
    bar.loadStyleSheet(qss + "/inside-a-file.qss");
    QCOMPARE(bar.styleSheet(), QString("QPushButton{border:none;}QLabel#TitleContent{color:rgb(1,2,3);}"));
}

QTEST_MAIN(TitleBarTest)
#include "tst_titlebar.moc"

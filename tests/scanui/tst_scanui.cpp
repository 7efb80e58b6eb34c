// The scanner settings window: list contents from the scanner description,
// stored indexes, one signal per change, and the window states.
#include "scanui.h"
#include "settingswindows.h"
#include "titlebar.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

class TestScanUI : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { settingswindows::installTheme(); }
    void cleanupTestCase() { settingswindows::removeTheme(); }
    void listsFromTheDescription();
    void changeStoresAndSignals_data();
    void changeStoresAndSignals();
    void maximiseRestoreAndClose();

private:
    static ScanUI *open(bool described);
};

ScanUI *TestScanUI::open(bool described)
{
    DEVPARAM dev;
    dev.nType = 1;
    dev.nCurrentIndex = 0;
    dev.scannerParam.scannerName = "ADF-200";
    if (described) {
        dev.scannerParam.scannerScanSource = QStringList{"平板", "", "双面"};
        dev.scannerParam.scannerScanMode = QStringList{"彩色", "灰度"};
        dev.scannerParam.scannerScanResolution = QStringList{"", "200", "300"};
        dev.scannerParam.scannerScanPaperSize = QStringList{"A4", "A5"};
    }
    SETPARAM set{};
    set.savepath = "/tmp";
    SCANNERSET scanner{1, 1, 2, 1, 0};
    IMAGESET image{2, 7, 1, 4};
    auto *w = new ScanUI(dev, set, scanner, image);
    w->show();
    return w;
}

// The stored choices are selected again; discovery leaves the scanner's own four
// lists empty, and an empty list selects nothing.
void TestScanUI::listsFromTheDescription()
{
    const QList<QPair<const char *, int>> stored = {
        {"scanmodeComboBox", 1},    {"colormodeComboBox", 1},   {"fileformatComboBox", 2},
        {"resolutionComboBox", 1},  {"scansizeComboBox", 0},    {"cutmethodComboBox", 2},
        {"filterComboBox", 7},      {"edgemendingComboBox", 1}, {"rotationComboBox", 4}};
    const QByteArrayList own = {"scanmodeComboBox", "colormodeComboBox", "resolutionComboBox", "scansizeComboBox"};
    for (bool full : {true, false}) {
        QScopedPointer<ScanUI> w(open(full));
        for (const auto &e : stored) {
            auto *box = w->findChild<QComboBox *>(e.first);
            const bool empty = !full && own.contains(e.first);
            QCOMPARE(box->count() == 0, empty);
            QCOMPARE(box->currentIndex(), empty ? -1 : e.second);
        }
    }
}

void TestScanUI::changeStoresAndSignals_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("signal");
    const char *rows[][2] = {{"scanmodeComboBox", SIGNAL(signalScanModeChanged(int))},
                             {"colormodeComboBox", SIGNAL(signalColorModeChanged(int))},
                             {"fileformatComboBox", SIGNAL(signalFileFormatChanged(int))},
                             {"resolutionComboBox", SIGNAL(signalResolutionChanged(int))},
                             {"scansizeComboBox", SIGNAL(signalScanSizeChanged(int))},
                             {"cutmethodComboBox", SIGNAL(signalCutMethodChanged(int))},
                             {"filterComboBox", SIGNAL(signalFilterChanged(int))},
                             {"edgemendingComboBox", SIGNAL(signalEdgeMendingChanged(int))},
                             {"rotationComboBox", SIGNAL(signalRotationChanged(int))}};
    for (const auto &row : rows)
        QTest::newRow(row[0]) << row[0] << row[1];
}

void TestScanUI::changeStoresAndSignals()
{
    QFETCH(QString, list);
    QFETCH(QString, signal);
    QScopedPointer<ScanUI> w(open(true));
    QList<QSignalSpy *> spies;
    const QMetaObject *mo = w->metaObject();
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
        if (mo->method(i).methodType() == QMetaMethod::Signal)
            spies << new QSignalSpy(w.data(), mo->method(i));
    auto *box = w->findChild<QComboBox *>(list);
    const int index = box->currentIndex() == 0 ? 1 : 0;
    box->setCurrentIndex(index);
    int fired = 0;
    for (QSignalSpy *spy : spies) {
        fired += spy->count();
        if (QByteArray("2") + spy->signal() == signal.toLatin1()) {
            QCOMPARE(spy->count(), 1);
            QCOMPARE(spy->at(0).at(0).toInt(), index);
        }
    }
    QCOMPARE(fired, 1);
    qDeleteAll(spies);
}

void TestScanUI::maximiseRestoreAndClose()
{
    QScopedPointer<ScanUI> w(open(true));
    QVERIFY(QTest::qWaitForWindowExposed(w.data()));
    w->move(30, 40);
    const QRect before = w->geometry();
    auto *bar = w->findChild<TitleBar *>();
    bar->m_pButtonMax->click();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // The desktop grown by 3 pixels on every side (no narrower than the window's minimum).
    QCOMPARE(w->geometry(),
             QRect(area.x() - 3, area.y() - 3, qMax(900, area.width() + 6), area.height() + 6));
    bar->m_pButtonRestore->click();
    QCOMPARE(w->geometry(), before);
    bar->m_pButtonClose->click();
    QVERIFY(w->isVisible());
}

QTEST_MAIN(TestScanUI)
#include "tst_scanui.moc"

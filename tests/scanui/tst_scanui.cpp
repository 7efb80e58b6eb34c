// The scanner settings window: stored indexes, one signal per change, and the window states.
#include "scanui.h"
#include "settingswindows.h"
#include "titlebar.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

namespace {
ScanUI *open(bool described)
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
    auto *w = new ScanUI(dev, set, SCANNERSET{1, 1, 2, 1, 0}, IMAGESET{2, 7, 1, 4});
    w->show();
    return w;
}

// Each list, the index stored for it above, and the signal that reports its changes.
const struct {
    const char *list;
    int stored;
    const char *signal;
} kLists[] = {{"scanmodeComboBox", 1, SIGNAL(signalScanModeChanged(int))},
              {"colormodeComboBox", 1, SIGNAL(signalColorModeChanged(int))},
              {"fileformatComboBox", 2, SIGNAL(signalFileFormatChanged(int))},
              {"resolutionComboBox", 1, SIGNAL(signalResolutionChanged(int))},
              {"scansizeComboBox", 0, SIGNAL(signalScanSizeChanged(int))},
              {"cutmethodComboBox", 2, SIGNAL(signalCutMethodChanged(int))},
              {"filterComboBox", 7, SIGNAL(signalFilterChanged(int))},
              {"edgemendingComboBox", 1, SIGNAL(signalEdgeMendingChanged(int))},
              {"rotationComboBox", 4, SIGNAL(signalRotationChanged(int))}};
} // namespace

class TestScanUI : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { settingswindows::installTheme(); }
    void cleanupTestCase() { settingswindows::removeTheme(); }

    // The stored choices are selected again; discovery leaves the scanner's own four
    // lists empty, and an empty list selects nothing.
    void storedChoices()
    {
        const QByteArrayList own = {"scanmodeComboBox", "colormodeComboBox", "resolutionComboBox",
                                    "scansizeComboBox"};
        for (bool full : {true, false}) {
            QScopedPointer<ScanUI> w(open(full));
            for (const auto &e : kLists) {
                auto *box = w->findChild<QComboBox *>(e.list);
                const bool empty = !full && own.contains(e.list);
                QCOMPARE(box->count() == 0, empty);
                QCOMPARE(box->currentIndex(), empty ? -1 : e.stored);
            }
        }
    }

    // A change in one list sends its own signal once, with the new index, and no other.
    void changeSignals()
    {
        QScopedPointer<ScanUI> w(open(true));
        const QMetaObject *mo = w->metaObject();
        for (const auto &e : kLists) {
            std::vector<std::unique_ptr<QSignalSpy>> spies;
            for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
                if (mo->method(i).methodType() == QMetaMethod::Signal)
                    spies.emplace_back(new QSignalSpy(w.data(), mo->method(i)));
            auto *box = w->findChild<QComboBox *>(e.list);
            const int index = box->currentIndex() == 0 ? 1 : 0;
            box->setCurrentIndex(index);
            QStringList fired;
            for (const auto &spy : spies)
                for (const QVariantList &args : *spy)
                    fired << QString("2%1 %2").arg(QString(spy->signal())).arg(args.at(0).toInt());
            QCOMPARE(fired, QStringList(QString("%1 %2").arg(e.signal).arg(index)));
        }
    }

    void maximiseRestoreAndClose()
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
};

QTEST_MAIN(TestScanUI)
#include "tst_scanui.moc"

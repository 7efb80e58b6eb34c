// Device discovery, run on a worker thread as the home window runs it, against two
// virtual cameras whose presence a control file switches.
#include "CamCaptureSDK.h"
#include "initdevthread.h"
#include "twocameras.h"

#include <QFile>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

namespace {
void writeFile(const QString &name, const QByteArray &text)
{
    QFile::remove(name);
    QFile f(name);
    QVERIFY(text.isNull() || (f.open(QIODevice::WriteOnly) && f.write(text) == text.size()));
}
QString appFile(const QString &name)
{
    return QCoreApplication::applicationDirPath() + "/" + name;
}
} // namespace

class TestInitdevthread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        twocameras::configure("1d6b:3f5a,0ac8:3420");
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
        // Upper-case ids; two rows for the first camera (the later wins); the row
        // with an empty name ends the table, so the row after it is never read.
        writeFile(appFile("CamModel.ini"), "[deviceInfo0]\npid=3F5A\nvid=1D6B\ndevType=0\ndevName=高拍仪 A\n"
                                           "[deviceInfo1]\npid=3F5A\nvid=1D6B\ndevType=0\ndevName=高拍仪 B\n"
                                           "[deviceInfo2]\npid=3420\nvid=0AC8\ndevType=0\ndevName=\n"
                                           "[deviceInfo3]\npid=3420\nvid=0AC8\ndevType=0\ndevName=Hidden\n");
    }
    void cleanupTestCase()
    {
        QFile::remove(appFile("icon.ini"));
        QFile::remove(appFile("CamModel.ini"));
    }

    // The first two table entries as "type|index|name|resolutions"; only a thread run
    // (not a hot-plug scan) reports that it is over; without a camera a placeholder.
    void discovery_data()
    {
        QTest::addColumn<QByteArray>("theme");
        QTest::addColumn<QString>("present");
        QTest::addColumn<bool>("hotPlug");
        QTest::addColumn<int>("reports");
        QTest::addColumn<QStringList>("entries");
        char name[CAM_NAME_SIZE] = {};
        twocameras::setPresent(true, true);
        QCOMPARE(Cam_GetDevName(1, name), long(ERROR_GOOD));
        const QString second = QString::fromUtf8(name),
                      all = "|3264x2448,2592x1944,1920x1080,1280x720,640x480";
        const QByteArray on = "[deviceType]\ncamera=1\nscanner=0\n";
        QTest::newRow("both") << on << "11" << false << 1
                              << QStringList{"0|0|高拍仪 B" + all, "0|1|" + second + all};
        QTest::newRow("hot plug, the second back")
            << on << "01" << true << 0 << QStringList{"0|0|" + second + all, "0|0||"};
        QTest::newRow("no camera") << on << "00" << false << 1 << QStringList{"2|-1|NULL|NULL", "0|0||"};
        QTest::newRow("camera type off")
            << QByteArray("[deviceType]\ncamera=0\n") << "11" << false << 0 << QStringList{"0|0||", "0|0||"};
        QTest::newRow("no theme file") << QByteArray() << "11" << false << 0 << QStringList{"0|0||", "0|0||"};
    }
    void discovery()
    {
        QFETCH(QByteArray, theme);
        QFETCH(QString, present);
        QFETCH(bool, hotPlug);
        QFETCH(QStringList, entries);
        writeFile(appFile("icon.ini"), theme);
        twocameras::setPresent(present[0] == '1', present[1] == '1');
        QThread thread;
        Initdevthread worker;
        worker.moveToThread(&thread);
        QSignalSpy over(&worker, SIGNAL(signalCameraOver()));
        thread.start();
        QMetaObject::invokeMethod(
            &worker,
            [&worker, hotPlug] {
                worker.setMultiThreadValue(!hotPlug);
                hotPlug ? worker.InitHotDevParam() : worker.InitDevParam();
            },
            Qt::BlockingQueuedConnection);
        thread.quit();
        QVERIFY(thread.wait(20000));
        QTEST(over.count(), "reports");
        QStringList shown, names;
        for (int i = 0; i < 2; ++i) {
            const DEVPARAM &d = worker.devparams[i];
            shown << QString("%1|%2|%3|%4")
                         .arg(d.nType)
                         .arg(d.nCurrentIndex)
                         .arg(d.cameraParam.cameraName, d.cameraParam.cameraRelease.join(','));
            if (i < worker.cameracounts)
                names << d.cameraParam.cameraName;
        }
        QCOMPARE(shown, entries);
        QCOMPARE(worker.CamreaNameList, names);
        QCOMPARE(worker.CamModelList.size(), theme.contains("camera=1") ? 2 : 0);
    }
};

QTEST_GUILESS_MAIN(TestInitdevthread)
#include "tst_initdevthread.moc"

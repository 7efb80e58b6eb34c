// Device discovery against two virtual cameras whose presence a control file switches.
#include "CamCaptureSDK.h"
#include "initdevthread.h"
#include "twocameras.h"

#include <QFile>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

using twocameras::setPresent;

class TestInitdevthread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void namesFromTheModelTable();
    void workerThreadReportsOnce();
    void cameraTypeOffDoesNothing();
    void noCameraGivesPlaceholder();

private:
    void writeFile(const QString &name, const QByteArray &text);
    QString appFile(const QString &name) const { return QCoreApplication::applicationDirPath() + "/" + name; }
};

void TestInitdevthread::writeFile(const QString &name, const QByteArray &text)
{
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

void TestInitdevthread::initTestCase()
{
    twocameras::configure("1d6b:3f5a,0ac8:3420");
    QCOMPARE(Cam_Init(), long(ERROR_GOOD));
}

void TestInitdevthread::cleanupTestCase()
{
    QFile::remove(appFile("icon.ini"));
    QFile::remove(appFile("CamModel.ini"));
}

void TestInitdevthread::init()
{
    writeFile(appFile("icon.ini"), "[deviceType]\ncamera=1\nscanner=0\n");
    // Upper-case ids; two rows for the first camera (the later wins); the row
    // with an empty name ends the table, so the row after it is never read.
    writeFile(appFile("CamModel.ini"), "[deviceInfo0]\npid=3F5A\nvid=1D6B\ndevType=0\ndevName=高拍仪 A\n"
                                       "[deviceInfo1]\npid=3F5A\nvid=1D6B\ndevType=0\ndevName=高拍仪 B\n"
                                       "[deviceInfo2]\npid=3420\nvid=0AC8\ndevType=0\ndevName=\n"
                                       "[deviceInfo3]\npid=3420\nvid=0AC8\ndevType=0\ndevName=Hidden\n");
    setPresent(true, true);
}

void TestInitdevthread::namesFromTheModelTable()
{
    Initdevthread worker;
    QSignalSpy over(&worker, SIGNAL(signalCameraOver()));
    worker.InitDevParam();
    QCOMPARE(over.count(), 1);
    QCOMPARE(worker.cameracounts, 2);
    QCOMPARE(int(worker.CamModelList.size()), 2);
    QCOMPARE(worker.devparams[0].nType, 0);
    QCOMPARE(worker.devparams[0].nCurrentIndex, 0);
    QCOMPARE(worker.devparams[0].cameraParam.cameraName, QString("高拍仪 B"));
    char sdkName[CAM_NAME_SIZE] = {};
    QCOMPARE(Cam_GetDevName(1, sdkName), long(ERROR_GOOD));
    QCOMPARE(worker.devparams[1].cameraParam.cameraName, QString::fromUtf8(sdkName));
    QCOMPARE(worker.devparams[1].nCurrentIndex, 1);
    const QStringList expected = {"3264x2448", "2592x1944", "1920x1080", "1280x720", "640x480"};
    QCOMPARE(worker.devparams[0].cameraParam.cameraRelease, expected);
    QCOMPARE(worker.devparams[1].cameraParam.cameraRelease, expected);
    QCOMPARE(worker.CamreaNameList, QStringList({"高拍仪 B", QString::fromUtf8(sdkName)}));

    // The hot-plug scan emits nothing once told it is not on a thread.
    Initdevthread hot;
    QSignalSpy hotOver(&hot, SIGNAL(signalCameraOver()));
    hot.setMultiThreadValue(false);
    hot.InitHotDevParam();
    QCOMPARE(hotOver.count(), 0);
    QCOMPARE(hot.cameracounts, 2);
}

void TestInitdevthread::workerThreadReportsOnce()
{
    auto *worker = new Initdevthread();
    QThread thread;
    worker->moveToThread(&thread);
    connect(&thread, SIGNAL(started()), worker, SLOT(InitDevParam()));
    connect(&thread, SIGNAL(finished()), worker, SLOT(deleteLater()));
    QSignalSpy over(worker, SIGNAL(signalCameraOver()));
    thread.start();
    QTRY_COMPARE_WITH_TIMEOUT(over.count(), 1, 20000);
    QCOMPARE(worker->cameracounts, 2);
    thread.quit();
    QVERIFY(thread.wait(20000));
}

void TestInitdevthread::cameraTypeOffDoesNothing()
{
    writeFile(appFile("icon.ini"), "[deviceType]\ncamera=0\n");
    Initdevthread worker;
    QSignalSpy over(&worker, SIGNAL(signalCameraOver()));
    worker.InitDevParam();
    QCOMPARE(over.count(), 0);
    QCOMPARE(worker.cameracounts, 0);
    QVERIFY(worker.CamModelList.empty());
    QVERIFY(worker.devparams[0].cameraParam.cameraName.isEmpty());

    // Without any icon file the camera is not selected either.
    QFile::remove(appFile("icon.ini"));
    Initdevthread bare;
    bare.InitDevParam();
    QCOMPARE(bare.cameracounts, 0);
    QVERIFY(bare.devparams[0].cameraParam.cameraRelease.isEmpty());
}

void TestInitdevthread::noCameraGivesPlaceholder()
{
    setPresent(false, false);
    Initdevthread worker;
    QSignalSpy over(&worker, SIGNAL(signalCameraOver()));
    worker.InitDevParam();
    QCOMPARE(over.count(), 1);
    QCOMPARE(worker.cameracounts, 0);
    QCOMPARE(worker.devparams[0].nType, 2);
    QCOMPARE(worker.devparams[0].nCurrentIndex, -1);
    QCOMPARE(worker.devparams[0].cameraParam.cameraName, QString("NULL"));
    QCOMPARE(worker.devparams[0].cameraParam.cameraRelease, QStringList("NULL"));

    // One camera back: only the second one is listed, at index 0.
    setPresent(false, true);
    Initdevthread again;
    again.setMultiThreadValue(false);
    again.InitHotDevParam();
    QCOMPARE(again.cameracounts, 1);
    QCOMPARE(again.devparams[0].nType, 0);
}

QTEST_GUILESS_MAIN(TestInitdevthread)
#include "tst_initdevthread.moc"

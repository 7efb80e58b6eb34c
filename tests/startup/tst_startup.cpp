// The program's start: one copy per process name (copies of build/bin run as a new user
// would), its log, and device discovery against two virtual cameras switched by a file.
#include "CamCaptureSDK.h"
#include "initdevthread.h"
#include "loggerhelper.h"
#include "settingswindows.h"
#include "twocameras.h"

#include <memory>
#include <sched.h>
#include <signal.h>
#include <thread>
#include <vector>

using settingswindows::appFile;
using settingswindows::writeFile;

namespace {
const QString kStamp = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\]: )";
// The lines of a log file, each ended by CR LF.
QStringList readLines(const QString &path)
{
    QFile f(path);
    QStringList lines = QString::fromUtf8(f.open(QIODevice::ReadOnly) ? f.readAll() : "").split("\r\n");
    lines.removeLast();
    return lines;
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid() && QDir().mkpath(m_home + "/Documents"));
        // The guard's System V semaphores are keyed by ftok(), which keeps 16 bits of an inode:
        // one left by a killed process elsewhere can block ours. A private IPC namespace (root
        // may have one) holds only this test's and its children's.
        if (::unshare(CLONE_NEWIPC) != 0)
            qInfo("sharing the machine's IPC namespace");
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
        QDir(m_home).removeRecursively();
        QFile::remove(appFile("CamModel.ini"));
    }
    void cleanup() { QFile::remove(appFile("icon.ini")); }

    // Copies started at once: one runs (logging into its folder), the others leave with
    // -1 before any window. A killed copy does not block the next; another name runs beside.
    void oneCopyPerProcessName()
    {
        const QString name = QString("plx%1-a-very-long-name").arg(QCoreApplication::applicationPid());
        const QString dir = install(name);
        std::vector<std::unique_ptr<QProcess>> copies;
        for (int i = 0; i < 3; ++i)
            copies.push_back(start(dir));
        QVERIFY(waitForHomeWindows(dir, 1));
        auto running = [&copies] {
            return std::count_if(copies.begin(), copies.end(),
                                 [](const auto &p) { return p->state() != QProcess::NotRunning; });
        };
        QTRY_COMPARE_WITH_TIMEOUT(running(), 1L, 30000);
        QProcess *runner = nullptr;
        for (const auto &p : copies)
            if (p->state() == QProcess::NotRunning)
                QVERIFY(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 255);
            else
                runner = p.get();
        ::kill(pid_t(runner->processId()), SIGKILL);
        QVERIFY(runner->waitForFinished(10000));
        auto next = start(dir);
        QVERIFY(waitForHomeWindows(dir, 2));
        const QString other = install(QString("plx%1-other").arg(QCoreApplication::applicationPid()));
        auto beside = start(other);
        QVERIFY(waitForHomeWindows(other, 1));
        QVERIFY(next->state() == QProcess::Running && beside->state() == QProcess::Running);
        for (QProcess *p : {next.get(), beside.get()}) {
            p->kill();
            p->waitForFinished(10000);
        }
    }

    // Every level's line: time stamp, level, text (a line break inside kept) and source
    // location, ending in CR LF; a folder that cannot be made, or no theme, logs to /tmp.
    void linesAndPlaces_data()
    {
        QTest::addColumn<QString>("folder"); // "-": no theme file; "^": below a regular file
        QTest::addColumn<QString>("written");
        // clang-format off
        QTest::newRow("nested folder made") << "a/b/c" << "a/b/c";
        QTest::newRow("no theme: /tmp, default name") << "-" << "/tmp";
        QTest::newRow("folder cannot be made: /tmp") << "^" << "/tmp";
        // clang-format on
    }
    void linesAndPlaces()
    {
        QFETCH(QString, folder);
        QFETCH(QString, written);
        const QString base = QString("plxlog%1").arg(QCoreApplication::applicationPid());
        if (folder == "^") {
            writeFile(m_tmp.filePath("plainfile"), "");
            folder = "plainfile/logs";
        }
        if (folder != "-")
            writeFile(
                appFile("icon.ini"),
                ("[LogState]\nLogPath=" + m_tmp.filePath(folder) + "\nLogName=" + base + "\n").toUtf8());
        const QString file =
            QString("%1/%2_%3.log")
                .arg(written.startsWith('/') ? written : m_tmp.filePath(written),
                     folder == "-" ? "nuvora" : base, QDate::currentDate().toString("yyyy-MM-dd"));
        const bool existed = QFile::exists(file);
        const int before = readLines(file).size(); // /tmp may hold the day's file already
        // From several threads at once: lines are never interleaved nor lost.
        std::vector<std::thread> pool;
        for (int t = 0; t < 4; ++t)
            pool.emplace_back([] {
                const QMessageLogContext ctx("src/file.cpp", 77, "void Foo::bar(int)", "default");
                for (int i = 0; i < 25; ++i) {
                    MsgOutput(QtDebugMsg, ctx, "debug text");
                    MsgOutput(QtInfoMsg, ctx, "info text");
                    MsgOutput(QtWarningMsg, ctx, "Foo::bar() __ 中文 %1 %2");
                    MsgOutput(QtCriticalMsg, ctx, "two\nlines");
                }
            });
        for (auto &th : pool)
            th.join();
        const QStringList lines = readLines(file).mid(before);
        if (!existed)
            QFile::remove(file);
        const QRegularExpression re("^" + kStamp +
                                    "(Debug:\tdebug text|Info:\tinfo text|Warning:\tFoo::bar\\(\\) __ 中文 "
                                    "%1 %2|Critical:\ttwo\nlines)"
                                    R"( \(file:src/file\.cpp, line:77, func: void Foo::bar\(int\)\)$)");
        QMap<QString, int> seen;
        for (const QString &line : lines) {
            const auto m = re.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            ++seen[m.captured(1)];
        }
        QCOMPARE(seen.values(), QList<int>({100, 100, 100, 100}));
    }

    // The first two table entries as "type|index|name|resolutions"; only a thread run
    // (not a hot-plug scan) reports that it is over; without a camera a placeholder.
    void discovery_data()
    {
        QTest::addColumn<QByteArray>("theme");
        QTest::addColumn<QString>("run"); // cameras present, a hot-plug scan, the reports that it is over
        QTest::addColumn<QStringList>("entries");
        char name[CAM_NAME_SIZE] = {};
        twocameras::setPresent(true, true);
        QCOMPARE(Cam_GetDevName(1, name), long(ERROR_GOOD));
        const QString second = QString::fromUtf8(name),
                      all = "|3264x2448,2592x1944,1920x1080,1280x720,640x480";
        const QByteArray on = "[deviceType]\ncamera=1\nscanner=0\n", none;
        const QStringList empty = {"0|0||", "0|0||"};
        // clang-format off
        QTest::newRow("both") << on << "11 0 1" << QStringList{"0|0|高拍仪 B" + all, "0|1|" + second + all};
        QTest::newRow("hot plug, the second back")
            << on << "01 1 0" << QStringList{"0|0|" + second + all, "0|0||"};
        QTest::newRow("no camera") << on << "00 0 1" << QStringList{"2|-1|NULL|NULL", "0|0||"};
        QTest::newRow("camera type off") << QByteArray("[deviceType]\ncamera=0\n") << "11 0 0" << empty;
        QTest::newRow("no theme file") << none << "11 0 0" << empty;
        // clang-format on
    }
    void discovery()
    {
        QFETCH(QByteArray, theme);
        QFETCH(QString, run);
        const bool hotPlug = run[3] == '1';
        writeFile(appFile("icon.ini"), theme);
        twocameras::setPresent(run[0] == '1', run[1] == '1');
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
        QCOMPARE(over.count(), run[5].digitValue());
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
        QTEST(shown, "entries");
        QCOMPARE(worker.CamreaNameList, names);
        QCOMPARE(worker.CamModelList.size(), theme.contains("camera=1") ? 2 : 0);
    }

private:
    // A copy of the application directory with its own process name and log folder.
    QString install(const QString &processName)
    {
        const QString bin = qEnvironmentVariable("PAGELUX_BIN_DIR"), dir = m_tmp.path() + "/" + processName;
        QDir().mkpath(dir + "/logs");
        for (const char *f : {"pagelux", "CamModel.ini", "pagelux_zh_CN.qm", "icon.ini"})
            QFile::copy(bin + "/" + f, dir + "/" + f);
        QFile::setPermissions(dir + "/pagelux", QFile::permissions(bin + "/pagelux"));
        settingswindows::setIni(
            dir + "/icon.ini", {{"ProcessName/nameString", processName}, {"LogState/LogPath", dir + "/logs"}},
            true);
        return dir;
    }
    std::unique_ptr<QProcess> start(const QString &dir)
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_home);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(dir);
        p->start(dir + "/pagelux", QStringList());
        return p;
    }
    QString logText(const QString &dir) const
    {
        QString all;
        for (const QFileInfo &fi : QDir(dir + "/logs").entryInfoList({"*.log"}, QDir::Files)) {
            QFile f(fi.filePath());
            all += QString::fromUtf8(f.open(QIODevice::ReadOnly) ? f.readAll() : "");
        }
        return all;
    }
    // Until `count` home windows in all have been opened from this folder.
    bool waitForHomeWindows(const QString &dir, int count)
    {
        return QTest::qWaitFor(
            [&] { return logText(dir).count("ADFmain::ADFmain() __ 开始读取 UILastSetting.") >= count; },
            30000);
    }

    QTemporaryDir m_tmp;
    const QString m_user = QString("plxstart%1").arg(QCoreApplication::applicationPid());
    const QString m_home = "/home/" + m_user;
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"

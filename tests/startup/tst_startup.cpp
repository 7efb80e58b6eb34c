// The program as a process (copies of build/bin in fresh folders, as a new user would
// run them) and the guard that lets one copy per process name run.
#include "runguard.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sched.h>
#include <signal.h>
#include <vector>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        QVERIFY(QDir().mkpath(m_home + "/Documents"));
        // The guard's System V semaphores are keyed by ftok(), which keeps 16 bits of an inode:
        // one left by a killed process elsewhere can block ours. A private IPC namespace (root
        // may have one) holds only this test's and its children's.
        if (::unshare(CLONE_NEWIPC) != 0)
            qInfo("sharing the machine's IPC namespace");
    }
    void cleanupTestCase() { QDir(m_home).removeRecursively(); }

    void guardInOneProcess()
    {
        // SHA-1 over the UTF-8 bytes of key and salt, lower-case hex.
        QCOMPARE(generateKeyHash("pagelux", "_memLockKey"),
                 QString("1efaba71c999cf2d7f3e8201de9f88598f24f355"));
        QCOMPARE(generateKeyHash("高拍仪", "_sharedmemKey"),
                 QString("07ba59102764ce64f96e45fc0ec8de27b5d95b3c"));
        const QString key = QString("pagelux-test-%1").arg(QCoreApplication::applicationPid());
        {
            RunGuard first(key);
            QVERIFY(first.tryToRun());
            QVERIFY(!first.isAnotherRunning()); // holding the marker is not "another"
            RunGuard second(key);
            QVERIFY(second.isAnotherRunning() && !second.tryToRun());
            QVERIFY(RunGuard(key.toUpper()).tryToRun());
        }
        QVERIFY(RunGuard(key).tryToRun());
    }

    // Copies started at once: one runs (its name as the kernel shows it, its first-start
    // settings and log), the others leave with -1 before any window. A killed copy does
    // not block the next; another name runs beside.
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
        QFile comm(QString("/proc/%1/comm").arg(runner->processId()));
        QVERIFY(comm.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(comm.readAll()).trimmed(), name.left(15));
        QCOMPARE(QSettings(dir + "/" + m_user + "/UILastSetting.ini", QSettings::IniFormat)
                     .value("MainSettings/FilePath")
                     .toString(),
                 m_home + "/Documents/PageLux");
        QVERIFY(QDir(m_home + "/Documents/PageLux").exists());
        // Timestamp, level, text and source location, ending in CR LF.
        const QRegularExpression line(
            R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\]: Warning:\tADFmain::ADFmain\(\) __ 新建存储文件夹 )"
            R"(\(file:[^,]*adfmain\.cpp, line:\d+, func: [^\r\n]*ADFmain[^\r\n]*\)\r\n)");
        QVERIFY2(line.match(logText(dir)).hasMatch(), qPrintable(logText(dir).left(2000)));

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

private:
    // A copy of the application directory with its own process name and log folder.
    QString install(const QString &processName)
    {
        const QString bin = qEnvironmentVariable("PAGELUX_BIN_DIR");
        const QString dir = m_tmp.path() + "/" + processName;
        QDir().mkpath(dir + "/logs");
        for (const char *f : {"pagelux", "CamModel.ini", "pagelux_zh_CN.qm"})
            QFile::copy(bin + "/" + f, dir + "/" + f);
        QFile::setPermissions(dir + "/pagelux", QFile::permissions(bin + "/pagelux"));
        QFile src(bin + "/icon.ini"), dst(dir + "/icon.ini");
        src.open(QIODevice::ReadOnly);
        QString text = QString::fromUtf8(src.readAll());
        text.replace(QRegularExpression("\\[ProcessName\\]\\s*\\nnameString=[^\\n]*"),
                     "[ProcessName]\nnameString=" + processName);
        text.replace(QRegularExpression("LogPath=[^\\n]*"), "LogPath=" + dir + "/logs");
        dst.open(QIODevice::WriteOnly);
        dst.write(text.toUtf8());
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
            f.open(QIODevice::ReadOnly);
            all += QString::fromUtf8(f.readAll());
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

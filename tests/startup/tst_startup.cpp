// The program as a process: copies of build/bin in fresh folders, as a new user would run them.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sched.h>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void firstStartWritesSettingsAndLogs();
    void oneInstancePerProcessName();

private:
    QString install(const QString &processName);
    std::unique_ptr<QProcess> start(const QString &dir);
    bool waitForHomeWindow(const QString &dir);
    QString logText(const QString &dir) const;
    static void stop(QProcess &p);

    QTemporaryDir m_tmp;
    QString m_home, m_user;
    int m_installs = 0;
};

void TestStartup::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    m_user = QString("plxstart%1").arg(QCoreApplication::applicationPid());
    m_home = "/home/" + m_user;
    QVERIFY(QDir().mkpath(m_home + "/Documents"));
    // Killed instances leave their single-instance semaphores behind; in a private IPC
    // namespace (root may have one) they go with the test instead of piling up.
    if (::unshare(CLONE_NEWIPC) != 0)
        qInfo("sharing the machine's IPC namespace");
}

void TestStartup::cleanupTestCase()
{
    QDir(m_home).removeRecursively();
}

// A copy of the application directory with its own process name and log folder.
QString TestStartup::install(const QString &processName)
{
    const QString bin = qEnvironmentVariable("PAGELUX_BIN_DIR");
    const QString dir = m_tmp.path() + QString("/install%1").arg(++m_installs);
    QDir().mkpath(dir + "/logs");
    for (const char *f : {"pagelux", "CamModel.ini", "pagelux_zh_CN.qm"})
        QFile::copy(bin + "/" + f, dir + "/" + f);
    QFile::setPermissions(dir + "/pagelux", QFile::permissions(bin + "/pagelux"));
    QFile src(bin + "/icon.ini");
    src.open(QIODevice::ReadOnly);
    QString text = QString::fromUtf8(src.readAll());
    text.replace(QRegularExpression("\\[ProcessName\\]\\s*\\nnameString=[^\\n]*"),
                 "[ProcessName]\nnameString=" + processName);
    text.replace(QRegularExpression("LogPath=[^\\n]*"), "LogPath=" + dir + "/logs");
    QFile dst(dir + "/icon.ini");
    dst.open(QIODevice::WriteOnly);
    dst.write(text.toUtf8());
    return dir;
}

std::unique_ptr<QProcess> TestStartup::start(const QString &dir)
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

QString TestStartup::logText(const QString &dir) const
{
    QString all;
    for (const QFileInfo &fi : QDir(dir + "/logs").entryInfoList({"*.log"}, QDir::Files)) {
        QFile f(fi.filePath());
        f.open(QIODevice::ReadOnly);
        all += QString::fromUtf8(f.readAll());
    }
    return all;
}

bool TestStartup::waitForHomeWindow(const QString &dir)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 30000) {
        if (logText(dir).contains("ADFmain::ADFmain() __ 开始读取 UILastSetting."))
            return true;
        QTest::qWait(50);
    }
    return false;
}

void TestStartup::stop(QProcess &p)
{
    p.kill();
    p.waitForFinished(10000);
}

void TestStartup::firstStartWritesSettingsAndLogs()
{
    // A name longer than the kernel keeps shows truncated to 15 bytes.
    const QString name = QString("plx%1-a-very-long-name").arg(QCoreApplication::applicationPid());
    const QString dir = install(name);
    auto p = start(dir);
    QVERIFY(waitForHomeWindow(dir));

    QFile comm(QString("/proc/%1/comm").arg(p->processId()));
    QVERIFY(comm.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(comm.readAll()).trimmed(), name.left(15));

    const QString settings = dir + "/" + m_user + "/UILastSetting.ini";
    QVERIFY(QFile::exists(settings));
    QCOMPARE(QSettings(settings, QSettings::IniFormat).value("MainSettings/FilePath").toString(),
             m_home + "/Documents/PageLux");
    QVERIFY(QDir(m_home + "/Documents/PageLux").exists());

    // Log lines carry the timestamp, level, text and source location, ending in CR LF.
    const QString log = logText(dir);
    QRegularExpression line(
        R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\]: Warning:\tADFmain::ADFmain\(\) __ 新建存储文件夹 )"
        R"(\(file:[^,]*adfmain\.cpp, line:\d+, func: [^\r\n]*ADFmain[^\r\n]*\)\r\n)");
    QVERIFY2(line.match(log).hasMatch(), qPrintable(log.left(2000)));
    stop(*p);
}

void TestStartup::oneInstancePerProcessName()
{
    const QString name = QString("plx%1-dup").arg(QCoreApplication::applicationPid());
    const QString dir = install(name);
    auto first = start(dir);
    QVERIFY(waitForHomeWindow(dir));

    const QString copy = install(name);
    auto second = start(copy);
    QVERIFY(second->waitForFinished(30000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 255); // -1 as seen by the parent
    QVERIFY(!logText(copy).contains("ADFmain::ADFmain()"));

    const QString other = install(name + "-other");
    auto beside = start(other);
    QVERIFY(waitForHomeWindow(other));
    QCOMPARE(beside->state(), QProcess::Running);
    QCOMPARE(first->state(), QProcess::Running);
    stop(*beside);
    stop(*first);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"

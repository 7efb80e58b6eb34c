#include "loggerhelper.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <vector>

class TestLoggerHelper : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void templatesAndLineEnds();
    void fallsBackToTmpAndDefaultName();
    void threadsNeverInterleave();
    void oneFilePerDayAcrossMidnight();
    void fatalLineIsWrittenBeforeAbort();

private:
    void writeIcon(const QString &logPath, const QString &logName);
    QStringList readLines(const QString &path);
    QString todayFile(const QString &dir, const QString &base) const;

    QString m_iconPath;
    QTemporaryDir m_tmp;
};

void TestLoggerHelper::init()
{
    m_iconPath = QCoreApplication::applicationDirPath() + "/icon.ini";
    QFile::remove(m_iconPath);
}

void TestLoggerHelper::cleanup()
{
    QFile::remove(m_iconPath);
}

void TestLoggerHelper::writeIcon(const QString &logPath, const QString &logName)
{
    QSettings ini(m_iconPath, QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    ini.setValue("LogState/LogPath", logPath);
    ini.setValue("LogState/LogName", logName);
}

QString TestLoggerHelper::todayFile(const QString &dir, const QString &base) const
{
    return QString("%1/%2_%3.log").arg(dir, base, QDate::currentDate().toString("yyyy-MM-dd"));
}

QStringList TestLoggerHelper::readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QString all = QString::fromUtf8(f.readAll());
    QStringList lines = all.split("\r\n");
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void TestLoggerHelper::templatesAndLineEnds()
{
    // The folder is created, nested as it may be.
    const QString dir = m_tmp.path() + "/a/b/c";
    writeIcon(dir, "unit");
    const QMessageLogContext ctx("src/file.cpp", 77, "void Foo::bar(int)", "default");
    MsgOutput(QtDebugMsg, ctx, "debug text");
    MsgOutput(QtInfoMsg, ctx, "info text");
    MsgOutput(QtWarningMsg, ctx, "Foo::bar() __ 中文 %1 %2");
    MsgOutput(QtCriticalMsg, ctx, "two\nlines");

    const QStringList lines = readLines(todayFile(dir, "unit"));
    QCOMPARE(lines.size(), 4);
    const QString stamp = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\])";
    const QString where = R"( \(file:src/file\.cpp, line:77, func: void Foo::bar\(int\)\))";
    const QStringList texts = {"Debug:\tdebug text", "Info:\tinfo text",
                               "Warning:\tFoo::bar\\(\\) __ 中文 %1 %2"};
    for (int i = 0; i < texts.size(); ++i)
        QVERIFY2(QRegularExpression("^" + stamp + ": " + texts[i] + where + "$").match(lines[i]).hasMatch(),
                 qPrintable(lines[i]));
    // A line break inside a message is kept as is; only CR LF ends the line.
    QVERIFY(lines[3].contains(": Critical:\ttwo\nlines (file:"));
}

void TestLoggerHelper::fallsBackToTmpAndDefaultName()
{
    // No icon file at all: "/tmp" and the default base name.
    const QString path = todayFile("/tmp", "nuvora");
    const bool existed = QFile::exists(path);
    const QString marker = "fallback-marker-" + QString::number(QCoreApplication::applicationPid());
    const QMessageLogContext ctx("f.cpp", 2, "g()", "default");
    MsgOutput(QtWarningMsg, ctx, marker);
    const QStringList lines = readLines(path);
    QVERIFY(!lines.isEmpty());
    QVERIFY(lines.last().contains(marker));
    if (!existed)
        QFile::remove(path);

    // A directory that cannot be created (below a regular file) also ends in /tmp.
    QFile blocker(m_tmp.path() + "/plainfile");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    writeIcon(blocker.fileName() + "/logs", "blocked");
    const QString tmpPath = todayFile("/tmp", "blocked");
    QFile::remove(tmpPath);
    MsgOutput(QtWarningMsg, ctx, marker);
    QCOMPARE(readLines(tmpPath).size(), 1);
    QFile::remove(tmpPath);
}

void TestLoggerHelper::threadsNeverInterleave()
{
    writeIcon(m_tmp.path(), "threads");
    const int threads = 6, perThread = 150;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([t] {
            const QMessageLogContext ctx("t.cpp", t, "worker()", "default");
            for (int i = 0; i < perThread; ++i)
                MsgOutput(QtWarningMsg, ctx,
                          QString("thread %1 message %2 %3").arg(t).arg(i).arg(QString(40, 'x')));
        });
    }
    for (auto &th : pool)
        th.join();
    const QStringList lines = readLines(todayFile(m_tmp.path(), "threads"));
    QCOMPARE(lines.size(), threads * perThread);
    QRegularExpression re(
        R"(^\[[^\]]+\]: Warning:\tthread (\d) message (\d+) x{40} \(file:t\.cpp, line:\1, func: worker\(\)\)$)");
    QSet<QString> seen;
    for (const QString &line : lines) {
        const auto m = re.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        seen.insert(m.captured(1) + ":" + m.captured(2));
    }
    QCOMPARE(seen.size(), threads * perThread);
}

void TestLoggerHelper::oneFilePerDayAcrossMidnight()
{
    if (QStandardPaths::findExecutable("faketime").isEmpty())
        QSKIP("faketime is not installed");
    writeIcon(m_tmp.path(), "midnight");
    QProcess probe;
    probe.start("faketime", {"-f", "@2026-03-01 23:59:59",
                             QCoreApplication::applicationDirPath() + "/logprobe", "midnight"});
    QVERIFY(probe.waitForFinished(20000));
    QCOMPARE(probe.exitCode(), 0);
    const QStringList before = readLines(m_tmp.path() + "/midnight_2026-03-01.log");
    const QStringList after = readLines(m_tmp.path() + "/midnight_2026-03-02.log");
    QCOMPARE(before.size(), 1);
    QCOMPARE(after.size(), 1);
    QVERIFY(before[0].startsWith("[2026-03-01 23:59:59:"));
    QVERIFY(before[0].contains("before midnight"));
    QVERIFY(after[0].startsWith("[2026-03-02 00:00:0"));
    QVERIFY(after[0].contains("after midnight"));
}

void TestLoggerHelper::fatalLineIsWrittenBeforeAbort()
{
    writeIcon(m_tmp.path(), "fatal");
    QProcess probe;
    probe.start(QCoreApplication::applicationDirPath() + "/logprobe", {"fatal"});
    QVERIFY(probe.waitForFinished(20000));
    QCOMPARE(probe.exitStatus(), QProcess::CrashExit);
    const QStringList lines = readLines(todayFile(m_tmp.path(), "fatal"));
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines[0].contains(": Fatal:\tfatal line 42 (file:"));
    QVERIFY(lines[0].contains("logprobe.cpp, line:"));
}

QTEST_GUILESS_MAIN(TestLoggerHelper)
#include "tst_loggerhelper.moc"

// The log: one file a day in the theme's folder (made as needed, else /tmp), each line
// time, level, text and place ending in CR LF, whole lines from any thread, the fatal
// line written before the program aborts.
#include "loggerhelper.h"

#include <QDate>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <vector>

namespace {
QString icon()
{
    return QCoreApplication::applicationDirPath() + "/icon.ini";
}
void writeIcon(const QString &logPath, const QString &logName)
{
    QSettings ini(icon(), QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    ini.setValue("LogState/LogPath", logPath);
    ini.setValue("LogState/LogName", logName);
}
QString todayFile(const QString &dir, const QString &base)
{
    return QString("%1/%2_%3.log").arg(dir, base, QDate::currentDate().toString("yyyy-MM-dd"));
}
QStringList readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split("\r\n");
    lines.removeLast(); // after the last CR LF
    return lines;
}
} // namespace

class TestLoggerHelper : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFile::remove(icon()); }
    void cleanup() { QFile::remove(icon()); }

    void linesAndPlaces_data()
    {
        QTest::addColumn<QString>("folder"); // "-": no theme file; "^": below a regular file
        QTest::addColumn<QString>("written");
        QTest::newRow("nested folder made") << "a/b/c"
                                            << "a/b/c";
        QTest::newRow("no theme: /tmp, default name") << "-"
                                                      << "/tmp";
        QTest::newRow("folder cannot be made: /tmp") << "^"
                                                     << "/tmp";
    }
    void linesAndPlaces()
    {
        QFETCH(QString, folder);
        QFETCH(QString, written);
        const QString base = QString("plxlog%1").arg(QCoreApplication::applicationPid());
        if (folder == "^") {
            QFile blocker(m_tmp.filePath("plainfile"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            folder = blocker.fileName() + "/logs";
        }
        if (folder != "-")
            writeIcon(folder.startsWith('/') ? folder : m_tmp.filePath(folder), base);
        const QString file = todayFile(written.startsWith('/') ? written : m_tmp.filePath(written),
                                       folder == "-" ? "nuvora" : base);
        const bool existed = QFile::exists(file);
        const int before = readLines(file).size(); // /tmp may hold the day's file already
        const QMessageLogContext ctx("src/file.cpp", 77, "void Foo::bar(int)", "default");
        MsgOutput(QtDebugMsg, ctx, "debug text");
        MsgOutput(QtInfoMsg, ctx, "info text");
        MsgOutput(QtWarningMsg, ctx, "Foo::bar() __ 中文 %1 %2");
        MsgOutput(QtCriticalMsg, ctx, "two\nlines");
        const QStringList lines = readLines(file).mid(before);
        if (!existed)
            QFile::remove(file);
        QCOMPARE(lines.size(), 4);
        const QString stamp = R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3}\])";
        const QString where = R"( \(file:src/file\.cpp, line:77, func: void Foo::bar\(int\)\))";
        const QStringList texts = {"Debug:\tdebug text", "Info:\tinfo text",
                                   "Warning:\tFoo::bar\\(\\) __ 中文 %1 %2",
                                   "Critical:\ttwo\nlines"}; // a line break inside a message is kept
        for (int i = 0; i < texts.size(); ++i)
            QVERIFY2(
                QRegularExpression("^" + stamp + ": " + texts[i] + where + "$").match(lines[i]).hasMatch(),
                qPrintable(lines[i]));
    }

    void threadsNeverInterleave()
    {
        writeIcon(m_tmp.path(), "threads");
        const int threads = 6, perThread = 150;
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([t] {
                const QMessageLogContext ctx("t.cpp", t, "worker()", "default");
                for (int i = 0; i < perThread; ++i)
                    MsgOutput(QtWarningMsg, ctx,
                              QString("thread %1 message %2 %3").arg(t).arg(i).arg(QString(40, 'x')));
            });
        for (auto &th : pool)
            th.join();
        const QStringList lines = readLines(todayFile(m_tmp.path(), "threads"));
        QCOMPARE(lines.size(), threads * perThread);
        const QRegularExpression re(
            R"(^\[[^\]]+\]: Warning:\tthread (\d) message (\d+) x{40} \(file:t\.cpp, line:\1, func: worker\(\)\)$)");
        QSet<QString> seen;
        for (const QString &line : lines) {
            const auto m = re.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            seen.insert(m.captured(1) + ":" + m.captured(2));
        }
        QCOMPARE(seen.size(), threads * perThread);
    }

    void midnightAndFatal()
    {
        if (QStandardPaths::findExecutable("faketime").isEmpty())
            QSKIP("faketime is not installed");
        writeIcon(m_tmp.path(), "probe");
        QProcess probe;
        // Five seconds before midnight: a slow start (sanitizers, a busy machine) must not miss it.
        probe.start("faketime",
                    {"-f", "@2026-03-01 23:59:55", QCoreApplication::applicationDirPath() + "/logprobe"});
        QVERIFY(probe.waitForFinished(20000));
        QVERIFY(probe.exitStatus() == QProcess::CrashExit || probe.exitCode() != 0); // aborted
        const QStringList before = readLines(m_tmp.filePath("probe_2026-03-01.log"));
        const QStringList after = readLines(m_tmp.filePath("probe_2026-03-02.log"));
        QCOMPARE(before.size(), 1);
        QCOMPARE(after.size(), 2);
        QVERIFY(before[0].startsWith("[2026-03-01 23:59:5") && before[0].contains("before midnight"));
        QVERIFY(after[0].startsWith("[2026-03-02 00:00:0") && after[0].contains("after midnight"));
        QVERIFY(after[1].contains(": Fatal:\tfatal line 42 (file:") &&
                after[1].contains("logprobe.cpp, line:"));
    }

private:
    QTemporaryDir m_tmp;
};

QTEST_GUILESS_MAIN(TestLoggerHelper)
#include "tst_loggerhelper.moc"

#include "runguard.h"

#include <QProcess>
#include <QtTest>

#include <memory>
#include <sched.h>
#include <signal.h>

class TestRunGuard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keyHash();
    void secondGuardInProcessIsRefused();
    void racingProcessesExactlyOneRuns();
    void killedInstanceDoesNotBlock();

private:
    std::unique_ptr<QProcess> startProbe(const QString &key);
    QString uniqueKey(const char *tag) const;
};

QString TestRunGuard::uniqueKey(const char *tag) const
{
    return QString("pagelux-test-%1-%2").arg(tag).arg(QCoreApplication::applicationPid());
}

std::unique_ptr<QProcess> TestRunGuard::startProbe(const QString &key)
{
    auto p = std::make_unique<QProcess>();
    p->start(QCoreApplication::applicationDirPath() + "/guardprobe", {key});
    return p;
}

void TestRunGuard::initTestCase()
{
    // The guard's locks are System V semaphores keyed by ftok(), which keeps only 16 bits of
    // the key file's inode: a new key file can map onto a semaphore that a killed process left
    // behind, held or at zero, and the probes then hang. A private IPC namespace (root may
    // have one) holds only the semaphores of this test and its probes.
    if (::unshare(CLONE_NEWIPC) != 0)
        qInfo("sharing the machine's IPC namespace");
}

static QString answer(QProcess &p)
{
    if (!p.waitForReadyRead(10000))
        return QString();
    return QString::fromUtf8(p.readLine()).trimmed();
}

void TestRunGuard::keyHash()
{
    // SHA-1 over the UTF-8 bytes of key followed by salt, lower-case hex.
    QCOMPARE(generateKeyHash("pagelux", "_memLockKey"), QString("1efaba71c999cf2d7f3e8201de9f88598f24f355"));
    QCOMPARE(generateKeyHash("高拍仪", "_sharedmemKey"), QString("07ba59102764ce64f96e45fc0ec8de27b5d95b3c"));
    QVERIFY(generateKeyHash("PageLux", "_sharedmemKey") != generateKeyHash("pagelux", "_sharedmemKey"));
    QVERIFY(generateKeyHash("", "_memLockKey") != generateKeyHash("", "_sharedmemKey"));
}

void TestRunGuard::secondGuardInProcessIsRefused()
{
    const QString key = uniqueKey("inproc");
    {
        RunGuard first(key);
        QVERIFY(first.tryToRun());
        QVERIFY(!first.isAnotherRunning()); // holding the marker is not "another"
        RunGuard second(key);
        QVERIFY(second.isAnotherRunning());
        QVERIFY(!second.tryToRun());
        RunGuard otherCase(key.toUpper());
        QVERIFY(otherCase.tryToRun());
    }
    RunGuard again(key);
    QVERIFY(again.tryToRun());
}

void TestRunGuard::racingProcessesExactlyOneRuns()
{
    const QString key = uniqueKey("race");
    std::vector<std::unique_ptr<QProcess>> probes;
    for (int i = 0; i < 4; ++i)
        probes.push_back(startProbe(key));
    int running = 0, blocked = 0;
    for (auto &p : probes) {
        const QString a = answer(*p);
        running += a == "run";
        blocked += a == "blocked";
    }
    QCOMPARE(running, 1);
    QCOMPARE(blocked, 3);
    for (auto &p : probes) {
        p->closeWriteChannel();
        QVERIFY(p->waitForFinished(10000));
    }
}

void TestRunGuard::killedInstanceDoesNotBlock()
{
    const QString key = uniqueKey("kill");
    auto first = startProbe(key);
    QCOMPARE(answer(*first), QString("run"));
    ::kill(static_cast<pid_t>(first->processId()), SIGKILL);
    QVERIFY(first->waitForFinished(10000));

    auto next = startProbe(key);
    QCOMPARE(answer(*next), QString("run"));
    next->closeWriteChannel();
    QVERIFY(next->waitForFinished(10000));
    QCOMPARE(next->exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestRunGuard)
#include "tst_runguard.moc"

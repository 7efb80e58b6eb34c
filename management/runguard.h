// Keeps a second copy of the program from running under the same key.
#ifndef RUNGUARD_H
#define RUNGUARD_H

#include <QSharedMemory>
#include <QString>
#include <QSystemSemaphore>

QString generateKeyHash(const QString &key, const QString &salt);

class RunGuard
{
public:
    explicit RunGuard(const QString &key);
    ~RunGuard();

    bool isAnotherRunning();
    bool tryToRun();
    void release();

private:
    Q_DISABLE_COPY(RunGuard)

    const QString key;
    const QString memLockKey;
    const QString sharedmemKey;

    QSharedMemory sharedMem;
    QSystemSemaphore memLock;
};

#endif // RUNGUARD_H

// Timing helpers shared by the image and PDF benchmarks.
#ifndef BENCHTIMING_H
#define BENCHTIMING_H

#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace benchtiming
{

// Median wall time in milliseconds of runs calls of f (one warm-up call first).
inline double medianMs(int runs, const std::function<void()> &f)
{
    f();
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        t.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// Runs a command to completion; false when it could not start or failed.
inline bool runCommand(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline void report(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
}

} // namespace benchtiming

#endif

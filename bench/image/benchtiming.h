// Timing helpers shared by the image and PDF benchmarks.
#ifndef BENCHTIMING_H
#define BENCHTIMING_H

#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace benchtiming
{

// Median wall times in milliseconds of ours and of the reference, run in
// alternation so that a change in the machine's load hits both alike (one
// warm-up call of each first).
inline std::pair<double, double> medianMs(int runs, const std::function<void()> &ours,
                                          const std::function<void()> &reference)
{
    ours();
    reference();
    std::vector<double> a, b;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        ours();
        a.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        reference();
        b.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return {a[a.size() / 2], b[b.size() / 2]};
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

// Logs through the program's handler: "midnight" logs once, waits for the
// date to change and logs again; "fatal" logs a fatal line.
#include "loggerhelper.h"

#include <QCoreApplication>
#include <QDate>
#include <QThread>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(MsgOutput);
    const QString mode = argc > 1 ? argv[1] : QString();
    if (mode == "midnight") {
        const QDate start = QDate::currentDate();
        qWarning("before midnight");
        for (int i = 0; i < 1000 && QDate::currentDate() == start; ++i)
            QThread::msleep(10);
        qWarning("after midnight");
        return 0;
    }
    if (mode == "fatal")
        qFatal("fatal line %d", 42);
    return 2;
}

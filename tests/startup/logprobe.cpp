// Logs through the program's handler once, waits for the date to change, logs
// again and ends on a fatal line.
#include "loggerhelper.h"

#include <QCoreApplication>
#include <QDate>
#include <QThread>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(MsgOutput);
    const QDate start = QDate::currentDate();
    qWarning("before midnight");
    for (int i = 0; i < 1000 && QDate::currentDate() == start; ++i)
        QThread::msleep(10);
    qWarning("after midnight");
    qFatal("fatal line %d", 42);
}

// Process-wide message handler: every qDebug/qWarning/... line goes to a daily log file.
#ifndef LOGGERHELPER_H
#define LOGGERHELPER_H

#include <QString>
#include <QtGlobal>

void MsgOutput(QtMsgType type, const QMessageLogContext &context, const QString &msg);

#endif // LOGGERHELPER_H

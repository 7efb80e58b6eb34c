#include "loggerhelper.h"

#include "ctoolhelper.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QTextStream>

#include <cstdlib>

namespace {

QString lineTemplate(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("%1: Debug:\t%2 (file:%3, line:%4, func: %5)");
    case QtInfoMsg:
        return QStringLiteral("%1: Info:\t%2 (file:%3, line:%4, func: %5)");
    case QtWarningMsg:
        return QStringLiteral("%1: Warning:\t%2 (file:%3, line:%4, func: %5)");
    case QtCriticalMsg:
        return QStringLiteral("%1: Critical:\t%2 (file:%3, line:%4, func: %5)");
    case QtFatalMsg:
        break;
    }
    return QStringLiteral("%1: Fatal:\t%2 (file:%3, line:%4, func: %5)");
}

// Messages logged from here are delivered by Qt to its default handler
// (standard error), since this handler is already running on this thread.
QString logDirectory(CToolHelper &helper)
{
    QString dir = helper.readSettingValue("LogState", "LogPath");
    if (dir.isEmpty())
        return "/tmp";
    if (!QDir(dir).exists()) {
        if (QDir().mkpath(dir)) {
            qWarning("MsgOutput() -- make file succeed!");
        } else {
            qWarning("MsgOutput() -- make file error!");
            return "/tmp";
        }
    }
    if (!QFileInfo(dir).isWritable())
        qWarning("MsgOutput () -- log 权限不够！请修改权限或路径。");
    return dir;
}

} // namespace

void MsgOutput(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    CToolHelper helper;
    const QString dir = logDirectory(helper);
    QString base = helper.readSettingValue("LogState", "LogName");
    if (base.isEmpty())
        base = "nuvora";
    const QString fileName =
        QString("%1/%2_%3.log").arg(dir, base, QDate::currentDate().toString("yyyy-MM-dd"));

    static QMutex mutex;
    mutex.lock();
    const QString stamp = QDateTime::currentDateTime().toString("[yyyy-MM-dd HH:mm:ss:zzz]");
    // One pass over the template, so that a "%1" inside the message stays as written.
    const QString line =
        lineTemplate(type).arg(stamp, msg, QString::fromUtf8(context.file), QString::number(context.line),
                               QString::fromUtf8(context.function));
    QFile file(fileName);
    if (file.open(QIODevice::ReadWrite | QIODevice::Append)) {
        QTextStream stream(&file);
        stream.setCodec("UTF-8");
        stream << line << "\r\n";
        stream.flush();
        file.close();
    }
    mutex.unlock();

    if (type == QtFatalMsg)
        abort();
}

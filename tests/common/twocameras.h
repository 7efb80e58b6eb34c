// Two virtual cameras whose presence a control file switches: the set-up of the
// suites that follow device discovery.
#ifndef TWOCAMERAS_H
#define TWOCAMERAS_H

#include "CamCaptureSDK.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace twocameras {

inline QString controlPath()
{
    static QTemporaryDir dir;
    return dir.filePath("control");
}

// Must come before Cam_Init, which reads the environment.
inline void configure(const QByteArray &ids = QByteArray())
{
    qputenv("CAMSDK_VIRTUAL", "2");
    if (!ids.isEmpty())
        qputenv("CAMSDK_VIRTUAL_IDS", ids);
    qputenv("CAMSDK_VIRTUAL_CONTROL", controlPath().toUtf8());
}

// Plugs or unplugs each camera and waits until the library's enumeration agrees.
inline void setPresent(bool first, bool second)
{
    QFile f(controlPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray("device 1 ") + (first ? "present" : "absent") + "\ndevice 2 " +
            (second ? "present" : "absent") + "\n");
    f.close();
    long count = -1;
    QTRY_VERIFY_WITH_TIMEOUT((Cam_GetDevCount(&count), count == long(first) + long(second)), 5000);
}

} // namespace twocameras

#endif

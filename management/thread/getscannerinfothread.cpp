#include "getscannerinfothread.h"

#include "CamCaptureSDK.h"

#include <QThread>

#include <cstring>

namespace {
char *copyText(char *buffer, const char *text)
{
    std::memset(buffer, 0, 256);
    if (text)
        qstrncpy(buffer, text, 256);
    return buffer;
}
} // namespace

GetScannerInfoThread::GetScannerInfoThread(IMAGEPARAM img, QString path, QString pdfPath, int formatType,
                                           QObject *parent)
    : QObject(parent), m_img(img), filePath(new char[CAM_PATH_SIZE]()), FilePDFPath(pdfPath),
      nFormatType(formatType)
{
    qstrncpy(filePath, path.toUtf8().constData(), CAM_PATH_SIZE);
    // The window's watermark buffers may change while the capture runs.
    WATERPARAM &w = m_img.waterParam;
    w.szWaterImagePath = copyText(m_waterImagePath, w.szWaterImagePath);
    w.szWaterContent = copyText(m_waterContent, w.szWaterContent);
    w.szWaterFont = copyText(m_waterFont, w.szWaterFont);
    w.nColor = copyText(m_waterColor, w.nColor);
}

GetScannerInfoThread::~GetScannerInfoThread()
{
    delete[] filePath;
}

void GetScannerInfoThread::slotSaveImg()
{
    qWarning("GetScannerInfoThread()_threadID: %d",
             int(reinterpret_cast<quintptr>(QThread::currentThreadId())));
    qWarning("filepath is %s\n", filePath);
    IMAGEPARAM param = m_img;
    const long status = Cam_CameraCaptureFile(0, filePath, &param);
    qWarning("**************status = %ld 1111\n", status);
    const QString result = QString("%1").arg(QString::fromUtf8(filePath));
    qWarning("*****************temPath is %s", qUtf8Printable(result));
    emit signalOver(result);
}

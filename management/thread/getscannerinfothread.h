// Capture worker: one object per capture, moved to a thread of its own, that asks
// the camera library to write the picture and reports the written path(s).
#ifndef GETSCANNERINFOTHREAD_H
#define GETSCANNERINFOTHREAD_H

#include "datatype.h"

#include <QObject>
#include <QString>

class GetScannerInfoThread : public QObject
{
    Q_OBJECT

public:
    GetScannerInfoThread(IMAGEPARAM img, QString path, QString pdfPath, int formatType,
                         QObject *parent = nullptr);
    ~GetScannerInfoThread() override;

    IMAGEPARAM m_img;
    char *filePath;
    QString FilePDFPath;
    int nFormatType;
    bool isStop = false;

signals:
    // The written paths joined by ";" (what the library left in the path buffer).
    void signalOver(QString szPath);

public slots:
    void slotSaveImg();

private:
    // The watermark texts of m_img, owned by the worker for the capture's life.
    char m_waterImagePath[256] = {};
    char m_waterContent[256] = {};
    char m_waterFont[256] = {};
    char m_waterColor[256] = {};
};

#endif // GETSCANNERINFOTHREAD_H

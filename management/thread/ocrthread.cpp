#include "ocrthread.h"

#include "DocumentSDK.h"

OCRThread::OCRThread(int type, int IsCombine, QStringList list, QObject *parent)
    : QObject(parent), m_nType(type), m_bIscombine(IsCombine), m_selectList(list)
{
}

void OCRThread::slotStartOCRThread()
{
    for (const QString &path : qAsConst(m_selectList))
        addFile(path.toUtf8().constData());
    setOcrProgressCallback(&OCRThread::progress, this);
    const int result = ocrRecog(m_nType, m_bIscombine != 0, m_fileName);
    setOcrProgressCallback(nullptr, nullptr);
    emit signalOCRThreadOver(result);
}

void OCRThread::progress(int page, int pages, void *self)
{
    emit static_cast<OCRThread *>(self)->signalOCRProgress(page, pages);
}

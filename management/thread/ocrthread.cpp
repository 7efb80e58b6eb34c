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
    const int result = ocrRecog(m_nType, m_bIscombine != 0, m_fileName);
    emit signalOCRThreadOver(result);
}

// Runs text recognition over the selected pictures and writes one document, on its own thread.
#ifndef OCRTHREAD_H
#define OCRTHREAD_H

#include <QObject>
#include <QStringList>

class OCRThread : public QObject
{
    Q_OBJECT

public:
    OCRThread(int type, int IsCombine, QStringList list, QObject *parent = nullptr);

    int m_nType = 0; // 0 text, 1 word-processor, 2 searchable PDF, 3 OFD
    int m_bIscombine = 1;
    char m_fileName[256] = {};
    QStringList m_selectList;

signals:
    void signalOCRThreadOver(int result);

public slots:
    void slotStartOCRThread();
};

#endif // OCRTHREAD_H

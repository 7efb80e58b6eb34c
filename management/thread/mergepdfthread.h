// Merges the selected pictures into one PDF beside the first of them, on its own thread.
#ifndef MERGEPDFTHREAD_H
#define MERGEPDFTHREAD_H

#include <QObject>
#include <QStringList>

// Grows during a run only: the "(n)" of the next merge whose plain name is taken.
extern int g_nMergeIndex;

class MergePDFThread : public QObject
{
    Q_OBJECT

public:
    MergePDFThread(QStringList list, QString name, QStringList filelist, bool IsCover,
                   QObject *parent = nullptr);

    // The PDF path for a merge starting with firstPath; filename (the bare first name)
    // becomes the output's bare name. An existing file is never chosen.
    static QString outputPath(const QString &firstPath, QString &filename);
    // Why the document library refused a job, for the user.
    static QString statusText(int status);
    int status() const { return m_status; }

    QStringList fileList;
    bool IsCoverName = false;
    QString filename;
    QStringList nullFileList;

signals:
    void signalOver(QString filename, QStringList list);

public slots:
    void startMerge();

private:
    int m_status = 0;
};

#endif // MERGEPDFTHREAD_H

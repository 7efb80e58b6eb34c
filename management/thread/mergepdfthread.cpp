#include "mergepdfthread.h"

#include "DocumentSDK.h"

#include <QFileInfo>

int g_nMergeIndex = 1;

MergePDFThread::MergePDFThread(QStringList list, QString name, QStringList filelist, bool IsCover,
                               QObject *parent)
    : QObject(parent), fileList(list), IsCoverName(IsCover), filename(name), nullFileList(filelist)
{
}

QString MergePDFThread::outputPath(const QString &firstPath, QString &filename)
{
    const int cut = firstPath.endsWith("tiff") ? 4 : 3;
    QString path = firstPath.left(firstPath.size() - cut) + "pdf";
    filename = filename.left(filename.size() - cut) + "pdf";
    if (!QFileInfo::exists(path))
        return path;
    // The counter starts again at 1 after a restart: skip the numbers already taken.
    const QString stem = path.left(path.size() - 4), name = filename.left(filename.size() - 4);
    QString numbered;
    do {
        numbered = QString("(%1).pdf").arg(g_nMergeIndex++);
    } while (QFileInfo::exists(stem + numbered));
    filename = name + numbered;
    return stem + numbered;
}

QString MergePDFThread::statusText(int status)
{
    switch (status) {
    case DOC_ERR_UNREADABLE_INPUT:
        return "图片无法读取（缺失、损坏或格式不支持）";
    case DOC_ERR_WRITE_FAILED:
        return "无法写入文件（文件夹不存在、不可写或磁盘已满）";
    case DOC_ERR_NO_LANGUAGE_DATA:
        return "缺少OCR语言数据";
    case DOC_ERR_OCR_FAILED:
        return "OCR识别失败";
    case DOC_ERR_NOTHING_COLLECTED:
        return "没有可处理的图片";
    default:
        return QString("文档库错误 %1").arg(status);
    }
}

void MergePDFThread::startMerge()
{
    qWarning("IsCoverName = %d", IsCoverName);
    if (fileList.isEmpty()) {
        emit signalOver(QString(), nullFileList);
        return;
    }
    for (const QString &path : qAsConst(fileList)) {
        qWarning("onButtonMergepdfClicked()____image path  is %s", qUtf8Printable(path));
        addFile(path.toUtf8().constData());
    }
    const QString path = outputPath(fileList.first(), filename);
    qWarning("onButtonMergepdfClicked()____ filename is %s", qUtf8Printable(path));
    m_status = combinePDF(path.toUtf8().constData());
    qWarning("合并成功* delete**********************************");
    deleteFile();
    if (m_status == DOC_OK)
        qWarning("合并成功***********************************");
    else
        qWarning("合并PDF失败 %d: %s", m_status, qUtf8Printable(statusText(m_status)));
    emit signalOver(filename, nullFileList);
}

// Builds the cells of the thumbnail list. Despite its name it has no thread of its
// own: it lives on the GUI thread and is driven by queued signals, a screenful of
// icon cells at a time (first pass); the home window's timer then asks it for the
// picture cell of one document per tick (second pass).
#ifndef THREADADDITEM_H
#define THREADADDITEM_H

#include "ctoolhelper.h"

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QStringList>

class QListWidgetItem;
class QWidget;

// One document of the folder and the moment it was last read.
typedef struct tagFileInfo {
    QString name;
    QDateTime time;
} FILEINFO;

// Width of the image box of a cell (the cell width less its margins).
extern int ItemWidgetWidth;

// Data roles of a thumbnail cell.
enum ItemRole {
    ItemPathRole = Qt::UserRole + 1,    // full path
    ItemNameRole = Qt::UserRole + 2,    // bare name
    ItemReplacedRole = Qt::UserRole + 3 // "0" icon cell, "1" picture cell
};

class ThreadAddItem : public QObject
{
    Q_OBJECT

public:
    // More documents than this are not listed.
    static constexpr int kMaxDocuments = 10000;
    // Larger pictures (or headers claiming them) show their type icon.
    static constexpr qint64 kMaxPicturePixels = 400LL * 1000 * 1000;

    ThreadAddItem(QStringList names, QString folder, QObject *parent = nullptr);

    QWidget *UpdateSingel(QString name);
    // The picture of a document read at the cell size, null when unreadable; any thread.
    static QImage readPicture(const QString &path);
    // The cell showing a picture read by readPicture (the type icon when it is null).
    QWidget *pictureCell(const QString &name, const QImage &picture);
    void AddSingelItem(QString name, bool IsSelected);
    QPixmap loadImageFunction(const QString &path, const QSize &size);
    void setFlagFunction(bool flag);
    void clearAllParam();

    // Documents of namelist that have no cell yet.
    int pendingCount() const { return namelist.count() - g_currentNum; }
    // A document that appeared after the listing: it gets its cell in turn.
    void appendName(const QString &name);
    // A document that went away: it no longer gets a cell.
    void removeName(const QString &name);

    // The name as a cell shows it: shortened when wider than the image box.
    static QString elidedName(const QString &name);
    // The size a picture is read at so that it fits the image box.
    static QSize readingSize(const QSize &picture);

    QStringList namelist;
    QStringList pathList;
    QString m_imagePath;
    QListWidgetItem *m_item = nullptr;
    QWidget *m_widget = nullptr;
    int g_currentNum = 0;

signals:
    void signalItemOver(QListWidgetItem *item, QWidget *widget, bool IsSelected, bool IsStartTimer);
    void signalThreadOver();

public slots:
    void slotStartLoad(int PicturesNum);

private:
    QWidget *buildCell(const QString &name, const QPixmap &picture, bool framed);
    QListWidgetItem *newItem(const QString &name);

    CToolHelper m_toolhelper;
    bool m_IsContinue = true;
};

#endif // THREADADDITEM_H

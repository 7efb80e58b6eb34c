// Builds the cells of the thumbnail list. Despite its name it has no thread of its
// own: it lives on the GUI thread and is driven by queued signals, a screenful of
// icon cells at a time (first pass); the home window's timer then asks it for the
// picture of one document per tick (second pass). Cells are items painted by the
// list's delegate from their data (type icon or picture, name), not widgets: ten
// thousand of them cost little memory and scrolling moves no widgets.
#ifndef THREADADDITEM_H
#define THREADADDITEM_H

#include "ctoolhelper.h"

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QStringList>
#include <QVector>

class QListWidgetItem;
class QWidget;

// One document of the folder and the moment it was last read (ms since the epoch),
// with its name folded for ordering ties without case.
typedef struct tagFileInfo {
    QString name;
    qint64 time;
    QString folded;
} FILEINFO;

// A folder's documents as listFolder gives them and their paths; when asked, the first
// ThreadAddItem::kMaxDocuments of them with their last-read times, ready to be ordered;
// and the folder's change time before they were read (ns).
struct FolderListing {
    QStringList names;
    QStringList paths;
    QVector<FILEINFO> files;
    qint64 changed = 0;
};

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

    explicit ThreadAddItem(QString folder, QObject *parent = nullptr);
    // The documents of the folder as readFolder gives them, before the first pass.
    void setDocuments(QVector<FILEINFO> files);

    // The picture a cell shows for a document, read now.
    QPixmap UpdateSingel(QString name);
    // The picture of a document read at the cell size, null when unreadable; any thread.
    // Pictures larger than a thumbnail go through the desktop's shared thumbnail store
    // (freedesktop.org "normal" size): read from it when its thumbnail is current, else
    // decoded and stored.
    static QImage readPicture(const QString &path);
    // Where the shared store keeps the thumbnail of a file.
    static QString thumbnailPath(const QString &path);
    // A file rewritten within the second of its thumbnail (a turn) has to drop it.
    static void forgetThumbnail(const QString &path);
    // What a picture cell shows for a picture read by readPicture: the picture in a
    // thin frame, or the type icon when it is null.
    QPixmap pictureCell(const QString &name, const QImage &picture);
    void AddSingelItem(QString name, bool IsSelected);
    QPixmap loadImageFunction(const QString &path, const QSize &size);
    void setFlagFunction(bool flag);
    void clearAllParam();

    // Documents that have no cell yet.
    int pendingCount() const { return namelist.count() - g_currentNum + fileInfoList.count() - m_ordered; }
    // A document that appeared after the listing: it gets its cell in turn.
    void appendName(const QString &name);
    // A document that went away: it no longer gets a cell.
    void removeName(const QString &name);

    // The documents of a folder: visible regular files whose names end as one of the
    // "*.ending" patterns says, in any case; in the order the folder gives them. With
    // lastRead, also the moment each was last read (ms since the epoch, 0 if unknown).
    static QStringList listFolder(const QString &folder, const QStringList &patterns,
                                  QVector<qint64> *lastRead = nullptr);
    // listFolder with what the list needs besides (see FolderListing); on any thread.
    static FolderListing readFolder(const QString &folder, const QStringList &patterns, bool withTimes);
    // The folder's change time (ns since the epoch), 0 when it cannot be read.
    static qint64 changeTime(const QString &folder);
    // The name as a cell shows it: shortened when wider than the image box.
    static QString elidedName(const QString &name);
    // The size a picture is read at so that it fits the image box.
    static QSize readingSize(const QSize &picture);

    // The documents in display order as far as it has been made (see orderMore), then
    // those that appeared later.
    QStringList namelist;
    QString m_imagePath;
    QListWidgetItem *m_item = nullptr;
    QWidget *m_widget = nullptr; // cells have no widget: always null
    int g_currentNum = 0;

signals:
    void signalItemOver(QListWidgetItem *item, QWidget *widget, bool IsSelected, bool IsStartTimer);
    void signalThreadOver();

public slots:
    void slotStartLoad(int PicturesNum);

private:
    QListWidgetItem *newItem(const QString &name);
    void orderMore(int count);

    CToolHelper m_toolhelper;
    bool m_IsContinue = true;
    // Cells asked for and not built yet, and whether a pass is building them.
    int m_cellsWanted = 0;
    bool m_loading = false;
    // The folder's documents; the first m_ordered are in namelist, in display order.
    QVector<FILEINFO> fileInfoList;
    int m_ordered = 0;
};

#endif // THREADADDITEM_H

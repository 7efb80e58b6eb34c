#include "threadadditem.h"

#include "ImageSDK.h"
#include "adfmain.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImageIOHandler>
#include <QImageReader>
#include <QListWidgetItem>
#include <QPainter>
#include <QPixmapCache>
#include <QPointer>
#include <QStandardPaths>
#include <QStringBuilder>
#include <QTemporaryFile>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

int ItemWidgetWidth = g_ItemWidth - 20;

namespace {
const int kImageBoxHeight = g_ItemHeight - 40;
// The oldest last-read time first.
const int g_nOrder = 1;

int SortByDate(const FILEINFO &a, const FILEINFO &b)
{
    if (a.time < b.time)
        return -g_nOrder;
    if (b.time < a.time)
        return g_nOrder;
    return 0;
}

// Documents read at the same moment go by name.
bool displayOrder(const FILEINFO &a, const FILEINFO &b)
{
    const int order = SortByDate(a, b);
    return order != 0 ? order < 0 : a.folded < b.folded;
}

// A folder opened for reading its entries; closed when it goes out of scope.
struct FolderHandle {
    explicit FolderHandle(const QString &folder) : dir(::opendir(QFile::encodeName(folder).constData())) {}
    ~FolderHandle()
    {
        if (dir)
            ::closedir(dir);
    }
    int fd() const { return ::dirfd(dir); }
    DIR *dir;
};
} // namespace

ThreadAddItem::ThreadAddItem(QString folder, QObject *parent) : QObject(parent), m_imagePath(folder)
{
    m_toolhelper.SettingAllSets();
}

// The order needs every document's last-read time before the first cell: listFolder
// takes it with one stat a name in its pass over the folder, as a number (going through
// QFileInfo and QDateTime took several times that), and readFolder folds the names for
// ties. The order itself is made as the first pass goes (orderMore).
void ThreadAddItem::setDocuments(QVector<FILEINFO> files)
{
    fileInfoList = std::move(files);
    m_ordered = 0;
}

// The first screenful only needs the few oldest documents: they are picked out of the
// folder, and the rest is sorted once the list goes beyond them.
void ThreadAddItem::orderMore(int count)
{
    const int unordered = fileInfoList.count() - m_ordered;
    if (count <= 0 || unordered == 0)
        return;
    const auto first = fileInfoList.begin() + m_ordered;
    const auto last = first + (m_ordered == 0 ? std::min(count, unordered) : unordered);
    if (last == fileInfoList.end())
        std::sort(first, last, displayOrder);
    else
        std::partial_sort(first, last, fileInfoList.end(), displayOrder);
    for (auto it = first; it != last; ++it)
        namelist.append(it->name);
    m_ordered = int(last - fileInfoList.begin());
}

QStringList ThreadAddItem::listFolder(const QString &folder, const QStringList &patterns,
                                      QVector<qint64> *lastRead)
{
    QList<QByteArray> endings;
    for (const QString &pattern : patterns)
        endings << QFile::encodeName(pattern.mid(1));
    QStringList names;
    const FolderHandle handle(folder);
    if (!handle.dir)
        return names;
    while (const dirent *entry = ::readdir(handle.dir)) {
        const char *name = entry->d_name;
        const size_t length = std::strlen(name);
        if (name[0] == '.')
            continue;
        const bool matches = std::any_of(endings.begin(), endings.end(), [&](const QByteArray &ending) {
            return length > size_t(ending.size()) &&
                   ::strcasecmp(name + length - ending.size(), ending.constData()) == 0;
        });
        if (!matches)
            continue;
        // Most file systems give the type with the entry; links and the rest are asked.
        const bool regular = entry->d_type == DT_REG;
        if (!regular && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        qint64 ms = 0;
        if (!regular || lastRead) {
            struct stat info;
            const bool known = ::fstatat(handle.fd(), name, &info, 0) == 0;
            if (!regular && (!known || !S_ISREG(info.st_mode)))
                continue;
            if (known)
                ms = qint64(info.st_atim.tv_sec) * 1000 + info.st_atim.tv_nsec / 1000000;
        }
        // What QFile::decodeName does here, without a copy of the name first.
        names << QString::fromLocal8Bit(name, int(length));
        if (lastRead)
            lastRead->append(ms);
    }
    return names;
}

qint64 ThreadAddItem::changeTime(const QString &folder)
{
    struct stat info;
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
        return 0;
    return qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

FolderListing ThreadAddItem::readFolder(const QString &folder, const QStringList &patterns, bool withTimes)
{
    FolderListing listing;
    listing.changed = changeTime(folder);
    QVector<qint64> lastRead;
    listing.names = listFolder(folder, patterns, withTimes ? &lastRead : nullptr);
    listing.paths.reserve(listing.names.count());
    const QString prefix = folder + QLatin1Char('/');
    for (const QString &name : qAsConst(listing.names))
        listing.paths.append(prefix % name);
    if (withTimes) {
        const int count = std::min<int>(listing.names.count(), kMaxDocuments);
        listing.files.reserve(count);
        for (int i = 0; i < count; ++i) {
            const QString &name = listing.names.at(i);
            listing.files.append({name, lastRead.at(i), name.toCaseFolded()});
        }
    }
    return listing;
}

void ThreadAddItem::slotStartLoad(int PicturesNum)
{
    qWarning("ThreadAddItem::slotStartLoad() -- g_currentNum is %d,namelist.count() is %d", g_currentNum,
             namelist.count());
    // The window processes events for every cell, so a request arriving meanwhile is
    // added to the pass in progress rather than starting another one inside it.
    m_cellsWanted += PicturesNum;
    if (m_loading)
        return;
    m_loading = true;
    // Icon cells leave the selection alone: the list opens at its top, with its first
    // document selected, and scrolling on does not move the selection.
    const QPointer<ThreadAddItem> alive(this);
    while (m_IsContinue && m_cellsWanted > 0) {
        if (g_currentNum == namelist.count())
            orderMore(m_cellsWanted);
        if (g_currentNum == namelist.count())
            break;
        --m_cellsWanted;
        m_item = newItem(namelist.at(g_currentNum++));
        // The receiver processes events: the list may be rebuilt and this worker dropped.
        // The second pass starts when the whole batch is in (signalThreadOver).
        emit signalItemOver(m_item, m_widget, false, false);
        if (!alive)
            return;
    }
    m_loading = false;
    m_cellsWanted = 0;
    emit signalThreadOver();
}

QListWidgetItem *ThreadAddItem::newItem(const QString &name)
{
    auto *item = new QListWidgetItem;
    item->setSizeHint(QSize(g_ItemWidth, g_ItemHeight));
    item->setData(ItemPathRole, m_imagePath + "/" + name);
    item->setData(ItemNameRole, name);
    item->setText(name); // for typing a name to find it; the delegate paints it elided
    item->setData(ItemReplacedRole, "0");
    item->setData(Qt::DecorationRole, loadImageFunction(m_imagePath + "/" + name, QSize(88, 88)));
    item->setToolTip(name);
    return item;
}

QString ThreadAddItem::elidedName(const QString &name)
{
    if (QFontMetrics(QApplication::font()).horizontalAdvance(name) > ItemWidgetWidth)
        return name.left(4) + "..." + name.right(5);
    return name;
}

QSize ThreadAddItem::readingSize(const QSize &picture)
{
    const QSize box(ItemWidgetWidth, kImageBoxHeight);
    if (picture.width() > picture.height())
        return QSize(box.width(), int(double(box.width()) * picture.height() / picture.width()));
    if (picture.height() > picture.width())
        return QSize(int(double(box.height()) * picture.width() / picture.height()), box.height());
    return box;
}

QPixmap ThreadAddItem::UpdateSingel(QString name)
{
    return pictureCell(name, readPicture(m_imagePath + "/" + name));
}

namespace {
// The largest side of a thumbnail of the shared store's "normal" size.
const int kThumbnailSide = 128;

QByteArray uriOf(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
}

// A stored thumbnail made from the file as it is now, else a null image.
QImage currentThumbnail(const QString &store, const QString &path, const struct stat &info)
{
    // The keys are taken from the image: the reader's text() splits "Thumb::URI" at its colon.
    const QImage thumbnail(store, "png");
    const QString size = thumbnail.text("Thumb::Size");
    if (thumbnail.isNull() || thumbnail.text("Thumb::URI") != uriOf(path) ||
        thumbnail.text("Thumb::MTime") != QString::number(qint64(info.st_mtim.tv_sec)) ||
        (!size.isEmpty() && size != QString::number(info.st_size)))
        return QImage();
    return thumbnail;
}

// Stored the way the shared store wants it: private, and whole or not at all.
void storeThumbnail(const QString &store, const QString &path, const struct stat &info, QImage thumbnail)
{
    const QFileInfo folder(QFileInfo(store).path());
    if (!folder.exists() && QDir().mkpath(folder.filePath())) {
        for (const QString &created : {folder.filePath(), folder.path()})
            QFile::setPermissions(created, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    thumbnail.setText("Thumb::URI", uriOf(path));
    thumbnail.setText("Thumb::MTime", QString::number(qint64(info.st_mtim.tv_sec)));
    thumbnail.setText("Thumb::Size", QString::number(info.st_size));
    thumbnail.setText("Software", QCoreApplication::applicationName());
    QTemporaryFile file(store + ".XXXXXX"); // created private
    if (!file.open() || !thumbnail.save(&file, "png"))
        return;
    file.close();
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(store).constData()) == 0)
        file.setAutoRemove(false);
}
} // namespace

QString ThreadAddItem::thumbnailPath(const QString &path)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/thumbnails/normal/" +
           QCryptographicHash::hash(uriOf(path), QCryptographicHash::Md5).toHex() + ".png";
}

void ThreadAddItem::forgetThumbnail(const QString &path)
{
    QFile::remove(thumbnailPath(path));
}

namespace {
// JPEGs through the image library: from their embedded thumbnail (our captures carry
// one) or decoded at a reduced scale. False for pictures the library leaves to Qt.
bool readJpeg(const QString &path, QImage &picture, bool &embedded)
{
    unsigned char *pixels = nullptr;
    int width = 0, height = 0, fromThumbnail = 0;
    const int status = imageReadPreview(QFile::encodeName(path).constData(), kThumbnailSide, kThumbnailSide,
                                        &pixels, &width, &height, &fromThumbnail);
    if (status == IMG_ERR_UNSUPPORTED)
        return false;
    if (status == IMG_OK)
        picture = QImage(pixels, width, height, 3 * width, QImage::Format_RGB888).copy();
    imageFree(pixels);
    embedded = fromThumbnail != 0;
    return true;
}

// Other pictures through Qt's readers: large ones at the thumbnail size, small ones
// directly at the cell size (a thumbnail would save nothing).
QImage readWithQt(const QString &path, bool &large)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    // A header may claim any size; some readers allocate it in full before scaling.
    if (!stored.isValid() || stored.isEmpty() ||
        qint64(stored.width()) * stored.height() > ThreadAddItem::kMaxPicturePixels)
        return QImage();
    // The scaled size applies before the orientation is turned upright.
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize upright = turned ? stored.transposed() : stored;
    large = upright.width() > kThumbnailSide || upright.height() > kThumbnailSide;
    const QSize size = large ? upright.scaled(kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio)
                             : ThreadAddItem::readingSize(upright);
    reader.setScaledSize(turned ? size.transposed() : size);
    return reader.read();
}
} // namespace

QImage ThreadAddItem::readPicture(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QImage();
    const QString store = thumbnailPath(path);
    QImage picture = currentThumbnail(store, path, info);
    if (picture.isNull()) {
        bool embedded = false, large = false;
        if (readJpeg(path, picture, embedded))
            large = !embedded && (picture.width() > kThumbnailSide || picture.height() > kThumbnailSide);
        else
            picture = readWithQt(path, large);
        if (picture.isNull())
            return picture;
        // Decoding was the expensive part: the next time the stored thumbnail serves.
        if (large) {
            picture =
                picture.scaled(kThumbnailSide, kThumbnailSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            storeThumbnail(store, path, info, picture);
        }
    }
    return picture.scaled(readingSize(picture.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QPixmap ThreadAddItem::pictureCell(const QString &name, const QImage &picture)
{
    if (picture.width() == 0 || picture.height() == 0)
        return loadImageFunction(m_imagePath + "/" + name, QSize(88, 88));
    // A thin frame keeps white pages apart from the white list.
    QPixmap framed(picture.size() + QSize(2, 2));
    framed.fill(QColor(214, 219, 227));
    QPainter painter(&framed);
    painter.fillRect(1, 1, picture.width(), picture.height(), Qt::white);
    painter.drawImage(1, 1, picture);
    return framed;
}

void ThreadAddItem::AddSingelItem(QString name, bool IsSelected)
{
    m_item = newItem(name);
    m_item->setData(Qt::DecorationRole, UpdateSingel(name));
    m_item->setData(ItemReplacedRole, "1");
    emit signalItemOver(m_item, m_widget, IsSelected, true);
}

// The type icon of a document, chosen by its ending; pictures are not read here.
QPixmap ThreadAddItem::loadImageFunction(const QString &path, const QSize &)
{
    const QString ending = QFileInfo(path).suffix().toLower();
    QString icon;
    if (ending == "pdf")
        icon = m_toolhelper.imagepdf;
    else if (ending == "png")
        icon = m_toolhelper.imagepng;
    else if (ending == "jpg")
        icon = m_toolhelper.imagejpg;
    else if (ending == "bmp")
        icon = m_toolhelper.imagebmp;
    else if (ending == "tiff")
        icon = m_toolhelper.imagetif;
    if (icon.isEmpty())
        return QPixmap();
    // Thousands of cells share a handful of icons.
    QPixmap pixmap;
    if (!QPixmapCache::find(icon, &pixmap)) {
        QImageReader reader(icon);
        reader.setAutoTransform(true);
        pixmap = QPixmap::fromImage(reader.read());
        QPixmapCache::insert(icon, pixmap);
    }
    return pixmap;
}

void ThreadAddItem::setFlagFunction(bool flag)
{
    m_IsContinue = flag;
}

void ThreadAddItem::clearAllParam()
{
    namelist.clear();
    fileInfoList.clear();
    m_ordered = 0;
    m_imagePath.clear();
    g_currentNum = 0;
}

void ThreadAddItem::appendName(const QString &name)
{
    orderMore(fileInfoList.count() - m_ordered); // the folder's documents come first
    namelist.append(name);
}

void ThreadAddItem::removeName(const QString &name)
{
    const int i = namelist.indexOf(name);
    if (i < 0) {
        const auto unordered = std::find_if(fileInfoList.begin() + m_ordered, fileInfoList.end(),
                                            [&](const FILEINFO &info) { return info.name == name; });
        if (unordered != fileInfoList.end())
            fileInfoList.erase(unordered);
        return;
    }
    namelist.removeAt(i);
    if (i < g_currentNum)
        --g_currentNum;
}

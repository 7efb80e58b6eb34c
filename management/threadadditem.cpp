#include "threadadditem.h"

#include "adfmain.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QImageIOHandler>
#include <QImageReader>
#include <QLabel>
#include <QListWidgetItem>
#include <QPixmapCache>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>
#include <sys/stat.h>

int ItemWidgetWidth = g_ItemWidth - 20;

namespace {
const int kImageBoxHeight = g_ItemHeight - 40;
const int kTextBoxHeight = 20;
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
} // namespace

ThreadAddItem::ThreadAddItem(QStringList names, QString folder, QObject *parent)
    : QObject(parent), m_imagePath(folder)
{
    m_toolhelper.SettingAllSets();
    QVector<FILEINFO> fileInfoList;
    const int count = std::min<int>(names.count(), kMaxDocuments);
    fileInfoList.reserve(count);
    // Times in UTC: comparing local times converts them on every comparison, which
    // made sorting ten thousand names take seconds.
    for (int i = 0; i < count; ++i) {
        struct stat info;
        qint64 ms = 0;
        if (::stat(QFile::encodeName(folder + "/" + names.at(i)).constData(), &info) == 0)
            ms = qint64(info.st_atim.tv_sec) * 1000 + info.st_atim.tv_nsec / 1000000;
        fileInfoList.append({names.at(i), QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC)});
    }
    // Documents read at the same moment go by name.
    std::sort(fileInfoList.begin(), fileInfoList.end(), [](const FILEINFO &a, const FILEINFO &b) {
        const int order = SortByDate(a, b);
        return order != 0 ? order < 0 : a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    namelist.reserve(count);
    pathList.reserve(count);
    for (const FILEINFO &info : fileInfoList) {
        namelist.append(info.name);
        pathList.append(folder + "/" + info.name);
    }
}

void ThreadAddItem::slotStartLoad(int PicturesNum)
{
    qWarning("ThreadAddItem::slotStartLoad() -- g_currentNum is %d,namelist.count() is %d", g_currentNum,
             namelist.count());
    // Icon cells leave the selection alone: the list opens at its top, with its first
    // document selected, and scrolling on does not move the selection.
    const QPointer<ThreadAddItem> alive(this);
    while (m_IsContinue && PicturesNum-- > 0 && g_currentNum < namelist.count()) {
        const QString name = namelist.at(g_currentNum++);
        // An icon cell has no widget of its own: the list's delegate paints its icon
        // and name, so that ten thousand of them cost little memory and scroll freely.
        m_item = newItem(name);
        m_item->setData(Qt::DecorationRole, loadImageFunction(m_imagePath + "/" + name, QSize(88, 88)));
        m_widget = nullptr;
        // The receiver processes events: the list may be rebuilt and this worker dropped.
        // The second pass starts when the whole batch is in (signalThreadOver).
        emit signalItemOver(m_item, m_widget, false, false);
        if (!alive)
            return;
    }
    emit signalThreadOver();
}

QListWidgetItem *ThreadAddItem::newItem(const QString &name)
{
    auto *item = new QListWidgetItem;
    item->setSizeHint(QSize(g_ItemWidth, g_ItemHeight));
    item->setData(ItemPathRole, m_imagePath + "/" + name);
    item->setData(ItemNameRole, name);
    item->setData(ItemReplacedRole, "0");
    item->setToolTip(name);
    return item;
}

QWidget *ThreadAddItem::buildCell(const QString &name, const QPixmap &picture, bool framed)
{
    auto *cell = new QWidget;
    cell->setAttribute(Qt::WA_TranslucentBackground);
    auto *column = new QVBoxLayout(cell);
    column->setSpacing(2);
    column->setContentsMargins(10, 8, 10, 6);

    auto *imageBox = new QWidget(cell);
    imageBox->setFixedSize(ItemWidgetWidth, kImageBoxHeight);
    auto *imageLayout = new QHBoxLayout(imageBox);
    imageLayout->setContentsMargins(0, 0, 0, 0);
    auto *imageLabel = new QLabel(imageBox);
    imageLabel->setAlignment(Qt::AlignCenter);
    imageLabel->setPixmap(picture);
    if (framed) {
        // A thin frame keeps white pages apart from the white list.
        imageLabel->setFixedSize(picture.size() + QSize(2, 2));
        imageLabel->setStyleSheet("QLabel{border:1px solid rgb(214,219,227);background:white;}");
    }
    imageLayout->addWidget(imageLabel, 0, Qt::AlignCenter);

    auto *textBox = new QWidget(cell);
    textBox->setFixedSize(ItemWidgetWidth, kTextBoxHeight);
    auto *textLayout = new QHBoxLayout(textBox);
    textLayout->setContentsMargins(0, 0, 0, 0);
    auto *txtLabel = new QLabel(elidedName(name), textBox);
    txtLabel->setAlignment(Qt::AlignCenter);
    QFont font("SourceHanSansSC-Normal,SourceHanSansSC");
    font.setPixelSize(10);
    txtLabel->setFont(font);
    textLayout->addWidget(txtLabel);

    column->addWidget(imageBox, 0, Qt::AlignHCenter);
    column->addStretch();
    column->addWidget(textBox, 0, Qt::AlignHCenter);
    return cell;
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

QWidget *ThreadAddItem::UpdateSingel(QString name)
{
    return pictureCell(name, readPicture(m_imagePath + "/" + name));
}

QImage ThreadAddItem::readPicture(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    // A header may claim any size; some readers allocate it in full before scaling.
    if (!stored.isValid() || stored.isEmpty() || qint64(stored.width()) * stored.height() > kMaxPicturePixels)
        return QImage();
    // The scaled size applies before the orientation is turned upright.
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize size = readingSize(turned ? stored.transposed() : stored);
    reader.setScaledSize(turned ? size.transposed() : size);
    return reader.read();
}

QWidget *ThreadAddItem::pictureCell(const QString &name, const QImage &picture)
{
    if (picture.width() == 0 || picture.height() == 0)
        return buildCell(name, loadImageFunction(m_imagePath + "/" + name, QSize(88, 88)), false);
    return buildCell(name, QPixmap::fromImage(picture), true);
}

void ThreadAddItem::AddSingelItem(QString name, bool IsSelected)
{
    m_item = newItem(name);
    m_widget = UpdateSingel(name);
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
    pathList.clear();
    m_imagePath.clear();
    g_currentNum = 0;
}

void ThreadAddItem::appendName(const QString &name)
{
    namelist.append(name);
    pathList.append(m_imagePath + "/" + name);
}

void ThreadAddItem::removeName(const QString &name)
{
    const int i = namelist.indexOf(name);
    if (i < 0)
        return;
    namelist.removeAt(i);
    pathList.removeAt(i);
    if (i < g_currentNum)
        --g_currentNum;
}

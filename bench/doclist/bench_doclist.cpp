// The document list on a folder of 10 000 8-megapixel captures against one of 20, in
// the same process: time to the first screen of cells and of pictures, the cost of
// one picture cell against a full decode (for our captures, which carry a thumbnail,
// and for other programs' JPEGs, which do not), peak memory, and how long the GUI
// thread stalls while the list is scrolled from the top to the end.
#include "CamCaptureSDK.h"
#include "adfmain.h"
#include "capturefile.h"
#include "mylistwidget.h"
#include "testpictures.h"
#include "threadadditem.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <turbojpeg.h>
#include <unistd.h>

namespace {
const QSize kPicture(3264, 2448);

bool g_quiet = true;
void quietLog(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (!g_quiet || type >= QtCriticalMsg)
        fprintf(stderr, "%s\n", qUtf8Printable(msg));
}

// Peak resident memory of the process so far, in megabytes.
double peakMB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// A camera-sized page picture as another program writes it (4:2:0, quality 90, no thumbnail).
QByteArray foreignJpeg(int seed)
{
    return testpictures::encodeJpeg(testpictures::scene(kPicture.width(), kPicture.height(), seed),
                                    TJSAMP_420, 90, 300);
}

// The same picture as a camera frame, captured to path by the camera library's writer.
bool capture(const QString &path, int seed)
{
    const QByteArray jpeg = foreignJpeg(seed);
    camsdk::EncodedFrame frame;
    frame.width = kPicture.width();
    frame.height = kPicture.height();
    frame.data.assign(jpeg.begin(), jpeg.end());
    IMAGEPARAM param{};
    param.bIsCoverFile = true;
    char target[CAM_PATH_SIZE] = {};
    qstrncpy(target, QFile::encodeName(path).constData(), sizeof target);
    return camsdk::Capturer().capture(frame, target, param) == ERROR_GOOD;
}

// A folder of n pictures: hard links to a few real-sized JPEGs.
bool makeFolder(const QString &folder, int n, const QStringList &sources)
{
    QDir().mkpath(folder);
    for (int i = 0; i < n; ++i) {
        const QString name = folder + QString("/CameraImage_%1.jpg").arg(i + 1, 5, 10, QChar('0'));
        if (::link(qPrintable(sources.at(i % sources.count())), qPrintable(name)) != 0)
            return false;
    }
    return true;
}

struct FirstScreen {
    double cellsMs = 0;
    double picturesMs = 0;
};

MyListWidget *listOf(ADFmain &w)
{
    return w.findChild<MyListWidget *>("centerwidget");
}

bool allPictures(MyListWidget *list, int count)
{
    if (list->count() < count)
        return false;
    for (int i = 0; i < count; ++i) {
        if (list->item(i)->data(ItemReplacedRole).toString() != "1")
            return false;
    }
    return true;
}

FirstScreen openOn(const QString &settings, const QString &folder, std::unique_ptr<ADFmain> &w, int screen)
{
    QSettings(settings, QSettings::IniFormat).setValue("MainSettings/FilePath", folder);
    FirstScreen result;
    QElapsedTimer timer;
    timer.start();
    w.reset(new ADFmain);
    w->show();
    MyListWidget *list = listOf(*w);
    waitUntil([&] { return list->count() >= screen; }, 60000);
    result.cellsMs = timer.nsecsElapsed() / 1e6;
    waitUntil([&] { return allPictures(list, screen); }, 120000);
    result.picturesMs = timer.nsecsElapsed() / 1e6;
    return result;
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The user settings and the thumbnail store of the bench live under a home of its own.
    const QString home = QString("/home/plxbench%1").arg(getpid());
    QDir().mkpath(home + "/Documents");
    qputenv("HOME", home.toUtf8());
    qunsetenv("XDG_CACHE_HOME");
    QApplication app(argc, argv);
    qInstallMessageHandler(quietLog);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const QString user = home.section('/', 2, 2);
    const QString settings = QCoreApplication::applicationDirPath() + "/" + user + "/UILastSetting.ini";
    QDir().mkpath(QFileInfo(settings).path());
    QSettings(settings, QSettings::IniFormat).setValue("MainSettings/ErrorTips", "0");

    const QString root = QString("/tmp/pagelux_bench_doclist_%1").arg(getpid());
    QStringList sources, foreign;
    QDir().mkpath(root);
    for (int i = 0; i < 4; ++i) {
        sources << root + QString("/source%1.jpg").arg(i);
        foreign << root + QString("/foreign%1.jpg").arg(i);
        if (!capture(sources.last(), i) || !testpictures::writeAll(foreign.last(), foreignJpeg(i))) {
            fprintf(stderr, "cannot write the pictures under %s\n", qPrintable(root));
            return 1;
        }
    }
    const int bigCount = argc > 1 ? atoi(argv[1]) : 10000;
    if (!makeFolder(root + "/small", 20, sources) || !makeFolder(root + "/big", bigCount, sources) ||
        !makeFolder(root + "/foreign", 9, foreign)) {
        fprintf(stderr, "cannot make the folders under %s\n", qPrintable(root));
        return 1;
    }

    std::unique_ptr<ADFmain> w;
    // Three rounds, small folder then large, medians: the machine is shared.
    std::vector<double> smallCells, smallPictures, bigCells, bigPictures;
    double smallPeak = 0, bigPeak = 0;
    for (int round = 0; round < 3; ++round) {
        // The same screenful for both folders: the cells of the small folder are all of it.
        const FirstScreen small = openOn(settings, root + "/small", w, 20);
        w.reset();
        smallPeak = round == 0 ? peakMB() : smallPeak;
        const FirstScreen big = openOn(settings, root + "/big", w, 20);
        bigPeak = round == 0 ? peakMB() : bigPeak;
        if (round < 2)
            w.reset();
        smallCells.push_back(small.cellsMs);
        smallPictures.push_back(small.picturesMs);
        bigCells.push_back(big.cellsMs);
        bigPictures.push_back(big.picturesMs);
    }
    for (auto *v : {&smallCells, &smallPictures, &bigCells, &bigPictures})
        std::sort(v->begin(), v->end());
    printf("first_screen_cells_10000_vs_20 %.2f ratio\n", bigCells[1] / smallCells[1]);
    printf("first_screen_pictures_10000_vs_20 %.2f ratio\n", bigPictures[1] / smallPictures[1]);
    printf("first_screen_cells_10000 %.0f ms\n", bigCells[1]);
    printf("first_screen_pictures_10000 %.0f ms\n", bigPictures[1]);

    // One picture cell against a full decode of the same file (medians of 9): the first
    // read of one of our captures (from its embedded thumbnail); the first read of
    // another program's JPEG (decoded at a reduced scale, its thumbnail stored) and its
    // read through the stored thumbnail, as when the folder is shown again.
    ThreadAddItem ours(root + "/big"), others(root + "/foreign");
    std::vector<double> embedded, first, cached, gui, full, fullScaled;
    QElapsedTimer timer;
    const auto time = [&](const std::function<void()> &run) {
        timer.start();
        run();
        return timer.nsecsElapsed() / 1e6;
    };
    for (int i = 0; i < 9; ++i) {
        // Far down the large folder: not read by the first screens.
        const QString name = QString("CameraImage_%1.jpg").arg(bigCount - 1 - i, 5, 10, QChar('0'));
        const QString foreignName = QString("CameraImage_%1.jpg").arg(i + 1, 5, 10, QChar('0'));
        embedded.push_back(time([&] { ours.UpdateSingel(name); }));
        first.push_back(time([&] { others.UpdateSingel(foreignName); }));
        cached.push_back(time([&] { others.UpdateSingel(foreignName); }));
        // The second pass reads on a pool thread; the GUI thread only frames the picture.
        const QImage read = ThreadAddItem::readPicture(root + "/big/" + name);
        gui.push_back(time([&] { ours.pictureCell(name, read); }));
        QImage image;
        full.push_back(time([&] {
            QImageReader reader(root + "/big/" + name);
            reader.setAutoTransform(true);
            image = reader.read();
        }));
        // What decoding full-size and scaling down afterwards would cost.
        fullScaled.push_back(full.back() + time([&] {
                                 image.scaled(ThreadAddItem::readingSize(image.size()), Qt::IgnoreAspectRatio,
                                              Qt::SmoothTransformation);
                             }));
    }
    for (auto *v : {&embedded, &first, &cached, &gui, &full, &fullScaled})
        std::sort(v->begin(), v->end());
    printf("full_decode_8mp %.1f ms\n", full[4]);
    printf("picture_cell_our_capture_embedded_thumbnail_vs_full_decode %.2f times_cheaper\n",
           full[4] / embedded[4]);
    printf("picture_cell_other_jpeg_first_read_vs_full_decode %.2f times_cheaper\n", full[4] / first[4]);
    printf("picture_cell_other_jpeg_first_read_vs_full_decode_and_scale %.2f times_cheaper\n",
           fullScaled[4] / first[4]);
    printf("picture_cell_other_jpeg_stored_thumbnail_vs_full_decode %.2f times_cheaper\n",
           full[4] / cached[4]);
    printf("picture_cell_gui_thread_vs_full_decode %.1f times_cheaper\n", full[4] / gui[4]);

    // Scroll from the top to the end, a page at a time, as fast as the list follows;
    // a 10 ms timer measures how late the GUI thread serves it.
    MyListWidget *list = listOf(*w);
    QScrollBar *bar = list->verticalScrollBar();
    QElapsedTimer tick;
    tick.start();
    qint64 last = 0, worst = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = tick.elapsed();
        worst = std::max(worst, now - last - 10);
        last = now;
    });
    QTimer scroller;
    QObject::connect(&scroller, &QTimer::timeout, [&] { bar->setValue(bar->value() + bar->pageStep()); });
    timer.start();
    last = tick.elapsed();
    probe.start(10);
    scroller.start(20);
    const bool reached = waitUntil(
        [&] {
            return list->count() == std::min(bigCount, int(ThreadAddItem::kMaxDocuments)) &&
                   bar->value() == bar->maximum();
        },
        600000);
    scroller.stop();
    probe.stop();
    printf("scroll_to_end_reached %d bool\n", reached ? 1 : 0);
    printf("scroll_to_end_time %.1f s\n", timer.elapsed() / 1000.0);
    printf("scroll_worst_stall %lld ms\n", worst);
    printf("peak_memory_10000_minus_20_first_screen %.1f MB\n", bigPeak - smallPeak);
    printf("peak_memory_10000_minus_20_after_scroll %.1f MB\n", peakMB() - smallPeak);

    w.reset();
    QDir(root).removeRecursively();
    QDir(QFileInfo(settings).path()).removeRecursively();
    QDir(home).removeRecursively();
    return 0;
}

// The camera library through its C interface on two emulated UVC cameras behind
// the V4L2 backend (the emulation is preloaded): names and ids from the USB
// descriptors, streaming and captures in MJPEG and YUYV, cameras that misbehave,
// and the library under pressure: calls from inside callbacks while a camera goes
// away, two threads driving one camera against each other.
#include "CamCaptureSDK.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

QString g_dir;

void writeControl(const QByteArray &text)
{
    QFile f(g_dir + "/control");
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

long devCount()
{
    long n = -1;
    return Cam_GetDevCount(&n) == ERROR_GOOD ? n : -1;
}

long captureInto(const QString &target, int rotate = 0, bool cover = false)
{
    char buf[CAM_PATH_SIZE] = {};
    qstrncpy(buf, target.toUtf8().constData(), sizeof buf);
    IMAGEPARAM p;
    std::memset(&p, 0, sizeof p);
    p.nRotate = rotate;
    p.bIsCoverFile = cover;
    p.nXDPI = 300;
    p.nYDPI = 150;
    return Cam_CameraCaptureFile(0, buf, &p);
}

struct EmuStats {
    long dequeued = 0, broken = 0, mappings = 0, handles = 0;
};

// What the emulated camera (1 or 2) saw; from the preloaded library.
EmuStats emuStats(int camera)
{
    using Fn = int (*)(int, long *, long *, long *, long *);
    static const auto fn = reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, "v4l2emu_stats"));
    EmuStats s;
    if (fn)
        fn(camera, &s.dequeued, &s.broken, &s.mappings, &s.handles);
    return s;
}

// A white page with lines of dark text on a dark desk with a red top-left
// corner; the lines sit where shift puts them so that two pictures differ.
void writePicture(const QString &path, int shift)
{
    QImage image(1600, 1200, QImage::Format_RGB888);
    image.fill(QColor(50, 45, 40));
    QPainter p(&image);
    p.fillRect(0, 0, 200, 150, QColor(180, 20, 20));
    p.fillRect(300, 150, 1000, 900, Qt::white);
    for (int y = 250 + shift; y < 950; y += 60)
        p.fillRect(380, y, 840, 18, QColor(20, 20, 20));
    p.end();
    QVERIFY(image.save(path, "JPG", 92));
}

// --- A library call made from inside a callback once the camera is gone ---

enum class Call { Capture, Count, Init };
std::atomic<bool> g_armed{false};
std::atomic<bool> g_waiting{false};
std::atomic<int> g_call{0};
std::atomic<bool> g_fromState{false};
std::atomic<long> g_status{-1};

void callOnceGone()
{
    bool armed = true;
    if (!g_armed.compare_exchange_strong(armed, false))
        return;
    g_waiting = true;
    // The enumeration without its clean-up: the second camera's index lapses
    // when either camera is unplugged.
    char name[CAM_NAME_SIZE];
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Cam_GetDevName(1, name) == ERROR_GOOD && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    long n = 0;
    switch (static_cast<Call>(g_call.load())) {
    case Call::Capture:
        g_status = captureInto(g_dir + "/fromcallback.jpg");
        break;
    case Call::Count:
        g_status = Cam_GetDevCount(&n);
        break;
    case Call::Init:
        g_status = Cam_Init();
        break;
    }
}

// --- Frames, counted and looked at; slow enough that a stop often finds a callback running ---

// The frame's corners, clockwise from the top left, and its middle.
QVector<QRgb> probes(int width, int height, const std::function<QRgb(int, int)> &at)
{
    return {at(4, 4), at(width - 5, 4), at(width - 5, height - 5), at(4, height - 5),
            at(width / 2, height / 2)};
}

// The picture shows the page, turned clockwise by degrees: white in the middle,
// the red corner where the turn takes the top left, the others dark.
QString pictureWrong(const QVector<QRgb> &p, int degrees)
{
    for (int c = 0; c < 4; ++c) {
        const bool red = qRed(p[c]) > qBlue(p[c]) + 80;
        if (red != (c == (degrees / 90) % 4) || (!red && qGray(p[c]) > 90))
            return QString("corner %1: %2").arg(c).arg(p[c], 6, 16);
    }
    return qGray(p[4]) > 200 ? QString() : QString("middle %1").arg(p[4], 6, 16);
}

struct FrameLog {
    std::mutex mutex;
    QSize size;
    int bytes = 0, format = -1;
    QVector<QRgb> probes;
} g_log;
std::atomic<int> g_frames{0};
std::atomic<int> g_inCallback{0};
std::atomic<int> g_slowMs{0};
std::atomic<bool> g_hold{false}; // the callback waits until released
// -1 asks the held callback to start its own camera again; then that status.
std::atomic<long> g_startFromCallback{-2};

int onFrame(void *data, int size, int width, int height, int format)
{
    ++g_inCallback;
    {
        std::lock_guard<std::mutex> lock(g_log.mutex);
        g_log.size = QSize(width, height);
        g_log.bytes = size;
        g_log.format = format;
        if (size >= width * height * 3)
            g_log.probes = probes(width, height, [&](int x, int y) {
                const uint8_t *q = static_cast<const uint8_t *>(data) + (size_t(y) * width + x) * 3;
                return qRgb(q[0], q[1], q[2]);
            });
    }
    ++g_frames;
    if (!g_fromState)
        callOnceGone();
    if (g_slowMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(g_slowMs));
    while (g_hold) {
        long asked = -1;
        if (g_startFromCallback.compare_exchange_strong(asked, -3))
            g_startFromCallback = Cam_CameraCaptureStart(0, onFrame);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    --g_inCallback;
    return 0;
}

int onState(long)
{
    if (g_fromState)
        callOnceGone();
    return 0;
}

// Nothing is delivered any more: no callback runs, and none comes in a while.
bool framesStopped()
{
    if (g_inCallback != 0)
        return false;
    const int seen = g_frames;
    QTest::qWait(150); // several frame periods
    return g_frames == seen && g_inCallback == 0;
}

// Every buffer unmapped and every node closed once the stream is over.
void verifyReleased(int camera)
{
    QTRY_COMPARE(emuStats(camera).mappings, 0L);
    QTRY_COMPARE(emuStats(camera).handles, 0L);
}

long start(long dev, int width, int height)
{
    const long status = Cam_SetCameraResolution(dev, width, height);
    return status == ERROR_GOOD ? Cam_CameraCaptureStart(dev, onFrame) : status;
}

// The sizes of a camera as discovery lists them: count (which selects the
// camera), then each size by its index.
QString sizeList(long dev)
{
    long n = 0;
    if (Cam_GetCameraResolutionCount(dev, 0, &n) != ERROR_GOOD)
        return "error";
    QStringList sizes;
    for (long j = 0; j < n; ++j) {
        std::this_thread::yield(); // discovery logs between the calls
        long w = 0, h = 0;
        Cam_GetCameraResolutionName(j, &w, &h);
        sizes << QString("%1x%2").arg(w).arg(h);
    }
    return sizes.join(' ');
}

// --- Two threads against each other ---

enum Op { Start, Stop, SetSmall, SetLarge, Format };
using Ops = QVector<int>;

struct Outcome {
    QVector<long> statuses;
    Clock::duration longest{};
    bool callbackAfterStop = false;
};

long run(int op)
{
    switch (op) {
    case Start:
        return Cam_CameraCaptureStart(0, onFrame);
    case Stop:
        return Cam_CameraCaptureStop(0);
    case SetSmall:
        return Cam_SetCameraResolution(0, 640, 480);
    case SetLarge:
        return Cam_SetCameraResolution(0, 1280, 720);
    case Format:
        return Cam_SetCameraFormat(0, 0);
    }
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(Ops)

class TestCameraStress : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        g_dir = m_dir.path();
        QVERIFY2(dlsym(RTLD_DEFAULT, "v4l2emu_stats"), "runs with the emulated cameras preloaded");
        // Two cameras sending two pages in turn.
        writePicture(g_dir + "/a.jpg", 0);
        writePicture(g_dir + "/b.jpg", 30);
        qunsetenv("CAMSDK_VIRTUAL");
        qputenv("V4L2EMU_CAMERAS",
                "1bcf:2c9a,mjpeg+yuyv,,Desk Camera A;0ac8:3420,yuyv,1600x1200/800x600,Desk Camera B");
        qputenv("V4L2EMU_PICTURES", (g_dir + "/a.jpg," + g_dir + "/b.jpg").toUtf8());
        qputenv("V4L2EMU_FPS", "30");
        qputenv("V4L2EMU_HOLD", "1500");
        qputenv("V4L2EMU_CONTROL", (g_dir + "/control").toUtf8());
        writeControl("");
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
        QCOMPARE(devCount(), 2L); // the metadata nodes are not cameras: two cameras on four nodes
        // Named and identified as their USB descriptors say.
        const std::pair<const char *, std::pair<int, int>> cameras[] = {{"Desk Camera A", {0x1bcf, 0x2c9a}},
                                                                        {"Desk Camera B", {0x0ac8, 0x3420}}};
        for (long dev : {0, 1}) {
            char name[CAM_NAME_SIZE] = {};
            QCOMPARE(Cam_GetDevName(dev, name), long(ERROR_GOOD));
            QCOMPARE(QString::fromUtf8(name), QString(cameras[dev].first));
            int pid = 0, vid = 0;
            QCOMPARE(Cam_GetPIDVID(dev, &pid, &vid), long(ERROR_GOOD));
            QCOMPARE(std::make_pair(vid, pid), cameras[dev].second);
        }
    }

    void init()
    {
        g_frames = 0;
        g_slowMs = 0;
        g_armed = false;
        g_waiting = false;
        g_fromState = false;
        g_status = -1;
        QCOMPARE(Cam_SetCameraResolution(0, 640, 480), long(ERROR_GOOD));
    }

    void cleanup()
    {
        Cam_CameraCaptureStop(0);
        Cam_CameraCaptureStop(1);
        Cam_Rotate(0);
        for (const QString &f : QDir(g_dir).entryList({"p.*"})) // left by a failed row
            QFile::remove(g_dir + "/" + f);
        writeControl("");
        QTRY_COMPARE(devCount(), 2L);
    }

    void streaming_data()
    {
        QTest::addColumn<QSize>("size");    // on the second camera for YUYV
        QTest::addColumn<int>("view");      // turn of the live picture
        QTest::addColumn<QSize>("preview"); // above 1080p the preview is decoded smaller
        QTest::addColumn<QString>("file");  // a capture during the stream
        QTest::addColumn<int>("rotate");
        QTest::addColumn<int>("umask");
        QTest::newRow("mjpeg 8 MP") << QSize(3264, 2448) << 0 << QSize(1632, 1224) << "p.jpg" << 0 << 077;
        QTest::newRow("mjpeg 2592x1944") << QSize(2592, 1944) << 0 << QSize(1296, 972) << "" << 0 << 0;
        QTest::newRow("mjpeg 1080p") << QSize(1920, 1080) << 0 << QSize(1920, 1080) << "p.png" << 90 << 022;
        QTest::newRow("mjpeg 1280x720") << QSize(1280, 720) << 0 << QSize(1280, 720) << "p.pdf" << 270 << 002;
        QTest::newRow("mjpeg 640x480") << QSize(640, 480) << 0 << QSize(640, 480) << "p.bmp" << 0 << 022;
        QTest::newRow("yuyv 1600x1200") << QSize(1600, 1200) << 0 << QSize(1600, 1200) << "p.jpg" << 0 << 002;
        QTest::newRow("yuyv 800x600") << QSize(800, 600) << 0 << QSize(800, 600) << "p.tif" << 180 << 077;
        QTest::newRow("mjpeg turned") << QSize(1280, 720) << 90 << QSize(720, 1280) << "" << 0 << 0;
        QTest::newRow("mjpeg turned back") << QSize(640, 480) << -90 << QSize(480, 640) << "" << 0 << 0;
        QTest::newRow("yuyv upside down") << QSize(800, 600) << 180 << QSize(800, 600) << "" << 0 << 0;
    }
    // Frames of the asked size show the page the right way round; so do the
    // captures, at full size, with the asked density (from which a merge takes
    // the page size), following the umask, no temporary left.
    void streaming()
    {
        const long dev = QByteArray(QTest::currentDataTag()).startsWith("yuyv") ? 1 : 0;
        QFETCH(QSize, size);
        QFETCH(int, view);
        QFETCH(QSize, preview);
        QFETCH(QString, file);
        QFETCH(int, rotate);
        QFETCH(int, umask);
        QCOMPARE(Cam_Rotate(view), long(ERROR_GOOD));
        QCOMPARE(start(dev, size.width(), size.height()), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames >= 3, 20000);
        QCOMPARE(Cam_CameraCaptureStart(dev, onFrame), long(ERROR_BUSY)); // the stream goes on
        if (!file.isEmpty()) {
            const QString target = g_dir + "/" + file;
            const mode_t saved = ::umask(mode_t(umask));
            QCOMPARE(captureInto(target, rotate), long(ERROR_GOOD));
            ::umask(saved);
            struct stat st;
            QCOMPARE(::stat(qPrintable(target), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), 0666 & ~umask);
            const QSize captured = rotate % 180 ? size.transposed() : size;
            QFile f(target);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            if (file.endsWith("pdf")) { // the camera's JPEG as is, on a page of its size at the density
                QVERIFY(bytes.startsWith("%PDF-") && bytes.contains("/DCTDecode"));
                QVERIFY(bytes.contains("/Width " + QByteArray::number(captured.width())));
                QVERIFY2(bytes.contains("172.8") && bytes.contains("614.4"),
                         "720 x 1280 px at 300 x 150 dpi");
            } else {
                const QImage image = QImage::fromData(bytes);
                QCOMPARE(image.size(), captured);
                QCOMPARE(
                    QSize(qRound(image.dotsPerMeterX() * 0.0254), qRound(image.dotsPerMeterY() * 0.0254)),
                    QSize(300, 150));
                const QString wrong = pictureWrong(
                    probes(image.width(), image.height(), [&](int x, int y) { return image.pixel(x, y); }),
                    rotate);
                QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            }
            QVERIFY(QFile::remove(target));
            QCOMPARE(QDir(g_dir).entryList(QDir::Files | QDir::Hidden),
                     (QStringList{"a.jpg", "b.jpg", "control"}));
        }
        QCOMPARE(Cam_CameraCaptureStop(dev), long(ERROR_GOOD));
        std::lock_guard<std::mutex> lock(g_log.mutex);
        QCOMPARE(g_log.size, preview);
        QCOMPARE(g_log.bytes, preview.width() * preview.height() * 3);
        QCOMPARE(g_log.format, CAM_FRAME_RGB24);
        const QString wrong = pictureWrong(g_log.probes, (view + 360) % 360);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        verifyReleased(int(dev) + 1);
    }

    void callFromCallbackWhileUnplugged_data()
    {
        QTest::addColumn<bool>("fromState");
        QTest::addColumn<int>("call");
        QTest::addColumn<long>("status");
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<bool>("capturing"); // captures racing the unplug from another thread
        const QByteArray gone = "device 1 absent\n";
        QTest::newRow("frame: capture")
            << false << int(Call::Capture) << long(ERROR_NOT_STREAMING) << gone << false;
        QTest::newRow("frame: count") << false << int(Call::Count) << long(ERROR_GOOD) << gone << true;
        QTest::newRow("frame: init") << false << int(Call::Init) << long(ERROR_BUSY) << gone << false;
        QTest::newRow("automatic capture: capture")
            << true << int(Call::Capture) << long(ERROR_NOT_STREAMING) << gone << false;
        // A camera failing every call is of no use: it leaves the list until it recovers.
        QTest::newRow("i/o error: count")
            << false << int(Call::Count) << long(ERROR_GOOD) << QByteArray("device 1 eio\n") << false;
    }
    void callFromCallbackWhileUnplugged()
    {
        QFETCH(bool, fromState);
        QFETCH(int, call);
        QFETCH(long, status);
        QFETCH(QByteArray, control);
        QFETCH(bool, capturing);
        g_fromState = fromState;
        g_call = call;
        QCOMPARE(start(0, 1280, 720), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames >= 2, 10000);
        if (fromState) // the pictures alternate: a change, then stillness
            QCOMPARE(Cam_AutoCapture(0, 0, onState), long(ERROR_GOOD));
        std::atomic<long> lastCapture{ERROR_GOOD};
        std::thread capturer([&] {
            while (capturing && lastCapture == ERROR_GOOD)
                lastCapture = captureInto(g_dir + "/during.jpg", 0, true);
        });
        g_armed = true;
        QTRY_VERIFY_WITH_TIMEOUT(g_waiting, 10000);
        writeControl(control);
        QTRY_VERIFY_WITH_TIMEOUT(g_status != -1, 10000);
        QCOMPARE(g_status.load(), status);

        // From outside the lost stream is cleaned up and nothing comes any more.
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), 1L, 5000);
        capturer.join();
        QCOMPARE(lastCapture.load(), long(capturing ? ERROR_NOT_STREAMING : ERROR_GOOD));
        QFile::remove(g_dir + "/during.jpg");
        QVERIFY(framesStopped());
        QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_NOT_STREAMING));
        verifyReleased(1);
        // Replugged, the camera starts at once.
        writeControl("device 1 present\n");
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), 2L, 5000);
        const int seen = g_frames;
        QCOMPARE(start(0, 640, 480), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames > seen, 10000);
        QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_GOOD));
        QVERIFY(framesStopped());
    }

    void faults_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<long>("status");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("dropsBroken");
        const QSize hd(1920, 1080);
        QTest::newRow("EAGAIN burst") << QByteArray("fault 1 eagain 40") << 0L << hd << false;
        QTest::newRow("EINTR on every call") << QByteArray("fault 1 eintr 200") << 0L << hd << false;
        QTest::newRow("bytesused 0") << QByteArray("fault 1 empty 8") << 0L << hd << true;
        QTest::newRow("truncated MJPEG") << QByteArray("fault 1 truncated 8") << 0L << hd << true;
        QTest::newRow("corrupt MJPEG") << QByteArray("fault 1 corrupt 8") << 0L << hd << false;
        QTest::newRow("MJPEG without Huffman tables")
            << QByteArray("fault 1 nohuffman 1000") << 0L << hd << false;
        QTest::newRow("stall") << QByteArray("fault 1 stall 1500") << 0L << hd << false;
        QTest::newRow("S_FMT answers another size")
            << QByteArray("size 1 1280x720") << 0L << QSize(1280, 720) << false;
        QTest::newRow("two buffers granted") << QByteArray("buffers 1 2") << 0L << hd << false;
        QTest::newRow("one buffer granted")
            << QByteArray("buffers 1 1") << long(ERROR_OPEN_FAILED) << QSize() << false;
    }
    // A misbehaving camera gives a clean status, or a stream that goes on
    // showing the page and never hands a broken frame on.
    void faults()
    {
        QFETCH(QByteArray, control);
        QFETCH(long, status);
        QFETCH(QSize, size);
        QFETCH(bool, dropsBroken);
        const EmuStats before = emuStats(1);
        writeControl(control + "\n");
        QCOMPARE(start(0, 1920, 1080), status);
        if (status == ERROR_GOOD) {
            QTRY_VERIFY_WITH_TIMEOUT(g_frames >= 12, 20000);
            QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_GOOD));
            std::lock_guard<std::mutex> lock(g_log.mutex);
            QCOMPARE(g_log.size, size);
            const QString wrong = pictureWrong(g_log.probes, 0);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        }
        const EmuStats after = emuStats(1);
        if (dropsBroken) {
            QVERIFY(after.broken > before.broken);
            QVERIFY(g_frames <= (after.dequeued - before.dequeued) - (after.broken - before.broken));
        }
        verifyReleased(1);
    }

    // No thread to be had once the camera is open: a status, and the camera
    // is free for the next start.
    void noThreadForTheStream()
    {
        pthread_attr_t saved, huge;
        QCOMPARE(pthread_getattr_default_np(&saved), 0);
        pthread_attr_init(&huge);
        pthread_attr_setstacksize(&huge, size_t(1) << 60); // no stack of that size can be mapped
        QCOMPARE(pthread_setattr_default_np(&huge), 0);
        const long status = Cam_CameraCaptureStart(0, onFrame);
        pthread_setattr_default_np(&saved);
        pthread_attr_destroy(&huge);
        pthread_attr_destroy(&saved);
        QCOMPARE(status, long(ERROR_FAILED));
        QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames > 0, 10000);
    }

    // A replugged camera is a new one: the size chosen for the camera that
    // went away is not handed to whichever comes next (here the second camera,
    // which does not offer it, made where the first one was).
    void chosenSizeGoesWithTheCamera()
    {
        QCOMPARE(Cam_SetCameraResolution(0, 3264, 2448), long(ERROR_GOOD));
        writeControl("device 1 absent\ndevice 2 absent\n");
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), 0L, 5000);
        writeControl("device 1 present\ndevice 2 absent\n");
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), 1L, 5000);
        writeControl("device 1 present\ndevice 2 present\n");
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), 2L, 5000);
        QCOMPARE(Cam_CameraCaptureStart(1, onFrame), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames > 0, 10000);
    }

    // A discovery on its worker and a hot-plug scan on the GUI thread at once.
    void sizeListsFromTwoThreads()
    {
        const QString lists[2] = {"3264x2448 2592x1944 1920x1080 1280x720 640x480", "1600x1200 800x600"};
        std::atomic<int> wrong{0};
        std::atomic<int> ready{0};
        auto discover = [&](long firstDev) {
            ++ready;
            while (ready < 2) {
            }
            for (int i = 0; i < 500; ++i)
                for (long dev : {firstDev, 1 - firstDev})
                    if (sizeList(dev) != lists[dev])
                        ++wrong;
        };
        std::thread other(discover, 1);
        discover(0);
        other.join();
        QCOMPARE(wrong.load(), 0);
    }

    // Each row: what two threads do at the same moment to a streaming camera,
    // many times over. Every call returns promptly with a clean status, and
    // the streams started and stopped add up: the one left (if any) is the
    // only one delivering, and a final stop leaves nothing running.
    void twoThreads_data()
    {
        QTest::addColumn<Ops>("first");
        QTest::addColumn<Ops>("second");
        // Without a start on the other thread, no callback runs once a stop has returned.
        QTest::addColumn<bool>("quietAfterStop");
        QTest::newRow("stop against start") << Ops{Stop} << Ops{Start} << false;
        QTest::newRow("stop against stop") << Ops{Stop} << Ops{Stop} << true;
        QTest::newRow("resolution change against resolution change")
            << Ops{Stop, SetSmall, Format, Start} << Ops{Stop, SetLarge, Format, Start} << false;
    }
    void twoThreads()
    {
        QFETCH(Ops, first);
        QFETCH(Ops, second);
        QFETCH(bool, quietAfterStop);
        g_slowMs = 10;
        for (int round = 0; round < 15; ++round) {
            QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_GOOD));
            const int seen = g_frames;
            QTRY_VERIFY_WITH_TIMEOUT(g_frames > seen, 10000);
            Outcome out[2];
            std::atomic<int> ready{0};
            std::atomic<int> done{0};
            auto worker = [&](const Ops &ops, Outcome *o) {
                ++ready;
                while (ready < 2) {
                }
                for (int op : ops) {
                    const auto t0 = Clock::now();
                    o->statuses.append(run(op));
                    o->longest = std::max(o->longest, Clock::now() - t0);
                    if (op == Stop && g_inCallback != 0)
                        o->callbackAfterStop = true;
                }
                ++done;
            };
            std::thread a(worker, first, &out[0]);
            std::thread b(worker, second, &out[1]);
            if (!QTest::qWaitFor([&] { return done == 2; }, 5000))
                qFatal("round %d: a call did not return", round); // a hung thread cannot be joined
            a.join();
            b.join();

            int running = 1;
            for (int t = 0; t < 2; ++t) {
                const Ops &ops = t == 0 ? first : second;
                const QByteArray what =
                    "round " + QByteArray::number(round) + " thread " + QByteArray::number(t) + " op ";
                for (int i = 0; i < ops.size(); ++i) {
                    const long s = out[t].statuses[i];
                    QVERIFY2(s == ERROR_GOOD || s == ERROR_BUSY || s == ERROR_NOT_STREAMING,
                             what + QByteArray::number(i) + ": status " + QByteArray::number(int(s)));
                    if (s == ERROR_GOOD && ops[i] == Start)
                        ++running;
                    if (s == ERROR_GOOD && ops[i] == Stop)
                        --running;
                }
                QVERIFY2(out[t].longest < std::chrono::seconds(1), what + "took a second or more");
                QVERIFY2(!quietAfterStop || !out[t].callbackAfterStop,
                         what + "returned with a callback running");
            }
            QVERIFY2(running == 0 || running == 1, QByteArray::number(running));
            QCOMPARE(Cam_CameraCaptureStop(0), long(running ? ERROR_GOOD : ERROR_NOT_STREAMING));
            QVERIFY(framesStopped());
        }
    }
    // Two stops while a callback holds the stream: neither returns before it does,
    // and a start from that callback meanwhile is refused.
    void stopsWhileACallbackHolds()
    {
        QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_GOOD));
        g_hold = true;
        QTRY_VERIFY_WITH_TIMEOUT(g_inCallback == 1, 10000);
        std::atomic<int> returned{0};
        auto stopper = [&] { Cam_CameraCaptureStop(0), ++returned; };
        std::thread a(stopper), b(stopper);
        const bool early = QTest::qWaitFor([&] { return returned > 0; }, 300); // both are joining now
        g_startFromCallback = -1;
        (void)QTest::qWaitFor([&] { return g_startFromCallback >= 0; }, 5000); // checked below
        g_hold = false;
        a.join();
        b.join();
        QVERIFY2(!early, "a stop returned while the callback ran");
        QCOMPARE(g_startFromCallback.exchange(-2), long(ERROR_BUSY));
        QVERIFY(framesStopped());
    }
};

QTEST_GUILESS_MAIN(TestCameraStress)
#include "tst_camera_stress.moc"

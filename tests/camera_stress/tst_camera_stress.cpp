// The camera library through its C interface under pressure: library calls
// from inside callbacks while a camera goes away, two threads driving one
// camera against each other, on the virtual camera and (preloaded) on emulated
// UVC cameras through the V4L2 backend. On the emulated cameras also what the
// V4L2 backend alone does: names and ids from the USB descriptors, streaming
// and captures in MJPEG and YUYV, and cameras that misbehave.
#include "CamCaptureSDK.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <pthread.h>
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
    return Cam_CameraCaptureFile(0, buf, &p);
}

bool emulated()
{
    return dlsym(RTLD_DEFAULT, "v4l2emu_stats") != nullptr;
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

// A white page with lines of dark text on a dark desk; the lines sit where
// shift puts them so that two pictures differ.
void writePicture(const QString &path, int shift)
{
    QImage image(1600, 1200, QImage::Format_RGB888);
    image.fill(QColor(50, 45, 40));
    QPainter p(&image);
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

struct FrameLog {
    std::mutex mutex;
    QSize size;
    int bytes = 0, centre = 0, corner = 0; // grey levels in the middle and near a corner
    QList<long> states;
} g_log;
std::atomic<int> g_frames{0};
std::atomic<int> g_inCallback{0};
std::atomic<int> g_slowMs{0};

int onFrame(void *data, int size, int width, int height, int)
{
    ++g_inCallback;
    {
        std::lock_guard<std::mutex> lock(g_log.mutex);
        const auto grey = [&](int x, int y) {
            const uint8_t *q = static_cast<const uint8_t *>(data) + (size_t(y) * width + x) * 3;
            return qGray(q[0], q[1], q[2]);
        };
        g_log.size = QSize(width, height);
        g_log.bytes = size;
        if (size >= width * height * 3) {
            g_log.centre = grey(width / 2, height / 2);
            g_log.corner = grey(4, 4);
        }
    }
    ++g_frames;
    if (!g_fromState)
        callOnceGone();
    if (g_slowMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(g_slowMs));
    --g_inCallback;
    return 0;
}

int onState(long state)
{
    {
        std::lock_guard<std::mutex> lock(g_log.mutex);
        g_log.states.append(state);
    }
    if (g_fromState)
        callOnceGone();
    return 0;
}

QList<long> states()
{
    std::lock_guard<std::mutex> lock(g_log.mutex);
    return g_log.states;
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
    if (emulated()) {
        QTRY_COMPARE(emuStats(camera).mappings, 0L);
        QTRY_COMPARE(emuStats(camera).handles, 0L);
    }
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
        if (emulated()) {
            // The same two cameras, emulated UVC ones behind the V4L2 backend,
            // sending two pages in turn.
            writePicture(g_dir + "/a.jpg", 0);
            writePicture(g_dir + "/b.jpg", 30);
            qunsetenv("CAMSDK_VIRTUAL");
            qputenv("V4L2EMU_CAMERAS",
                    "1bcf:2c9a,mjpeg+yuyv,,Desk Camera A;0ac8:3420,yuyv,1600x1200/800x600,Desk Camera B");
            qputenv("V4L2EMU_PICTURES", (g_dir + "/a.jpg," + g_dir + "/b.jpg").toUtf8());
            qputenv("V4L2EMU_FPS", "30");
            qputenv("V4L2EMU_HOLD", "1500");
            qputenv("V4L2EMU_CONTROL", (g_dir + "/control").toUtf8());
        } else {
            qputenv("CAMSDK_VIRTUAL", "2");
            qputenv("CAMSDK_VIRTUAL_FPS", "30");
            qputenv("CAMSDK_VIRTUAL_SIZES", ",1600x1200/800x600"); // the first the standard sizes
            qputenv("CAMSDK_VIRTUAL_CONTROL", (g_dir + "/control").toUtf8());
        }
        writeControl("motion off\n");
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
        // Emulated: the metadata nodes are not cameras, two cameras on four nodes.
        if (emulated())
            QCOMPARE(devCount(), 2L);
        else if (devCount() != 2)
            QSKIP("a real camera is attached; these tests need the two virtual ones alone");
    }

    void init()
    {
        g_frames = 0;
        g_slowMs = 0;
        g_armed = false;
        g_waiting = false;
        g_fromState = false;
        g_status = -1;
        g_log.states.clear();
        QCOMPARE(Cam_SetCameraResolution(0, 640, 480), long(ERROR_GOOD));
    }

    void cleanup()
    {
        Cam_CameraCaptureStop(0);
        Cam_CameraCaptureStop(1);
        Cam_Rotate(0);
        writeControl("motion off\ndevice 1 present\ndevice 2 present\n");
        QTRY_COMPARE(devCount(), 2L);
    }

    // Named and identified as their USB descriptors say.
    void enumeration()
    {
        if (!emulated())
            QSKIP("the virtual cameras' names are the interface suite's");
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

    void streaming_data()
    {
        if (!emulated())
            QSKIP("the interface suite streams the virtual camera");
        QTest::addColumn<long>("dev");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("view");      // turn of the live picture
        QTest::addColumn<QSize>("preview"); // above 1080p the preview is decoded smaller
        QTest::addColumn<QString>("file");  // a capture during the stream
        QTest::addColumn<int>("rotate");
        QTest::addColumn<QSize>("captured");
        QTest::newRow("mjpeg 3264x2448")
            << 0L << QSize(3264, 2448) << 0 << QSize(1632, 1224) << "page.jpg" << 0 << QSize(3264, 2448);
        QTest::newRow("mjpeg 2592x1944")
            << 0L << QSize(2592, 1944) << 0 << QSize(1296, 972) << "" << 0 << QSize();
        QTest::newRow("mjpeg 1920x1080")
            << 0L << QSize(1920, 1080) << 0 << QSize(1920, 1080) << "page.png" << 90 << QSize(1080, 1920);
        QTest::newRow("mjpeg 1280x720")
            << 0L << QSize(1280, 720) << 0 << QSize(1280, 720) << "page.pdf" << 0 << QSize();
        QTest::newRow("mjpeg 640x480") << 0L << QSize(640, 480) << 0 << QSize(640, 480) << "" << 0 << QSize();
        QTest::newRow("yuyv 1600x1200")
            << 1L << QSize(1600, 1200) << 0 << QSize(1600, 1200) << "page.bmp" << 0 << QSize(1600, 1200);
        QTest::newRow("yuyv 800x600")
            << 1L << QSize(800, 600) << 0 << QSize(800, 600) << "page.tif" << 180 << QSize(800, 600);
        QTest::newRow("mjpeg turned")
            << 0L << QSize(1280, 720) << 90 << QSize(720, 1280) << "" << 0 << QSize();
        QTest::newRow("yuyv upside down")
            << 1L << QSize(800, 600) << 180 << QSize(800, 600) << "" << 0 << QSize();
    }
    // Frames of the asked size show the page: white in the middle, the desk in
    // the corner; so do the captures.
    void streaming()
    {
        QFETCH(long, dev);
        QFETCH(QSize, size);
        QFETCH(int, view);
        QFETCH(QSize, preview);
        QFETCH(QString, file);
        QFETCH(int, rotate);
        QFETCH(QSize, captured);
        QCOMPARE(Cam_Rotate(view), long(ERROR_GOOD));
        QCOMPARE(start(dev, size.width(), size.height()), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames >= 3, 20000);
        if (!file.isEmpty()) {
            const QString target = g_dir + "/" + file;
            QCOMPARE(captureInto(target, rotate), long(ERROR_GOOD));
            const QImage image(target);
            if (captured.isValid()) {
                QCOMPARE(image.size(), captured);
                QVERIFY(qGray(image.pixel(captured.width() / 2, captured.height() / 2)) > 200);
            } else {
                QFile pdf(target);
                QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(5) == "%PDF-");
            }
            QVERIFY(QFile::remove(target));
        }
        QCOMPARE(Cam_CameraCaptureStop(dev), long(ERROR_GOOD));
        std::lock_guard<std::mutex> lock(g_log.mutex);
        QCOMPARE(g_log.size, preview);
        QCOMPARE(g_log.bytes, preview.width() * preview.height() * 3);
        QVERIFY2(g_log.centre > 200 && g_log.corner < 90,
                 qPrintable(QString("centre %1, corner %2").arg(g_log.centre).arg(g_log.corner)));
        verifyReleased(int(dev) + 1);
    }

    // The pictures alternate: a change, then stillness.
    void autoCapture()
    {
        if (!emulated())
            QSKIP("the interface suite moves the virtual camera's scene");
        QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_GOOD));
        QCOMPARE(Cam_AutoCapture(0, 0, onState), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(states().size() >= 2, 10000);
        QCOMPARE(states().mid(0, 2), (QList<long>{1, 0}));
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
        if (control.contains("eio") && !emulated())
            QSKIP("the virtual camera has no i/o errors");
        g_fromState = fromState;
        g_call = call;
        QCOMPARE(start(0, 1280, 720), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames >= 2, 10000);
        if (fromState) {
            QCOMPARE(Cam_AutoCapture(0, 0, onState), long(ERROR_GOOD));
            writeControl("motion on\n");
        }
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
        if (!emulated())
            QSKIP("faults are the emulated cameras'");
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
            QVERIFY(g_log.centre > 200 && g_log.corner < 90);
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
};

QTEST_GUILESS_MAIN(TestCameraStress)
#include "tst_camera_stress.moc"

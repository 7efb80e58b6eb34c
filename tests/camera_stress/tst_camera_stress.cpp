// The camera library through its C interface under pressure: library calls
// from inside callbacks while a camera goes away, and two threads driving one
// camera against each other, on the virtual camera and (preloaded) on emulated
// UVC cameras through the V4L2 backend.
#include "CamCaptureSDK.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
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

long captureInto(const QString &target)
{
    char buf[CAM_PATH_SIZE] = {};
    qstrncpy(buf, target.toUtf8().constData(), sizeof buf);
    IMAGEPARAM p;
    std::memset(&p, 0, sizeof p);
    const long status = Cam_CameraCaptureFile(0, buf, &p);
    if (status == ERROR_GOOD)
        QFile::remove(QString::fromUtf8(buf));
    return status;
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

// --- Frames, counted; slow enough that a stop often finds a callback running ---

std::atomic<int> g_frames{0};
std::atomic<int> g_inCallback{0};
std::atomic<int> g_slowMs{0};

int onFrame(void *, int, int, int, int)
{
    ++g_inCallback;
    ++g_frames;
    if (!g_fromState)
        callOnceGone();
    if (g_slowMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(g_slowMs));
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
        if (dlsym(RTLD_DEFAULT, "v4l2emu_stats")) {
            // Preloaded: the same two cameras, emulated UVC ones behind the V4L2 backend.
            qunsetenv("CAMSDK_VIRTUAL");
            qputenv("V4L2EMU_CAMERAS", "1209:ca00,mjpeg+yuyv,,Camera 1;1209:ca01,mjpeg,1600x1200/800x600,Camera 2");
            qputenv("V4L2EMU_FPS", "30");
            qputenv("V4L2EMU_HOLD", "300");
            qputenv("V4L2EMU_CONTROL", (g_dir + "/control").toUtf8());
        } else {
            qputenv("CAMSDK_VIRTUAL", "2");
            qputenv("CAMSDK_VIRTUAL_FPS", "30");
            qputenv("CAMSDK_VIRTUAL_SIZES", ",1600x1200/800x600"); // the first the standard sizes
            qputenv("CAMSDK_VIRTUAL_CONTROL", (g_dir + "/control").toUtf8());
        }
        writeControl("motion off\n");
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
        if (devCount() != 2)
            QSKIP("a real camera is attached; these tests need the two virtual ones alone");
    }

    void cleanupTestCase() { Cam_CameraCaptureStop(0); }

    void init()
    {
        g_frames = 0;
        g_slowMs = 0;
        g_armed = false;
        g_waiting = false;
        g_status = -1;
        QCOMPARE(Cam_SetCameraResolution(0, 640, 480), long(ERROR_GOOD));
    }

    void callFromCallbackWhileUnplugged_data()
    {
        QTest::addColumn<bool>("fromState");
        QTest::addColumn<int>("call");
        QTest::addColumn<long>("status");
        QTest::addColumn<long>("count");
        QTest::newRow("frame: capture") << false << int(Call::Capture) << long(ERROR_NOT_STREAMING) << 1L;
        QTest::newRow("frame: count") << false << int(Call::Count) << long(ERROR_GOOD) << 1L;
        QTest::newRow("frame: init") << false << int(Call::Init) << long(ERROR_BUSY) << 1L;
        QTest::newRow("automatic capture: capture")
            << true << int(Call::Capture) << long(ERROR_NOT_STREAMING) << 1L;
    }
    void callFromCallbackWhileUnplugged()
    {
        QFETCH(bool, fromState);
        QFETCH(int, call);
        QFETCH(long, status);
        QFETCH(long, count);
        g_fromState = fromState;
        g_call = call;
        QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames >= 2, 10000);
        if (fromState) {
            QCOMPARE(Cam_AutoCapture(0, 0, onState), long(ERROR_GOOD));
            writeControl("motion on\n");
        }
        g_armed = true;
        QTRY_VERIFY_WITH_TIMEOUT(g_waiting, 10000);
        writeControl("device 1 absent\n");
        QTRY_VERIFY_WITH_TIMEOUT(g_status != -1, 10000);
        QCOMPARE(g_status.load(), status);

        // From outside the lost stream is cleaned up and nothing comes any more.
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), count, 5000);
        QVERIFY(framesStopped());
        // Replugged, the camera starts at once.
        writeControl("device 1 present\n");
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), 2L, 5000);
        const int seen = g_frames;
        QCOMPARE(Cam_SetCameraResolution(0, 640, 480), long(ERROR_GOOD));
        QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames > seen, 10000);
        QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_GOOD));
        QVERIFY(framesStopped());
        g_fromState = false;
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
        QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_GOOD));
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
        QCOMPARE(Cam_CameraCaptureStop(1), long(ERROR_GOOD));
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

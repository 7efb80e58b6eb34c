// The camera library's V4L2 backend end to end through the C interface, on
// emulated UVC cameras (tests/v4l2emu, preloaded by ctest): enumeration,
// streaming in MJPEG and YUYV, captures, unplugging and misbehaving cameras.
#include "CamCaptureSDK.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <thread>

namespace {

struct FrameLog {
    std::mutex mutex;
    std::atomic<int> frames{0};
    int width = 0, height = 0, size = 0;
    QRgb centre = 0, corner = 0;
};
FrameLog g_log;

int onFrame(void *data, int size, int width, int height, int)
{
    std::lock_guard<std::mutex> lock(g_log.mutex);
    const auto *p = static_cast<const uint8_t *>(data);
    const auto pixel = [&](int x, int y) {
        const uint8_t *q = p + (size_t(y) * width + x) * 3;
        return qRgb(q[0], q[1], q[2]);
    };
    g_log.width = width;
    g_log.height = height;
    g_log.size = size;
    if (size >= width * height * 3) {
        g_log.centre = pixel(width / 2, height / 2);
        g_log.corner = pixel(4, 4);
    }
    ++g_log.frames;
    return 0;
}

// The first two automatic-capture states, packed as 10 * first + second + 11.
std::atomic<int> g_stateCount{0};
std::atomic<long> g_statePair{0};
int onState(long state)
{
    const int n = g_stateCount++;
    if (n < 2)
        g_statePair += (state + 1) * (n == 0 ? 10 : 1);
    return 0;
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

long devCount()
{
    long n = -1;
    return Cam_GetDevCount(&n) == ERROR_GOOD ? n : -1;
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

} // namespace

class TestCameraV4l2 : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    void writeControl(const QByteArray &text)
    {
        QFile f(m_dir.filePath("control"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    long start(long dev, int width, int height)
    {
        g_log.frames = 0;
        const long status = Cam_SetCameraResolution(dev, width, height);
        return status == ERROR_GOOD ? Cam_CameraCaptureStart(dev, onFrame) : status;
    }

    // Every buffer unmapped and every node closed once the stream is over.
    void verifyReleased(int camera)
    {
        QTRY_COMPARE(emuStats(camera).mappings, 0L);
        QTRY_COMPARE(emuStats(camera).handles, 0L);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(dlsym(RTLD_DEFAULT, "v4l2emu_stats"), "run with LD_PRELOAD=libv4l2emu.so");
        QVERIFY(m_dir.isValid());
        writePicture(m_dir.filePath("a.jpg"), 0);
        writePicture(m_dir.filePath("b.jpg"), 30);
        qunsetenv("CAMSDK_VIRTUAL");
        qputenv("V4L2EMU_CAMERAS", "1bcf:2c9a,mjpeg+yuyv,,Desk Camera A;"
                                   "0ac8:3420,yuyv,1600x1200/1280x720/640x480,Desk Camera B");
        qputenv("V4L2EMU_PICTURES", (m_dir.filePath("a.jpg") + "," + m_dir.filePath("b.jpg")).toUtf8());
        qputenv("V4L2EMU_CONTROL", m_dir.filePath("control").toUtf8());
        qputenv("V4L2EMU_FPS", "30");
        qputenv("V4L2EMU_HOLD", "1500");
        writeControl("");
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
    }

    void cleanup()
    {
        Cam_CameraCaptureStop(0);
        Cam_CameraCaptureStop(1);
        Cam_Rotate(0);
        writeControl("");
        QTRY_COMPARE(devCount(), 2L);
    }

    void enumeration_data()
    {
        QTest::addColumn<long>("dev");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("vid");
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("sizes");
        QTest::newRow("mjpeg and yuyv")
            << 0L << "Desk Camera A" << 0x1bcf << 0x2c9a << "3264x2448 2592x1944 1920x1080 1280x720 640x480";
        QTest::newRow("yuyv only") << 1L << "Desk Camera B" << 0x0ac8 << 0x3420
                                   << "1600x1200 1280x720 640x480";
    }

    // The metadata nodes are not cameras: two cameras on four nodes.
    void enumeration()
    {
        QFETCH(long, dev);
        QFETCH(QString, name);
        QFETCH(int, vid);
        QFETCH(int, pid);
        QFETCH(QString, sizes);
        QCOMPARE(devCount(), 2L);
        char got[CAM_NAME_SIZE] = {};
        QCOMPARE(Cam_GetDevName(dev, got), long(ERROR_GOOD));
        QCOMPARE(QString::fromUtf8(got), name);
        int gotPid = 0, gotVid = 0;
        QCOMPARE(Cam_GetPIDVID(dev, &gotPid, &gotVid), long(ERROR_GOOD));
        QCOMPARE(gotVid, vid);
        QCOMPARE(gotPid, pid);
        long count = 0;
        QCOMPARE(Cam_GetCameraResolutionCount(dev, 0, &count), long(ERROR_GOOD));
        QStringList offered;
        for (long i = 0; i < count; ++i) {
            long w = 0, h = 0;
            QCOMPARE(Cam_GetCameraResolutionName(i, &w, &h), long(ERROR_GOOD));
            offered << QString("%1x%2").arg(w).arg(h);
        }
        QCOMPARE(offered.join(' '), sizes);
    }

    void streaming_data()
    {
        QTest::addColumn<long>("dev");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QSize>("preview"); // above 1080p the preview is decoded smaller
        QTest::newRow("mjpeg 3264x2448") << 0L << 3264 << 2448 << 0 << QSize(1632, 1224);
        QTest::newRow("mjpeg 2592x1944") << 0L << 2592 << 1944 << 0 << QSize(1296, 972);
        for (const QSize &s : {QSize(1920, 1080), QSize(1280, 720), QSize(640, 480)})
            QTest::addRow("mjpeg %dx%d", s.width(), s.height()) << 0L << s.width() << s.height() << 0 << s;
        QTest::newRow("yuyv 1600x1200") << 1L << 1600 << 1200 << 0 << QSize(1600, 1200);
        QTest::newRow("yuyv 640x480") << 1L << 640 << 480 << 0 << QSize(640, 480);
        QTest::newRow("mjpeg turned") << 0L << 1280 << 720 << 90 << QSize(720, 1280);
        QTest::newRow("yuyv upside down") << 1L << 640 << 480 << 180 << QSize(640, 480);
    }

    // Frames of the asked size show the page: white in the middle, the desk in the corner.
    void streaming()
    {
        QFETCH(long, dev);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, rotation);
        QFETCH(QSize, preview);
        QCOMPARE(Cam_Rotate(rotation), long(ERROR_GOOD));
        QCOMPARE(start(dev, width, height), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_log.frames >= 3, 20000);
        QCOMPARE(Cam_CameraCaptureStop(dev), long(ERROR_GOOD));
        QCOMPARE(QSize(g_log.width, g_log.height), preview);
        QCOMPARE(g_log.size, preview.width() * preview.height() * 3);
        QVERIFY2(
            qGray(g_log.centre) > 200 && qGray(g_log.corner) < 90,
            qPrintable(QString("centre %1, corner %2").arg(qGray(g_log.centre)).arg(qGray(g_log.corner))));
        verifyReleased(int(dev) + 1);
    }

    void captures_data()
    {
        QTest::addColumn<long>("dev");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("rotate");
        QTest::addColumn<QSize>("size");
        QTest::newRow("jpg") << 0L << "page.jpg" << 0 << QSize(3264, 2448);
        QTest::newRow("png turned") << 0L << "page.png" << 90 << QSize(1080, 1920);
        QTest::newRow("bmp from yuyv") << 1L << "page.bmp" << 0 << QSize(1600, 1200);
        QTest::newRow("tif from yuyv") << 1L << "page.tif" << 180 << QSize(1600, 1200);
        QTest::newRow("pdf") << 0L << "page.pdf" << 0 << QSize();
    }

    void captures()
    {
        QFETCH(long, dev);
        QFETCH(QString, file);
        QFETCH(int, rotate);
        QFETCH(QSize, size);
        const QSize streamed = !size.isValid() ? QSize(1920, 1080) : rotate % 180 ? size.transposed() : size;
        QCOMPARE(start(dev, streamed.width(), streamed.height()), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_log.frames >= 1, 20000);
        char path[CAM_PATH_SIZE] = {};
        qstrncpy(path, m_dir.filePath(file).toUtf8().constData(), sizeof path);
        IMAGEPARAM param;
        std::memset(&param, 0, sizeof param);
        param.nRotate = rotate;
        QCOMPARE(Cam_CameraCaptureFile(0, path, &param), long(ERROR_GOOD));
        QCOMPARE(QString::fromUtf8(path), m_dir.filePath(file));
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        if (size.isValid()) {
            const QImage image(path);
            QCOMPARE(image.size(), size);
            QVERIFY(qGray(image.pixel(size.width() / 2, size.height() / 2)) > 200);
        } else {
            QVERIFY(written.read(5) == "%PDF-");
        }
        QVERIFY(written.remove());
    }

    // The pictures alternate: a change, then stillness.
    void autoCapture()
    {
        QCOMPARE(start(0, 640, 480), long(ERROR_GOOD));
        g_stateCount = 0;
        g_statePair = 0;
        QCOMPARE(Cam_AutoCapture(0, 0, onState), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_stateCount >= 2, 10000);
        QCOMPARE(g_statePair.load(), 21L); // 1, then 0
    }

    void unplug_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<bool>("capturing");
        QTest::newRow("unplugged while streaming") << QByteArray("device 1 absent\n") << false;
        QTest::newRow("unplugged while capturing") << QByteArray("device 1 absent\n") << true;
        // A camera failing every call is of no use: it leaves the list until it recovers.
        QTest::newRow("i/o error while streaming") << QByteArray("device 1 eio\n") << false;
    }

    // The stream ends by itself, the camera leaves the list and nothing stays mapped.
    void unplug()
    {
        QFETCH(QByteArray, control);
        QFETCH(bool, capturing);
        QCOMPARE(start(0, 2592, 1944), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_log.frames >= 2, 20000);
        std::atomic<long> lastCapture{ERROR_GOOD};
        std::thread capturer;
        if (capturing)
            capturer = std::thread([&] {
                IMAGEPARAM param;
                std::memset(&param, 0, sizeof param);
                param.bIsCoverFile = true;
                while (lastCapture == ERROR_GOOD) {
                    char path[CAM_PATH_SIZE] = {};
                    qstrncpy(path, m_dir.filePath("during.jpg").toUtf8().constData(), sizeof path);
                    lastCapture = Cam_CameraCaptureFile(0, path, &param);
                }
            });
        writeControl(control);
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), 1L, 10000);
        const int frames = g_log.frames;
        if (capturing) {
            capturer.join();
            QCOMPARE(lastCapture.load(), long(ERROR_NOT_STREAMING));
            QFile::remove(m_dir.filePath("during.jpg"));
        }
        QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_NOT_STREAMING));
        QCOMPARE(int(g_log.frames), frames);
        verifyReleased(1);
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
            QTRY_VERIFY_WITH_TIMEOUT(g_log.frames >= 12, 20000);
            QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_GOOD));
            QCOMPARE(QSize(g_log.width, g_log.height), size);
            QVERIFY(qGray(g_log.centre) > 200 && qGray(g_log.corner) < 90);
        }
        const EmuStats after = emuStats(1);
        if (dropsBroken) {
            QVERIFY(after.broken > before.broken);
            QVERIFY(g_log.frames <= (after.dequeued - before.dequeued) - (after.broken - before.broken));
        }
        verifyReleased(1);
    }
};

QTEST_GUILESS_MAIN(TestCameraV4l2)
#include "tst_camera_v4l2.moc"

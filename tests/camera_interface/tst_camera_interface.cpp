// The camera library through its C interface, with every kind of camera side by
// side: two emulated UVC cameras behind the V4L2 backend (the emulation is
// preloaded), two rendered virtual cameras and the playback camera. Names and
// ids, mistakes of the caller, streaming and captures, automatic capture, live
// guides, cameras that misbehave or go away, and the library under pressure:
// calls from inside callbacks, two threads driving one camera against each other.
#include "CamCaptureSDK.h"
#include "guidecheck.h"
#include "testpictures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <dlfcn.h>
#include <functional>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Device indices: V4L2 cameras come first, then the rendered ones, then playback.
enum : long { EmuA, EmuB, Virtual1, Virtual2, Playback, kDevices };

QString g_dir;

// The emulated cameras' control file, or the virtual cameras' one.
void writeControl(const QByteArray &text, bool virtualCameras = false)
{
    QFile f(g_dir + (virtualCameras ? "/vcontrol" : "/control"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

long devCount()
{
    long n = -1;
    return Cam_GetDevCount(&n) == ERROR_GOOD ? n : -1;
}

IMAGEPARAM params(int rotate = 0, bool cover = false)
{
    IMAGEPARAM p = {};
    p.nRotate = rotate;
    p.bIsCoverFile = cover;
    p.nXDPI = 300;
    p.nYDPI = 150;
    return p;
}

// Capture into a fresh buffer of CAM_PATH_SIZE bytes; the buffer's text is what was written.
long capture(long dev, const QString &target, IMAGEPARAM p = params(), QString *written = nullptr)
{
    char buf[CAM_PATH_SIZE] = {};
    qstrncpy(buf, target.toUtf8().constData(), sizeof buf);
    const long status = Cam_CameraCaptureFile(dev, buf, &p);
    if (written)
        *written = QString::fromUtf8(buf);
    return status;
}

// What an emulated camera saw, from the preloaded library: frames dequeued, the
// broken ones among them, and the mappings and nodes still held.
std::array<long, 3> emuStats(long dev)
{
    static const auto stats = reinterpret_cast<void (*)(int, long *)>(dlsym(RTLD_DEFAULT, "v4l2emu_stats"));
    std::array<long, 3> s{};
    stats(int(dev) + 1, s.data());
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

std::atomic<int> g_callFrom{0}; // armed: 1 from the frame callback, 2 from the automatic capture's
std::atomic<bool> g_waiting{false};
std::function<long()> g_call; // set before arming
std::atomic<long> g_status{-1};

void callOnceGone(int from)
{
    if (!g_callFrom.compare_exchange_strong(from, 0))
        return;
    g_waiting = true;
    // The enumeration without its clean-up: the last camera's index lapses
    // when any camera is unplugged.
    char name[CAM_NAME_SIZE];
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Cam_GetDevName(kDevices - 1, name) == ERROR_GOOD && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    g_status = g_call();
}

// --- Frames, kept and looked at; slow enough that a stop often finds a callback running ---

// The picture shows the page, turned clockwise by degrees: white in the middle,
// the red corner where the turn takes the top left, the others dark.
QString pictureWrong(const QImage &image, int degrees)
{
    const int w = image.width() - 5, h = image.height() - 5;
    const QRgb p[] = {image.pixel(4, 4), image.pixel(w, 4), image.pixel(w, h), image.pixel(4, h),
                      image.pixel(image.width() / 2, image.height() / 2)};
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
    QByteArray last;
    QList<long> states;
} g_log;
std::atomic<int> g_frames{0};
std::atomic<int> g_inCallback{0};
std::atomic<int> g_slowMs{0};
std::atomic<bool> g_hold{false}; // the callback waits until released
// -1 asks the held callback to start and to stop its own camera; then their statuses.
std::atomic<long> g_startFromCallback{-2}, g_stopFromCallback{-2};

int onFrame(void *data, int size, int width, int height, int format)
{
    ++g_inCallback;
    {
        std::lock_guard<std::mutex> lock(g_log.mutex);
        g_log.size = QSize(width, height);
        g_log.bytes = size;
        g_log.format = format;
        g_log.last = QByteArray(static_cast<const char *>(data), size);
    }
    ++g_frames;
    callOnceGone(1);
    if (g_slowMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(g_slowMs));
    while (g_hold) {
        long asked = -1;
        if (g_startFromCallback.compare_exchange_strong(asked, -3)) {
            g_stopFromCallback = Cam_CameraCaptureStop(EmuA);
            g_startFromCallback = Cam_CameraCaptureStart(EmuA, onFrame);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    --g_inCallback;
    return 0;
}

int onState(long state)
{
    {
        std::lock_guard<std::mutex> lock(g_log.mutex);
        g_log.states.append(state);
    }
    callOnceGone(2);
    return 0;
}

QList<long> states()
{
    std::lock_guard<std::mutex> lock(g_log.mutex);
    return g_log.states;
}

// A copy of the newest delivered frame (packed RGB).
cv::Mat lastFrame()
{
    std::lock_guard<std::mutex> lock(g_log.mutex);
    if (g_log.bytes < g_log.size.width() * g_log.size.height() * 3 || g_log.last.isEmpty())
        return cv::Mat();
    return cv::Mat(g_log.size.height(), g_log.size.width(), CV_8UC3, g_log.last.data()).clone();
}

QString lastFrameWrong(int degrees)
{
    const cv::Mat f = lastFrame();
    return f.empty()
               ? "no frame"
               : pictureWrong(QImage(f.data, f.cols, f.rows, int(f.step), QImage::Format_RGB888), degrees);
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
void verifyReleased(long dev)
{
    if (dev <= EmuB)
        QTRY_COMPARE(emuStats(dev)[2], 0L);
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
    long n = 0, w = 0, h = 0;
    QStringList sizes;
    if (Cam_GetCameraResolutionCount(dev, 0, &n) == ERROR_GOOD)
        for (long j = 0; j < n; ++j) {
            std::this_thread::yield(); // discovery logs between the calls
            Cam_GetCameraResolutionName(j, &w, &h);
            sizes << QString("%1x%2").arg(w).arg(h);
        }
    return sizes.join(' ');
}

// --- Two threads against each other ---

enum Op { Start, Stop, SetSmall, SetLarge, Format };
using Ops = QVector<int>;
const std::function<long()> kRun[] = {
    [] { return Cam_CameraCaptureStart(0, onFrame); }, [] { return Cam_CameraCaptureStop(0); },
    [] { return Cam_SetCameraResolution(0, 640, 480); }, [] { return Cam_SetCameraResolution(0, 1280, 720); },
    [] { return Cam_SetCameraFormat(0, 0); }};

// A call given the caller's path buffer.
using Call = std::function<long(char *)>;

} // namespace

Q_DECLARE_METATYPE(Ops)
Q_DECLARE_METATYPE(Call)

class TestCameraInterface : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_files; // what the folder holds between the cases
    QByteArray m_frames; // the playback camera's pictures

    // Starts a camera at the given size and waits for a few frames.
    void startStream(long dev, int width, int height)
    {
        g_frames = 0;
        QCOMPARE(Cam_SetCameraFormat(dev, 0), long(ERROR_GOOD));
        QCOMPARE(start(dev, width, height), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames >= 3, 20000);
    }
    QStringList files() const { return QDir(g_dir).entryList(QDir::Files | QDir::Hidden); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        g_dir = m_dir.path();
        QVERIFY2(dlsym(RTLD_DEFAULT, "v4l2emu_stats"), "runs with the emulated cameras preloaded");
        QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_NOT_INITIALISED));
        // The emulated cameras and the playback camera send two pages in turn.
        writePicture(g_dir + "/a.jpg", 0);
        writePicture(g_dir + "/b.jpg", 30);
        m_frames = (g_dir + "/a.jpg," + g_dir + "/b.jpg").toUtf8();
        qputenv("V4L2EMU_CAMERAS",
                "1bcf:2c9a,mjpeg+yuyv,,Desk Camera A;0ac8:3420,yuyv,800x600/1600x1200,Desk Camera B");
        qputenv("V4L2EMU_PICTURES", m_frames);
        qputenv("V4L2EMU_FPS", "30");
        qputenv("V4L2EMU_HOLD", "1500");
        qputenv("V4L2EMU_CONTROL", (g_dir + "/control").toUtf8());
        qputenv("CAMSDK_VIRTUAL", "2");
        qputenv("CAMSDK_VIRTUAL_IDS", "0ac8:3610,1B3F:00a1");
        qputenv("CAMSDK_VIRTUAL_FPS", "30");
        qputenv("CAMSDK_VIRTUAL_CONTROL", (g_dir + "/vcontrol").toUtf8());
        qputenv("CAMSDK_VIRTUAL_FRAMES", m_frames);
        qunsetenv("CAMSDK_VIRTUAL_SCENE");
        writeControl("");
        writeControl("", true);
        m_files = files();
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
        // The metadata nodes are not cameras: two emulated cameras on four nodes.
        QCOMPARE(devCount(), long(kDevices));
        // Named and identified as their USB descriptors or the environment say.
        QStringList cameras;
        for (long dev = 0; dev < kDevices; ++dev) {
            char name[CAM_NAME_SIZE] = {};
            int pid = 0, vid = 0;
            Cam_GetDevName(dev, name);
            Cam_GetPIDVID(dev, &pid, &vid);
            cameras << QString("%1 %2:%3").arg(name).arg(vid, 4, 16, QChar('0')).arg(pid, 4, 16, QChar('0'));
        }
        QCOMPARE(cameras.join(", "), QString("Desk Camera A 1bcf:2c9a, Desk Camera B 0ac8:3420, "
                                             "PageLux Virtual Camera 1 0ac8:3610, PageLux Virtual Camera 2 "
                                             "1b3f:00a1, PageLux Playback Camera 1209:ca10"));
    }

    void init()
    {
        g_frames = 0;
        g_slowMs = 0;
        g_callFrom = 0;
        g_waiting = false;
        g_status = -1;
        QCOMPARE(Cam_SetCameraResolution(0, 640, 480), long(ERROR_GOOD));
        std::lock_guard<std::mutex> lock(g_log.mutex);
        g_log.states.clear();
    }

    void cleanup()
    {
        for (long dev = 0; dev < kDevices; ++dev)
            Cam_CameraCaptureStop(dev);
        Cam_Rotate(0);
        Cam_SetAutoCrop(0);
        for (const QString &f : files()) // left by a failed case
            if (!m_files.contains(f))
                QFile::remove(g_dir + "/" + f);
        writeControl("");
        writeControl("", true);
        QTRY_COMPARE(devCount(), long(kDevices));
    }

    // One row per kind of mistake, while the first camera streams: a status, the
    // caller's buffer as it was and nothing written.
    void mistakes_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("target"); // in the folder, the caller's buffer
        QTest::addColumn<long>("status");
        const Call capture = [](char *path) {
            IMAGEPARAM p = params();
            return Cam_CameraCaptureFile(EmuA, path, &p);
        };
        QTest::newRow("null pointer")
            << Call([](char *path) { return Cam_CameraCaptureFile(EmuA, path, nullptr); }) << "a.jpg"
            << long(ERROR_BAD_ARGUMENT);
        QTest::newRow("no such camera") << Call([](char *) { return Cam_CameraCaptureStart(-1, onFrame); })
                                        << "" << long(ERROR_NO_DEVICE);
        QTest::newRow("size index past the list") << Call([](char *) {
            long n = 0, w = 0, h = 0;
            Cam_GetCameraResolutionCount(EmuB, 0, &n);
            return Cam_GetCameraResolutionName(n, &w, &h);
        }) << "" << long(ERROR_BAD_ARGUMENT);
        QTest::newRow("size not offered")
            << Call([](char *) { return Cam_SetCameraResolution(EmuB, 640, 480); }) << ""
            << long(ERROR_UNSUPPORTED);
        QTest::newRow("odd rotation") << Call([](char *path) {
            IMAGEPARAM p = params(45);
            return Cam_CameraCaptureFile(EmuA, path, &p);
        }) << "a.jpg" << long(ERROR_BAD_ARGUMENT);
        QTest::newRow("camera not streaming") << Call([](char *path) {
            IMAGEPARAM p = params();
            return Cam_CameraCaptureFile(Virtual2, path, &p);
        }) << "a.jpg" << long(ERROR_NOT_STREAMING);
        QTest::newRow("unknown extension") << capture << "a.gif" << long(ERROR_BAD_ARGUMENT);
        QTest::newRow("missing folder") << capture << "no/a.jpg" << long(ERROR_WRITE_FAILED);
        // Read up to a terminator beyond the buffer, it would name a JPEG.
        QTest::newRow("no terminator in the buffer")
            << capture << QString(CAM_PATH_SIZE - g_dir.size() - 5, 'a') + ".jpg" << long(ERROR_BAD_ARGUMENT);
    }
    void mistakes()
    {
        QFETCH(Call, call);
        QFETCH(QString, target);
        QFETCH(long, status);
        startStream(EmuA, 640, 480);
        QByteArray buf = (g_dir + "/" + target).toUtf8().leftJustified(CAM_PATH_SIZE, '\0', true);
        const QByteArray before = buf;
        QCOMPARE(call(buf.data()), status);
        QCOMPARE(buf, before);
        QCOMPARE(files(), m_files);
    }

    // An existing file is kept: a capture takes the next free name and says so in
    // the caller's buffer, or by its status where that name would not fit it.
    void captureNaming()
    {
        startStream(EmuA, 640, 480);
        QString deep = g_dir + "/deep"; // "/p.jpg" fits in the buffer, "/p(1).jpg" does not
        while (deep.size() < CAM_PATH_SIZE - 8)
            deep += "/dddddddddddddddddddddddddddddddddddddddd";
        deep.truncate(CAM_PATH_SIZE - 8);
        QVERIFY(QDir().mkpath(deep));
        const auto removeDeep = qScopeGuard([] { QDir(g_dir + "/deep").removeRecursively(); });
        for (const auto &[target, fits] :
             {std::pair(g_dir + "/p.jpg", true), std::pair(deep + "/p.jpg", false)}) {
            QVERIFY(testpictures::writeAll(target, "keep me"));
            for (const char *next : {"(1).jpg", "(2).jpg"}) {
                QString written;
                QCOMPARE(capture(EmuA, target, params(), &written),
                         long(fits ? ERROR_GOOD : ERROR_BUFFER_TOO_SMALL));
                QCOMPARE(written, fits ? QString(target).replace(".jpg", next) : QString());
                QVERIFY(QFile::exists(QString(target).replace(".jpg", next)));
            }
            QCOMPARE(testpictures::readAll(target), QByteArray("keep me"));
        }
        // Asked to, a capture replaces the file.
        QString written;
        QCOMPARE(capture(EmuA, g_dir + "/p.jpg", params(0, true), &written), long(ERROR_GOOD));
        QCOMPARE(written, g_dir + "/p.jpg");
        QCOMPARE(cv::imread(written.toStdString()).size(), cv::Size(640, 480));
    }

    void streaming_data()
    {
        QTest::addColumn<QSize>("size");    // YUYV on the second camera; then the playback camera
        QTest::addColumn<int>("view");      // turn of the live picture
        QTest::addColumn<QSize>("preview"); // above 1080p the preview is decoded smaller
        QTest::addColumn<QString>("file");  // a capture during the stream
        QTest::addColumn<int>("rotate");
        QTest::newRow("mjpeg 8 MP") << QSize(3264, 2448) << 0 << QSize(1632, 1224) << "p.jpg" << 0;
        QTest::newRow("mjpeg 8 MP cut out") << QSize(3264, 2448) << 0 << QSize(1632, 1224) << "cut.jpg" << 0;
        QTest::newRow("mjpeg 2592x1944") << QSize(2592, 1944) << 0 << QSize(1296, 972) << "" << 0;
        QTest::newRow("mjpeg 1080p") << QSize(1920, 1080) << 0 << QSize(1920, 1080) << "p.png" << 90;
        QTest::newRow("mjpeg 1280x720") << QSize(1280, 720) << 0 << QSize(1280, 720) << "p.pdf" << 270;
        QTest::newRow("mjpeg 640x480") << QSize(640, 480) << 0 << QSize(640, 480) << "p.bmp" << 0;
        QTest::newRow("yuyv 1600x1200") << QSize(1600, 1200) << 0 << QSize(1600, 1200) << "p.jpg" << 0;
        QTest::newRow("yuyv 800x600") << QSize(800, 600) << 0 << QSize(800, 600) << "p.tif" << 180;
        QTest::newRow("mjpeg turned") << QSize(1280, 720) << 90 << QSize(720, 1280) << "" << 0;
        QTest::newRow("mjpeg turned back") << QSize(640, 480) << -90 << QSize(480, 640) << "" << 0;
        QTest::newRow("yuyv upside down") << QSize(800, 600) << 180 << QSize(800, 600) << "" << 0;
        QTest::newRow("playback 1600x1200") << QSize(1600, 1200) << 0 << QSize(1600, 1200) << "p.png" << 90;
    }
    // Frames of the asked size show the page the right way round; so do the
    // captures, at full size, with the asked density (from which a merge takes
    // the page size), no temporary left.
    void streaming()
    {
        const QByteArray tag = QTest::currentDataTag();
        const long dev = tag.startsWith("yuyv") ? EmuB : tag.startsWith("playback") ? Playback : EmuA;
        QFETCH(QSize, size);
        QFETCH(int, view);
        QFETCH(QSize, preview);
        QFETCH(QString, file);
        QFETCH(int, rotate);
        QCOMPARE(Cam_Rotate(view), long(ERROR_GOOD));
        startStream(dev, size.width(), size.height());
        QCOMPARE(Cam_CameraCaptureStart(dev, onFrame), long(ERROR_BUSY)); // the stream goes on
        if (!file.isEmpty()) {
            const QString target = g_dir + "/" + file;
            IMAGEPARAM p = params(rotate);
            p.nCropType = file.startsWith("cut");
            QCOMPARE(capture(dev, target, p), long(ERROR_GOOD));
            const QSize captured = rotate % 180 ? size.transposed() : size;
            const QByteArray bytes = testpictures::readAll(target);
            const QImage image = QImage::fromData(bytes);
            if (file.endsWith("pdf")) { // the camera's JPEG as is, on a page of its size at the density
                QVERIFY(bytes.startsWith("%PDF-") && bytes.contains("/DCTDecode"));
                QVERIFY(bytes.contains("/Width " + QByteArray::number(captured.width())));
                QVERIFY2(bytes.contains("172.8") && bytes.contains("614.4"),
                         "720 x 1280 px at 300 x 150 dpi");
            } else if (p.nCropType) { // the white page alone, cut out of the full frame
                QVERIFY2(qAbs(image.width() - 2040) < 40 && qAbs(image.height() - 1836) < 40,
                         qPrintable(QString("%1x%2").arg(image.width()).arg(image.height())));
            } else {
                QCOMPARE(image.size(), captured);
                QCOMPARE(
                    QSize(qRound(image.dotsPerMeterX() * 0.0254), qRound(image.dotsPerMeterY() * 0.0254)),
                    QSize(300, 150));
                const QString wrong = pictureWrong(image, rotate);
                QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            }
            QVERIFY(QFile::remove(target));
            QCOMPARE(files(), m_files);
        }
        QCOMPARE(Cam_CameraCaptureStop(dev), long(ERROR_GOOD));
        QCOMPARE(g_log.size, preview);
        QCOMPARE(g_log.format, CAM_FRAME_RGB24);
        const QString wrong = lastFrameWrong((view + 360) % 360);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        verifyReleased(dev);
    }

    void autoCapture()
    {
        startStream(Virtual1, 640, 480);
        QCOMPARE(Cam_AutoCapture(Virtual1, 0, onState), long(ERROR_GOOD));
        writeControl("motion on\n", true);
        QTRY_COMPARE_WITH_TIMEOUT(states(), QList<long>{1}, 5000);
        QTest::qWait(800);
        writeControl("motion off\n", true);
        QTRY_COMPARE_WITH_TIMEOUT(states(), (QList<long>{1, 0}), 5000);
        // Paused, a movement goes unreported.
        QCOMPARE(Cam_PauseAutoCapture(Virtual1, -1), long(ERROR_GOOD));
        writeControl("motion on\n", true);
        QTest::qWait(600);
        writeControl("motion off\n", true);
        QTest::qWait(1200);
        QCOMPARE(states(), (QList<long>{1, 0}));
    }

    void guides_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("rotation");
        QTest::newRow("single") << "page" << 1 << 0;
        QTest::newRow("multiple") << "multi" << 2 << 0;
        QTest::newRow("book upside down") << "book" << 3 << 180;
    }
    // Guides on the live picture of a rendered camera where the documents truly are.
    void guides()
    {
        QFETCH(QString, scene);
        QFETCH(int, mode);
        QFETCH(int, rotation);
        qputenv("CAMSDK_VIRTUAL_SCENE", scene.toUtf8());
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
        qunsetenv("CAMSDK_VIRTUAL_SCENE");
        // The scene the first rendered camera shows: the default seed, a wood desk.
        const cv::Size size(1280, 720);
        camvirtual::SceneRequest r;
        QVERIFY(camvirtual::parseSceneKind(scene.toStdString(), &r.scene));
        r.width = size.width;
        r.height = size.height;
        const guidecheck::Lines truth = guidecheck::rotated(
            guidecheck::truthLines(camvirtual::renderScene(r).truth, mode == 3), rotation, size);
        // About 1 % of the frame diagonal off the truth, plus the line's own width.
        const double tolerance = 0.01 * std::hypot(size.width, size.height) + 3;

        QCOMPARE(Cam_SetAutoCrop(mode), long(ERROR_GOOD));
        QCOMPARE(Cam_Rotate(rotation), long(ERROR_GOOD));
        startStream(Virtual1, size.width, size.height);
        guidecheck::Fit fit;
        QTRY_VERIFY_WITH_TIMEOUT((fit = guidecheck::fit(lastFrame(), truth, mode != 3, tolerance),
                                  fit.onTruth > 0.9 && fit.covered > 0.9),
                                 10000);
        // The line is clearly visible: a few pixels wide all along.
        double length = 0;
        for (const auto &line : truth)
            length += cv::arcLength(line, mode != 3);
        QVERIFY2(fit.pixels > 1.5 * length,
                 qPrintable(QString("%1 pixels along %2").arg(fit.pixels).arg(length)));

        // Captured without the guides.
        QString written;
        QCOMPARE(capture(Virtual1, g_dir + "/guided.png", params(), &written), long(ERROR_GOOD));
        const cv::Mat img = cv::imread(written.toStdString());
        QCOMPARE(img.size(), size);
        QCOMPARE(cv::countNonZero(guidecheck::guidePixels(img)), 0); // pure green is the same in BGR
        QVERIFY(QFile::remove(written));
        // Stopped while the search may run, started again: the guides are back.
        QCOMPARE(Cam_CameraCaptureStop(Virtual1), long(ERROR_GOOD));
        startStream(Virtual1, size.width, size.height);
        QTRY_VERIFY_WITH_TIMEOUT(guidecheck::fit(lastFrame(), truth, mode != 3, tolerance).pixels > 0, 10000);
        QCOMPARE(Cam_CameraCaptureStop(Virtual1), long(ERROR_GOOD));
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
    }

    void callFromCallbackWhileUnplugged_data()
    {
        QTest::addColumn<int>("from"); // 1 the frame callback, 2 the automatic capture's
        QTest::addColumn<QString>("call");
        QTest::addColumn<long>("status");
        QTest::addColumn<bool>("capturing"); // captures racing the unplug from another thread
        QTest::newRow("frame: count") << 1 << "count" << long(ERROR_GOOD) << true;
        QTest::newRow("frame: init") << 1 << "init" << long(ERROR_BUSY) << false;
        QTest::newRow("automatic capture: capture") << 2 << "capture" << long(ERROR_NOT_STREAMING) << false;
        // A camera failing every call is of no use: it leaves the list until it recovers.
        QTest::newRow("i/o error: count") << 1 << "count" << long(ERROR_GOOD) << false;
        QTest::newRow("rendered camera: capture") << 1 << "capture" << long(ERROR_NOT_STREAMING) << true;
    }
    void callFromCallbackWhileUnplugged()
    {
        QFETCH(int, from);
        QFETCH(QString, call);
        QFETCH(long, status);
        QFETCH(bool, capturing);
        const QByteArray tag = QTest::currentDataTag();
        const long dev = tag.startsWith("rendered") ? Virtual1 : EmuA;
        g_call = [call, dev] {
            long n = 0;
            return call == "init"    ? Cam_Init()
                   : call == "count" ? Cam_GetDevCount(&n)
                                     : capture(dev, g_dir + "/fromcallback.jpg");
        };
        QCOMPARE(start(dev, 1280, 720), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames >= 2, 10000);
        if (from == 2) // the pictures alternate: a change, then stillness
            QCOMPARE(Cam_AutoCapture(dev, 0, onState), long(ERROR_GOOD));
        std::atomic<long> lastCapture{ERROR_GOOD};
        std::atomic<bool> keepCapturing{capturing};
        std::thread capturer([&] {
            while (keepCapturing && lastCapture == ERROR_GOOD)
                lastCapture = capture(dev, g_dir + "/during.jpg", params(0, true));
        });
        auto join =
            qScopeGuard([&] { keepCapturing = false, capturer.join(); }); // a failed check returns early
        g_callFrom = from;
        QTRY_VERIFY_WITH_TIMEOUT(g_waiting, 10000);
        writeControl(tag.startsWith("i/o") ? "device 1 eio\n" : "device 1 absent\n", dev > EmuB);
        QTRY_VERIFY_WITH_TIMEOUT(g_status != -1, 10000);
        QCOMPARE(g_status.load(), status);

        // From outside the lost stream is cleaned up and nothing comes any more.
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), long(kDevices - 1), 5000);
        join.dismiss();
        capturer.join();
        QCOMPARE(lastCapture.load(), long(capturing ? ERROR_NOT_STREAMING : ERROR_GOOD));
        QFile::remove(g_dir + "/during.jpg");
        QVERIFY(framesStopped());
        QCOMPARE(Cam_CameraCaptureStop(dev), long(ERROR_NOT_STREAMING));
        verifyReleased(dev);
        // Replugged, the camera starts at once.
        writeControl("device 1 present\n", dev > EmuB);
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), long(kDevices), 5000);
        const int seen = g_frames;
        QCOMPARE(start(dev, 640, 480), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames > seen, 10000);
    }

    void faults_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QSize>("size"); // of the frames shown; none: the start is refused
        const QSize hd(1920, 1080);
        QTest::newRow("EAGAIN burst") << QByteArray("fault 1 eagain 40") << hd;
        QTest::newRow("EINTR on every other call") << QByteArray("fault 1 eintr 200") << hd;
        QTest::newRow("bytesused 0") << QByteArray("fault 1 empty 8") << hd;
        QTest::newRow("truncated MJPEG") << QByteArray("fault 1 truncated 8") << hd;
        QTest::newRow("corrupt MJPEG") << QByteArray("fault 1 corrupt 8") << hd;
        QTest::newRow("MJPEG without Huffman tables") << QByteArray("fault 1 nohuffman 1000") << hd;
        QTest::newRow("stall") << QByteArray("fault 1 stall 1500") << hd;
        QTest::newRow("S_FMT answers another size") << QByteArray("size 2 800x600") << QSize(800, 600);
        QTest::newRow("two buffers granted") << QByteArray("buffers 1 2") << hd;
        QTest::newRow("one buffer granted") << QByteArray("buffers 1 1") << QSize();
    }
    // A misbehaving camera gives a clean status, or a stream that goes on
    // showing the page and never hands a broken frame on.
    void faults()
    {
        QFETCH(QByteArray, control);
        QFETCH(QSize, size);
        const long dev = control.startsWith("size") ? EmuB : EmuA; // YUYV: the frame has no size of its own
        const auto before = emuStats(dev);
        writeControl(control + "\n");
        QCOMPARE(start(dev, dev == EmuB ? 1600 : 1920, dev == EmuB ? 1200 : 1080),
                 long(size.isValid() ? ERROR_GOOD : ERROR_OPEN_FAILED));
        if (size.isValid()) {
            QTRY_VERIFY_WITH_TIMEOUT(g_frames >= 12, 20000);
            QCOMPARE(Cam_CameraCaptureStop(dev), long(ERROR_GOOD));
            QCOMPARE(g_log.size, size);
            const QString wrong = lastFrameWrong(0);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        }
        const auto after = emuStats(dev);
        QCOMPARE(after[1] > before[1], control.contains("empty") || control.contains("truncated"));
        QVERIFY(g_frames <= (after[0] - before[0]) - (after[1] - before[1]));
        verifyReleased(dev);
    }

    // A replugged camera is a new one: the size chosen for the camera that
    // went away is not handed to whichever comes next (here the second camera,
    // which does not offer it, made where the first one was).
    void chosenSizeGoesWithTheCamera()
    {
        QCOMPARE(Cam_SetCameraResolution(0, 3264, 2448), long(ERROR_GOOD));
        writeControl("device 1 absent\ndevice 2 absent\n");
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), long(kDevices - 2), 5000);
        writeControl("device 1 present\ndevice 2 absent\n");
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), long(kDevices - 1), 5000);
        writeControl("device 1 present\ndevice 2 present\n");
        QTRY_COMPARE_WITH_TIMEOUT(devCount(), long(kDevices), 5000);
        QCOMPARE(Cam_CameraCaptureStart(1, onFrame), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames > 0, 10000);
    }

    // A discovery on its worker and a hot-plug scan on the GUI thread at once;
    // each camera's sizes once, largest first, whatever the formats offer.
    void sizeListsFromTwoThreads()
    {
        const QString lists[2] = {"3264x2448 2592x1944 1920x1080 1280x720 640x480", "1600x1200 800x600"};
        std::atomic<int> wrong{0};
        auto discover = [&](long firstDev) {
            for (int i = 0; i < 500; ++i)
                for (long dev : {firstDev, 1 - firstDev})
                    wrong += sizeList(dev) != lists[dev];
        };
        std::thread other(discover, 1);
        discover(0);
        other.join();
        QCOMPARE(wrong.load(), 0);
    }

    // Each row: what two threads do at the same moment to a streaming camera,
    // many times over. Every call returns within a second with a clean status,
    // and the streams started and stopped add up: the one left (if any) is the
    // only one delivering, and a final stop leaves nothing running. Without a
    // start on the other thread, no callback runs once a stop has returned.
    void twoThreads_data()
    {
        QTest::addColumn<Ops>("first");
        QTest::addColumn<Ops>("second");
        QTest::newRow("stop against start") << Ops{Stop} << Ops{Start};
        QTest::newRow("stop against stop") << Ops{Stop} << Ops{Stop};
        QTest::newRow("resolution change against resolution change")
            << Ops{Stop, SetSmall, Format, Start} << Ops{Stop, SetLarge, Format, Start};
    }
    void twoThreads()
    {
        QFETCH(Ops, first);
        QFETCH(Ops, second);
        const bool quietAfterStop = !first.contains(Start) && !second.contains(Start);
        g_slowMs = 10;
        for (int round = 0; round < 15; ++round) {
            QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_GOOD));
            const int seen = g_frames;
            QTRY_VERIFY_WITH_TIMEOUT(g_frames > seen, 10000);
            std::atomic<int> ready{0}, done{0}, running{1};
            QString wrong[2];
            auto worker = [&](const Ops &ops, QString *bad) {
                for (++ready; ready < 2;) {
                }
                for (int op : ops) {
                    const auto t0 = Clock::now();
                    const long s = kRun[op]();
                    running += s == ERROR_GOOD ? (op == Start) - (op == Stop) : 0;
                    if ((s != ERROR_GOOD && s != ERROR_BUSY && s != ERROR_NOT_STREAMING) ||
                        Clock::now() - t0 >= std::chrono::seconds(1) || (quietAfterStop && g_inCallback != 0))
                        *bad += QString(" op %1: status %2, %3 callbacks;").arg(op).arg(s).arg(g_inCallback);
                }
                ++done;
            };
            std::thread a(worker, first, &wrong[0]), b(worker, second, &wrong[1]);
            if (!QTest::qWaitFor([&] { return done == 2; }, 5000))
                qFatal("round %d: a call did not return", round); // a hung thread cannot be joined
            a.join();
            b.join();
            QVERIFY2(wrong[0].isEmpty() && wrong[1].isEmpty(),
                     qPrintable(QString("round %1:%2 /%3").arg(round).arg(wrong[0], wrong[1])));
            QVERIFY2(running == 0 || running == 1, QByteArray::number(running.load()));
            QCOMPARE(Cam_CameraCaptureStop(0), long(running ? ERROR_GOOD : ERROR_NOT_STREAMING));
            QVERIFY(framesStopped());
        }
    }
    // Two stops while a callback holds the stream: neither returns before it does,
    // and a stop or a start from that callback meanwhile is refused.
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
        QCOMPARE(g_stopFromCallback.exchange(-2), long(ERROR_BUSY));
        QVERIFY(framesStopped());
    }
};

QTEST_GUILESS_MAIN(TestCameraInterface)
#include "tst_camera_interface.moc"

// The camera library through its C interface, on the virtual camera.
#include "CamCaptureSDK.h"
#include "guidecheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

#include <atomic>
#include <cstring>
#include <mutex>

namespace {

// What the frame callback saw; written on the library's thread.
struct FrameLog {
    std::mutex mutex;
    std::atomic<int> frames{0};
    std::atomic<bool> inCallback{false};
    int width = 0, height = 0, size = 0, format = -1;
    QByteArray first, last;
};
FrameLog g_frames;
std::atomic<bool> g_stopped{false};
std::atomic<int> g_afterStop{0};

int onFrame(void *data, int size, int width, int height, int formatType)
{
    g_frames.inCallback = true;
    if (g_stopped)
        ++g_afterStop;
    {
        std::lock_guard<std::mutex> lock(g_frames.mutex);
        g_frames.width = width;
        g_frames.height = height;
        g_frames.size = size;
        g_frames.format = formatType;
        QByteArray bytes(static_cast<const char *>(data), size);
        if (g_frames.first.isEmpty())
            g_frames.first = bytes;
        g_frames.last = bytes;
    }
    ++g_frames.frames;
    g_frames.inCallback = false;
    return 0;
}

std::mutex g_stateMutex;
QList<long> g_states;
int onState(long state)
{
    std::lock_guard<std::mutex> lock(g_stateMutex);
    g_states.append(state);
    return 0;
}

QList<long> states()
{
    std::lock_guard<std::mutex> lock(g_stateMutex);
    return g_states;
}

void resetFrames()
{
    std::lock_guard<std::mutex> lock(g_frames.mutex);
    g_frames.frames = 0;
    g_frames.first.clear();
    g_frames.last.clear();
    g_frames.width = g_frames.height = g_frames.size = 0;
    g_frames.format = -1;
    g_stopped = false;
    g_afterStop = 0;
}

// A copy of the newest delivered frame (packed RGB).
cv::Mat lastFrame()
{
    std::lock_guard<std::mutex> lock(g_frames.mutex);
    if (g_frames.last.isEmpty())
        return cv::Mat();
    return cv::Mat(g_frames.height, g_frames.width, CV_8UC3, g_frames.last.data()).clone();
}

int guidePixelsOnLastFrame()
{
    const cv::Mat f = lastFrame();
    return f.empty() ? 0 : cv::countNonZero(guidecheck::guidePixels(f));
}

IMAGEPARAM plainParam()
{
    IMAGEPARAM p;
    std::memset(&p, 0, sizeof p);
    return p;
}

// Capture into a fresh 1024-byte buffer; returns the status and the buffer text.
long capture(const QString &target, QString *written, IMAGEPARAM param = plainParam())
{
    char buf[CAM_PATH_SIZE] = {};
    const QByteArray t = target.toUtf8();
    std::memcpy(buf, t.constData(), std::min<size_t>(t.size(), CAM_PATH_SIZE - 1));
    const long status = Cam_CameraCaptureFile(0, buf, &param);
    if (written)
        *written = QString::fromUtf8(buf);
    return status;
}

} // namespace

class TestCameraSdk : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_control;
    long m_realCameras = 0;

    void writeControl(const QByteArray &text)
    {
        QFile f(m_control);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    // Starts device 0 at the given size and waits for a few frames.
    void startStream(int width, int height)
    {
        resetFrames();
        QCOMPARE(Cam_SetCameraResolution(0, width, height), long(ERROR_GOOD));
        QCOMPARE(Cam_SetCameraFormat(0, 0), long(ERROR_GOOD));
        QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames.frames >= 3, 20000);
    }
    void stopStream()
    {
        QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_GOOD));
        g_stopped = true;
        QVERIFY(!g_frames.inCallback);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_control = m_dir.filePath("control");
        qputenv("CAMSDK_VIRTUAL", "2");
        qputenv("CAMSDK_VIRTUAL_IDS", "0ac8:3610,1B3F:00a1");
        qputenv("CAMSDK_VIRTUAL_FPS", "30");
        qputenv("CAMSDK_VIRTUAL_CONTROL", m_control.toUtf8());
        qunsetenv("CAMSDK_VIRTUAL_SCENE");
        writeControl("motion off\n");
    }

    void cleanupTestCase()
    {
        Cam_CameraCaptureStop(0);
        Cam_CameraCaptureStop(1);
    }

    void beforeInit()
    {
        // The order of the test functions makes this the first call into the library.
        long count = -1;
        QCOMPARE(Cam_GetDevCount(&count), long(ERROR_NOT_INITIALISED));
        QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_NOT_INITIALISED));
        QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_NOT_INITIALISED));
    }

    void enumeration()
    {
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
        long count = 0;
        QCOMPARE(Cam_GetDevCount(&count), long(ERROR_GOOD));
        // Real cameras, if this machine has any, come first.
        QVERIFY(count >= 2);
        const long first = count - 2;
        m_realCameras = first;
        char name[CAM_NAME_SIZE];
        QCOMPARE(Cam_GetDevName(first, name), long(ERROR_GOOD));
        QCOMPARE(QString(name), QString("PageLux Virtual Camera 1"));
        QCOMPARE(Cam_GetDevName(first + 1, name), long(ERROR_GOOD));
        QCOMPARE(QString(name), QString("PageLux Virtual Camera 2"));
        int pid = 0, vid = 0;
        QCOMPARE(Cam_GetPIDVID(first, &pid, &vid), long(ERROR_GOOD));
        QCOMPARE(vid, 0x0ac8);
        QCOMPARE(pid, 0x3610);
        QCOMPARE(Cam_GetPIDVID(first + 1, &pid, &vid), long(ERROR_GOOD));
        QCOMPARE(vid, 0x1b3f);
        QCOMPARE(pid, 0x00a1);
        bool book = false;
        QCOMPARE(Cam_GetDevParams(first, &book), long(ERROR_GOOD));
        QVERIFY(book);

        long resolutions = 0;
        QCOMPARE(Cam_GetCameraResolutionCount(first + 1, 0, &resolutions), long(ERROR_GOOD));
        QCOMPARE(resolutions, 5L);
        const QList<QSize> expected = {{3264, 2448}, {2592, 1944}, {1920, 1080}, {1280, 720}, {640, 480}};
        for (int i = 0; i < 5; ++i) {
            long w = 0, h = 0;
            QCOMPARE(Cam_GetCameraResolutionName(i, &w, &h), long(ERROR_GOOD));
            QCOMPARE(QSize(int(w), int(h)), expected[i]);
        }
        if (first != 0)
            QSKIP("a real camera is attached; the stream tests assume the virtual one at index 0");
    }

    void badArguments()
    {
        long count = 0, w = 0, h = 0;
        char name[CAM_NAME_SIZE];
        int pid = 0, vid = 0;
        bool book = false;
        QCOMPARE(Cam_GetDevCount(nullptr), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_GetDevName(0, nullptr), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_GetDevName(-1, name), long(ERROR_NO_DEVICE));
        QCOMPARE(Cam_GetDevName(99, name), long(ERROR_NO_DEVICE));
        QCOMPARE(Cam_GetPIDVID(0, nullptr, &vid), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_GetPIDVID(7, &pid, &vid), long(ERROR_NO_DEVICE));
        QCOMPARE(Cam_GetDevParams(0, nullptr), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_GetDevParams(-5, &book), long(ERROR_NO_DEVICE));
        QCOMPARE(Cam_GetCameraResolutionCount(0, 3, &count), long(ERROR_UNSUPPORTED));
        QCOMPARE(Cam_GetCameraResolutionCount(0, 0, nullptr), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_GetCameraResolutionCount(0, 0, &count), long(ERROR_GOOD));
        QCOMPARE(Cam_GetCameraResolutionName(5, &w, &h), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_GetCameraResolutionName(-1, &w, &h), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_GetCameraResolutionName(0, nullptr, &h), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_SetCameraResolution(0, 1000, 1000), long(ERROR_UNSUPPORTED));
        QCOMPARE(Cam_SetCameraResolution(42, 640, 480), long(ERROR_NO_DEVICE));
        QCOMPARE(Cam_SetCameraFormat(0, 9), long(ERROR_UNSUPPORTED));
        QCOMPARE(Cam_CameraCaptureStart(0, nullptr), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_CameraCaptureStart(42, onFrame), long(ERROR_NO_DEVICE));
        QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_NOT_STREAMING));
        QCOMPARE(Cam_AutoCapture(0, 0, onState), long(ERROR_NOT_STREAMING));
        QCOMPARE(Cam_AutoCapture(0, 0, nullptr), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_PauseAutoCapture(0, -1), long(ERROR_NOT_STREAMING));
        QCOMPARE(Cam_SetAutoCrop(6), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_SetAutoCrop(-1), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_Rotate(45), long(ERROR_BAD_ARGUMENT));
        IMAGEPARAM p = plainParam();
        char path[CAM_PATH_SIZE] = "/tmp/x.jpg";
        QCOMPARE(Cam_CameraCaptureFile(0, nullptr, &p), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_CameraCaptureFile(0, path, nullptr), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_CameraCaptureFile(0, path, &p), long(ERROR_NOT_STREAMING));
        QCOMPARE(QString(path), QString("/tmp/x.jpg"));
    }

    void streamFrames()
    {
        startStream(1920, 1080);
        // A second start of the same device is refused, the stream goes on.
        QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_BUSY));
        QTRY_VERIFY_WITH_TIMEOUT(g_frames.frames >= 10, 10000);
        {
            std::lock_guard<std::mutex> lock(g_frames.mutex);
            QCOMPARE(g_frames.width, 1920);
            QCOMPARE(g_frames.height, 1080);
            QCOMPARE(g_frames.size, 1920 * 1080 * 3);
            QCOMPARE(g_frames.format, CAM_FRAME_RGB24);
            // Sensor noise: consecutive frames of a still scene are not identical.
            QVERIFY(g_frames.first != g_frames.last);
            // Packed RGB, not BGR: the wood desk at the corner has more red than blue.
            const cv::Vec3b corner = cv::Mat(1080, 1920, CV_8UC3, g_frames.last.data()).at<cv::Vec3b>(5, 5);
            QVERIFY(corner[0] > corner[2]);
        }
        stopStream();
        const int seen = g_frames.frames;
        // Wait as long as several frame periods would take, then nothing more came.
        QTest::qWait(300);
        QCOMPARE(g_frames.frames.load(), seen);
        QCOMPARE(g_afterStop.load(), 0);
    }

    void scaledPreview()
    {
        // Above 1080p the live picture is DCT-scaled; captures keep full size.
        startStream(3264, 2448);
        {
            std::lock_guard<std::mutex> lock(g_frames.mutex);
            QCOMPARE(g_frames.width, 1632);
            QCOMPARE(g_frames.height, 1224);
        }
        QString written;
        QCOMPARE(capture(m_dir.filePath("full.jpg"), &written), long(ERROR_GOOD));
        const cv::Mat img = cv::imread(written.toStdString());
        QCOMPARE(img.cols, 3264);
        QCOMPARE(img.rows, 2448);
        QFile::remove(written);
        stopStream();
    }

    void rotation_data()
    {
        QTest::addColumn<int>("degrees");
        QTest::addColumn<QSize>("size");
        QTest::newRow("90") << 90 << QSize(480, 640);
        QTest::newRow("180") << 180 << QSize(640, 480);
        QTest::newRow("-90") << -90 << QSize(480, 640);
    }
    void rotation()
    {
        QFETCH(int, degrees);
        QFETCH(QSize, size);
        startStream(640, 480);
        QByteArray upright;
        {
            std::lock_guard<std::mutex> lock(g_frames.mutex);
            upright = g_frames.last;
        }
        QCOMPARE(Cam_Rotate(degrees), long(ERROR_GOOD));
        resetFrames();
        QTRY_VERIFY_WITH_TIMEOUT(g_frames.frames >= 2, 10000);
        QByteArray turned;
        {
            std::lock_guard<std::mutex> lock(g_frames.mutex);
            QCOMPARE(QSize(g_frames.width, g_frames.height), size);
            turned = g_frames.last;
        }
        QCOMPARE(Cam_Rotate(0), long(ERROR_GOOD));
        stopStream();
        // The turned frame is the upright one rotated: compare the smoothed pictures.
        cv::Mat a(480, 640, CV_8UC3, upright.data()), b(size.height(), size.width(), CV_8UC3, turned.data());
        cv::Mat back;
        const int code = degrees == 180
                             ? cv::ROTATE_180
                             : (degrees == 90 ? cv::ROTATE_90_COUNTERCLOCKWISE : cv::ROTATE_90_CLOCKWISE);
        cv::rotate(b, back, code);
        cv::Mat diff;
        cv::absdiff(a, back, diff);
        QVERIFY2(cv::mean(diff)[0] < 6, "the rotated frame does not show the same scene");
    }

    void captureFormats_data()
    {
        QTest::addColumn<QString>("ext");
        for (const char *e : {"jpg", "bmp", "png", "tiff", "pdf"})
            QTest::newRow(e) << QString(e);
    }
    void captureFormats()
    {
        QFETCH(QString, ext);
        startStream(1280, 720);
        QString written;
        const QString target = m_dir.filePath("page_1." + ext);
        QCOMPARE(capture(target, &written), long(ERROR_GOOD));
        QCOMPARE(written, target);
        stopStream();
        if (ext == "pdf") {
            QFile f(written);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray pdf = f.readAll();
            QVERIFY(pdf.startsWith("%PDF-"));
            QVERIFY(pdf.contains("/DCTDecode"));
            // The camera's JPEG is in the file as is, scan data and all.
            const int soi = pdf.indexOf("\xFF\xD8\xFF");
            QVERIFY(soi > 0);
            const int eoi = pdf.indexOf("\xFF\xD9", soi);
            QVERIFY(eoi > soi);
            const QByteArray jpeg = pdf.mid(soi, eoi + 2 - soi);
            const cv::Mat img = cv::imdecode(std::vector<uchar>(jpeg.begin(), jpeg.end()), cv::IMREAD_COLOR);
            QCOMPARE(img.cols, 1280);
            QCOMPARE(img.rows, 720);
            QVERIFY(pdf.contains("/Width 1280"));
        } else {
            const cv::Mat img = cv::imread(written.toStdString());
            QCOMPARE(img.cols, 1280);
            QCOMPARE(img.rows, 720);
        }
        QVERIFY(QFile::remove(written));
        // No temporary file is left behind.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter("camsdk").size(), 0);
    }

    void captureRotatedAndNaming()
    {
        startStream(640, 480);
        const QString target = m_dir.filePath("scan.png");
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("keep me");
        old.close();

        IMAGEPARAM p = plainParam();
        p.nRotate = 90;
        QString written;
        QCOMPARE(capture(target, &written, p), long(ERROR_GOOD));
        QCOMPARE(written, m_dir.filePath("scan(1).png"));
        QCOMPARE(cv::imread(written.toStdString()).size(), cv::Size(480, 640));
        QCOMPARE(capture(target, &written), long(ERROR_GOOD));
        QCOMPARE(written, m_dir.filePath("scan(2).png"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("keep me"));

        // An unknown extension and an odd rotation: a status, nothing written.
        QCOMPARE(capture(m_dir.filePath("x.gif"), &written), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(capture(m_dir.filePath("noext"), &written), long(ERROR_BAD_ARGUMENT));
        p = plainParam();
        p.nRotate = 45;
        QCOMPARE(capture(m_dir.filePath("odd.jpg"), &written, p), long(ERROR_BAD_ARGUMENT));
        QVERIFY(!QFile::exists(m_dir.filePath("odd.jpg")));
        stopStream();
        for (const QString &f : {target, m_dir.filePath("scan(1).png"), m_dir.filePath("scan(2).png")})
            QVERIFY(QFile::remove(f));
    }

    void bufferLimits()
    {
        startStream(640, 480);
        // A path without its terminator inside the 1024 bytes is refused.
        char full[CAM_PATH_SIZE];
        std::memset(full, 'a', sizeof full);
        IMAGEPARAM p = plainParam();
        QCOMPARE(Cam_CameraCaptureFile(0, full, &p), long(ERROR_BAD_ARGUMENT));

        // A target that fits, whose "(1)" variant does not: written, left out of
        // the list, and the status says so.
        const QString top = m_dir.filePath("dddddddddddddddddddddddddddddddddddddddd");
        QString deep = top;
        while (deep.size() < 1016)
            deep += "/dddddddddddddddddddddddddddddddddddddddd";
        deep.truncate(1016);
        QVERIFY(QDir().mkpath(deep));
        const QString target = deep + "/p.jpg";
        QVERIFY(target.toUtf8().size() < CAM_PATH_SIZE - 1);
        QString written;
        QCOMPARE(capture(target, &written), long(ERROR_GOOD));
        QCOMPARE(written, target);
        QVERIFY(target.toUtf8().size() + 3 >= CAM_PATH_SIZE);
        QCOMPARE(capture(target, &written), long(ERROR_BUFFER_TOO_SMALL));
        QVERIFY(QFile::exists(deep + "/p(1).jpg"));
        stopStream();
        QVERIFY(QDir(top).removeRecursively());
    }

    void autoCapture()
    {
        startStream(640, 480);
        {
            std::lock_guard<std::mutex> lock(g_stateMutex);
            g_states.clear();
        }
        QCOMPARE(Cam_AutoCapture(0, 0, onState), long(ERROR_GOOD));
        writeControl("motion on\n");
        QTRY_COMPARE_WITH_TIMEOUT(states(), QList<long>{1}, 5000);
        QTest::qWait(800);
        writeControl("motion off\n");
        QTRY_COMPARE_WITH_TIMEOUT(states(), (QList<long>{1, 0}), 5000);
        // Paused, a movement goes unreported.
        QCOMPARE(Cam_PauseAutoCapture(0, -1), long(ERROR_GOOD));
        writeControl("motion on\n");
        QTest::qWait(600);
        writeControl("motion off\n");
        QTest::qWait(1200);
        QCOMPARE(states(), (QList<long>{1, 0}));
        stopStream();
    }

    void guides_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("rotation");
        QTest::newRow("single") << "page" << 1 << 0;
        QTest::newRow("single turned") << "page" << 1 << 90;
        QTest::newRow("multiple") << "multi" << 2 << 0;
        QTest::newRow("book") << "book" << 3 << 0;
        QTest::newRow("book upside down") << "book" << 3 << 180;
    }
    void guides()
    {
        QFETCH(QString, scene);
        QFETCH(int, mode);
        QFETCH(int, rotation);
        qputenv("CAMSDK_VIRTUAL_SCENE", scene.toUtf8());
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
        // The scene device 0 shows: the default seed, a wood desk.
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
        startStream(size.width, size.height);
        guidecheck::Fit fit;
        QTRY_VERIFY_WITH_TIMEOUT((fit = guidecheck::fit(lastFrame(), truth, mode != 3, tolerance),
                                  fit.onTruth > 0.9 && fit.covered > 0.9),
                                 10000);
        // The line is clearly visible: a few pixels wide all along.
        double length = 0;
        for (const auto &line : truth)
            for (size_t i = 0; i + 1 < line.size() + (mode != 3 ? 1 : 0); ++i)
                length += cv::norm(line[i] - line[(i + 1) % line.size()]);
        QVERIFY2(fit.pixels > 1.5 * length,
                 qPrintable(QString("%1 pixels along %2").arg(fit.pixels).arg(length)));

        // Mode 0, and the manual and paging modes, draw nothing.
        for (int plain : {0, 4, 5}) {
            QCOMPARE(Cam_SetAutoCrop(plain), long(ERROR_GOOD));
            resetFrames();
            QTRY_VERIFY_WITH_TIMEOUT(g_frames.frames >= 2, 10000);
            QCOMPARE(guidePixelsOnLastFrame(), 0);
        }
        QCOMPARE(Cam_Rotate(0), long(ERROR_GOOD));
        stopStream();
        qunsetenv("CAMSDK_VIRTUAL_SCENE");
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
    }

    void captureWithoutGuides()
    {
        QCOMPARE(Cam_SetAutoCrop(1), long(ERROR_GOOD));
        startStream(1280, 720);
        QTRY_VERIFY_WITH_TIMEOUT(guidePixelsOnLastFrame() > 1000, 10000);
        QString written;
        QCOMPARE(capture(m_dir.filePath("guided.png"), &written), long(ERROR_GOOD));
        const cv::Mat img = cv::imread(written.toStdString());
        QCOMPARE(img.size(), cv::Size(1280, 720));
        // Pure green is the same in BGR.
        QCOMPARE(cv::countNonZero(guidecheck::guidePixels(img)), 0);
        QVERIFY(guidePixelsOnLastFrame() > 1000);
        QCOMPARE(Cam_SetAutoCrop(0), long(ERROR_GOOD));
        stopStream();
        QVERIFY(QFile::remove(written));
    }

    void guidesKeepStreamRate()
    {
        // Frames delivered over equal windows with the guides off, on, off
        // again: the search runs beside the frame path, not in it.
        startStream(1920, 1080);
        auto window = [] {
            const int before = g_frames.frames;
            QTest::qWait(2000);
            return g_frames.frames - before;
        };
        const int off1 = window();
        QCOMPARE(Cam_SetAutoCrop(1), long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(guidePixelsOnLastFrame() > 0, 10000);
        const int on = window();
        QVERIFY(guidePixelsOnLastFrame() > 0);
        QCOMPARE(Cam_SetAutoCrop(0), long(ERROR_GOOD));
        const int off2 = window();
        stopStream();
        const QByteArray counts =
            QByteArray::number(off1) + " " + QByteArray::number(on) + " " + QByteArray::number(off2);
        QVERIFY2(off1 > 0 && off2 > 0, counts);
        QVERIFY2(on >= 0.6 * (off1 + off2) / 2, counts);
    }

    void stopWhileSearching()
    {
        // The search is busy for a good part of every frame period at 1080p;
        // stopping at such moments returns with nothing running afterwards.
        QCOMPARE(Cam_SetAutoCrop(2), long(ERROR_GOOD));
        for (int i = 0; i < 4; ++i) {
            startStream(1920, 1080);
            QTRY_VERIFY_WITH_TIMEOUT(guidePixelsOnLastFrame() > 0, 10000);
            stopStream();
        }
        QCOMPARE(Cam_SetAutoCrop(0), long(ERROR_GOOD));
    }

    void unplugWhileStreaming()
    {
        long before = 0;
        QCOMPARE(Cam_GetDevCount(&before), long(ERROR_GOOD));
        startStream(3264, 2448);
        // Captures racing the unplug each end with a clear status.
        writeControl("device 1 absent\n");
        for (int i = 0; i < 20; ++i) {
            QString written;
            const long s = capture(m_dir.filePath("race.jpg"), &written);
            QVERIFY2(s == ERROR_GOOD || s == ERROR_NOT_STREAMING || s == ERROR_NO_DEVICE,
                     QByteArray::number(int(s)));
            if (s == ERROR_GOOD) {
                QCOMPARE(cv::imread(written.toStdString()).cols, 3264);
                QVERIFY(QFile::remove(written));
            }
        }
        long count = before;
        QTRY_VERIFY_WITH_TIMEOUT((Cam_GetDevCount(&count), count == before - 1), 5000);
        // Once the enumeration has dropped it, no frame arrives any more.
        const int seen = g_frames.frames;
        QVERIFY(!g_frames.inCallback);
        QTest::qWait(400);
        QCOMPARE(g_frames.frames.load(), seen);
        // The stream is gone: a capture says so, the remaining device moved up.
        QString written;
        QCOMPARE(capture(m_dir.filePath("gone.jpg"), &written), long(ERROR_NOT_STREAMING));
        QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_NOT_STREAMING));
        char name[CAM_NAME_SIZE];
        QCOMPARE(Cam_GetDevName(before - 2, name), long(ERROR_GOOD));
        QCOMPARE(QString(name), QString("PageLux Virtual Camera 2"));
        // Replugged, it is back in its place and streams again.
        writeControl("device 1 present\n");
        QTRY_VERIFY_WITH_TIMEOUT((Cam_GetDevCount(&count), count == before), 5000);
        startStream(640, 480);
        stopStream();
    }

    void stopFromCallbackIsRefused()
    {
        static std::atomic<long> status{-1};
        resetFrames();
        QCOMPARE(Cam_SetCameraResolution(0, 640, 480), long(ERROR_GOOD));
        QCOMPARE(Cam_CameraCaptureStart(0,
                                        [](void *, int, int, int, int) {
                                            long expected = -1;
                                            status.compare_exchange_strong(expected,
                                                                           Cam_CameraCaptureStop(0));
                                            return 0;
                                        }),
                 long(ERROR_GOOD));
        QTRY_VERIFY_WITH_TIMEOUT(status != -1, 10000);
        QCOMPARE(status.load(), long(ERROR_BUSY));
        QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_GOOD));
    }

    void reinitWhileStreaming()
    {
        startStream(640, 480);
        QCOMPARE(Cam_Init(), long(ERROR_BUSY));
        stopStream();
        qputenv("CAMSDK_VIRTUAL", "garbage");
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
        long count = 0;
        QCOMPARE(Cam_GetDevCount(&count), long(ERROR_GOOD));
        QCOMPARE(count, m_realCameras); // no virtual camera asked for
        qputenv("CAMSDK_VIRTUAL", "2");
        QCOMPARE(Cam_Init(), long(ERROR_GOOD));
    }
};

QTEST_GUILESS_MAIN(TestCameraSdk)
#include "tst_camera_sdk.moc"

// The camera library: first the pieces behind its C interface that need no
// camera (frame bytes, capture files, stillness, the virtual camera's setup and
// scenes, the live guides), then the C interface itself on the virtual camera.
#include "CamCaptureSDK.h"
#include "capturefile.h"
#include "guidecheck.h"
#include "guides.h"
#include "jpegcodec.h"
#include "stillness.h"
#include "track.h"
#include "v4l2device.h"
#include "virtualdevice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <linux/videodev2.h>
#include <opencv2/imgcodecs.hpp>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>

using namespace camsdk;

namespace {

std::vector<uint8_t> encodeTestJpeg(int w, int h)
{
    cv::Mat img(h, w, CV_8UC3);
    cv::randu(img, 0, 255);
    cv::GaussianBlur(img, img, cv::Size(7, 7), 3);
    std::vector<uint8_t> jpeg;
    JpegCodec().encode(img, 85, jpeg);
    return jpeg;
}

EncodedFrame testFrame(int w, int h)
{
    EncodedFrame f;
    f.width = w;
    f.height = h;
    f.data = encodeTestJpeg(w, h);
    return f;
}

// Drops every segment with the given marker from the header of a JPEG.
std::vector<uint8_t> withoutSegments(const std::vector<uint8_t> &j, uint8_t marker)
{
    std::vector<uint8_t> out(j.begin(), j.begin() + 2);
    size_t pos = 2;
    while (pos + 4 <= j.size() && j[pos + 1] != 0xDA) {
        const size_t len = (size_t(j[pos + 2]) << 8) | j[pos + 3];
        if (j[pos + 1] != marker)
            out.insert(out.end(), j.begin() + long(pos), j.begin() + long(pos + 2 + len));
        pos += 2 + len;
    }
    out.insert(out.end(), j.begin() + long(pos), j.end());
    return out;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const camvirtual::DeskKind kDesks[] = {camvirtual::DeskKind::Wood, camvirtual::DeskKind::Plain,
                                       camvirtual::DeskKind::Pattern, camvirtual::DeskKind::White};

// Large enough for corners within 1 % of the diagonal, quick to render.
camvirtual::SceneRequest smallScene(camvirtual::DeskKind desk, uint32_t seed)
{
    camvirtual::SceneRequest r;
    r.desk = desk;
    r.seed = seed;
    r.width = 960;
    r.height = 540;
    return r;
}

// A printed page: dark text rows on white paper.
cv::Mat textPage()
{
    cv::Mat page(850, 600, CV_8UC3, cv::Scalar(245, 247, 248));
    for (int y = 80; y < 780; y += 36)
        cv::rectangle(page, cv::Rect(60, y, 480 - (y * 7) % 160, 14), cv::Scalar(40, 40, 40), cv::FILLED);
    return page;
}

// Guide pixels that draw() puts on a copy of rgb.
int drawnGuidePixels(const LiveGuides &guides, const cv::Mat &rgb, int mode, int rotation)
{
    cv::Mat shown = rgb.clone();
    guides.draw(shown, mode, rotation);
    return cv::countNonZero(guidecheck::guidePixels(shown));
}

// What the frame callback saw; written on the library's thread.
struct FrameLog {
    std::mutex mutex;
    std::atomic<int> frames{0};
    std::atomic<bool> inCallback{false};
    int width = 0, height = 0;
    QByteArray last;
};
FrameLog g_frames;

int onFrame(void *data, int size, int width, int height, int)
{
    g_frames.inCallback = true;
    {
        std::lock_guard<std::mutex> lock(g_frames.mutex);
        g_frames.width = width;
        g_frames.height = height;
        g_frames.last = QByteArray(static_cast<const char *>(data), size);
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
    g_frames.last.clear();
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

// Capture into a fresh 1024-byte buffer; returns the status and the buffer text.
long capture(const QString &target, QString *written, IMAGEPARAM param = {})
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
        QVERIFY(!g_frames.inCallback);
    }
    QStringList files() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }

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

    void v4l2ModeSelection()
    {
        const std::vector<V4l2Mode> offered = {
            {V4L2_PIX_FMT_YUYV, 640, 480},    {V4L2_PIX_FMT_YUYV, 1280, 720},
            {V4L2_PIX_FMT_MJPEG, 1280, 720},  {V4L2_PIX_FMT_MJPEG, 3264, 2448},
            {V4L2_PIX_FMT_H264, 3840, 2160},  {V4L2_PIX_FMT_MJPEG, 1920, 1080},
            {V4L2_PIX_FMT_MJPEG, 640, 480},   {V4L2_PIX_FMT_MJPEG, 0, 480},
            {V4L2_PIX_FMT_MJPEG, 2592, 1944}, {V4L2_PIX_FMT_YUYV, 1920, 1080}};
        const std::vector<V4l2Mode> modes = selectModes(offered);
        const std::vector<std::pair<int, int>> sizes = {
            {3264, 2448}, {2592, 1944}, {1920, 1080}, {1280, 720}, {640, 480}};
        QCOMPARE(modes.size(), sizes.size());
        for (size_t i = 0; i < sizes.size(); ++i) {
            QCOMPARE(std::make_pair(modes[i].width, modes[i].height), sizes[i]);
            QCOMPARE(modes[i].fourcc, uint32_t(V4L2_PIX_FMT_MJPEG)); // preferred wherever offered
        }
        const auto yuyvOnly = selectModes({{V4L2_PIX_FMT_YUYV, 320, 240}, {V4L2_PIX_FMT_YUYV, 320, 240}});
        QCOMPARE(yuyvOnly.size(), size_t(1));
        QCOMPARE(yuyvOnly[0].fourcc, uint32_t(V4L2_PIX_FMT_YUYV));
        QVERIFY(selectModes({}).empty());
    }

    // What cameras hand over: padded or cut MJPEG buffers, frames without JFIF
    // header or Huffman tables, YUYV.
    void frameBytes()
    {
        const std::vector<uint8_t> jpeg = encodeTestJpeg(64, 48);
        std::vector<uint8_t> padded = jpeg;
        padded.resize(jpeg.size() + 500, 0);
        QCOMPARE(jpegPayloadSize(padded.data(), padded.size()), jpeg.size());
        QCOMPARE(jpegPayloadSize(jpeg.data(), jpeg.size() - 10), size_t(0)); // cut short: no EOI
        QCOMPARE(jpegPayloadSize(jpeg.data() + 1, jpeg.size() - 1), size_t(0));
        QCOMPARE(jpegPayloadSize(nullptr, 10), size_t(0));
        QVERIFY(hasHuffmanTables(jpeg));
        QVERIFY(!hasHuffmanTables(withoutSegments(jpeg, 0xC4)));
        std::vector<uint8_t> bare = withoutSegments(jpeg, 0xE0);
        QVERIFY(setJfifDensity(bare, 300, 150));
        QCOMPARE(int(bare[3]), 0xE0);
        QCOMPARE((bare[14] << 8) | bare[15], 300);
        QCOMPARE((bare[16] << 8) | bare[17], 150);
        QCOMPARE(cv::imdecode(bare, cv::IMREAD_COLOR).size(), cv::Size(64, 48));
        std::vector<uint8_t> garbage = {1, 2, 3, 4, 5};
        QVERIFY(!setJfifDensity(garbage, 300, 300) && !hasHuffmanTables(garbage));

        // YUYV of a size its bytes do not hold (the colours are the emulated YUYV camera's rows).
        const std::vector<uint8_t> yuyv(8, 128);
        uint8_t rgb[12];
        QVERIFY(!convertYuyv(yuyv.data(), yuyv.size() - 1, 2, 2, true, rgb));
        QVERIFY(!convertYuyv(yuyv.data(), yuyv.size(), 3, 1, true, rgb));
    }

    void outputNames()
    {
        const std::vector<std::tuple<const char *, int, const char *>> names = {
            {"/d/img.jpg", 0, "/d/img.jpg"},
            {"/d/img.jpg", 3, "/d/img_3.jpg"},
            {"/d/scan_7.png", 1, "/d/scan_8.png"},
            {"/d/scan_7.png", 4, "/d/scan_11.png"},
            {"/d/scan_007.png", 1, "/d/scan_008.png"},
            {"/d.v2/a_b.pdf", 2, "/d.v2/a_b_2.pdf"},
            {"rel_.jpg", 1, "rel__1.jpg"}};
        for (const auto &[path, index, expected] : names)
            QCOMPARE(nthOutputPath(path, index), std::string(expected));
    }

    void captureFromFrames()
    {
        QTemporaryDir dir;
        Capturer capturer;
        EncodedFrame frame = testFrame(320, 240);
        char path[CAM_PATH_SIZE] = {};
        auto captureTo = [&](const EncodedFrame &f, const char *name, int rotate = 0) {
            std::strcpy(path, dir.filePath(name).toUtf8().constData());
            IMAGEPARAM p = {};
            p.nXDPI = p.nYDPI = 300;
            p.nRotate = rotate;
            return capturer.capture(f, path, p);
        };
        // Unprocessed JPEG: the camera's bytes, the density changed and a thumbnail segment added.
        QCOMPARE(captureTo(frame, "f.jpg"), long(ERROR_GOOD));
        const QByteArray file = readFile(path);
        QCOMPARE(
            file.mid(22 + ((uint8_t(file[22]) << 8) | uint8_t(file[23]))),
            QByteArray::fromRawData(reinterpret_cast<const char *>(frame.data.data()), int(frame.data.size()))
                .mid(20));
        QCOMPARE((uint8_t(file[14]) << 8) | uint8_t(file[15]), 300);
        // Frames without Huffman tables are re-encoded into a complete JPEG.
        EncodedFrame bare = frame;
        bare.data = withoutSegments(frame.data, 0xC4);
        QCOMPARE(captureTo(bare, "bare.jpg"), long(ERROR_GOOD));
        const QByteArray b = readFile(path);
        QVERIFY(hasHuffmanTables(std::vector<uint8_t>(b.begin(), b.end())));

        // Garbage, a frame cut after its first bytes, and a header claiming
        // 60000 x 60000 pixels: a status, no file, not an allocation.
        EncodedFrame junk = frame, cut = frame, giant = frame;
        junk.data.assign(1000, 0x55);
        cut.data.resize(10);
        const uint8_t sof0[] = {0xFF, 0xC0};
        const auto sof = std::search(giant.data.begin(), giant.data.end(), sof0, sof0 + 2);
        QVERIFY(sof != giant.data.end());
        for (int i : {5, 6, 7, 8})
            sof[i] = i % 2 ? 0xEA : 0x60;
        for (const EncodedFrame &bad : {junk, cut, giant}) {
            QCOMPARE(captureTo(bad, "bad.jpg"), long(ERROR_NO_FRAME));
            QCOMPARE(QString(path), dir.filePath("bad.jpg"));
        }
        QVERIFY(!QFile::exists(path));

        // Camera JPEGs are turned on their DCT blocks: the pixels of the upright
        // frame, turned (up to chroma upsampling, no re-encoding loss). 1080 rows
        // are not whole 4:2:0 blocks: decoded, turned and encoded instead.
        for (const cv::Size size : {cv::Size(320, 240), cv::Size(1920, 1080)}) {
            frame = testFrame(size.width, size.height);
            QCOMPARE(captureTo(frame, "r.jpg", 90), long(ERROR_GOOD));
            cv::Mat expected;
            cv::rotate(cv::imdecode(frame.data, cv::IMREAD_COLOR), expected, cv::ROTATE_90_CLOCKWISE);
            const cv::Mat turned = cv::imread(path);
            QCOMPARE(turned.size(), expected.size());
            const double meanError = cv::norm(turned, expected, cv::NORM_L1) / turned.total();
            QVERIFY2(size.height == 1080 ? meanError < 6
                                         : meanError < 0.5 && cv::norm(turned, expected, cv::NORM_INF) <= 4,
                     qPrintable(QString::number(meanError)));
            QFile::remove(path);
        }
    }

    void stillness()
    {
        StillnessDetector d(0.7);
        cv::Mat scene(120, 160, CV_8UC1, cv::Scalar(90));
        cv::rectangle(scene, cv::Rect(40, 20, 60, 80), cv::Scalar(230), cv::FILLED);
        cv::RNG rng(5);
        double t = 0;
        QList<int> events;
        auto feed = [&](const cv::Mat &img, int samples) {
            for (int i = 0; i < samples; ++i, t += 0.1) {
                cv::Mat n(img.size(), CV_16SC1), noisy;
                rng.fill(n, cv::RNG::NORMAL, 0, 3);
                cv::add(img, n, noisy, cv::noArray(), CV_8UC1);
                const int e = d.feed(noisy, t);
                if (e != StillnessDetector::None)
                    events.append(e);
            }
        };
        const int moving = StillnessDetector::Moving, still = StillnessDetector::Still;
        feed(scene, 30); // noise alone is no movement
        QCOMPARE(events, QList<int>());
        cv::Mat moved(scene.size(), CV_8UC1, cv::Scalar(90));
        for (int step = 1; step <= 5; ++step) { // the sheet slides
            moved.setTo(cv::Scalar(90));
            cv::rectangle(moved, cv::Rect(40 + step * 4, 20, 60, 80), cv::Scalar(230), cv::FILLED);
            feed(moved, 1);
        }
        feed(moved, 5); // 0.5 s: not yet
        QCOMPARE(events, QList<int>{moving});
        feed(moved, 3);
        QCOMPARE(events, (QList<int>{moving, still}));
        feed(moved, 40); // staying still: no second shot
        QCOMPARE(events.size(), 2);
        // A hand passes and leaves the same page: a movement, but no new shot.
        cv::Mat hand = moved.clone();
        cv::circle(hand, {80, 100}, 25, cv::Scalar(150), cv::FILLED);
        feed(hand, 3);
        feed(moved, 20);
        QCOMPARE(events, (QList<int>{moving, still, moving}));
        // A new page: movement, then a shot.
        feed(hand, 2);
        feed(scene, 10);
        QCOMPARE(events, (QList<int>{moving, still, moving, moving, still}));
        QCOMPARE(d.feed(cv::Mat(), t), StillnessDetector::None);
        QCOMPARE(d.feed(cv::Mat(10, 10, CV_8UC3), t), StillnessDetector::None);
    }

    void virtualConfig()
    {
        std::map<std::string, std::string> env = {
            {"CAMSDK_VIRTUAL", "3"},
            {"CAMSDK_VIRTUAL_IDS", "0ac8:3610,zz:1,1B3F:A1"},
            {"CAMSDK_VIRTUAL_SIZES", "640x480/1600x1200/640x480,800x8,"},
            {"CAMSDK_VIRTUAL_SCENE", "book"},
            {"CAMSDK_VIRTUAL_DESK", "pattern"},
            {"CAMSDK_VIRTUAL_SEED", "42"},
            {"CAMSDK_VIRTUAL_FPS", "25"},
            {"CAMSDK_VIRTUAL_DOCS", "/a.png,,/b.png"},
            {"CAMSDK_VIRTUAL_CONTROL", "/tmp/ctl"},
            {"CAMSDK_VIRTUAL_TORN", "1"}};
        auto lookup = [&](const char *name) -> const char * {
            auto it = env.find(name);
            return it == env.end() ? nullptr : it->second.c_str();
        };
        VirtualConfig c = readVirtualConfig(lookup);
        QCOMPARE(c.count, 3);
        QCOMPARE(c.ids.size(), size_t(3));
        QCOMPARE(c.ids[0], std::make_pair(0x0ac8, 0x3610));
        QCOMPARE(c.ids[1].first, 0x1209); // malformed pair: our default
        QCOMPARE(c.ids[2], std::make_pair(0x1b3f, 0xa1));
        // Sorted, without the repeat; a size out of range or no list: the standard ones.
        QVERIFY(c.sizes == (std::vector<std::vector<FrameSize>>{{{1600, 1200}, {640, 480}}, {}, {}}));
        QVERIFY(c.scene == camvirtual::SceneKind::Book && c.desk == camvirtual::DeskKind::Pattern);
        QVERIFY(c.seed == 42 && c.fps == 25 && c.torn);
        QCOMPARE(c.documents, (std::vector<std::string>{"/a.png", "/b.png"}));
        QCOMPARE(c.controlPath, std::string("/tmp/ctl"));

        env = {{"CAMSDK_VIRTUAL", "-1"},
               {"CAMSDK_VIRTUAL_SCENE", "moon"},
               {"CAMSDK_VIRTUAL_FPS", "0"},
               {"CAMSDK_VIRTUAL_TORN", "yes"}};
        c = readVirtualConfig(lookup);
        QVERIFY(c.count == 0 && !c.torn && c.scene == camvirtual::SceneKind::Page && c.fps == 15);
        env = {{"CAMSDK_VIRTUAL", "1000"}};
        QCOMPARE(readVirtualConfig(lookup).count, 0);

        ControlState s;
        s.present.assign(2, true);
        applyControlText("motion on\ndevice 2 absent\n", s);
        QVERIFY(s.motion);
        QCOMPARE(s.present, (std::vector<bool>{true, false}));
        applyControlText("device 2 present\nmotion off\ndevice 1 absent\nmotion sideways\ndevice 9 absent\n"
                         "device x absent\ndevice 1\n\ngarbage line\n",
                         s);
        QVERIFY(!s.motion);
        QCOMPARE(s.present, (std::vector<bool>{false, true}));
        applyControlText("device 0 present", s); // only the first can be meant
        QCOMPARE(s.present, (std::vector<bool>{true, true}));
    }

    void liveGuidesStop()
    {
        // Stopped at staggered moments after a frame was handed over: before
        // the search took it, while it runs, after it ended. Each stop returns
        // and leaves nothing to draw.
        const cv::Mat frame = camvirtual::renderScene(camvirtual::SceneRequest()).image;
        LiveGuides guides;
        for (int i = 0; i < 8; ++i) {
            guides.offer(frame, 1, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(4 * i));
            guides.stop();
            QCOMPARE(drawnGuidePixels(guides, frame, 1, 0), 0);
        }
    }

    void liveGuidesFollowPage()
    {
        camvirtual::SceneRequest r;
        r.width = 1280;
        r.height = 720;
        r.seed = 5;
        const camvirtual::SceneRenderer renderer(r);
        const double tolerance =
            0.01 * std::hypot(r.width, r.height) + LiveGuides::thickness({r.width, r.height});
        LiveGuides guides;
        auto shoot = [&](cv::Point2f shift, cv::Mat *rgb) {
            const camvirtual::RenderedScene s = renderer.render(shift);
            cv::cvtColor(s.image, *rgb, cv::COLOR_BGR2RGB);
            return guidecheck::truthLines(s.truth, false);
        };
        // The frame as delivered: offered to the search, then drawn on.
        auto deliver = [&](const cv::Mat &rgb, int mode, int rotation) {
            cv::Mat shown = rgb.clone();
            guides.offer(shown, mode, rotation);
            guides.draw(shown, mode, rotation);
            return shown;
        };
        auto matches = [&](const cv::Mat &shown, const guidecheck::Lines &truth) {
            const guidecheck::Fit f = guidecheck::fit(shown, truth, true, tolerance);
            return f.onTruth > 0.9 && f.covered > 0.9;
        };
        cv::Mat a, b, turned;
        const guidecheck::Lines aTruth = shoot({0, 0}, &a), bTruth = shoot({160, 70}, &b);
        QTRY_VERIFY_WITH_TIMEOUT(matches(deliver(a, 1, 0), aTruth), 10000);
        // The page moved: the guides follow it and leave where it was.
        QTRY_VERIFY_WITH_TIMEOUT(matches(deliver(b, 1, 0), bTruth), 10000);
        QVERIFY(guidecheck::fit(deliver(b, 1, 0), aTruth, true, tolerance).onTruth < 0.5);

        // A result for another mode or another turn of the view is not drawn.
        QCOMPARE(drawnGuidePixels(guides, b, 2, 0), 0);
        cv::rotate(b, turned, cv::ROTATE_90_CLOCKWISE);
        QCOMPARE(drawnGuidePixels(guides, turned, 1, 90), 0);
        const guidecheck::Lines turnedTruth = guidecheck::rotated(bTruth, 90, b.size());
        // Modes without guides (none, manual, paging) forget the outline, and what
        // a search under way finds: back in mode 1 nothing is drawn until a new search.
        for (const int off : {0, 4, 5}) {
            QTRY_VERIFY_WITH_TIMEOUT(matches(deliver(turned, 1, 90), turnedTruth), 10000);
            QCOMPARE(cv::countNonZero(guidecheck::guidePixels(deliver(turned, off, 90))), 0);
            QCOMPARE(drawnGuidePixels(guides, turned, 1, 90), 0);
        }
        guides.stop();
    }

    void guideTrackerFollows_data()
    {
        QTest::addColumn<int>("desk");
        QTest::addColumn<bool>("book");
        for (const auto desk : kDesks)
            for (const bool book : {false, true})
                QTest::addRow("desk %d %s", int(desk), book ? "book" : "page") << int(desk) << book;
    }
    void guideTrackerFollows()
    {
        // A page or an open book pushed across the desk in steps of about 15
        // pixels (a stale outline is out of tolerance after two): the outline, or
        // the spine, keeps up with it, and at most a third of the frames needs the
        // whole search (the bowed edges of a book included). Taken away, it goes
        // within a few searches, and comes back with the page.
        QFETCH(int, desk);
        QFETCH(bool, book);
        camvirtual::SceneRequest r = smallScene(camvirtual::DeskKind(desk), 5);
        if (book)
            r.scene = camvirtual::SceneKind::Book;
        const camvirtual::SceneRenderer renderer(r);
        camproc::GuideTracker tracker;
        auto follows = [&](int step) {
            const auto s = renderer.render(cv::Point2f(14.f, 5.f) * float(step % 9), false, uint32_t(step));
            const camproc::GuideLines found = tracker.update(s.image, book ? 3 : 1);
            const double error =
                found.size() != 1 ? 1e9
                : book            ? guidecheck::spineError(found.front(), s.truth)
                       : guidecheck::outlineError(found.front(), s.truth.documents.front().corners);
            return error <= 0.01 * std::hypot(r.width, r.height);
        };
        for (int step = 0; step < 9; ++step)
            QVERIFY2(follows(step), qPrintable(QString("step %1").arg(step)));
        QVERIFY2(tracker.fullSearches() <= 3, qPrintable(QString::number(tracker.fullSearches())));
        r.documents = {cv::Mat()};
        const cv::Mat bare = camvirtual::renderScene(r).image;
        int searches = 0;
        while (!tracker.update(bare, book ? 3 : 1).empty())
            QVERIFY2(++searches < 3, "still shown on the bare desk");
        QVERIFY(follows(9));
    }

    void guideTrackerDocumentAdded()
    {
        // A second page laid beside the first one that is being followed shows
        // up within one round of full searches, and both outlines are right.
        // Before: the bare desk with only the first page (and its shadow) of
        // the two-page frame pasted in.
        camvirtual::SceneRequest r = smallScene(camvirtual::DeskKind::Wood, 3);
        r.documents = {textPage(), textPage()};
        const auto two = camvirtual::renderScene(r);
        QCOMPARE(two.truth.documents.size(), size_t(2));
        r.documents = {cv::Mat()};
        cv::Mat one = camvirtual::renderScene(r).image;
        cv::Mat first = cv::Mat::zeros(one.size(), CV_8U);
        std::vector<cv::Point> corners;
        for (const cv::Point2f &p : two.truth.documents.front().corners)
            corners.emplace_back(cvRound(p.x), cvRound(p.y));
        cv::fillConvexPoly(first, corners, cv::Scalar(255));
        cv::dilate(first, first, cv::getStructuringElement(cv::MORPH_RECT, {31, 31}));
        two.image.copyTo(one, first);

        camproc::GuideTracker tracker;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(tracker.update(one, 2).size(), size_t(1));
        camproc::GuideLines found;
        for (int i = 0; i < camproc::GuideTracker::kFullEvery && found.size() < 2; ++i)
            found = tracker.update(two.image, 2);
        QCOMPARE(found.size(), size_t(2));
        for (const auto &doc : two.truth.documents) {
            double best = 1e9;
            for (const auto &f : found)
                best = std::min(best, guidecheck::outlineError(f, doc.corners));
            QVERIFY(best < 0.01 * std::hypot(r.width, r.height));
        }
    }

    void guideTrackerBadInput()
    {
        // Nothing to search gives no guides and starts the stream afresh.
        camvirtual::SceneRequest r;
        r.width = 640;
        r.height = 360;
        const camvirtual::RenderedScene scene = camvirtual::renderScene(r);
        camproc::GuideTracker tracker;
        QCOMPARE(tracker.update(scene.image, 1).size(), size_t(1));
        QCOMPARE(tracker.fullSearches(), 1);
        cv::Mat grey;
        cv::cvtColor(scene.image, grey, cv::COLOR_BGR2GRAY);
        for (const cv::Mat &bad : {cv::Mat(), grey, cv::Mat(cv::Mat::zeros(8, 8, CV_8UC3))})
            QVERIFY(tracker.update(bad, 1).empty());
        for (const int mode : {0, 4, 5, -1, 99})
            QVERIFY(tracker.update(scene.image, mode).empty());
        QCOMPARE(tracker.update(scene.image, 1).size(), size_t(1));
        QCOMPARE(tracker.fullSearches(), 1); // counted afresh after the reset
        // A frame larger than the searched copy comes back in its own pixels.
        cv::Mat big;
        cv::resize(scene.image, big, cv::Size(), 3, 3, cv::INTER_LINEAR);
        const camproc::GuideLines scaled = tracker.update(big, 1);
        QCOMPARE(scaled.size(), size_t(1));
        auto truth = scene.truth.documents.front().corners;
        for (auto &p : truth)
            p *= 3.f;
        QVERIFY(guidecheck::outlineError(scaled.front(), truth) < 0.01 * std::hypot(big.cols, big.rows));
    }

    // The C interface from here on; this is the first call into the library.
    void beforeInit()
    {
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
        QCOMPARE(std::make_pair(vid, pid), std::make_pair(0x0ac8, 0x3610));
        QCOMPARE(Cam_GetPIDVID(first + 1, &pid, &vid), long(ERROR_GOOD));
        QCOMPARE(std::make_pair(vid, pid), std::make_pair(0x1b3f, 0x00a1));
        bool book = false;
        QCOMPARE(Cam_GetDevParams(first, &book), long(ERROR_GOOD));
        QVERIFY(book);
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
        IMAGEPARAM p = {};
        char path[CAM_PATH_SIZE] = "/tmp/x.jpg";
        QCOMPARE(Cam_CameraCaptureFile(0, nullptr, &p), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_CameraCaptureFile(0, path, nullptr), long(ERROR_BAD_ARGUMENT));
        QCOMPARE(Cam_CameraCaptureFile(0, path, &p), long(ERROR_NOT_STREAMING));
        QCOMPARE(QString(path), QString("/tmp/x.jpg"));
    }

    void captureRefused_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("rotate");
        QTest::addColumn<long>("status");
        QTest::newRow("unknown extension") << "x.gif" << 0 << long(ERROR_BAD_ARGUMENT);
        QTest::newRow("no extension") << "noext" << 0 << long(ERROR_BAD_ARGUMENT);
        QTest::newRow("odd rotation") << "odd.jpg" << 45 << long(ERROR_BAD_ARGUMENT);
        QTest::newRow("missing folder") << "no/a.jpg" << 0 << long(ERROR_WRITE_FAILED);
        QTest::newRow("a file as folder") << "control/a.jpg" << 0 << long(ERROR_WRITE_FAILED);
    }
    // A status, the caller's buffer as it was, nothing written.
    void captureRefused()
    {
        QFETCH(QString, target);
        QFETCH(int, rotate);
        QFETCH(long, status);
        startStream(640, 480);
        IMAGEPARAM p = {};
        p.nRotate = rotate;
        QString written;
        QCOMPARE(capture(m_dir.filePath(target), &written, p), status);
        stopStream();
        QCOMPARE(written, m_dir.filePath(target));
        QCOMPARE(files(), QStringList("control"));
    }

    void captureNaming()
    {
        startStream(640, 480);
        const QString target = m_dir.filePath("scan.png");
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("keep me");
        old.close();
        QString written;
        QCOMPARE(capture(target, &written), long(ERROR_GOOD));
        QCOMPARE(written, m_dir.filePath("scan(1).png"));
        QCOMPARE(capture(target, &written), long(ERROR_GOOD));
        QCOMPARE(written, m_dir.filePath("scan(2).png"));
        QCOMPARE(readFile(target), QByteArray("keep me"));
        // Asked to, a capture replaces the file.
        IMAGEPARAM p = {};
        p.bIsCoverFile = true;
        QCOMPARE(capture(target, &written, p), long(ERROR_GOOD));
        QCOMPARE(written, target);
        QCOMPARE(cv::imread(target.toStdString()).size(), cv::Size(640, 480));
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
        IMAGEPARAM p = {};
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
        QTest::newRow("multiple") << "multi" << 2 << 0;
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

        // Captured without the guides.
        QString written;
        QCOMPARE(capture(m_dir.filePath("guided.png"), &written), long(ERROR_GOOD));
        const cv::Mat img = cv::imread(written.toStdString());
        QCOMPARE(img.size(), size);
        QCOMPARE(cv::countNonZero(guidecheck::guidePixels(img)), 0); // pure green is the same in BGR
        QVERIFY(QFile::remove(written));
        // Stopped while the search may run, started again: the guides are back.
        stopStream();
        startStream(size.width, size.height);
        QTRY_VERIFY_WITH_TIMEOUT(guidePixelsOnLastFrame() > 0, 10000);
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

    void unplugWhileStreaming()
    {
        long before = 0;
        QCOMPARE(Cam_GetDevCount(&before), long(ERROR_GOOD));
        startStream(3264, 2448);
        writeControl("device 1 absent\n");
        long count = before;
        QTRY_VERIFY_WITH_TIMEOUT((Cam_GetDevCount(&count), count == before - 1), 5000);
        // The stream is gone: a capture says so, the remaining device moved up.
        QString written;
        QCOMPARE(capture(m_dir.filePath("gone.jpg"), &written), long(ERROR_NOT_STREAMING));
        QCOMPARE(Cam_CameraCaptureStop(0), long(ERROR_NOT_STREAMING));
        char name[CAM_NAME_SIZE];
        QCOMPARE(Cam_GetDevName(before - 2, name), long(ERROR_GOOD));
        QCOMPARE(QString(name), QString("PageLux Virtual Camera 2"));
        writeControl("device 1 present\n");
        QTRY_VERIFY_WITH_TIMEOUT((Cam_GetDevCount(&count), count == before), 5000);
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

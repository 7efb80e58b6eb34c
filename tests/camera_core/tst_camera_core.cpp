// The pieces behind the camera library's C interface that need no camera:
// V4L2 helpers, JPEG markers, naming and atomic writes, stillness, the
// virtual camera's configuration and its rendered scenes, the live guides.
#include "CamCaptureSDK.h"
#include "capturefile.h"
#include "guidecheck.h"
#include "guides.h"
#include "jpegcodec.h"
#include "stillness.h"
#include "track.h"
#include "v4l2device.h"
#include "virtualdevice.h"
#include "virtualscene.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <leptonica/allheaders.h>
#include <linux/videodev2.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstring>
#include <map>
#include <sys/stat.h>
#include <thread>

using namespace camsdk;

namespace {

std::vector<uint8_t> encodeTestJpeg(int w, int h)
{
    cv::Mat img(h, w, CV_8UC3);
    cv::randu(img, 0, 255);
    cv::GaussianBlur(img, img, cv::Size(7, 7), 3);
    JpegCodec codec;
    std::vector<uint8_t> jpeg;
    codec.encode(img, 85, jpeg);
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

IMAGEPARAM plainParam()
{
    IMAGEPARAM p;
    std::memset(&p, 0, sizeof p);
    return p;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Mean gray level inside a quad shrunk towards its centre, and in a band just
// outside it.
void insideOutside(const cv::Mat &img, const camvirtual::Quad &q, double *inside, double *outside)
{
    cv::Mat gray;
    cv::cvtColor(img, gray, cv::COLOR_BGR2GRAY);
    std::vector<cv::Point> poly;
    for (const auto &p : q)
        poly.emplace_back(cvRound(p.x), cvRound(p.y));
    cv::Mat mask(img.size(), CV_8UC1, cv::Scalar(0));
    cv::fillConvexPoly(mask, poly, cv::Scalar(255));
    const int r = std::max(3, img.cols / 150);
    cv::Mat in, grown;
    cv::erode(mask, in, cv::getStructuringElement(cv::MORPH_RECT, {2 * r + 1, 2 * r + 1}));
    cv::dilate(mask, grown, cv::getStructuringElement(cv::MORPH_RECT, {4 * r + 1, 4 * r + 1}));
    cv::Mat band = grown & ~mask;
    cv::erode(band, band, cv::getStructuringElement(cv::MORPH_RECT, {r, r}));
    *inside = cv::mean(gray, in)[0];
    *outside = cv::mean(gray, band)[0];
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

} // namespace

class TestCameraCore : public QObject
{
    Q_OBJECT

private slots:
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
            QCOMPARE(modes[i].width, sizes[i].first);
            QCOMPARE(modes[i].height, sizes[i].second);
            QCOMPARE(modes[i].fourcc, uint32_t(V4L2_PIX_FMT_MJPEG)); // preferred wherever offered
        }
        const auto yuyvOnly = selectModes({{V4L2_PIX_FMT_YUYV, 320, 240}, {V4L2_PIX_FMT_YUYV, 320, 240}});
        QCOMPARE(yuyvOnly.size(), size_t(1));
        QCOMPARE(yuyvOnly[0].fourcc, uint32_t(V4L2_PIX_FMT_YUYV));
        QVERIFY(selectModes({}).empty());
    }

    void usbIdsFromSysfs()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString usb = root.filePath("devices/pci0/usb1/1-2");
        const QString iface = usb + "/1-2:1.0";
        const QString node = iface + "/video4linux/video0";
        QVERIFY(QDir().mkpath(node));
        QVERIFY(QDir().mkpath(root.filePath("class/video4linux")));
        QVERIFY(QFile::link(iface, node + "/device"));
        QVERIFY(QFile::link(node, root.filePath("class/video4linux/video0")));
        auto write = [](const QString &path, const QByteArray &text) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        };
        int vid = 0, pid = 0;
        QVERIFY(!readUsbIds(root.path().toStdString(), "video0", &vid, &pid)); // no ids anywhere
        write(usb + "/idVendor", "0ac8\n");
        write(usb + "/idProduct", "3610\n");
        QVERIFY(readUsbIds(root.path().toStdString(), "video0", &vid, &pid));
        QCOMPARE(vid, 0x0ac8);
        QCOMPARE(pid, 0x3610);
        QVERIFY(!readUsbIds(root.path().toStdString(), "video7", &vid, &pid));
        write(usb + "/idProduct", "zz\n");
        QVERIFY(!readUsbIds(root.path().toStdString(), "video0", &vid, &pid));
    }

    void mjpegPayload()
    {
        std::vector<uint8_t> jpeg = encodeTestJpeg(64, 48);
        const size_t real = jpeg.size();
        jpeg.resize(real + 500, 0); // drivers hand over padded buffers
        QCOMPARE(jpegPayloadSize(jpeg.data(), jpeg.size()), real);
        QCOMPARE(jpegPayloadSize(jpeg.data(), real - 10), size_t(0)); // cut short: no EOI
        jpeg[0] = 0;
        QCOMPARE(jpegPayloadSize(jpeg.data(), jpeg.size()), size_t(0));
        QCOMPARE(jpegPayloadSize(nullptr, 10), size_t(0));
    }

    void yuyvConversion()
    {
        // Two pixels: Y 16 and 235 with neutral chroma are black and white.
        std::vector<uint8_t> yuyv = {16, 128, 235, 128, 16, 128, 235, 128};
        uint8_t rgb[12];
        QVERIFY(convertYuyv(yuyv.data(), yuyv.size(), 2, 2, true, rgb));
        QVERIFY(rgb[0] < 5 && rgb[1] < 5 && rgb[2] < 5);
        QVERIFY(rgb[3] > 250 && rgb[4] > 250 && rgb[5] > 250);
        // Strong V (red difference) makes red exceed blue, in RGB order.
        yuyv = {128, 128, 128, 240, 128, 128, 128, 240};
        QVERIFY(convertYuyv(yuyv.data(), yuyv.size(), 2, 2, true, rgb));
        QVERIFY(rgb[0] > rgb[2] + 100);
        QVERIFY(!convertYuyv(yuyv.data(), yuyv.size() - 1, 2, 2, true, rgb));
        QVERIFY(!convertYuyv(yuyv.data(), yuyv.size(), 3, 1, true, rgb));
        QVERIFY(!convertYuyv(nullptr, 8, 2, 2, true, rgb));
    }

    void jpegMarkers()
    {
        std::vector<uint8_t> jpeg = encodeTestJpeg(64, 48);
        QVERIFY(hasHuffmanTables(jpeg));
        const std::vector<uint8_t> noDht = withoutSegments(jpeg, 0xC4);
        QVERIFY(noDht.size() < jpeg.size());
        QVERIFY(!hasHuffmanTables(noDht));

        QVERIFY(setJfifDensity(jpeg, 300, 150));
        QCOMPARE(int(jpeg[13]), 1);
        QCOMPARE((jpeg[14] << 8) | jpeg[15], 300);
        QCOMPARE((jpeg[16] << 8) | jpeg[17], 150);
        // A camera frame without JFIF header gets one, and still decodes.
        std::vector<uint8_t> bare = withoutSegments(jpeg, 0xE0);
        QVERIFY(bare[3] != 0xE0);
        QVERIFY(setJfifDensity(bare, 200, 200));
        QCOMPARE(int(bare[3]), 0xE0);
        QCOMPARE((bare[14] << 8) | bare[15], 200);
        QCOMPARE(cv::imdecode(bare, cv::IMREAD_COLOR).size(), cv::Size(64, 48));
        std::vector<uint8_t> garbage = {1, 2, 3, 4, 5};
        QVERIFY(!setJfifDensity(garbage, 300, 300));
        QVERIFY(!hasHuffmanTables(garbage));
    }

    void previewScale()
    {
        QCOMPARE(previewDenominator(640, 480), 1);
        QCOMPARE(previewDenominator(1920, 1080), 1);
        QCOMPARE(previewDenominator(2592, 1944), 2);
        QCOMPARE(previewDenominator(3264, 2448), 2);
        QCOMPARE(previewDenominator(4000, 3000), 4);
        const FrameSize s = scaledSize({3264, 2448}, 2);
        QCOMPARE(s.width, 1632);
        QCOMPARE(s.height, 1224);
        // libjpeg-turbo rounds scaled sizes up.
        QCOMPARE(scaledSize({2593, 1945}, 4).width, 649);
    }

    void outputNames()
    {
        QCOMPARE(nthOutputPath("/d/img.jpg", 0), std::string("/d/img.jpg"));
        QCOMPARE(nthOutputPath("/d/img.jpg", 1), std::string("/d/img_1.jpg"));
        QCOMPARE(nthOutputPath("/d/img.jpg", 3), std::string("/d/img_3.jpg"));
        QCOMPARE(nthOutputPath("/d/scan_7.png", 1), std::string("/d/scan_8.png"));
        QCOMPARE(nthOutputPath("/d/scan_7.png", 4), std::string("/d/scan_11.png"));
        QCOMPARE(nthOutputPath("/d/scan_007.png", 1), std::string("/d/scan_008.png"));
        QCOMPARE(nthOutputPath("/d.v2/a_b.pdf", 2), std::string("/d.v2/a_b_2.pdf"));
        QCOMPARE(nthOutputPath("rel_.jpg", 1), std::string("rel__1.jpg"));
    }

    void captureFromFrames()
    {
        QTemporaryDir dir;
        Capturer capturer;
        EncodedFrame frame = testFrame(320, 240);
        IMAGEPARAM p = plainParam();
        p.nXDPI = p.nYDPI = 300;

        // Unprocessed JPEG: the camera's bytes, only the density changed.
        char path[CAM_PATH_SIZE] = {};
        auto captureTo = [&](const EncodedFrame &f, const char *name, const IMAGEPARAM &param) {
            std::strcpy(path, dir.filePath(name).toUtf8().constData());
            return capturer.capture(f, path, param);
        };
        QCOMPARE(captureTo(frame, "f.jpg", p), long(ERROR_GOOD));
        const QByteArray file = readFile(path);
        QCOMPARE(size_t(file.size()), frame.data.size());
        QCOMPARE(file.mid(20), QByteArray(reinterpret_cast<const char *>(frame.data.data()) + 20,
                                          int(frame.data.size()) - 20));
        QCOMPARE((uint8_t(file[14]) << 8) | uint8_t(file[15]), 300);

        // Frames without Huffman tables are re-encoded into a complete JPEG.
        EncodedFrame bare = frame;
        bare.data = withoutSegments(frame.data, 0xC4);
        QCOMPARE(captureTo(bare, "bare.jpg", p), long(ERROR_GOOD));
        const QByteArray b = readFile(path);
        QVERIFY(hasHuffmanTables(std::vector<uint8_t>(b.begin(), b.end())));

        // A YUYV frame is converted.
        EncodedFrame yuyv;
        yuyv.format = PixelFormat::Yuyv;
        yuyv.width = 64;
        yuyv.height = 32;
        yuyv.data.assign(64 * 32 * 2, 128);
        QCOMPARE(captureTo(yuyv, "y.png", p), long(ERROR_GOOD));
        QCOMPARE(cv::imread(path).size(), cv::Size(64, 32));

        // Garbage and truncated-to-nothing frames: a status and no file.
        EncodedFrame junk = frame;
        junk.data.assign(1000, 0x55);
        QCOMPARE(captureTo(junk, "junk.jpg", p), long(ERROR_NO_FRAME));
        QCOMPARE(QString(path), dir.filePath("junk.jpg"));
        junk.data.resize(10);
        junk.data[0] = 0xFF;
        junk.data[1] = 0xD8;
        QCOMPARE(capturer.capture(junk, path, p), long(ERROR_NO_FRAME));
        QVERIFY(!QFile::exists(dir.filePath("junk.jpg")));
        // A header claiming 60000 x 60000 pixels is refused, not allocated.
        EncodedFrame giant = frame;
        const uint8_t sof0[] = {0xFF, 0xC0};
        const auto sof = std::search(giant.data.begin(), giant.data.end(), sof0, sof0 + 2);
        QVERIFY(sof != giant.data.end());
        for (int i : {5, 7}) {
            sof[i] = 0xEA;
            sof[i + 1] = 0x60;
        }
        QCOMPARE(capturer.capture(giant, path, p), long(ERROR_NO_FRAME));

        // Rotation through the decode path, into a PDF.
        p.nRotate = 270;
        QCOMPARE(captureTo(frame, "r.pdf", p), long(ERROR_GOOD));
        const QByteArray pdf = readFile(path);
        QVERIFY(pdf.contains("/Width 240"));
        QVERIFY(pdf.contains("/Height 320"));
        // 240 px at 300 dpi is 57.6 pt.
        QVERIFY(pdf.contains("57.6"));
    }

    void capturesCarryTheirDensity_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"d.jpg", "d.png", "d.bmp", "d.tiff"})
            QTest::newRow(name) << name;
    }

    // Every format states the asked density, from which a merge takes the page size.
    void capturesCarryTheirDensity()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        Capturer capturer;
        IMAGEPARAM p = plainParam();
        p.nXDPI = 300;
        p.nYDPI = 150;
        p.nImageType = 1; // processed, so every format goes through its encoder
        char path[CAM_PATH_SIZE] = {};
        std::strcpy(path, dir.filePath(name).toUtf8().constData());
        QCOMPARE(capturer.capture(testFrame(320, 240), path, p), long(ERROR_GOOD));
        PIX *pix = pixRead(path);
        QVERIFY(pix);
        const int xres = pixGetXRes(pix), yres = pixGetYRes(pix);
        pixDestroy(&pix);
        QCOMPARE(xres, 300);
        QCOMPARE(yres, 150);
    }

    void capturesFollowTheUmask_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("mode");
        QTest::newRow("077") << 077 << 0600;
        QTest::newRow("002") << 002 << 0664;
    }

    void capturesFollowTheUmask()
    {
        QFETCH(int, mask);
        QFETCH(int, mode);
        QTemporaryDir dir;
        Capturer capturer;
        char path[CAM_PATH_SIZE] = {};
        std::strcpy(path, dir.filePath("card.jpg").toUtf8().constData());
        const mode_t saved = ::umask(mode_t(mask));
        const long status = capturer.capture(testFrame(320, 240), path, plainParam());
        ::umask(saved);
        QCOMPARE(status, long(ERROR_GOOD));
        struct stat st;
        QCOMPARE(::stat(path, &st), 0);
        QCOMPARE(int(st.st_mode & 0777), mode);
    }

    void losslessRotation()
    {
        // Camera JPEGs are turned on their DCT blocks: the pixels are those of
        // the upright frame, turned (up to chroma upsampling, no re-encoding loss).
        QTemporaryDir dir;
        Capturer capturer;
        EncodedFrame frame = testFrame(320, 240);
        const cv::Mat upright = cv::imdecode(frame.data, cv::IMREAD_COLOR);
        IMAGEPARAM p = plainParam();
        p.nRotate = 90;
        char path[CAM_PATH_SIZE] = {};
        auto captureTo = [&](const char *name) {
            std::strcpy(path, dir.filePath(name).toUtf8().constData());
            return capturer.capture(frame, path, p);
        };
        QCOMPARE(captureTo("r.jpg"), long(ERROR_GOOD));
        cv::Mat expected;
        cv::rotate(upright, expected, cv::ROTATE_90_CLOCKWISE);
        const cv::Mat lossless = cv::imread(path);
        QVERIFY(cv::norm(lossless, expected, cv::NORM_INF) <= 4);
        QVERIFY(cv::norm(lossless, expected, cv::NORM_L1) / lossless.total() < 0.5);

        // 1080 rows are not whole 4:2:0 blocks: decoded, turned and encoded instead.
        frame = testFrame(1920, 1080);
        QCOMPARE(captureTo("hd.jpg"), long(ERROR_GOOD));
        cv::rotate(cv::imdecode(frame.data, cv::IMREAD_COLOR), expected, cv::ROTATE_90_CLOCKWISE);
        const cv::Mat turned = cv::imread(path);
        QCOMPARE(turned.size(), cv::Size(1080, 1920));
        QVERIFY(cv::norm(turned, expected, cv::NORM_L1) / turned.total() < 6);
    }

    void stillness()
    {
        StillnessDetector d(0.7);
        cv::Mat scene(120, 160, CV_8UC1, cv::Scalar(90));
        cv::rectangle(scene, cv::Rect(40, 20, 60, 80), cv::Scalar(230), cv::FILLED);
        cv::RNG rng(5);
        auto noisy = [&](const cv::Mat &img) {
            cv::Mat n(img.size(), CV_16SC1), out;
            rng.fill(n, cv::RNG::NORMAL, 0, 3);
            cv::add(img, n, out, cv::noArray(), CV_8UC1);
            return out;
        };
        double t = 0;
        QList<int> events;
        auto feed = [&](const cv::Mat &img, int samples) {
            for (int i = 0; i < samples; ++i, t += 0.1) {
                const int e = d.feed(noisy(img), t);
                if (e != StillnessDetector::None)
                    events.append(e);
            }
        };
        feed(scene, 30); // noise alone is no movement
        QCOMPARE(events, QList<int>());
        cv::Mat moved(scene.size(), CV_8UC1, cv::Scalar(90));
        for (int step = 1; step <= 5; ++step) { // the sheet slides
            moved.setTo(cv::Scalar(90));
            cv::rectangle(moved, cv::Rect(40 + step * 4, 20, 60, 80), cv::Scalar(230), cv::FILLED);
            feed(moved, 1);
        }
        QCOMPARE(events, QList<int>{StillnessDetector::Moving});
        feed(moved, 5); // 0.5 s: not yet
        QCOMPARE(events, QList<int>{StillnessDetector::Moving});
        feed(moved, 3);
        QCOMPARE(events, (QList<int>{StillnessDetector::Moving, StillnessDetector::Still}));
        feed(moved, 40); // staying still: no second shot
        QCOMPARE(events.size(), 2);
        // A hand passes and leaves the same page: a movement, but no new shot.
        cv::Mat hand = moved.clone();
        cv::circle(hand, {80, 100}, 25, cv::Scalar(150), cv::FILLED);
        feed(hand, 3);
        feed(moved, 20);
        QCOMPARE(events, (QList<int>{StillnessDetector::Moving, StillnessDetector::Still,
                                     StillnessDetector::Moving}));
        // A new page: movement, then a shot.
        feed(hand, 2);
        feed(scene, 10);
        QCOMPARE(events.last(), int(StillnessDetector::Still));
        QCOMPARE(events.size(), 5);
        // Wrong input is ignored.
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
        QCOMPARE(c.sizes.size(), size_t(3));
        QVERIFY(c.sizes[0] == (std::vector<FrameSize>{{1600, 1200}, {640, 480}}));
        QVERIFY(c.sizes[1].empty() && c.sizes[2].empty());
        QVERIFY(c.scene == camvirtual::SceneKind::Book);
        QVERIFY(c.desk == camvirtual::DeskKind::Pattern);
        QCOMPARE(c.seed, 42u);
        QCOMPARE(c.fps, 25);
        QCOMPARE(c.documents, (std::vector<std::string>{"/a.png", "/b.png"}));
        QCOMPARE(c.controlPath, std::string("/tmp/ctl"));
        QVERIFY(c.torn);

        env = {{"CAMSDK_VIRTUAL", "-1"},
               {"CAMSDK_VIRTUAL_SCENE", "moon"},
               {"CAMSDK_VIRTUAL_FPS", "0"},
               {"CAMSDK_VIRTUAL_TORN", "yes"}};
        c = readVirtualConfig(lookup);
        QCOMPARE(c.count, 0);
        QVERIFY(!c.torn);
        QVERIFY(c.scene == camvirtual::SceneKind::Page);
        QCOMPARE(c.fps, 15);
        env = {{"CAMSDK_VIRTUAL", "1000"}};
        QCOMPARE(readVirtualConfig(lookup).count, 0);
        env.clear();
        QCOMPARE(readVirtualConfig(lookup).count, 0);
    }

    void controlFile()
    {
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

    void sceneGroundTruth_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<int>("documents");
        QTest::newRow("page") << "page" << 1;
        QTest::newRow("multi") << "multi" << 4;
        QTest::newRow("receipt") << "receipt" << 1;
        QTest::newRow("idcard") << "idcard" << 2;
        QTest::newRow("book") << "book" << 1;
        QTest::newRow("photo") << "photo" << 1;
        QTest::newRow("empty") << "empty" << 0;
    }
    void sceneGroundTruth()
    {
        QFETCH(QString, scene);
        QFETCH(int, documents);
        camvirtual::SceneRequest r;
        QVERIFY(camvirtual::parseSceneKind(scene.toStdString(), &r.scene));
        r.desk = camvirtual::DeskKind::Plain;
        r.width = 1280;
        r.height = 720;
        r.seed = 11;
        const camvirtual::RenderedScene s = camvirtual::renderScene(r);
        QCOMPARE(s.image.size(), cv::Size(1280, 720));
        QCOMPARE(s.image.type(), CV_8UC3);
        QCOMPARE(int(s.truth.documents.size()), documents);
        for (const auto &doc : s.truth.documents) {
            std::vector<cv::Point2f> q(doc.corners.begin(), doc.corners.end());
            // Inside the frame, clockwise (top-left, top-right, bottom-right, bottom-left).
            for (const auto &p : q)
                QVERIFY(p.x >= 0 && p.y >= 0 && p.x <= 1280 && p.y <= 720);
            QVERIFY(cv::contourArea(q, true) > 0);
            QVERIFY(q[0].y < q[3].y && q[0].x < q[1].x);
            // The corners sit on the document's edge: paper inside, desk outside.
            double in = 0, out = 0;
            insideOutside(s.image, doc.corners, &in, &out);
            QVERIFY2(in > out + 40,
                     qPrintable(QString("%1: inside %2 outside %3").arg(doc.kind.c_str()).arg(in).arg(out)));
        }
        QCOMPARE(s.truth.hasBook, scene == "book");
        if (s.truth.hasBook) {
            const auto &spread = s.truth.documents[0].corners;
            QVERIFY(s.truth.spineTop.x > spread[0].x && s.truth.spineTop.x < spread[1].x);
            QVERIFY(s.truth.spineBottom.y > s.truth.spineTop.y);
            QCOMPARE(s.truth.leftPage[1], s.truth.spineTop);
            QCOMPARE(s.truth.rightPage[3], s.truth.spineBottom);
            // The gutter is darker than the middle of either page.
            cv::Mat gray;
            cv::cvtColor(s.image, gray, cv::COLOR_BGR2GRAY);
            const cv::Point2f mid = (s.truth.spineTop + s.truth.spineBottom) * 0.5f;
            const cv::Point2f leftMid = (s.truth.leftPage[0] + s.truth.leftPage[2]) * 0.5f;
            QVERIFY(gray.at<uchar>(cvRound(mid.y), cvRound(mid.x)) + 20 <
                    cv::mean(gray(cv::Rect(cvRound(leftMid.x) - 20, cvRound(leftMid.y) - 20, 40, 40)))[0]);
        }
    }

    void sceneDeterminism()
    {
        camvirtual::SceneRequest r;
        r.scene = camvirtual::SceneKind::Multi;
        r.width = 640;
        r.height = 480;
        r.seed = 3;
        const auto a = camvirtual::renderScene(r), b = camvirtual::renderScene(r);
        QVERIFY(cv::norm(a.image, b.image, cv::NORM_INF) == 0);
        r.seed = 4;
        const auto c = camvirtual::renderScene(r);
        QVERIFY(cv::norm(a.image, c.image, cv::NORM_L1) > 0);
        QVERIFY(a.truth.documents[0].corners[0] != c.truth.documents[0].corners[0]);

        // Moving the documents moves their truth; noise alone does not.
        r.seed = 3;
        const camvirtual::SceneRenderer renderer(r);
        const auto still = renderer.render({}, false, 1);
        const auto shifted = renderer.render({30, 10}, true, 1);
        QCOMPARE(still.truth.documents[0].corners[0], a.truth.documents[0].corners[0]);
        QVERIFY(shifted.truth.documents[0].corners[0].x > still.truth.documents[0].corners[0].x + 20);
        QVERIFY(cv::norm(still.image, a.image, cv::NORM_L1) > 0);
    }

    void scenePictures()
    {
        // Pictures laid on the desk instead of the scene's documents, their
        // corners where their own corners ended up.
        cv::Mat pic(300, 200, CV_8UC3, cv::Scalar(250, 250, 250));
        cv::rectangle(pic, cv::Rect(0, 0, 200, 60), cv::Scalar(0, 0, 255), cv::FILLED); // red top band
        camvirtual::SceneRequest r;
        r.desk = camvirtual::DeskKind::Wood;
        r.width = 800;
        r.height = 600;
        r.documents = {pic, cv::Mat(), pic};
        const auto s = camvirtual::renderScene(r);
        QCOMPARE(s.truth.documents.size(), size_t(2));
        for (const auto &d : s.truth.documents) {
            QCOMPARE(d.kind, std::string("picture"));
            // Near the top-left corner (inside) the red band shows.
            const cv::Point2f c = d.corners[0] * 0.9f + d.corners[2] * 0.1f;
            const cv::Vec3b px = s.image.at<cv::Vec3b>(cvRound(c.y), cvRound(c.x));
            QVERIFY(px[2] > px[0] + 60);
        }
    }

    void liveGuidesStop()
    {
        // Stopped at staggered moments after a frame was handed over: before
        // the search took it, while it runs, after it ended. Each stop returns
        // and leaves nothing to draw.
        camvirtual::SceneRequest r;
        const cv::Mat frame = camvirtual::renderScene(r).image;
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
        r.desk = camvirtual::DeskKind::Wood;
        r.width = 1280;
        r.height = 720;
        r.seed = 5;
        const camvirtual::SceneRenderer renderer(r);
        const double tolerance =
            0.01 * std::hypot(r.width, r.height) + LiveGuides::thickness({r.width, r.height});
        LiveGuides guides;
        struct Shot {
            cv::Mat rgb;
            guidecheck::Lines truth;
        };
        auto shoot = [&](cv::Point2f shift) {
            const camvirtual::RenderedScene s = renderer.render(shift);
            Shot shot;
            cv::cvtColor(s.image, shot.rgb, cv::COLOR_BGR2RGB);
            shot.truth = guidecheck::truthLines(s.truth, false);
            return shot;
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

        const Shot a = shoot({0, 0}), b = shoot({160, 70});
        QTRY_VERIFY_WITH_TIMEOUT(matches(deliver(a.rgb, 1, 0), a.truth), 10000);
        // The page moved: the guides follow it and leave where it was.
        QTRY_VERIFY_WITH_TIMEOUT(matches(deliver(b.rgb, 1, 0), b.truth), 10000);
        const cv::Mat atB = deliver(b.rgb, 1, 0);
        QVERIFY(guidecheck::fit(atB, a.truth, true, tolerance).onTruth < 0.5);

        // A result for another mode or another turn of the view is not drawn.
        QCOMPARE(drawnGuidePixels(guides, b.rgb, 2, 0), 0);
        cv::Mat turned;
        cv::rotate(b.rgb, turned, cv::ROTATE_90_CLOCKWISE);
        QCOMPARE(drawnGuidePixels(guides, turned, 1, 90), 0);
        // Turned, the outline is found again on the turned frame.
        const guidecheck::Lines turnedTruth = guidecheck::rotated(b.truth, 90, b.rgb.size());
        QTRY_VERIFY_WITH_TIMEOUT(matches(deliver(turned, 1, 90), turnedTruth), 10000);

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
        // whole search (the bowed edges of a book included).
        QFETCH(int, desk);
        QFETCH(bool, book);
        camvirtual::SceneRequest r = smallScene(camvirtual::DeskKind(desk), 5);
        if (book)
            r.scene = camvirtual::SceneKind::Book;
        const camvirtual::SceneRenderer renderer(r);
        const double tolerance = 0.01 * std::hypot(r.width, r.height);
        camproc::GuideTracker tracker;
        for (int step = 0; step < 9; ++step) {
            const auto s = renderer.render(cv::Point2f(14.f, 5.f) * float(step), false, uint32_t(step));
            const camproc::GuideLines found = tracker.update(s.image, book ? 3 : 1);
            QVERIFY2(found.size() == 1, qPrintable(QString("step %1: %2 lines").arg(step).arg(found.size())));
            const double error =
                book ? guidecheck::spineError(found.front(), s.truth)
                     : guidecheck::outlineError(found.front(), s.truth.documents.front().corners);
            if (error > tolerance)
                QFAIL(qPrintable(QString("step %1: %2 px off").arg(step).arg(error)));
        }
        QVERIFY2(tracker.fullSearches() <= 3, qPrintable(QString::number(tracker.fullSearches())));
    }

    void guideTrackerPageTakenAway()
    {
        // The same desk with and without the page: the outline goes within a
        // few searches, and comes back when the page does.
        for (const auto desk : kDesks) {
            camvirtual::SceneRequest r = smallScene(desk, 1);
            r.documents = {textPage()};
            const auto withPage = camvirtual::renderScene(r);
            r.documents = {cv::Mat()};
            const cv::Mat bare = camvirtual::renderScene(r).image;
            camproc::GuideTracker tracker;
            for (int i = 0; i < 3; ++i)
                QCOMPARE(tracker.update(withPage.image, 1).size(), size_t(1));
            int searches = 0;
            while (!tracker.update(bare, 1).empty())
                QVERIFY2(++searches < 3, qPrintable(QString("desk %1").arg(int(desk))));
            const camproc::GuideLines back = tracker.update(withPage.image, 1);
            QCOMPARE(back.size(), size_t(1));
            QVERIFY(guidecheck::outlineError(back.front(), withPage.truth.documents.front().corners) <
                    0.01 * std::hypot(r.width, r.height));
        }
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
        const cv::Mat frame = camvirtual::renderScene(r).image;
        camproc::GuideTracker tracker;
        QCOMPARE(tracker.update(frame, 1).size(), size_t(1));
        QCOMPARE(tracker.fullSearches(), 1);
        cv::Mat grey;
        cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
        for (const cv::Mat &bad : {cv::Mat(), grey, cv::Mat(cv::Mat::zeros(8, 8, CV_8UC3))})
            QVERIFY(tracker.update(bad, 1).empty());
        for (const int mode : {0, 4, 5, -1, 99})
            QVERIFY(tracker.update(frame, mode).empty());
        QCOMPARE(tracker.update(frame, 1).size(), size_t(1));
        QCOMPARE(tracker.fullSearches(), 1); // counted afresh after the reset
        // A frame larger than the searched copy comes back in its own pixels.
        cv::Mat big;
        cv::resize(frame, big, cv::Size(), 3, 3, cv::INTER_LINEAR);
        const camproc::GuideLines scaled = tracker.update(big, 1);
        QCOMPARE(scaled.size(), size_t(1));
        auto truth = camvirtual::renderScene(r).truth.documents.front().corners;
        for (auto &p : truth)
            p *= 3.f;
        QVERIFY(guidecheck::outlineError(scaled.front(), truth) < 0.01 * std::hypot(big.cols, big.rows));
    }
};

QTEST_GUILESS_MAIN(TestCameraCore)
#include "tst_camera_core.moc"

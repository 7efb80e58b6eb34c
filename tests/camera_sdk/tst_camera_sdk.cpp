// The pieces of the camera library behind its C interface that need no camera:
// frame bytes, capture files and their samples of the live picture, stillness, the live guides
// (the C interface itself: tests/camera_interface).
#include "CamCaptureSDK.h"
#include "capturefile.h"
#include "guidecheck.h"
#include "guides.h"
#include "jpegcodec.h"
#include "stillness.h"
#include "stream.h"
#include "testpictures.h"
#include "track.h"
#include "v4l2device.h"
#include "virtualdevice.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

#include <cstring>

using namespace camsdk;
using camvirtual::DeskKind;
using camvirtual::SceneKind;

namespace {

// A smooth random picture as a camera's JPEG frame.
EncodedFrame testFrame(int w, int h)
{
    cv::Mat img(h, w, CV_8UC3);
    cv::randu(img, 0, 255);
    cv::GaussianBlur(img, img, cv::Size(7, 7), 3);
    EncodedFrame f;
    f.width = w;
    f.height = h;
    JpegCodec().encode(img, 85, f.data);
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

// Guide pixels that draw() puts on a copy of rgb.
int drawnGuidePixels(const LiveGuides &guides, const cv::Mat &rgb, int mode, int rotation)
{
    cv::Mat shown = rgb.clone();
    guides.draw(shown, mode, rotation);
    return cv::countNonZero(guidecheck::guidePixels(shown));
}

} // namespace

class TestCameraSdk : public QObject
{
    Q_OBJECT

private slots:
    // What cameras hand over: padded or cut MJPEG buffers, frames without JFIF
    // header or Huffman tables, YUYV.
    void frameBytes()
    {
        const std::vector<uint8_t> jpeg = testFrame(64, 48).data;
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
        const QByteArray file = testpictures::readAll(path);
        QCOMPARE(
            file.mid(22 + ((uint8_t(file[22]) << 8) | uint8_t(file[23]))),
            QByteArray::fromRawData(reinterpret_cast<const char *>(frame.data.data()), int(frame.data.size()))
                .mid(20));
        QCOMPARE((uint8_t(file[14]) << 8) | uint8_t(file[15]), 300);
        // Frames without Huffman tables are re-encoded into a complete JPEG.
        EncodedFrame bare = frame;
        bare.data = withoutSegments(frame.data, 0xC4);
        QCOMPARE(captureTo(bare, "bare.jpg"), long(ERROR_GOOD));
        const QByteArray b = testpictures::readAll(path);
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

    // A capture asks the stream for the sample of a live picture: it gets a frame converted after
    // it asked (not the one answered before) with that frame's own sample.
    void sampleOnRequest()
    {
        VirtualConfig config;
        config.fps = 30;
        const LiveView view;
        Stream stream(std::make_shared<VirtualDevice>(0, config, nullptr), {640, 480}, nullptr, view);
        QCOMPARE(stream.start(), long(ERROR_GOOD));
        cv::Mat rgb(480, 640, CV_8UC3), sample;
        FramePtr previous;
        for (int i = 0; i < 3; ++i) {
            const FramePtr frame = stream.sampledFrame(std::chrono::seconds(5), sample);
            QVERIFY(frame && frame != previous);
            QVERIFY(JpegCodec().decode(frame->data.data(), frame->data.size(), 640, 480, true, rgb.data));
            QCOMPARE(cv::norm(sample, thumbnailSample(rgb), cv::NORM_INF), 0.0);
            previous = frame;
        }
    }

    void stillness()
    {
        // The sheet moved along by `slide` pixels a sample, a hand over it or not, for samples of
        // 0.1 s with sensor noise; then the events reported so far.
        const int m = StillnessDetector::Moving, s = StillnessDetector::Still;
        const struct {
            int shift, slide;
            bool hand;
            int samples;
            QList<int> events;
        } steps[] = {{0, 0, false, 30, {}},  // noise alone is no movement
                     {4, 4, false, 5, {m}},  // the sheet slides
                     {20, 0, false, 5, {m}}, // 0.5 s still: not yet
                     {20, 0, false, 3, {m, s}},
                     {20, 0, false, 40, {m, s}},  // staying still: no second shot
                     {20, 0, true, 3, {m, s, m}}, // a hand passes and leaves the same page: no new shot
                     {20, 0, false, 20, {m, s, m}},
                     {20, 0, true, 2, {m, s, m, m}}, // a new page: movement, then a shot
                     {0, 0, false, 10, {m, s, m, m, s}}};
        StillnessDetector d(0.7);
        cv::RNG rng(5);
        double t = 0;
        QList<int> events;
        for (const auto &step : steps) {
            for (int i = 0; i < step.samples; ++i, t += 0.1) {
                cv::Mat frame(120, 160, CV_8UC1, cv::Scalar(90)), noise(frame.size(), CV_16SC1);
                cv::rectangle(frame, cv::Rect(40 + step.shift + i * step.slide, 20, 60, 80), cv::Scalar(230),
                              cv::FILLED);
                if (step.hand)
                    cv::circle(frame, {80, 100}, 25, cv::Scalar(150), cv::FILLED);
                rng.fill(noise, cv::RNG::NORMAL, 0, 3);
                cv::add(frame, noise, frame, cv::noArray(), CV_8UC1);
                if (const int e = d.feed(frame, t); e != StillnessDetector::None)
                    events.append(e);
            }
            QCOMPARE(events, step.events);
        }
        QCOMPARE(d.feed(cv::Mat(), t), StillnessDetector::None);
        QCOMPARE(d.feed(cv::Mat(10, 10, CV_8UC3), t), StillnessDetector::None);
    }

    void liveGuidesFollowPage()
    {
        const camvirtual::SceneRenderer renderer({SceneKind::Page, DeskKind::Wood, 5, 1280, 720, {}});
        const double tolerance = 0.01 * std::hypot(1280, 720) + LiveGuides::thickness({1280, 720});
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
        // Stopped, nothing is left to draw.
        QTRY_VERIFY_WITH_TIMEOUT(matches(deliver(turned, 1, 90), turnedTruth), 10000);
        guides.stop();
        QCOMPARE(drawnGuidePixels(guides, turned, 1, 90), 0);
    }

    void guideTrackerFollows_data()
    {
        QTest::addColumn<int>("desk");
        QTest::addColumn<bool>("book");
        for (const auto desk : {DeskKind::Wood, DeskKind::Plain, DeskKind::Pattern, DeskKind::White})
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
        // Large enough for corners within 1 % of the diagonal, quick to render.
        camvirtual::SceneRequest r{book ? SceneKind::Book : SceneKind::Page, DeskKind(desk), 5, 960, 540, {}};
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
        // A second page laid beside the one being followed shows up within one
        // round of full searches, and both outlines are right. Before: the bare
        // desk with only the first page (and its shadow) of the two-page frame.
        cv::Mat page(850, 600, CV_8UC3, cv::Scalar(245, 247, 248));
        for (int y = 80; y < 780; y += 36)
            cv::rectangle(page, cv::Rect(60, y, 480 - (y * 7) % 160, 14), cv::Scalar(40, 40, 40), cv::FILLED);
        camvirtual::SceneRequest r{SceneKind::Page, DeskKind::Wood, 3, 960, 540, {page, page}};
        const auto two = camvirtual::renderScene(r);
        r.documents = {cv::Mat()};
        cv::Mat one = camvirtual::renderScene(r).image, first = cv::Mat::zeros(one.size(), CV_8U);
        const std::vector<cv::Point> corners(two.truth.documents.front().corners.begin(),
                                             two.truth.documents.front().corners.end());
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
        for (const auto &doc : two.truth.documents)
            QVERIFY(std::min(guidecheck::outlineError(found[0], doc.corners),
                             guidecheck::outlineError(found[1], doc.corners)) <
                    0.01 * std::hypot(r.width, r.height));
    }
};

QTEST_GUILESS_MAIN(TestCameraSdk)
#include "tst_camera_sdk.moc"

// Curved pages flattened: bowed books against the same book lying flat, flat pages left alone,
// a page without text flattened by its edges, and pages the model cannot take.
#include "camprocess.h"
#include "cut.h"
#include "flatten.h"
#include "virtualscene.h"

#include <QtTest>
#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(cv::Mat)

using namespace camvirtual;

namespace {

RenderedScene book(DeskKind desk, uint32_t seed, BookShape shape)
{
    SceneRequest r;
    r.scene = SceneKind::Book;
    r.desk = desk;
    r.seed = seed;
    r.width = 1600;
    r.height = 1200;
    r.book = shape;
    return renderScene(r);
}

// Text lines of a page at the scale the flattening works at.
int lineCount(const cv::Mat &page)
{
    cv::Mat grey;
    cv::cvtColor(page, grey, cv::COLOR_BGR2GRAY);
    cv::resize(grey, grey, {}, 900.0 / grey.rows, 900.0 / grey.rows, cv::INTER_AREA);
    return int(camproc::findTextLines(grey).size());
}

double aspect(const cv::Mat &m)
{
    return double(m.cols) / m.rows;
}

} // namespace

class TestCamFlatten : public QObject
{
    Q_OBJECT
private slots:
    void bowedBook_data();
    void bowedBook();
    void flatPageUntouched();
    void pageWithoutTextFollowsEdges();
    void badInput_data();
    void badInput();
};

void TestCamFlatten::bowedBook_data()
{
    QTest::addColumn<int>("desk");
    QTest::addColumn<uint>("seed");
    QTest::addRow("wood") << int(DeskKind::Wood) << 3u;
    QTest::addRow("white") << int(DeskKind::White) << 2u;
    QTest::addRow("pattern, cover showing beyond the top edge") << int(DeskKind::Pattern) << 21u;
}

// Each page of a bowed book comes out with straight lines, as many as and shaped like the flat page.
void TestCamFlatten::bowedBook()
{
    QFETCH(int, desk);
    QFETCH(uint, seed);
    const RenderedScene bowed = book(DeskKind(desk), seed, BookShape::Bowed);
    const RenderedScene flat = book(DeskKind(desk), seed, BookShape::Flat);
    for (int i = 0; i < 2; ++i) {
        const camvirtual::Quad &outline = i ? bowed.truth.rightPage : bowed.truth.leftPage;
        const cv::Mat plain = camproc::warpDocument(bowed.image, outline).image;
        const cv::Mat page = camproc::flattenPage(bowed.image, outline, camproc::Flatten::Always).image;
        const cv::Mat reference =
            camproc::warpDocument(flat.image, i ? flat.truth.rightPage : flat.truth.leftPage).image;
        QVERIFY2(camproc::textLineBow(plain) > 0.004, "the scene is not curved enough to tell");
        QVERIFY(camproc::textLineBow(page) < 0.0025);
        QVERIFY(std::abs(lineCount(page) - lineCount(reference)) <= 1);
        QVERIFY(std::abs(aspect(page) / aspect(reference) - 1) < 0.03);
    }
}

// A flat page cut out alone comes out exactly as the plain warp makes it.
void TestCamFlatten::flatPageUntouched()
{
    SceneRequest r;
    r.scene = SceneKind::Page;
    r.seed = 3;
    const cv::Mat frame = renderScene(r).image;
    IMAGEPARAM p{};
    p.nCropType = 1;
    const std::vector<cv::Mat> out = camproc::processFrame(frame, p);
    const std::vector<camproc::Quad> found = camproc::findDocuments(frame, false);
    QCOMPARE(int(out.size()), 1);
    QCOMPARE(int(found.size()), 1);
    const cv::Mat plain = camproc::warpDocument(frame, found[0]).image;
    QCOMPARE(out[0].size(), plain.size());
    QCOMPARE(cv::norm(out[0], plain, cv::NORM_INF), 0.0);
}

// A picture without text whose top and bottom edges dip: its outline is followed, so no desk shows.
void TestCamFlatten::pageWithoutTextFollowsEdges()
{
    cv::Mat frame(1200, 1600, CV_8UC3, cv::Scalar(40, 60, 90));
    std::vector<cv::Point> outline;
    for (int x = 400; x <= 1200; x += 10)
        outline.emplace_back(x, 200 + int(40 * std::sin(CV_PI * (x - 400) / 800)));
    for (int x = 1200; x >= 400; x -= 10)
        outline.emplace_back(x, 1000 - int(40 * std::sin(CV_PI * (x - 400) / 800)));
    cv::fillPoly(frame, std::vector<std::vector<cv::Point>>{outline}, cv::Scalar(170, 200, 225));
    const camproc::Quad chord = {cv::Point2f(400, 200), {1200, 200}, {1200, 1000}, {400, 1000}};
    const auto desk = [](const cv::Mat &page) {
        cv::Mat grey;
        cv::cvtColor(page, grey, cv::COLOR_BGR2GRAY);
        return cv::countNonZero(grey < 120) / double(grey.total());
    };
    QVERIFY(desk(camproc::warpDocument(frame, chord).image) > 0.02);
    QVERIFY(desk(camproc::flattenPage(frame, chord, camproc::Flatten::Always).image) < 0.005);
}

void TestCamFlatten::badInput_data()
{
    QTest::addColumn<cv::Mat>("frame");
    cv::Mat tiny = book(DeskKind::Wood, 2, BookShape::Bowed).image;
    cv::resize(tiny, tiny, {10, 8}, 0, 0, cv::INTER_AREA);
    const cv::Mat halfOut = book(DeskKind::Plain, 4, BookShape::Bowed).image.colRange(500, 1600).clone();
    cv::Mat blankBook(1200, 1600, CV_8UC3, cv::Scalar(60, 90, 120));
    cv::rectangle(blankBook, cv::Rect(200, 250, 1200, 800), cv::Scalar(235, 240, 245), cv::FILLED);
    cv::line(blankBook, {800, 250}, {800, 1050}, cv::Scalar(150, 150, 150), 9);
    QTest::addRow("curved page of 10 pixels") << tiny;
    QTest::addRow("page half out of view") << halfOut;
    QTest::addRow("blank page") << cv::Mat(1200, 1600, CV_8UC3, cv::Scalar(250, 250, 250));
    QTest::addRow("book without text") << blankBook;
}

// Every cut method that flattens still gives a picture.
void TestCamFlatten::badInput()
{
    QFETCH(cv::Mat, frame);
    for (int crop : {1, 3}) {
        IMAGEPARAM p{};
        p.nCropType = crop;
        const std::vector<cv::Mat> out = camproc::processFrame(frame, p);
        QVERIFY(!out.empty());
        for (const cv::Mat &m : out)
            QVERIFY(!m.empty() && m.type() == CV_8UC3);
    }
}

QTEST_APPLESS_MAIN(TestCamFlatten)
#include "tst_camflatten.moc"

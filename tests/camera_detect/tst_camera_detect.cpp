// Document detection on rendered scenes of the kinds real photographs showed to be hard: the one
// document is found and matches its truth (for a page larger than the frame, the part in view), and
// a cut-out never keeps only part of it.
#include "outlinescore.h"
#include "virtualscene.h"

#include <QtTest>

using camvirtual::HardScene;
Q_DECLARE_METATYPE(camvirtual::HardScene)

class TestCameraDetect : public QObject
{
    Q_OBJECT

private slots:
    void hardScenes_data();
    void hardScenes();
    void severalDocumentsStayApart();
};

void TestCameraDetect::hardScenes_data()
{
    QTest::addColumn<HardScene>("kind");
    QTest::addColumn<bool>("multiple");
    QTest::addColumn<uint>("seed");
    const std::pair<const char *, HardScene> kinds[] = {
        {"table page", HardScene::TablePage}, {"photo page", HardScene::PhotoPage},
        {"table edge", HardScene::TableEdge}, {"curled page", HardScene::CurledPage},
        {"full page", HardScene::FullPage},   {"held card", HardScene::HeldCard},
        {"held sheet", HardScene::HeldSheet}};
    for (const auto &[name, kind] : kinds)
        for (const uint seed : {1u, 2u, 3u})
            QTest::addRow("%s %u", name, seed) << kind << false << seed;
    // The hand and the card behind it reach past the far corners (10); the held side shows less edge (9).
    for (const uint seed : {9u, 10u})
        QTest::addRow("held card %u", seed) << HardScene::HeldCard << false << seed;
    // Searching for every document: the table and the photograph stay part of their page.
    QTest::addRow("table page, every document") << HardScene::TablePage << true << 4u;
    QTest::addRow("photo page, every document") << HardScene::PhotoPage << true << 4u;
}

void TestCameraDetect::hardScenes()
{
    QFETCH(HardScene, kind);
    QFETCH(bool, multiple);
    QFETCH(uint, seed);
    const camvirtual::RenderedScene scene = camvirtual::renderHardScene(kind, seed);
    const std::vector<camproc::Quad> found = camproc::findDocuments(scene.image, multiple);
    QCOMPARE(found.size(), size_t(1));
    const camproc::Quad &truth = scene.truth.documents.front().corners;
    const double kept = outlinescore::kept(found.front(), truth);
    const double jaccard = outlinescore::jaccard(found.front(), truth);
    QVERIFY2(kept >= 0.95, qPrintable(QString("kept %1 of the page").arg(kept)));
    QVERIFY2(jaccard >= 0.94, qPrintable(QString("Jaccard index %1").arg(jaccard)));
}

// Several documents lying on a wooden desk, searched as the live guides search their small copy (the
// sensor noise differs from frame to frame): every document is found on its own, and no outline joins
// neighbours.
void TestCameraDetect::severalDocumentsStayApart()
{
    camvirtual::SceneRequest request;
    request.scene = camvirtual::SceneKind::Multi;
    request.seed = 2;
    const camvirtual::SceneRenderer renderer(request);
    const double scale = 480.0 / request.width;
    for (uint32_t noise = 1; noise <= 5; ++noise) {
        const camvirtual::RenderedScene scene = renderer.render({0, 0}, false, noise);
        cv::Mat small;
        cv::resize(scene.image, small, cv::Size(), scale, scale, cv::INTER_AREA);
        const std::vector<camproc::Quad> found = camproc::findDocuments(small, true, 20);
        QCOMPARE(found.size(), scene.truth.documents.size());
        for (const auto &document : scene.truth.documents) {
            camproc::Quad truth = document.corners;
            for (cv::Point2f &p : truth)
                p *= float(scale);
            double best = 0;
            for (const camproc::Quad &q : found)
                best = std::max(best, outlinescore::jaccard(q, truth));
            QVERIFY2(best >= 0.9, qPrintable(QString("noise %1: Jaccard index %2").arg(noise).arg(best)));
        }
    }
}

QTEST_APPLESS_MAIN(TestCameraDetect)
#include "tst_camera_detect.moc"

// The playback camera through the C interface: recorded pictures as the live picture.
#include "CamCaptureSDK.h"
#include "testpictures.h"
#include "virtualscene.h"

#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

namespace {

QMutex g_mutex;
cv::Mat g_frame(1, 1, CV_8UC3); // the newest delivered frame, packed RGB

int onFrame(void *data, int, int width, int height, int)
{
    QMutexLocker lock(&g_mutex);
    cv::Mat(height, width, CV_8UC3, data).copyTo(g_frame);
    return 0;
}

// Whether the newest frame has this size and is this colour (0xRRGGBB) all over.
bool newestFrameIs(QSize size, int rgb)
{
    QMutexLocker lock(&g_mutex);
    cv::Scalar mean, deviation;
    cv::meanStdDev(g_frame, mean, deviation);
    return g_frame.cols == size.width() && g_frame.rows == size.height() && cv::norm(deviation) < 8 &&
           cv::norm(mean - cv::Scalar(rgb >> 16, rgb >> 8 & 255, rgb & 255)) < 8;
}

} // namespace

class TestCameraPlayback : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    long init(const QString &frames)
    {
        qputenv("CAMSDK_VIRTUAL_FRAMES", m_dir.filePath(frames).toUtf8());
        long count = -1;
        return Cam_Init() == ERROR_GOOD && Cam_GetDevCount(&count) == ERROR_GOOD ? count : -1;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QDir(m_dir.path()).mkpath("pics") && QDir(m_dir.path()).mkpath("empty"));
        qunsetenv("CAMSDK_VIRTUAL");
        qputenv("CAMSDK_VIRTUAL_CONTROL", m_dir.filePath("control").toUtf8());
        const std::string dir = m_dir.path().toStdString();
        cv::imwrite(dir + "/pics/a.png", cv::Mat(600, 800, CV_8UC3, cv::Scalar(0, 0, 200)));
        cv::imwrite(dir + "/pics/b.jpg", cv::Mat(600, 800, CV_8UC3, cv::Scalar(0, 200, 0)));
        cv::Mat c(1200, 600, CV_8UC3, cv::Scalar(0, 0, 0)); // at 4:3 only its blue middle shows
        c.rowRange(300, 900).setTo(cv::Scalar(200, 0, 0));
        cv::imwrite(dir + "/pics/c.jpg", c);
        cv::imwrite(dir + "/upright.jpg", c.colRange(0, 500));
        QVERIFY(testpictures::writeAll(m_dir.filePath("pics/b2.jpg"), "\xff\xd8 not really a picture"));
        QByteArray turned = testpictures::readAll(m_dir.filePath("upright.jpg"));
        testpictures::insertExifOrientation(turned, 6, true); // as a phone held upright
        QVERIFY(testpictures::writeAll(m_dir.filePath("turned.jpg"), turned));
    }

    void cleanup() { Cam_CameraCaptureStop(0); }

    void devices_data()
    {
        QTest::addColumn<QString>("sizes");
        // The tag names the pictures: a folder with one unreadable among them, one picture, ...
        QTest::newRow("pics") << "800x600 640x480";
        QTest::newRow("upright.jpg") << "500x1200 480x640";
        QTest::newRow("turned.jpg") << "1200x500 640x480";
        QTest::newRow("empty") << "";
        QTest::newRow("gone") << "";
    }

    void devices()
    {
        QFETCH(QString, sizes);
        QCOMPARE(init(QTest::currentDataTag()), long(sizes.isEmpty() ? 0 : 1));
        QStringList offered;
        long count = 0, w = 0, h = 0;
        for (long i = 0; Cam_GetCameraResolutionCount(0, 0, &count) == 0 && i < count; ++i)
            offered << (Cam_GetCameraResolutionName(i, &w, &h) ? "?" : QString("%1x%2").arg(w).arg(h));
        QCOMPARE(offered.join(' '), sizes);
    }

    void streaming_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("nexts");
        QTest::addColumn<int>("rgb");
        QTest::newRow("next") << QSize(800, 600) << 1 << 0x00c800;
        QTest::newRow("another size, its centre") << QSize(800, 600) << 2 << 0x0000c8;
        QTest::newRow("looping, at a smaller size") << QSize(640, 480) << 3 << 0xc80000;
    }

    void streaming()
    {
        QFETCH(QSize, size);
        QFETCH(int, nexts);
        QFETCH(int, rgb);
        QVERIFY(testpictures::writeAll(m_dir.filePath("control"), "\n"));
        QCOMPARE(init("pics"), 1L);
        QCOMPARE(Cam_SetCameraResolution(0, size.width(), size.height()), long(ERROR_GOOD));
        QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_GOOD));
        testpictures::writeAll(m_dir.filePath("control"),
                               QByteArray("next\n").repeated(nexts)); // while streaming
        QTRY_VERIFY_WITH_TIMEOUT(newestFrameIs(size, rgb), 10000);
    }

    // A photographed page larger than the live picture: cut out of the full-resolution frame.
    void captureCutOut()
    {
        const auto page = camvirtual::renderScene(
            {camvirtual::SceneKind::Page, camvirtual::DeskKind::Wood, 1, 2400, 1800, {}, false});
        cv::imwrite(m_dir.filePath("photo.jpg").toStdString(), page.image, {cv::IMWRITE_JPEG_QUALITY, 92});
        QCOMPARE(init("photo.jpg"), 1L);
        QCOMPARE(Cam_CameraCaptureStart(0, onFrame), long(ERROR_GOOD));
        IMAGEPARAM param = {};
        param.nCropType = 1;
        QByteArray path = m_dir.filePath("out.jpg").toUtf8().leftJustified(CAM_PATH_SIZE, '\0');
        QCOMPARE(Cam_CameraCaptureFile(0, path.data(), &param), long(ERROR_GOOD));
        const cv::Mat out = cv::imread(path.constData());
        const auto &q = page.truth.documents.front().corners;
        QVERIFY(std::abs(out.cols - (cv::norm(q[1] - q[0]) + cv::norm(q[2] - q[3])) / 2) < 50);
        QVERIFY(std::abs(out.rows - (cv::norm(q[3] - q[0]) + cv::norm(q[2] - q[1])) / 2) < 70);
    }
};

QTEST_GUILESS_MAIN(TestCameraPlayback)
#include "tst_camera_playback.moc"

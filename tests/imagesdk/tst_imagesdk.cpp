// The image library seen through its C API: joining card sides and rotating
// stored pictures in place.
#include "ImageSDK.h"
#include "exifthumbnail.h"
#include "testpictures.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTransform>
#include <QtTest>
#include <leptonica/allheaders.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <turbojpeg.h>

using namespace testpictures;

namespace {

// Density tags of a TIFF as stored; absent ones read as 0.
struct TiffDensity {
    float x = 0, y = 0;
    int unit = 0;
    bool operator==(const TiffDensity &o) const { return x == o.x && y == o.y && unit == o.unit; }
};

// A 16x12 uncompressed TIFF of the given colour model, with the density tags that are non-zero.
QByteArray makeTiff(int photometric, int spp, const TiffDensity &density = {})
{
    QTemporaryDir dir;
    const QByteArray path = dir.filePath("t.tif").toUtf8();
    TIFF *tif = TIFFOpen(path, "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 16);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 12);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 12);
    if (photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
    if (density.x > 0)
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, double(density.x));
    if (density.y > 0)
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, double(density.y));
    if (density.unit > 0)
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, density.unit);
    QByteArray pixels(16 * 12 * spp, '\0');
    for (int i = 0; i < pixels.size(); ++i)
        pixels[i] = char(i * 7);
    TIFFWriteEncodedStrip(tif, 0, pixels.data(), pixels.size());
    TIFFClose(tif);
    return readAll(dir.filePath("t.tif"));
}

TiffDensity tiffDensity(const QString &path)
{
    TiffDensity d;
    TIFF *tif = TIFFOpen(path.toUtf8(), "r");
    uint16_t unit = 0;
    if (tif) {
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &d.x);
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &d.y);
        TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
        TIFFClose(tif);
    }
    d.unit = unit;
    return d;
}

} // namespace

Q_DECLARE_METATYPE(TiffDensity)

class TestImageSdk : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void joinBothLayouts_data();
    void joinBothLayouts();
    void joinFailuresWriteNothing();
    void jpegTurnsAddingToZeroAreLossless_data();
    void jpegTurnsAddingToZeroAreLossless();
    void unalignedJpegKeepsEveryPixel();
    void jpegMetadataFollowsTheTurn();
    void mirroredExifTurnsAsShown();
    void embeddedThumbnailServesWhenItFits_data();
    void embeddedThumbnailServesWhenItFits();
    void cmykJpegKeepsItsInks();
    void linkedPictureTurnsBehindTheLink();
    void rasterFormatsTurnExactly_data();
    void rasterFormatsTurnExactly();
    void tiffDensityStaysAsItWas_data();
    void tiffDensityStaysAsItWas();
    void longNamesWork();
    void badFilesAreLeftUntouched_data();
    void badFilesAreLeftUntouched();
    void garbageArguments();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // Every file in the folder: a failed write must not leave temporaries behind.
    QStringList entries() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestImageSdk::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestImageSdk::joinBothLayouts_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("outName");
    QTest::addColumn<QSize>("expected");
    // Front 400x300, back 200x100: the back is scaled by 3 (height) or 2 (width).
    QTest::newRow("side by side, jpg") << 0 << "card.jpg" << QSize(1000, 300);
    QTest::newRow("stacked, png") << 1 << "card.png" << QSize(400, 500);
    QTest::newRow("side by side, bmp") << 0 << "card.BMP" << QSize(1000, 300);
    QTest::newRow("stacked, tiff") << 1 << "card.tiff" << QSize(400, 500);
}

void TestImageSdk::joinBothLayouts()
{
    QFETCH(int, mode);
    QFETCH(QString, outName);
    QFETCH(QSize, expected);
    QImage front(400, 300, QImage::Format_RGB888), back(200, 100, QImage::Format_RGB888);
    front.fill(Qt::red);
    back.fill(Qt::blue);
    QVERIFY(writeAll(path("a.jpg"), encodeJpeg(front, TJSAMP_444, 95, 300)));
    QVERIFY(back.save(path("b.png")));

    QCOMPARE(CombineImage(path("a.jpg").toUtf8(), path("b.png").toUtf8(), path(outName).toUtf8(), mode, 0, 0,
                          0, 0),
             0L);
    PIX *pix = pixRead(path(outName).toUtf8());
    QVERIFY(pix);
    QCOMPARE(QSize(pixGetWidth(pix), pixGetHeight(pix)), expected);
    // Front first (left or top), back after it, no seam of background between them.
    l_int32 r, g, b;
    pixGetRGBPixel(pix, 5, 5, &r, &g, &b);
    QVERIFY2(r > 200 && b < 60, "front side missing");
    pixGetRGBPixel(pix, expected.width() - 5, expected.height() - 5, &r, &g, &b);
    QVERIFY2(b > 200 && r < 60, "back side missing");
    pixGetRGBPixel(pix, mode == 0 ? 401 : 200, mode == 0 ? 150 : 301, &r, &g, &b);
    QVERIFY2(b > 200 && r < 60, "gap between the sides");
    // The density of the unscaled side travels with the joined picture.
    QCOMPARE(pixGetXRes(pix), outName.endsWith(".jpg") ? 300 : pixGetXRes(pix));
    pixDestroy(&pix);
    QCOMPARE(entries().size(), 3);
}

void TestImageSdk::joinFailuresWriteNothing()
{
    const QByteArray good = encodeJpeg(scene(120, 80, 1), TJSAMP_420);
    QVERIFY(writeAll(path("good.jpg"), good));
    QVERIFY(writeAll(path("truncated.jpg"), good.left(good.size() / 2)));
    QVERIFY(writeAll(path("garbage.png"), QByteArray(5000, 'x')));
    QVERIFY(writeAll(path("empty.jpg"), QByteArray()));
    QVERIFY(writeAll(path("huge.bmp"), hugeBmp()));
    const QByteArray g = path("good.jpg").toUtf8();
    const QByteArray out = path("out.jpg").toUtf8();

    QCOMPARE(CombineImage(path("missing.jpg").toUtf8(), g, out, 0, 0, 0, 0, 0), -1L);
    QCOMPARE(CombineImage(g, path("truncated.jpg").toUtf8(), out, 0, 0, 0, 0, 0), -1L);
    QCOMPARE(CombineImage(g, path("garbage.png").toUtf8(), out, 1, 0, 0, 0, 0), -1L);
    QCOMPARE(CombineImage(path("empty.jpg").toUtf8(), g, out, 1, 0, 0, 0, 0), -1L);
    QCOMPARE(CombineImage(g, path("huge.bmp").toUtf8(), out, 0, 0, 0, 0, 0), -1L);
    QCOMPARE(CombineImage(g, m_dir->path().toUtf8(), out, 0, 0, 0, 0, 0), -1L); // a folder
    QCOMPARE(CombineImage(g, g, out, 2, 0, 0, 0, 0), -1L);                      // unknown mode
    QCOMPARE(CombineImage(g, g, path("out.xyz").toUtf8(), 0, 0, 0, 0, 0), -1L);
    QCOMPARE(CombineImage(g, g, path("noext").toUtf8(), 0, 0, 0, 0, 0), -1L);
    // A folder that cannot exist: it would sit below a regular file.
    QCOMPARE(CombineImage(g, g, path("good.jpg/sub/out.jpg").toUtf8(), 0, 0, 0, 0, 0), -1L);
    QCOMPARE(CombineImage(g, g, path("nofolder/out.jpg").toUtf8(), 0, 0, 0, 0, 0), -1L);
    QCOMPARE(CombineImage(nullptr, g, out, 0, 0, 0, 0, 0), -1L);
    QCOMPARE(CombineImage(g, nullptr, out, 0, 0, 0, 0, 0), -1L);
    QCOMPARE(CombineImage(g, g, nullptr, 0, 0, 0, 0, 0), -1L);
    QCOMPARE(CombineImage(g, g, "", 0, 0, 0, 0, 0), -1L);
    QCOMPARE(entries(), QStringList({"empty.jpg", "garbage.png", "good.jpg", "huge.bmp", "truncated.jpg"}));
    QCOMPARE(readAll(path("good.jpg")), good);
}

void TestImageSdk::jpegTurnsAddingToZeroAreLossless_data()
{
    QTest::addColumn<int>("subsamp");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<int>>("turns");
    const QSize aligned(1600, 1200); // whole 16x16 blocks
    QTest::newRow("4:2:0, four right turns") << int(TJSAMP_420) << aligned << QList<int>{90, 90, 90, 90};
    QTest::newRow("4:2:0, four left turns") << int(TJSAMP_420) << aligned << QList<int>{-90, -90, -90, -90};
    QTest::newRow("4:2:0, right then left") << int(TJSAMP_420) << aligned << QList<int>{90, -90};
    QTest::newRow("4:2:2, half turns") << int(TJSAMP_422) << aligned << QList<int>{180, 180};
    QTest::newRow("4:4:4, 270 and 90") << int(TJSAMP_444) << QSize(808, 600) << QList<int>{270, 90};
    QTest::newRow("grey, four right turns")
        << int(TJSAMP_GRAY) << QSize(808, 600) << QList<int>{90, 90, 90, 90};
    QTest::newRow("progressive 4:2:0, right then left")
        << int(TJSAMP_420) << QSize(640, 480) << QList<int>{90, -90};
}

void TestImageSdk::jpegTurnsAddingToZeroAreLossless()
{
    QFETCH(int, subsamp);
    QFETCH(QSize, size);
    QFETCH(QList<int>, turns);
    const bool progressive = QByteArray(QTest::currentDataTag()).startsWith("progressive");
    const QByteArray original = encodeJpeg(scene(size.width(), size.height(), 7, subsamp == TJSAMP_GRAY),
                                           subsamp, 90, 0, progressive);
    const QImage before = decodeJpeg(original);
    QVERIFY(writeAll(path("page.jpg"), original));
    int sum = 0;
    for (int angle : turns) {
        QCOMPARE(imageRotation(path("page.jpg").toUtf8(), angle), int(IMG_OK));
        sum += angle;
        const QImage now = decodeJpeg(readAll(path("page.jpg")));
        QCOMPARE(now.size(), sum % 180 == 0 ? size : size.transposed());
        // Each turn moves the DCT blocks; only the decoder's integer rounding may
        // differ from turning the decoded pixels. A trimmed or smeared edge would not.
        QVERIFY(maxDifference(now, before.transformed(QTransform().rotate(sum))) <= 6);
    }
    QCOMPARE(decodeJpeg(readAll(path("page.jpg"))), before);
    QCOMPARE(jpegSubsampling(readAll(path("page.jpg"))), subsamp);
    QCOMPARE(readAll(path("page.jpg")).contains("\xFF\xC2"), progressive); // start of a progressive frame
    QCOMPARE(entries(), QStringList{"page.jpg"});
}

void TestImageSdk::unalignedJpegKeepsEveryPixel()
{
    const QByteArray original = encodeJpeg(scene(1601, 1203, 11), TJSAMP_420, 92);
    const QImage before = decodeJpeg(original);
    QVERIFY(writeAll(path("odd.jpg"), original));
    QCOMPARE(imageRotation(path("odd.jpg").toUtf8(), 90), int(IMG_OK));
    QByteArray turned = readAll(path("odd.jpg"));
    QImage after = decodeJpeg(turned);
    QCOMPARE(after.size(), QSize(1203, 1601));
    QCOMPARE(jpegSubsampling(turned), int(TJSAMP_420));
    // Re-encoded at high quality: close to the exact turn everywhere, edges included.
    const QImage exact = before.transformed(QTransform().rotate(90));
    // (The scene's sharp colour stripes are a hard case for 4:2:0; photos score higher.)
    QVERIFY2(psnr(after, exact) > 32, qPrintable(QString::number(psnr(after, exact))));
    QVERIFY(psnr(after.copy(0, 1590, 1203, 11), exact.copy(0, 1590, 1203, 11)) > 30);
    QVERIFY(psnr(after.copy(1190, 0, 13, 1601), exact.copy(1190, 0, 13, 1601)) > 30);

    QCOMPARE(imageRotation(path("odd.jpg").toUtf8(), -90), int(IMG_OK));
    after = decodeJpeg(readAll(path("odd.jpg")));
    QCOMPARE(after.size(), QSize(1601, 1203));
    QVERIFY(psnr(after, before) > 30);
}

void TestImageSdk::jpegMetadataFollowsTheTurn()
{
    for (const QSize &size : {QSize(640, 480), QSize(641, 479)}) { // lossless, then re-encoded
        QByteArray jpeg = encodeJpeg(scene(size.width(), size.height(), 5), TJSAMP_420);
        setJfifDensity(jpeg, 300, 150);
        insertExifOrientation(jpeg, 6, size.width() % 2 == 0);
        jpeg.insert(2, QByteArray("\xFF\xFE\0\x0Epagelux-test", 16)); // a comment segment
        QVERIFY(writeAll(path("m.jpg"), jpeg));
        QVERIFY(::chmod(path("m.jpg").toUtf8(), 0640) == 0);

        QCOMPARE(imageRotation(path("m.jpg").toUtf8(), 90), int(IMG_OK));
        const QByteArray turned = readAll(path("m.jpg"));
        QCOMPARE(jfifDensity(turned), qMakePair(150, 300));
        QCOMPARE(exifOrientation(turned), 6); // the turn is in the pixels, the orientation stays
        QVERIFY(turned.contains("pagelux-test"));
        struct stat st;
        QVERIFY(::stat(path("m.jpg").toUtf8(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0640u);
        QCOMPARE(imageRotation(path("m.jpg").toUtf8(), 180), int(IMG_OK));
        QCOMPARE(jfifDensity(readAll(path("m.jpg"))), qMakePair(150, 300));
    }
}

void TestImageSdk::mirroredExifTurnsAsShown()
{
    // Orientation 2 shows the picture mirrored left to right: the red marker
    // stored top left is shown top right. Turning what is shown clockwise
    // takes it to the bottom right, so the stored marker ends bottom left.
    QByteArray jpeg = encodeJpeg(scene(320, 240, 6), TJSAMP_420, 95);
    insertExifOrientation(jpeg, 2, true);
    QVERIFY(writeAll(path("m.jpg"), jpeg));
    QCOMPARE(imageRotation(path("m.jpg").toUtf8(), 90), int(IMG_OK));
    const QImage stored = decodeJpeg(readAll(path("m.jpg")));
    QCOMPARE(stored.size(), QSize(240, 320));
    const QRgb corner = stored.pixel(5, stored.height() - 5);
    QVERIFY(qRed(corner) > 200 && qGreen(corner) < 60);
    QCOMPARE(exifOrientation(readAll(path("m.jpg"))), 2);
}

void TestImageSdk::embeddedThumbnailServesWhenItFits_data()
{
    QTest::addColumn<QSize>("thumbnail");
    QTest::addColumn<bool>("corrupt");
    QTest::addColumn<bool>("used");
    QTest::newRow("fits") << QSize(160, 120) << false << true;
    QTest::newRow("rounded a pixel") << QSize(160, 121) << false << true;
    QTest::newRow("too small") << QSize(80, 60) << false << false;
    QTest::newRow("other shape") << QSize(160, 90) << false << false;
    QTest::newRow("corrupt") << QSize(160, 120) << true << false;
}

// A preview of 128x128 of a 640x480 picture: its thumbnail, else a decode at a quarter;
// a turn takes a good thumbnail along and leaves no stale one.
void TestImageSdk::embeddedThumbnailServesWhenItFits()
{
    QFETCH(QSize, thumbnail);
    QFETCH(bool, corrupt);
    QFETCH(bool, used);
    QByteArray small = encodeJpeg(scene(thumbnail.width(), thumbnail.height(), 2), TJSAMP_420, 95);
    const QImage expected = decodeJpeg(small);
    small.truncate(corrupt ? small.size() / 2 : small.size());
    const QByteArray picture = encodeJpeg(scene(640, 480, 1), TJSAMP_420);
    std::vector<std::uint8_t> jpeg(picture.begin(), picture.end());
    exifthumbnail::embed(jpeg, {small.begin(), small.end()});
    QVERIFY(
        writeAll(path("t.jpg"), QByteArray(reinterpret_cast<const char *>(jpeg.data()), int(jpeg.size()))));
    for (int turn : {0, 90}) {
        QCOMPARE(imageRotation(path("t.jpg").toUtf8(), turn), int(IMG_OK));
        unsigned char *pixels = nullptr;
        int w = 0, h = 0, fromThumbnail = -1;
        QCOMPARE(imageReadPreview(path("t.jpg").toUtf8(), 128, 128, &pixels, &w, &h, &fromThumbnail),
                 int(IMG_OK));
        const QImage shown = QImage(pixels, w, h, 3 * w, QImage::Format_RGB888).copy();
        imageFree(pixels);
        QCOMPARE(fromThumbnail, int(used));
        const QSize size = used ? thumbnail : QSize(160, 120);
        QCOMPARE(shown.size(), turn ? size.transposed() : size);
        if (used)
            QVERIFY(psnr(shown, expected.transformed(QTransform().rotate(turn))) > (turn ? 30 : 98));
    }
}

void TestImageSdk::cmykJpegKeepsItsInks()
{
    // Four planes of ink; the fourth (black) carries the orientation marker.
    for (const QSize &size : {QSize(320, 240), QSize(321, 241)}) { // lossless, then re-encoded
        const int w = size.width(), h = size.height();
        QVector<uchar> inks(w * h * 4), out(w * h * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uchar *p = inks.data() + 4 * (y * w + x);
                p[0] = uchar(x), p[1] = uchar(y), p[2] = uchar(128), p[3] = x < 40 && y < 40 ? 250 : 10;
            }
        tjhandle tj = tjInitCompress();
        unsigned char *jpeg = nullptr;
        unsigned long jpegSize = 0;
        QCOMPARE(tjCompress2(tj, inks.data(), w, 0, h, TJPF_CMYK, &jpeg, &jpegSize, TJSAMP_444, 95, 0), 0);
        QVERIFY(writeAll(path("cmyk.jpg"), QByteArray(reinterpret_cast<char *>(jpeg), int(jpegSize))));
        tjFree(jpeg);
        tjDestroy(tj);

        QCOMPARE(imageRotation(path("cmyk.jpg").toUtf8(), 90), int(IMG_OK));
        const QByteArray turned = readAll(path("cmyk.jpg"));
        const auto *data = reinterpret_cast<const uchar *>(turned.constData());
        tjhandle dec = tjInitDecompress();
        int tw = 0, th = 0, samp = 0, cs = 0;
        QCOMPARE(tjDecompressHeader3(dec, data, turned.size(), &tw, &th, &samp, &cs), 0);
        QCOMPARE(QSize(tw, th), size.transposed());
        QCOMPARE(tjDecompress2(dec, data, turned.size(), out.data(), tw, 0, th, TJPF_CMYK, 0), 0);
        tjDestroy(dec);
        // Clockwise: source (x, y) lands at (h - 1 - y, x). Check the inks at a few places.
        for (const QPoint &src : {QPoint(5, 5), QPoint(200, 100), QPoint(w - 3, h - 3)})
            for (int c = 0; c < 4; ++c)
                QVERIFY2(std::abs(inks[4 * (src.y() * w + src.x()) + c] -
                                  out[4 * (src.x() * tw + h - 1 - src.y()) + c]) <= 12,
                         qPrintable(QString("ink %1 at %2,%3").arg(c).arg(src.x()).arg(src.y())));
    }
}

void TestImageSdk::linkedPictureTurnsBehindTheLink()
{
    QVERIFY(QDir(m_dir->path()).mkdir("store"));
    QVERIFY(writeAll(path("store/p.jpg"), encodeJpeg(scene(320, 240, 4), TJSAMP_420)));
    QVERIFY(QFile::link(path("store/p.jpg"), path("link.jpg")));
    QCOMPARE(imageRotation(path("link.jpg").toUtf8(), -90), int(IMG_OK));
    QVERIFY(QFileInfo(path("link.jpg")).isSymLink());
    QCOMPARE(decodeJpeg(readAll(path("store/p.jpg"))).size(), QSize(240, 320));
    QCOMPARE(QDir(path("store")).entryList(QDir::Files | QDir::Hidden), QStringList{"p.jpg"});
}

void TestImageSdk::rasterFormatsTurnExactly_data()
{
    addLosslessFormatRows();
}

void TestImageSdk::rasterFormatsTurnExactly()
{
    QFETCH(QString, name);
    QFETCH(int, format);
    QImage src = scene(301, 199, 9);
    if (format == QImage::Format_ARGB32) {
        src = src.convertToFormat(QImage::Format_ARGB32);
        for (int x = 0; x < src.width(); ++x)
            src.setPixel(x, 10, qRgba(x % 256, 0, 0, x % 256));
    } else {
        src = src.convertToFormat(QImage::Format(format));
    }
    src.setText("Title", "Invoice 7"); // kept by PNG
    src.setDotsPerMeterX(11811);       // 300 dpi
    src.setDotsPerMeterY(5906);        // 150 dpi
    const QByteArray file = path(name).toUtf8();
    QVERIFY(savePicture(src, path(name)));
    const auto load = [&] {
        PIX *pix = pixRead(file);
        PIX *rgba = pix ? pixConvertTo32(pix) : nullptr;
        QImage img(rgba ? pixGetWidth(rgba) : 0, rgba ? pixGetHeight(rgba) : 0, QImage::Format_ARGB32);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                l_uint32 v = 0;
                pixGetPixel(rgba, x, y, &v);
                img.setPixel(x, y, v);
            }
        pixDestroy(&pix);
        pixDestroy(&rgba);
        return img;
    };
    const QImage before = load();
    QVERIFY(!before.isNull());

    QCOMPARE(imageRotation(file, 90), int(IMG_OK));
    QCOMPARE(load(), before.transformed(QTransform().rotate(90)));
    PIX *header = pixRead(file);
    QCOMPARE(pixGetXRes(header), 150); // densities swap with the axes
    QCOMPARE(pixGetYRes(header), 300);
    pixDestroy(&header);
    QCOMPARE(imageRotation(file, -180), int(IMG_OK));
    QCOMPARE(load(), before.transformed(QTransform().rotate(-90)));
    QCOMPARE(imageRotation(file, 90), int(IMG_OK));
    QCOMPARE(load(), before);
    if (name.endsWith(".png"))
        QCOMPARE(QImage(path(name)).text("Title"), QString("Invoice 7"));
    QCOMPARE(entries(), QStringList{name});
}

void TestImageSdk::tiffDensityStaysAsItWas_data()
{
    QTest::addColumn<TiffDensity>("density");
    QTest::newRow("none") << TiffDensity{};
    QTest::newRow("300 x 150 per inch") << TiffDensity{300, 150, RESUNIT_INCH};
    QTest::newRow("118 x 59 per cm") << TiffDensity{118, 59, RESUNIT_CENTIMETER};
    QTest::newRow("no unit") << TiffDensity{2, 1, 0};
}

void TestImageSdk::tiffDensityStaysAsItWas()
{
    QFETCH(TiffDensity, density);
    QVERIFY(writeAll(path("p.tif"), makeTiff(PHOTOMETRIC_MINISBLACK, 1, density)));
    QCOMPARE(imageRotation(path("p.tif").toUtf8(), 90), int(IMG_OK));
    const TiffDensity turned = tiffDensity(path("p.tif"));
    QCOMPARE(turned.x, density.y); // the axes swap with the turn
    QCOMPARE(turned.y, density.x);
    QCOMPARE(turned.unit, density.unit);
    QCOMPARE(imageRotation(path("p.tif").toUtf8(), 90), int(IMG_OK));
    QVERIFY(tiffDensity(path("p.tif")) == density);
}

void TestImageSdk::longNamesWork()
{
    // 80 Chinese characters: 244 bytes with the extension, a legal name.
    const QString stem = QString(80, QChar(0x9875));
    const QString jpg = path(stem + ".jpg"), png = path(stem + ".png");
    QVERIFY(writeAll(jpg, encodeJpeg(scene(320, 240, 4), TJSAMP_420)));
    QVERIFY(scene(200, 100, 3).save(png));
    QCOMPARE(imageRotation(jpg.toUtf8(), 90), int(IMG_OK));
    QCOMPARE(imageRotation(png.toUtf8(), 90), int(IMG_OK));
    QCOMPARE(QImage(png).size(), QSize(100, 200));
    QCOMPARE(CombineImage(jpg.toUtf8(), png.toUtf8(), path(stem + ".bmp").toUtf8(), 0, 0, 0, 0, 0), 0L);
    QCOMPARE(entries(), QStringList({stem + ".bmp", stem + ".jpg", stem + ".png"}));
}

void TestImageSdk::badFilesAreLeftUntouched_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("status");
    const QByteArray jpeg = encodeJpeg(scene(640, 480, 2), TJSAMP_420);
    const QByteArray oddJpeg = encodeJpeg(scene(641, 481, 2), TJSAMP_420);
    const auto pngOf = [](const QImage &image) {
        QByteArray png;
        QBuffer buf(&png);
        buf.open(QIODevice::WriteOnly);
        image.save(&buf, "PNG");
        return png;
    };
    const QByteArray png = pngOf(scene(200, 100, 2));
    const QByteArray png16 = pngOf(scene(50, 40, 2).convertToFormat(QImage::Format_RGBX64));
    QByteArray corruptScan = jpeg;
    for (int i = corruptScan.size() / 2; i < corruptScan.size() / 2 + 400; ++i)
        corruptScan[i] = char(0xFF); // markers in the middle of the entropy-coded data
    QTest::newRow("empty") << "e.jpg" << QByteArray() << int(IMG_ERR_UNREADABLE);
    QTest::newRow("garbage") << "g.jpg" << QByteArray(3000, 'z') << int(IMG_ERR_UNREADABLE);
    QTest::newRow("truncated jpeg, lossless path")
        << "t.jpg" << jpeg.left(jpeg.size() * 2 / 3) << int(IMG_ERR_UNREADABLE);
    QTest::newRow("truncated jpeg, re-encode path")
        << "t.jpg" << oddJpeg.left(oddJpeg.size() * 2 / 3) << int(IMG_ERR_UNREADABLE);
    QTest::newRow("corrupt scan") << "c.jpg" << corruptScan << int(IMG_ERR_UNREADABLE);
    QTest::newRow("header only") << "h.jpg" << jpeg.left(300) << int(IMG_ERR_UNREADABLE);
    QTest::newRow("truncated png") << "t.png" << png.left(png.size() / 2) << int(IMG_ERR_UNREADABLE);
    QTest::newRow("16-bit png") << "d.png" << png16 << int(IMG_ERR_UNSUPPORTED);
    QTest::newRow("jpeg claiming 60000x60000") << "huge.jpg" << hugeJpeg() << int(IMG_ERR_UNSUPPORTED);
    QTest::newRow("bmp claiming 60000x60000") << "huge.bmp" << hugeBmp() << int(IMG_ERR_UNREADABLE);
    QTest::newRow("pdf") << "x.pdf" << QByteArray("%PDF-1.4\n%%EOF\n") << int(IMG_ERR_UNREADABLE);
    // Decoded, these would come back as RGB.
    QTest::newRow("cmyk tiff") << "k.tif" << makeTiff(PHOTOMETRIC_SEPARATED, 4) << int(IMG_ERR_UNSUPPORTED);
    QTest::newRow("lab tiff") << "l.tif" << makeTiff(PHOTOMETRIC_CIELAB, 3) << int(IMG_ERR_UNSUPPORTED);
    QTest::newRow("ycbcr tiff") << "y.tif" << makeTiff(PHOTOMETRIC_YCBCR, 3) << int(IMG_ERR_UNSUPPORTED);
}

void TestImageSdk::badFilesAreLeftUntouched()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, status);
    QVERIFY(writeAll(path(name), content));
    QCOMPARE(imageRotation(path(name).toUtf8(), 90), status);
    QCOMPARE(readAll(path(name)), content);
    QCOMPARE(entries(), QStringList{name});
}

void TestImageSdk::garbageArguments()
{
    const QByteArray jpeg = encodeJpeg(scene(64, 48, 1), TJSAMP_420);
    QVERIFY(writeAll(path("a.jpg"), jpeg));
    QCOMPARE(imageRotation(nullptr, 90), int(IMG_ERR_ARGUMENT));
    QCOMPARE(imageRotation("", 90), int(IMG_ERR_ARGUMENT));
    QCOMPARE(imageRotation(path("a.jpg").toUtf8(), 45), int(IMG_ERR_ARGUMENT));
    QCOMPARE(imageRotation(path("missing.jpg").toUtf8(), 90), int(IMG_ERR_UNREADABLE));
    QCOMPARE(imageRotation(m_dir->path().toUtf8(), 90), int(IMG_ERR_UNREADABLE));
    // Not a regular file: refused at once rather than waiting for a writer.
    QCOMPARE(::mkfifo(path("fifo.jpg").toUtf8(), 0600), 0);
    QCOMPARE(imageRotation(path("fifo.jpg").toUtf8(), 90), int(IMG_ERR_UNREADABLE));
    QCOMPARE(CombineImage(path("a.jpg").toUtf8(), path("fifo.jpg").toUtf8(), path("b.jpg").toUtf8(), 0, 0, 0,
                          0, 0),
             -1L);
    QVERIFY(QFile::remove(path("fifo.jpg")));
    QCOMPARE(imageRotation(path("a.jpg").toUtf8(), 360), int(IMG_OK));
    QCOMPARE(imageRotation(path("a.jpg").toUtf8(), 0), int(IMG_OK));
    QCOMPARE(readAll(path("a.jpg")), jpeg);
    QCOMPARE(entries(), QStringList{"a.jpg"});
}

QTEST_GUILESS_MAIN(TestImageSdk)
#include "tst_imagesdk.moc"

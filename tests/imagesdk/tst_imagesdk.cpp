// The image library seen through its C API: joining card sides and rotating
// stored pictures in place.
#include "ImageSDK.h"
#include "exifthumbnail.h"
#include "scratchfolder.h"
#include "testpictures.h"

#include <QDir>
#include <QImageReader>
#include <QtTest>
#include <sys/stat.h>
#include <tiffio.h>
#include <turbojpeg.h>

using namespace testpictures;

namespace {

// A 16x12 uncompressed CMYK TIFF (Qt writes none).
QByteArray cmykTiff()
{
    ScratchFolder dir;
    TIFF *tif = TIFFOpen(dir.filePath("t.tif").toUtf8(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 16);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 12);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
    QByteArray pixels(16 * 12 * 4, '\x5a');
    TIFFWriteEncodedStrip(tif, 0, pixels.data(), pixels.size());
    TIFFClose(tif);
    return readAll(dir.filePath("t.tif"));
}

QSize dpiOf(const QImage &image)
{
    return QSize(qRound(image.dotsPerMeterX() * 0.0254), qRound(image.dotsPerMeterY() * 0.0254));
}

} // namespace

class TestImageSdk : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.renew()); }

    void joinBothLayouts_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("outName");
        QTest::addColumn<QSize>("expected");
        // Front 400x300, back 200x100: the back is scaled by 3 (height) or 2 (width).
        QTest::newRow("side by side, jpg") << 0 << "card.jpg" << QSize(1000, 300);
        // 80 Chinese characters: 244 bytes with the extension, a legal name.
        QTest::newRow("stacked, png") << 1 << QString(80, QChar(0x9875)) + ".png" << QSize(400, 500);
        QTest::newRow("side by side, bmp") << 0 << "card.BMP" << QSize(1000, 300);
        QTest::newRow("stacked, tiff") << 1 << "card.tiff" << QSize(400, 500);
    }
    void joinBothLayouts()
    {
        QFETCH(int, mode);
        QFETCH(QString, outName);
        QFETCH(QSize, expected);
        QImage front(400, 300, QImage::Format_RGB888), back(200, 100, QImage::Format_RGB888);
        front.fill(Qt::red);
        back.fill(Qt::blue);
        QVERIFY(writeAll(path("a.jpg"), encodeJpeg(front, TJSAMP_444, 95, 300)));
        QVERIFY(back.save(path("b.png")));
        QCOMPARE(CombineImage(path("a.jpg").toUtf8(), path("b.png").toUtf8(), path(outName).toUtf8(), mode, 0,
                              0, 0, 0),
                 0L);
        const QImage joined(path(outName));
        QCOMPARE(joined.size(), expected);
        // Front first (left or top), back after it, no seam of background between them.
        const auto is = [&](int x, int y, QColor c) { return joined.pixelColor(x, y).hue() == c.hue(); };
        QVERIFY2(is(5, 5, Qt::red), "front side missing");
        QVERIFY2(is(expected.width() - 5, expected.height() - 5, Qt::blue), "back side missing");
        QVERIFY2(is(mode == 0 ? 401 : 200, mode == 0 ? 150 : 301, Qt::blue), "gap between the sides");
        // The density of the unscaled side travels with the joined picture.
        if (outName.endsWith(".jpg"))
            QCOMPARE(dpiOf(QImage(path(outName))).width(), 300);
        QCOMPARE(m_dir.files().size(), 3);
    }

    void refusalsLeaveEverythingAsItWas()
    {
        const QByteArray good = encodeJpeg(scene(120, 80, 1), TJSAMP_420);
        QVERIFY(writeAll(path("good.jpg"), good));
        QVERIFY(writeAll(path("truncated.jpg"), good.left(good.size() / 2)));
        QVERIFY(writeAll(path("huge.bmp"), hugeBmp()));
        // A named pipe, never opened: it would hang.
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo.jpg")).constData(), 0600), 0);
        const QByteArray g = path("good.jpg").toUtf8(), out = path("out.jpg").toUtf8(),
                         fifo = path("fifo.jpg").toUtf8();
        // One row for each kind of mistake.
        const struct {
            QByteArray front, back, out;
            int mode;
        } joins[] = {{path("missing.jpg").toUtf8(), g, out, 0},
                     {g, path("truncated.jpg").toUtf8(), out, 1},
                     {g, path("huge.bmp").toUtf8(), out, 0},
                     {fifo, g, out, 0},
                     {g, g, out, 2},
                     {g, g, path("out.xyz").toUtf8(), 0},
                     {g, g, path("nofolder/out.jpg").toUtf8(), 0}};
        for (const auto &join : joins)
            QCOMPARE(CombineImage(join.front, join.back, join.out, join.mode, 0, 0, 0, 0), -1L);
        QCOMPARE(CombineImage(g, g, nullptr, 0, 0, 0, 0, 0), -1L);

        const struct {
            QByteArray file;
            int angle, status;
        } turns[] = {{path("missing.jpg").toUtf8(), 90, IMG_ERR_UNREADABLE},
                     {fifo, 90, IMG_ERR_UNREADABLE},
                     {g, 45, IMG_ERR_ARGUMENT},
                     {g, 360, IMG_OK}};
        for (const auto &turn : turns)
            QCOMPARE(imageRotation(turn.file, turn.angle), turn.status);
        QCOMPARE(imageRotation(nullptr, 90), int(IMG_ERR_ARGUMENT));
        QCOMPARE(readAll(path("good.jpg")), good);
        QCOMPARE(m_dir.files(), QStringList({"good.jpg", "huge.bmp", "truncated.jpg"}));
    }

    void jpegTurnsKeepThePicture_data()
    {
        QTest::addColumn<int>("subsamp");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<int>>("turns");
        const QSize aligned(1600, 1200); // whole 16x16 blocks
        QTest::newRow("4:2:0, four right turns") << int(TJSAMP_420) << aligned << QList<int>{90, 90, 90, 90};
        QTest::newRow("4:2:2, half turns") << int(TJSAMP_422) << aligned << QList<int>{180, 180};
        QTest::newRow("4:4:4, 270 and 90") << int(TJSAMP_444) << QSize(808, 600) << QList<int>{270, 90};
        QTest::newRow("grey, four right turns")
            << int(TJSAMP_GRAY) << QSize(808, 600) << QList<int>{90, 90, 90, 90};
        QTest::newRow("progressive 4:2:0, right then left")
            << int(TJSAMP_420) << QSize(640, 480) << QList<int>{90, -90};
        QTest::newRow("4:2:0, partial blocks, right then left")
            << int(TJSAMP_420) << QSize(1601, 1203) << QList<int>{90, -90};
        QTest::newRow("mirrored 4:2:0, partial blocks, right")
            << int(TJSAMP_420) << QSize(641, 479) << QList<int>{90};
    }
    // Through a symbolic link with a 244-byte name: the picture behind it turns, with its densities and
    // its EXIF orientation; the link stays a link.
    void jpegTurnsKeepThePicture()
    {
        QFETCH(int, subsamp);
        QFETCH(QSize, size);
        QFETCH(QList<int>, turns);
        const QByteArray tag = QTest::currentDataTag();
        const bool progressive = tag.startsWith("progressive"), mirrored = tag.startsWith("mirrored");
        const bool lossless =
            size.width() % tjMCUWidth[subsamp] == 0 && size.height() % tjMCUHeight[subsamp] == 0;
        QByteArray original = encodeJpeg(scene(size.width(), size.height(), 7, subsamp == TJSAMP_GRAY),
                                         subsamp, 92, 0, progressive);
        const QImage before = decodeJpeg(original);
        QVERIFY(!before.isNull());
        setJfifDensity(original, 300, 150);
        if (mirrored) // turning the mirrored picture shown clockwise turns the stored one counter-clockwise
            insertExifOrientation(original, 2, true);
        const QString name = QString(80, QChar(0x9875)) + ".jpg", stored = path("store/p.jpg");
        QVERIFY(QDir(m_dir.path()).mkdir("store") && QFile::link(stored, path(name)));
        QVERIFY(writeAll(stored, original));
        int sum = 0, turnedSubsamp = -1;
        for (int angle : turns) {
            QCOMPARE(imageRotation(path(name).toUtf8(), angle), int(IMG_OK));
            sum += angle;
            const QImage now = decodeJpeg(readAll(stored)),
                         exact = before.transformed(QTransform().rotate(mirrored ? -sum : sum));
            QCOMPARE(now.size(), exact.size());
            // A lossless turn moves the DCT blocks: only the decoder's rounding may differ from the exact
            // turn. A re-encoded one (once, then twice) stays close to it, the last rows and columns
            // included, so a trimmed or smeared edge fails (the scene's colour stripes are hard on 4:2:0).
            const QRect bottom(0, now.height() - 11, now.width(), 11),
                right(now.width() - 13, 0, 13, now.height());
            if (lossless)
                QVERIFY(compare(now, exact).max <= 6);
            else
                QVERIFY(compare(now, exact).psnr > (sum == angle ? 32 : 30) &&
                        compare(now.copy(bottom), exact.copy(bottom)).psnr > 30 &&
                        compare(now.copy(right), exact.copy(right)).psnr > 30);
        }
        QVERIFY(decodeJpeg(readAll(stored), &turnedSubsamp) == before || !lossless);
        QCOMPARE(turnedSubsamp, subsamp);
        QCOMPARE(readAll(stored).contains("\xFF\xC2"), progressive); // start of a progressive frame
        QImageReader reader(stored);
        QCOMPARE(reader.transformation(),
                 mirrored ? QImageIOHandler::TransformationMirror : QImageIOHandler::TransformationNone);
        QCOMPARE(dpiOf(reader.read()), sum % 180 ? QSize(150, 300) : QSize(300, 150));
        QVERIFY(QFileInfo(path(name)).isSymLink());
        QCOMPARE(QDir(path("store")).entryList(QDir::Files | QDir::Hidden), QStringList{"p.jpg"});
    }

    void embeddedThumbnailServesWhenItFits_data()
    {
        QTest::addColumn<QSize>("thumbnail");
        QTest::addColumn<bool>("corrupt");
        QTest::addColumn<bool>("used");
        QTest::newRow("fits") << QSize(160, 120) << false << true;
        QTest::newRow("too small") << QSize(80, 60) << false << false;
        QTest::newRow("other shape") << QSize(200, 112) << false << false;
        QTest::newRow("corrupt") << QSize(160, 120) << true << false;
    }
    // A preview of 128x128 of a 640x480 picture: its thumbnail, else a decode at a quarter;
    // a turn takes a good thumbnail along and leaves no stale one.
    void embeddedThumbnailServesWhenItFits()
    {
        QFETCH(QSize, thumbnail);
        QFETCH(bool, corrupt);
        QFETCH(bool, used);
        QByteArray small = encodeJpeg(scene(thumbnail.width(), thumbnail.height(), 2), TJSAMP_420, 95);
        small.truncate(corrupt ? small.size() / 2 : small.size());
        const QByteArray picture = encodeJpeg(scene(640, 480, 1), TJSAMP_420);
        std::vector<std::uint8_t> jpeg(picture.begin(), picture.end());
        exifthumbnail::embed(jpeg, {small.begin(), small.end()});
        QVERIFY(writeAll(path("t.jpg"),
                         QByteArray(reinterpret_cast<const char *>(jpeg.data()), int(jpeg.size()))));
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
            QVERIFY(!used || compare(shown, decodeJpeg(small).transformed(QTransform().rotate(turn))).psnr >
                                 (turn ? 30 : 98));
        }
    }

    void rasterFormatsTurnExactly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format");
        for (const LosslessFormat &lossless : losslessFormats())
            QTest::newRow(qPrintable(lossless.name)) << lossless.name << int(lossless.format);
    }
    void rasterFormatsTurnExactly()
    {
        QFETCH(QString, name);
        QFETCH(int, format);
        QImage src = scene(301, 199, 9).convertToFormat(QImage::Format(format));
        for (int x = 0; format == QImage::Format_ARGB32 && x < src.width(); ++x)
            src.setPixel(x, 10, qRgba(x % 256, 0, 0, x % 256));
        src.setDotsPerMeterX(11811); // 300 dpi
        src.setDotsPerMeterY(5906);  // 150 dpi
        QVERIFY(src.save(path(name)));
        const QImage before = QImage(path(name)).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!before.isNull());
        int sum = 0;
        for (int angle : {90, -180, 90}) {
            QCOMPARE(imageRotation(path(name).toUtf8(), angle), int(IMG_OK));
            sum += angle;
            const QImage turned(path(name)); // as Qt, an independent reader, reads it
            QCOMPARE(turned.convertToFormat(QImage::Format_ARGB32),
                     before.transformed(QTransform().rotate(sum)));
            QCOMPARE(dpiOf(turned), sum % 180 ? QSize(150, 300) : QSize(300, 150)); // swapped with the axes
        }
        QCOMPARE(m_dir.files(), QStringList{name});
    }

    void badFilesAreLeftUntouched_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("status");
        const QByteArray jpeg = encodeJpeg(scene(640, 480, 2), TJSAMP_420);
        const QByteArray oddJpeg = encodeJpeg(scene(641, 481, 2), TJSAMP_420);
        ScratchFolder dir;
        QVERIFY(scene(200, 100, 2).save(dir.filePath("p.png")));
        QVERIFY(scene(50, 40, 2).convertToFormat(QImage::Format_RGBX64).save(dir.filePath("deep.png")));
        const QByteArray png = readAll(dir.filePath("p.png"));
        QByteArray corruptScan = jpeg;
        corruptScan.replace(jpeg.size() / 2, 400, QByteArray(400, '\xFF')); // markers amid the coded data
        QTest::newRow("empty") << "e.jpg" << QByteArray() << int(IMG_ERR_UNREADABLE);
        QTest::newRow("truncated jpeg, lossless path")
            << "t.jpg" << jpeg.left(jpeg.size() * 2 / 3) << int(IMG_ERR_UNREADABLE);
        QTest::newRow("truncated jpeg, re-encode path")
            << "t.jpg" << oddJpeg.left(oddJpeg.size() * 2 / 3) << int(IMG_ERR_UNREADABLE);
        QTest::newRow("corrupt scan") << "c.jpg" << corruptScan << int(IMG_ERR_UNREADABLE);
        QTest::newRow("truncated png") << "t.png" << png.left(png.size() / 2) << int(IMG_ERR_UNREADABLE);
        QTest::newRow("16-bit png") << "d.png" << readAll(dir.filePath("deep.png"))
                                    << int(IMG_ERR_UNSUPPORTED);
        QTest::newRow("jpeg claiming 60000x60000") << "huge.jpg" << hugeJpeg() << int(IMG_ERR_UNSUPPORTED);
        // Decoded, these would come back as RGB.
        QTest::newRow("cmyk tiff") << "k.tif" << cmykTiff() << int(IMG_ERR_UNSUPPORTED);
    }
    void badFilesAreLeftUntouched()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(int, status);
        QVERIFY(writeAll(path(name), content));
        QCOMPARE(imageRotation(path(name).toUtf8(), 90), status);
        QCOMPARE(readAll(path(name)), content);
        QCOMPARE(m_dir.files(), QStringList{name});
    }

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    ScratchFolder m_dir;
};

QTEST_GUILESS_MAIN(TestImageSdk)
#include "tst_imagesdk.moc"

// The PDF half of the document library through its C API: collecting pictures
// and merging them into one PDF.
#include "DocumentSDK.h"
#include "filerace.h"
#include "ocrtruth.h"
#include "smalldisk.h"
#include "testpictures.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <leptonica/allheaders.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <sys/inotify.h>
#include <thread>
#include <turbojpeg.h>

using namespace testpictures;
using ocrtruth::run;

namespace {

struct PageInfo {
    double width = 0, height = 0; // points
    QByteArray filter;
    QByteArray rawData; // the image stream as stored
};

QList<PageInfo> pagesOf(const QString &file)
{
    QList<PageInfo> pages;
    QPDF pdf;
    pdf.processFile(file.toUtf8().constData());
    for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        PageInfo info;
        QPDFObjectHandle box = page.getObjectHandle().getKey("/MediaBox");
        info.width = box.getArrayItem(2).getNumericValue();
        info.height = box.getArrayItem(3).getNumericValue();
        for (auto &entry : page.getImages()) {
            QPDFObjectHandle filter = entry.second.getDict().getKey("/Filter");
            info.filter = filter.isName() ? QByteArray::fromStdString(filter.getName()) : QByteArray();
            auto raw = entry.second.getRawStreamData();
            info.rawData = QByteArray(reinterpret_cast<const char *>(raw->getBuffer()), int(raw->getSize()));
        }
        pages << info;
    }
    return pages;
}

bool qpdfCheckPasses(const QString &file)
{
    int code = -1;
    const QByteArray out = run("qpdf", {"--check", file}, &code);
    if (code != 0)
        qWarning() << out;
    return code == 0;
}

} // namespace

class TestDocumentPdf : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void jpegPagesPassThroughWithDensitySizes();
    void losslessPagesRenderExactly_data();
    void losslessPagesRenderExactly();
    void exifOrientationShapesThePage_data();
    void exifOrientationShapesThePage();
    void twentyA4PagesAndAPngStaySmall();
    void nothingToMergeWritesNothing();
    void unreadablePicturesAreSkipped();
    void unwritableOutputFolder();
    void fullDiskLeavesNothing_data();
    void fullDiskLeavesNothing();
    void pictureTurnedDuringMergeFailsIt();
    void concurrentAddsAreAllKept();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList entries() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); }
    QByteArray addJpeg(const QString &name, int w, int h, int dpi, int seed = 1);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDocumentPdf::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    deleteFile();
}

void TestDocumentPdf::cleanup()
{
    deleteFile();
}

QByteArray TestDocumentPdf::addJpeg(const QString &name, int w, int h, int dpi, int seed)
{
    const QByteArray jpeg = encodeJpeg(scene(w, h, seed), TJSAMP_420, 85, dpi);
    writeAll(path(name), jpeg);
    addFile(path(name).toUtf8());
    return jpeg;
}

void TestDocumentPdf::jpegPagesPassThroughWithDensitySizes()
{
    const QByteArray a = addJpeg("a.jpg", 827, 1169, 100);    // A4 at 100 dpi
    const QByteArray b = addJpeg("b.jpg", 1200, 600, 0);      // no density: 200 dpi
    const QByteArray c = addJpeg("c.jpeg", 300, 300, 300, 2); // one inch square
    QByteArray grey = encodeJpeg(scene(400, 200, 3, true), TJSAMP_GRAY, 80, 0);
    setJfifDensity(grey, 1, 1); // a placeholder density, not a scan resolution
    QVERIFY(writeAll(path("d.jpg"), grey));
    QCOMPARE(addFile(path("d.jpg").toUtf8()), int(DOC_OK));

    QCOMPARE(combinePDF(path("a.pdf").toUtf8()), int(DOC_OK));
    QVERIFY(qpdfCheckPasses(path("a.pdf")));
    const QList<PageInfo> pages = pagesOf(path("a.pdf"));
    QCOMPARE(pages.size(), 4);
    QCOMPARE(qRound(pages[0].width * 10), 5954); // 827 px / 100 dpi = 8.27 in
    QCOMPARE(qRound(pages[0].height * 10), 8417);
    QCOMPARE(qRound(pages[1].width), 432);
    QCOMPARE(qRound(pages[1].height), 216);
    QCOMPARE(qRound(pages[2].width), 72);
    QCOMPARE(qRound(pages[3].width), 144);
    const QList<QByteArray> inputs{a, b, c, grey};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(pages[i].filter, QByteArray("/DCTDecode"));
        QVERIFY2(pages[i].rawData == inputs[i], "JPEG bytes changed on the way into the PDF");
    }
    const QByteArray list = run("pdfimages", {"-list", path("a.pdf")});
    QCOMPARE(list.count(" jpeg "), 4);
    QVERIFY(list.contains(" gray "));
    QCOMPARE(entries(), QStringList({"a.jpg", "a.pdf", "b.jpg", "c.jpeg", "d.jpg"}));
}

void TestDocumentPdf::losslessPagesRenderExactly_data()
{
    addLosslessFormatRows();
}

void TestDocumentPdf::losslessPagesRenderExactly()
{
    QFETCH(QString, name);
    QFETCH(int, format);
    // Opaque alpha: the page shows the colour values themselves.
    const QImage src = scene(240, 160, 4).convertToFormat(QImage::Format(format));
    QImage withDensity = src;
    withDensity.setDotsPerMeterX(2835); // 72 dpi: one pixel per point
    withDensity.setDotsPerMeterY(2835);
    QVERIFY(savePicture(withDensity, path(name)));
    QCOMPARE(addFile(path(name).toUtf8()), int(DOC_OK));
    QCOMPARE(combinePDF(path("out.pdf").toUtf8()), int(DOC_OK));
    QVERIFY(qpdfCheckPasses(path("out.pdf")));
    const QList<PageInfo> pages = pagesOf(path("out.pdf"));
    QCOMPARE(pages.size(), 1);
    QCOMPARE(qRound(pages[0].width), 240);
    QVERIFY(pages[0].filter != "/DCTDecode");

    // The image as a PDF reader decodes it (filters, colour space, decode array).
    int code = -1;
    run("pdfimages", {"-png", path("out.pdf"), path("img")}, &code);
    QCOMPARE(code, 0);
    const QImage shown = QImage(path("img-000.png")).convertToFormat(QImage::Format_RGB888);
    QCOMPARE(maxDifference(shown, src.convertToFormat(QImage::Format_RGB888)), 0);
}

void TestDocumentPdf::exifOrientationShapesThePage_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("page");
    QTest::addColumn<QPoint>("marker"); // where the stored top-left corner is shown
    QTest::newRow("upright") << 1 << QSize(240, 160) << QPoint(5, 5);
    QTest::newRow("mirrored") << 2 << QSize(240, 160) << QPoint(234, 5);
    QTest::newRow("upside down") << 3 << QSize(240, 160) << QPoint(234, 154);
    QTest::newRow("transposed") << 5 << QSize(160, 240) << QPoint(5, 5);
    QTest::newRow("turned right") << 6 << QSize(160, 240) << QPoint(154, 5);
    QTest::newRow("turned left") << 8 << QSize(160, 240) << QPoint(5, 234);
}

void TestDocumentPdf::exifOrientationShapesThePage()
{
    QFETCH(int, orientation);
    QFETCH(QSize, page);
    QFETCH(QPoint, marker);
    QByteArray jpeg = encodeJpeg(scene(240, 160, 3), TJSAMP_444, 95, 72);
    insertExifOrientation(jpeg, orientation, orientation % 2 == 0);
    QVERIFY(writeAll(path("o.jpg"), jpeg));
    addFile(path("o.jpg").toUtf8());
    QCOMPARE(combinePDF(path("o.pdf").toUtf8()), int(DOC_OK));
    QVERIFY(qpdfCheckPasses(path("o.pdf")));
    const PageInfo info = pagesOf(path("o.pdf")).value(0);
    QCOMPARE(QSize(qRound(info.width), qRound(info.height)), page);
    QVERIFY(info.rawData == jpeg);

    int code = -1;
    run("pdftoppm", {"-r", "72", "-png", "-singlefile", path("o.pdf"), path("shown")}, &code);
    QCOMPARE(code, 0);
    const QImage shown(path("shown.png"));
    QCOMPARE(shown.size(), page);
    const QRgb c = shown.pixel(marker);
    QVERIFY2(qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60, qPrintable(QString::number(c, 16)));
}

void TestDocumentPdf::twentyA4PagesAndAPngStaySmall()
{
    qint64 pictures = 0;
    const QImage page = scene(1654, 2339, 8); // A4 at 200 dpi
    for (int i = 0; i < 20; ++i) {
        const QString name = path(QString("page%1.jpg").arg(i));
        const QByteArray jpeg = encodeJpeg(page, i % 2 ? TJSAMP_422 : TJSAMP_420, 80 + i, 200);
        QVERIFY(writeAll(name, jpeg));
        QCOMPARE(addFile(name.toUtf8()), int(DOC_OK));
        pictures += jpeg.size();
    }
    QVERIFY(scene(800, 600, 5).save(path("photo.png")));
    QCOMPARE(addFile(path("photo.png").toUtf8()), int(DOC_OK));

    QCOMPARE(combinePDF(path("book.pdf").toUtf8()), int(DOC_OK));
    QVERIFY(qpdfCheckPasses(path("book.pdf")));
    const QList<PageInfo> pages = pagesOf(path("book.pdf"));
    QCOMPARE(pages.size(), 21);
    pictures += pages.last().rawData.size(); // the PNG is stored as Flate data
    const qint64 overhead = QFileInfo(path("book.pdf")).size() - pictures;
    QVERIFY2(overhead < 21 * 4096, qPrintable(QString::number(overhead)));
    QCOMPARE(run("pdfimages", {"-list", path("book.pdf")}).count(" jpeg "), 20);
    for (const PageInfo &p : pages.mid(0, 20)) {
        QCOMPARE(qRound(p.width), 595);
        QCOMPARE(qRound(p.height), 842);
    }
}

void TestDocumentPdf::nothingToMergeWritesNothing()
{
    QCOMPARE(combinePDF(path("none.pdf").toUtf8()), int(DOC_ERR_NOTHING_COLLECTED));
    QVERIFY(entries().isEmpty());
    // Emptied by deleteFile: the picture stays, no PDF appears.
    addJpeg("a.jpg", 64, 64, 0);
    QCOMPARE(deleteFile(), int(DOC_OK));
    QCOMPARE(combinePDF(path("a.pdf").toUtf8()), int(DOC_ERR_NOTHING_COLLECTED));
    // Nothing readable.
    QVERIFY(writeAll(path("bad.jpg"), QByteArray("\xFF\xD8\xFF\xE0 not really", 15)));
    addFile(path("bad.jpg").toUtf8());
    addFile(path("gone.png").toUtf8());
    QCOMPARE(combinePDF(path("out.pdf").toUtf8()), int(DOC_ERR_UNREADABLE_INPUT));
    QCOMPARE(entries(), QStringList({"a.jpg", "bad.jpg"}));
}

void TestDocumentPdf::unreadablePicturesAreSkipped()
{
    const QByteArray good = addJpeg("1.jpg", 320, 240, 100);
    QVERIFY(writeAll(path("2.jpg"), good.left(good.size() / 2))); // truncated
    QVERIFY(writeAll(path("3.png"), QByteArray(4000, 'q')));      // garbage
    QVERIFY(writeAll(path("4.bmp"), QByteArray()));               // empty
    for (const char *name : {"2.jpg", "3.png", "4.bmp", "missing.jpg"})
        addFile(path(name).toUtf8());
    addFile(m_dir->path().toUtf8()); // a folder
    addJpeg("6.jpg", 240, 320, 100, 2);

    QCOMPARE(combinePDF(path("mixed.pdf").toUtf8()), int(DOC_ERR_UNREADABLE_INPUT));
    QVERIFY(qpdfCheckPasses(path("mixed.pdf")));
    const QList<PageInfo> pages = pagesOf(path("mixed.pdf"));
    QCOMPARE(pages.size(), 2);
    QCOMPARE(qRound(pages[0].width), 230); // 320 px at 100 dpi, in order
    QCOMPARE(qRound(pages[1].width), 173);
}

void TestDocumentPdf::unwritableOutputFolder()
{
    addJpeg("a.jpg", 64, 64, 0);
    QCOMPARE(combinePDF(path("a.jpg/sub/out.pdf").toUtf8()), int(DOC_ERR_WRITE_FAILED));
    QCOMPARE(combinePDF(path("missing/out.pdf").toUtf8()), int(DOC_ERR_WRITE_FAILED));
    QCOMPARE(combinePDF(m_dir->path().toUtf8()), int(DOC_ERR_WRITE_FAILED)); // a folder as target
    QCOMPARE(combinePDF(nullptr), int(DOC_ERR_ARGUMENT));
    QCOMPARE(combinePDF(""), int(DOC_ERR_ARGUMENT));
    // Never over a collected picture, whatever the path says.
    QCOMPARE(combinePDF(path("a.jpg").toUtf8()), int(DOC_ERR_ARGUMENT));
    QCOMPARE(combinePDF(path("./a.jpg").toUtf8()), int(DOC_ERR_ARGUMENT));
    QCOMPARE(decodeJpeg(readAll(path("a.jpg"))).size(), QSize(64, 64));
    QCOMPARE(entries(), QStringList{"a.jpg"});

    // An existing file under the target name is replaced whole, even under a long (244-byte) name.
    const QString old = QString(80, QChar(0x9875)) + ".pdf";
    QVERIFY(writeAll(path(old), "old"));
    QCOMPARE(combinePDF(path(old).toUtf8()), int(DOC_OK));
    QVERIFY(qpdfCheckPasses(path(old)));
    QCOMPARE(entries(), QStringList({"a.jpg", old}));
}

void TestDocumentPdf::fullDiskLeavesNothing_data()
{
    QTest::addColumn<int>("freeKiB");
    QTest::addColumn<int>("status");
    QTest::newRow("40 KiB free") << 40 << int(DOC_ERR_WRITE_FAILED);
    QTest::newRow("200 KiB free") << 200 << int(DOC_ERR_WRITE_FAILED);
    QTest::newRow("700 KiB free") << 700 << int(DOC_ERR_WRITE_FAILED);
    QTest::newRow("room enough") << 4096 << int(DOC_OK);
}

void TestDocumentPdf::fullDiskLeavesNothing()
{
    QFETCH(int, freeKiB);
    QFETCH(int, status);
    qint64 pictures = 0;
    for (int i = 0; i < 3; ++i)
        pictures += addJpeg(QString("%1.jpg").arg(i), 1400, 1400, 200, i).size();
    QVERIFY(pictures > 1000 * 1024); // more than any of the free sizes that must fail

    SmallDisk disk;
    QVERIFY(disk.fill(qint64(freeKiB) * 1024));
    const QString merged = disk.filePath("merged.pdf");
    QCOMPARE(combinePDF(merged.toUtf8()), status);
    disk.empty();
    if (status == DOC_OK) {
        QVERIFY(qpdfCheckPasses(merged));
        QCOMPARE(disk.entries(), QStringList{"merged.pdf"});
    } else {
        QCOMPARE(disk.entries(), QStringList()); // neither the PDF nor its temporary file
    }
}

void TestDocumentPdf::pictureTurnedDuringMergeFailsIt()
{
    // A long merge, and a page the user turns while it runs.
    addJpeg("long.jpg", 1200, 1600, 200);
    for (int i = 0; i < 60; ++i)
        addFile(path("long.jpg").toUtf8());
    const QImage page = scene(320, 480, 5);
    QVERIFY(writeAll(path("last.jpg"), encodeJpeg(page, TJSAMP_420, 85, 100)));
    QVERIFY(writeAll(path("turned.jpg"),
                     encodeJpeg(page.transformed(QTransform().rotate(90)), TJSAMP_420, 85, 100)));
    addFile(path("last.jpg").toUtf8());
    QTemporaryDir out;
    // The PDF's temporary file appears once every page is measured: the last page is turned then.
    FileRace turn(out.path(), QString(), IN_CREATE, 1, path("turned.jpg"), path("last.jpg"));
    QCOMPARE(combinePDF(out.filePath("merged.pdf").toUtf8()), int(DOC_ERR_UNREADABLE_INPUT));
    QVERIFY(turn.happened());
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestDocumentPdf::concurrentAddsAreAllKept()
{
    const QByteArray p = path("a.jpg").toUtf8();
    QVERIFY(writeAll(path("a.jpg"), encodeJpeg(scene(32, 32, 1), TJSAMP_420)));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&p] {
            for (int i = 0; i < 25; ++i)
                addFile(p.constData());
        });
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(combinePDF(path("a.pdf").toUtf8()), int(DOC_OK));
    QCOMPARE(pagesOf(path("a.pdf")).size(), 100);
}

QTEST_GUILESS_MAIN(TestDocumentPdf)
#include "tst_documentpdf.moc"

// The PDF half of the document library through its C API: collecting pictures
// and merging them into one PDF.
#include "DocumentSDK.h"
#include "ocrtruth.h"
#include "smalldisk.h"
#include "testpictures.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <turbojpeg.h>

using namespace testpictures;
using ocrtruth::run;

namespace {

struct PageInfo {
    QSizeF size; // points
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
        info.size = QSizeF(box.getArrayItem(2).getNumericValue(), box.getArrayItem(3).getNumericValue());
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
    run("qpdf", {"--check", file}, &code);
    return code == 0;
}

} // namespace

class TestDocumentPdf : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        deleteFile();
    }

    void mergesReadablePicturesInOrder()
    {
        // JPEG pages are sized by their density (200 dpi without one, or with a placeholder of 1) and carry
        // the file unchanged; a PNG is stored losslessly; unreadable entries are skipped and reported.
        const QByteArray a4 = encodeJpeg(scene(827, 1169, 1), TJSAMP_420, 85, 100);
        QByteArray grey = encodeJpeg(scene(400, 200, 3, true), TJSAMP_GRAY, 80);
        setJfifDensity(grey, 1, 1);
        QImage photo = scene(800, 600, 5);
        photo.setDotsPerMeterX(2835); // 72 dpi
        photo.setDotsPerMeterY(2835);
        QVERIFY(photo.save(path("e.png")));
        const struct {
            const char *name;
            QByteArray data;
            QSizeF page; // empty: skipped
        } pictures[] = {{"a.jpg", a4, {595.44, 841.68}},
                        {"truncated.jpg", a4.left(a4.size() / 2), {}},
                        {"b.jpg", encodeJpeg(scene(1200, 600, 2), TJSAMP_422, 85), {432, 216}},
                        {"garbage.png", QByteArray(4000, 'q'), {}},
                        {"c.jpeg", encodeJpeg(scene(300, 300, 2), TJSAMP_420, 85, 300), {72, 72}},
                        {"empty.bmp", QByteArray(), {}},
                        {"d.jpg", grey, {144, 72}},
                        {"e.png", readAll(path("e.png")), {800, 600}}};
        for (const auto &picture : pictures) {
            QVERIFY(writeAll(path(picture.name), picture.data));
            QCOMPARE(addFile(path(picture.name).toUtf8()), int(DOC_OK));
        }
        addFile(path("missing.jpg").toUtf8());
        addFile(m_dir->path().toUtf8()); // a folder

        QCOMPARE(combinePDF(path("out.pdf").toUtf8()), int(DOC_ERR_UNREADABLE_INPUT));
        QVERIFY(qpdfCheckPasses(path("out.pdf")));
        QList<PageInfo> pages = pagesOf(path("out.pdf"));
        qint64 overhead = QFileInfo(path("out.pdf")).size() - 2048 * pages.size();
        for (const auto &picture : pictures) {
            if (picture.page.isEmpty())
                continue;
            QVERIFY2(!pages.isEmpty(), picture.name);
            const PageInfo page = pages.takeFirst();
            QVERIFY2(std::abs(page.size.width() - picture.page.width()) < 0.1 &&
                         std::abs(page.size.height() - picture.page.height()) < 0.1,
                     picture.name);
            const bool jpeg = picture.data.startsWith("\xFF\xD8");
            QCOMPARE(page.filter, QByteArray(jpeg ? "/DCTDecode" : "/FlateDecode"));
            QVERIFY2(!jpeg || page.rawData == picture.data, picture.name);
            overhead -= page.rawData.size();
        }
        QVERIFY(pages.isEmpty());
        // At most a few hundred bytes of structure per page.
        QVERIFY2(overhead < 0, qPrintable(QString::number(overhead)));
        QVERIFY(run("pdfimages", {"-list", path("out.pdf")}).contains(" gray "));
        QCOMPARE(entries().size(), int(std::size(pictures)) + 1);
    }

    void pagesShowThePicture_data()
    {
        addLosslessFormatRows();
        for (int orientation : {1, 2, 3, 5, 6, 8})
            QTest::addRow("jpeg, orientation %d", orientation)
                << QString("o%1.jpg").arg(orientation) << int(QImage::Format_RGB888);
    }
    // One point per pixel: a lossless page holds the very picture, a JPEG page carries the file unchanged
    // and shows it as its EXIF orientation says.
    void pagesShowThePicture()
    {
        QFETCH(QString, name);
        QFETCH(int, format);
        const int orientation = name.startsWith('o') ? name.mid(1, 1).toInt() : 0;
        QImage shown = scene(240, 160, 4).convertToFormat(QImage::Format(format)); // opaque alpha
        shown.setDotsPerMeterX(2835);                                              // 72 dpi
        shown.setDotsPerMeterY(2835);
        QByteArray jpeg;
        if (orientation) {
            jpeg = encodeJpeg(storedFor(shown, orientation), TJSAMP_444, 95, 72);
            insertExifOrientation(jpeg, orientation, orientation % 2 == 0);
        }
        QVERIFY(orientation ? writeAll(path(name), jpeg) : shown.save(path(name)));
        QCOMPARE(addFile(path(name).toUtf8()), int(DOC_OK));
        QCOMPARE(combinePDF(path("out.pdf").toUtf8()), int(DOC_OK));
        QVERIFY(qpdfCheckPasses(path("out.pdf")));
        const QList<PageInfo> pages = pagesOf(path("out.pdf"));
        QCOMPARE(pages.size(), 1);
        QCOMPARE(pages[0].size.toSize(), shown.size());
        QVERIFY(orientation ? pages[0].rawData == jpeg : pages[0].filter != "/DCTDecode");
        // A lossless image as a PDF reader decodes it (filters, colour space, decode array); the JPEG page as
        // it is shown, with the red corner of the upright picture top left.
        int code = -1;
        if (orientation)
            run("pdftoppm", {"-r", "72", "-png", "-singlefile", path("out.pdf"), path("shown")}, &code);
        else
            run("pdfimages", {"-png", path("out.pdf"), path("shown")}, &code);
        QCOMPARE(code, 0);
        const QImage page(path(orientation ? "shown.png" : "shown-000.png"));
        QCOMPARE(page.size(), shown.size());
        const QRgb c = page.pixel(5, 5);
        QVERIFY(orientation ? qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60
                            : compare(page.convertToFormat(QImage::Format_RGB888),
                                      shown.convertToFormat(QImage::Format_RGB888))
                                      .max == 0);
    }

    void refusalsWriteNothing()
    {
        QCOMPARE(combinePDF(path("none.pdf").toUtf8()), int(DOC_ERR_NOTHING_COLLECTED));
        addJpeg("a.jpg", 64, 64, 0);
        QCOMPARE(deleteFile(), int(DOC_OK)); // emptied: the picture stays, no PDF appears
        QCOMPARE(combinePDF(path("a.pdf").toUtf8()), int(DOC_ERR_NOTHING_COLLECTED));
        QVERIFY(writeAll(path("bad.jpg"), QByteArray("\xFF\xD8\xFF\xE0 not really", 15)));
        addFile(path("bad.jpg").toUtf8());
        addFile(path("gone.png").toUtf8());
        QCOMPARE(combinePDF(path("out.pdf").toUtf8()), int(DOC_ERR_UNREADABLE_INPUT)); // nothing readable
        deleteFile();

        addFile(path("a.jpg").toUtf8());
        const std::pair<QByteArray, int> targets[] = {
            {path("a.jpg/sub/out.pdf").toUtf8(), DOC_ERR_WRITE_FAILED}, // below a regular file
            {path("missing/out.pdf").toUtf8(), DOC_ERR_WRITE_FAILED},
            {m_dir->path().toUtf8(), DOC_ERR_WRITE_FAILED}, // a folder
            {"", DOC_ERR_ARGUMENT},
            {path("a.jpg").toUtf8(), DOC_ERR_ARGUMENT}, // never over a collected picture
            {path("./a.jpg").toUtf8(), DOC_ERR_ARGUMENT}};
        for (const auto &target : targets)
            QCOMPARE(combinePDF(target.first), target.second);
        QCOMPARE(combinePDF(nullptr), int(DOC_ERR_ARGUMENT));
        QCOMPARE(decodeJpeg(readAll(path("a.jpg"))).size(), QSize(64, 64));
        QCOMPARE(entries(), QStringList({"a.jpg", "bad.jpg"}));

        // An existing file under the target name is replaced whole, even under a long (244-byte) name.
        const QString old = QString(80, QChar(0x9875)) + ".pdf";
        QVERIFY(writeAll(path(old), "old"));
        QCOMPARE(combinePDF(path(old).toUtf8()), int(DOC_OK));
        QVERIFY(qpdfCheckPasses(path(old)));
        QCOMPARE(entries(), QStringList({"a.jpg", "bad.jpg", old}));
    }

    void fullDiskLeavesNothing_data()
    {
        QTest::addColumn<int>("freeKiB");
        QTest::addColumn<int>("status");
        QTest::newRow("40 KiB free") << 40 << int(DOC_ERR_WRITE_FAILED);
        QTest::newRow("room enough") << 4096 << int(DOC_OK);
    }
    void fullDiskLeavesNothing()
    {
        QFETCH(int, freeKiB);
        QFETCH(int, status);
        QVERIFY(addJpeg("page.jpg", 1400, 1400, 200).size() > 200 * 1024);
        SmallDisk disk;
        QVERIFY(disk.fill(qint64(freeKiB) * 1024));
        const QString merged = disk.filePath("merged.pdf");
        QCOMPARE(combinePDF(merged.toUtf8()), status);
        disk.empty();
        QVERIFY(status != DOC_OK || qpdfCheckPasses(merged));
        // Neither a partial PDF nor its temporary file.
        QCOMPARE(disk.entries(), status == DOC_OK ? QStringList{"merged.pdf"} : QStringList());
    }

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList entries() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); }
    QByteArray addJpeg(const QString &name, int w, int h, int dpi)
    {
        const QByteArray jpeg = encodeJpeg(scene(w, h, 1), TJSAMP_420, 85, dpi);
        writeAll(path(name), jpeg);
        addFile(path(name).toUtf8());
        return jpeg;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(TestDocumentPdf)
#include "tst_documentpdf.moc"

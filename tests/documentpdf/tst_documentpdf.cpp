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
#include <atomic>
#include <thread>
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
        // JPEG pages are sized by their density (200 dpi without one, or with a placeholder of 1), carry the
        // file unchanged and show it as its EXIF orientation says; lossless pictures are stored exactly;
        // unreadable entries are skipped and reported.
        struct Picture {
            QString name;
            QByteArray data;
            QSizeF page;  // points; empty: skipped
            QImage shown; // the picture a lossless page holds, or the upright one, red top left, a JPEG shows
        };
        const QByteArray a4 = encodeJpeg(scene(827, 1169, 1), TJSAMP_420, 85, 100);
        QByteArray grey = encodeJpeg(scene(400, 200, 3, true), TJSAMP_GRAY, 80);
        setJfifDensity(grey, 1, 1);
        QList<Picture> pictures{{"a.jpg", a4, {595.44, 841.68}, {}},
                                {"truncated.jpg", a4.left(a4.size() / 2), {}, {}},
                                {"b.jpg", encodeJpeg(scene(1200, 600, 2), TJSAMP_422, 85), {432, 216}, {}},
                                {"garbage.png", QByteArray(4000, 'q'), {}, {}},
                                {"c.jpeg", encodeJpeg(scene(300, 300, 2), TJSAMP_420, 85, 300), {72, 72}, {}},
                                {"empty.bmp", QByteArray(), {}, {}},
                                {"d.jpg", grey, {144, 72}, {}}};
        QImage upright = scene(240, 160, 4);
        upright.setDotsPerMeterX(2835); // 72 dpi: one point per pixel
        upright.setDotsPerMeterY(2835);
        for (const LosslessFormat &lossless : losslessFormats()) {
            const QImage picture = upright.convertToFormat(lossless.format); // opaque alpha
            QVERIFY(picture.save(path(lossless.name)));
            pictures.append({lossless.name, readAll(path(lossless.name)), upright.size(), picture});
        }
        for (int orientation : {2, 3, 5, 6, 8}) {
            QByteArray jpeg = encodeJpeg(storedFor(upright, orientation), TJSAMP_444, 95, 72);
            insertExifOrientation(jpeg, orientation, orientation % 2 == 0);
            pictures.append({QString("o%1.jpg").arg(orientation), jpeg, upright.size(), upright});
        }
        for (const Picture &picture : pictures) {
            QVERIFY(writeAll(path(picture.name), picture.data));
            QCOMPARE(addFile(path(picture.name).toUtf8()), int(DOC_OK));
        }
        addFile(path("missing.jpg").toUtf8());
        addFile(m_dir->path().toUtf8()); // a folder

        const QString out = path("out.pdf");
        QCOMPARE(combinePDF(out.toUtf8()), int(DOC_ERR_UNREADABLE_INPUT));
        QVERIFY(qpdfCheckPasses(out));
        const QList<PageInfo> pages = pagesOf(out);
        qint64 overhead = QFileInfo(out).size() - 2048 * pages.size();
        QTemporaryDir shown;
        int p = 0;
        for (const Picture &picture : pictures) {
            if (picture.page.isEmpty())
                continue;
            QVERIFY2(p < pages.size(), qPrintable(picture.name));
            const PageInfo &page = pages[p++];
            QVERIFY2(std::abs(page.size.width() - picture.page.width()) < 0.1 &&
                         std::abs(page.size.height() - picture.page.height()) < 0.1,
                     qPrintable(picture.name));
            const bool jpeg = picture.data.startsWith("\xFF\xD8");
            QCOMPARE(page.filter == "/DCTDecode", jpeg);
            QVERIFY2(!jpeg || page.rawData == picture.data, qPrintable(picture.name));
            overhead -= page.rawData.size();
            if (picture.shown.isNull())
                continue;
            // The JPEG page as a reader shows it; the lossless image as it decodes it (filters, colour space,
            // decode array).
            const QString n = QString::number(p), file = shown.filePath(n);
            if (jpeg)
                run("pdftoppm", {"-f", n, "-l", n, "-r", "72", "-png", "-singlefile", out, file});
            else
                run("pdfimages", {"-f", n, "-l", n, "-png", out, file});
            const QImage image(file + (jpeg ? ".png" : "-000.png"));
            QCOMPARE(image.size(), picture.shown.size());
            const QRgb c = image.pixel(5, 5);
            QVERIFY2(jpeg ? qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60
                          : compare(image.convertToFormat(QImage::Format_RGB888),
                                    picture.shown.convertToFormat(QImage::Format_RGB888))
                                    .max == 0,
                     qPrintable(picture.name));
        }
        QCOMPARE(p, pages.size());
        // At most a few hundred bytes of structure per page.
        QVERIFY2(overhead < 0, qPrintable(QString::number(overhead)));
        QVERIFY(run("pdfimages", {"-list", out}).contains(" gray "));
        QCOMPARE(entries().size(), pictures.size() + 1);
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

    void pictureTurnedDuringMergeFailsIt()
    {
        // A long merge, and its last page turned by the user once the PDF's temporary file appears,
        // that is once every page has been measured and before the last one is read.
        addJpeg("long.jpg", 1200, 1600, 200);
        for (int i = 0; i < 60; ++i)
            addFile(path("long.jpg").toUtf8());
        const QImage page = scene(320, 480, 5);
        QVERIFY(writeAll(path("last.jpg"), encodeJpeg(page, TJSAMP_420, 85, 100)));
        QVERIFY(writeAll(path("turned.jpg"),
                         encodeJpeg(page.transformed(QTransform().rotate(90)), TJSAMP_420, 85, 100)));
        addFile(path("last.jpg").toUtf8());
        QTemporaryDir out;
        std::atomic<bool> over{false}, turned{false};
        std::thread user([&] {
            while (!over && QDir(out.path()).isEmpty(QDir::Files | QDir::Hidden))
                std::this_thread::yield();
            turned = !over && std::rename(QFile::encodeName(path("turned.jpg")).constData(),
                                          QFile::encodeName(path("last.jpg")).constData()) == 0;
        });
        const int status = combinePDF(out.filePath("merged.pdf").toUtf8());
        over = true;
        user.join();
        QVERIFY(turned);
        QCOMPARE(status, int(DOC_ERR_UNREADABLE_INPUT));
        QVERIFY(QDir(out.path()).isEmpty(QDir::Files | QDir::Hidden));
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

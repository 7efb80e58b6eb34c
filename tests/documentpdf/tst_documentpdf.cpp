// The PDF half of the document library through its C API: collecting pictures
// and merging them into one PDF.
#include "DocumentSDK.h"
#include "ocrtruth.h"
#include "scratchfolder.h"
#include "testpictures.h"

#include <QtTest>
#include <atomic>
#include <thread>
#include <turbojpeg.h>

using namespace testpictures;
using ocrtruth::qpdfPasses;
using ocrtruth::run;

namespace {

// Page sizes in points, as pdfinfo reads them.
QList<QSizeF> pageSizes(const QString &pdf)
{
    QList<QSizeF> sizes;
    auto it = QRegularExpression("Page +\\d+ size: +([\\d.]+) x ([\\d.]+) pts")
                  .globalMatch(QString::fromUtf8(run("pdfinfo", {"-f", "1", "-l", "9999", pdf})));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        sizes << QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
    }
    return sizes;
}

} // namespace

class TestDocumentPdf : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.renew());
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
        addFile(m_dir.path().toUtf8()); // a folder

        const QString out = path("out.pdf");
        QCOMPARE(combinePDF(out.toUtf8()), int(DOC_ERR_UNREADABLE_INPUT));
        QVERIFY(qpdfPasses(out));
        const QList<QSizeF> sizes = pageSizes(out);
        // A reader's view of each page's image: JPEG streams as stored, anything else decoded (filters,
        // colour space, decode array) to PNG.
        QTemporaryDir shown;
        run("pdfimages", {"-j", "-png", out, shown.filePath("i")});
        int p = 0;
        for (const Picture &picture : pictures) {
            if (picture.page.isEmpty())
                continue;
            QVERIFY2(p < sizes.size(), qPrintable(picture.name));
            QVERIFY2(std::abs(sizes[p].width() - picture.page.width()) < 0.1 &&
                         std::abs(sizes[p].height() - picture.page.height()) < 0.1,
                     qPrintable(picture.name));
            const bool jpeg = picture.data.startsWith("\xFF\xD8");
            const QString n = QString::number(++p),
                          image = shown.filePath(QString::asprintf("i-%03d.", p - 1));
            QVERIFY2(readAll(image + "jpg") == (jpeg ? picture.data : QByteArray()),
                     qPrintable(picture.name));
            if (picture.shown.isNull())
                continue;
            // The JPEG page as a reader shows it, the lossless image exactly.
            if (jpeg)
                run("pdftoppm", {"-f", n, "-l", n, "-r", "72", "-png", "-singlefile", out, image + "page"});
            const QImage read(image + (jpeg ? "page.png" : "png"));
            QCOMPARE(read.size(), picture.shown.size());
            const QRgb c = read.pixel(5, 5);
            QVERIFY2(jpeg ? qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60
                          : compare(read.convertToFormat(QImage::Format_RGB888),
                                    picture.shown.convertToFormat(QImage::Format_RGB888))
                                    .max == 0,
                     qPrintable(picture.name));
        }
        QCOMPARE(p, sizes.size());
        // The grey JPEG page declares one component (its stream is as stored, whatever it declares).
        QVERIFY(QString(run("pdfimages", {"-list", out})).contains(QRegularExpression("gray +1 +8 +jpeg")));
        QCOMPARE(m_dir.files().size(), pictures.size() + 1);
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
            {path("missing/out.pdf").toUtf8(), DOC_ERR_WRITE_FAILED},
            {m_dir.path().toUtf8(), DOC_ERR_WRITE_FAILED}, // a folder
            {QByteArray(), DOC_ERR_ARGUMENT},
            {path("a.jpg").toUtf8(), DOC_ERR_ARGUMENT}, // never over a collected picture
            {path("./a.jpg").toUtf8(), DOC_ERR_ARGUMENT}};
        for (const auto &target : targets)
            QCOMPARE(combinePDF(target.first.isNull() ? nullptr : target.first.constData()), target.second);
        QCOMPARE(decodeJpeg(readAll(path("a.jpg"))).size(), QSize(64, 64));
        QCOMPARE(m_dir.files(), QStringList({"a.jpg", "bad.jpg"}));

        // An existing file under the target name is replaced whole, even under a long (244-byte) name.
        const QString old = QString(80, QChar(0x9875)) + ".pdf";
        QVERIFY(writeAll(path(old), "old"));
        QCOMPARE(combinePDF(path(old).toUtf8()), int(DOC_OK));
        QVERIFY(qpdfPasses(path(old)));
        QCOMPARE(m_dir.files(), QStringList({"a.jpg", "bad.jpg", old}));
    }

    void fullDiskLeavesNothing()
    {
        QVERIFY(addJpeg("page.jpg", 1400, 1400, 200).size() > 200 * 1024);
        SmallDisk disk;
        QVERIFY(disk.fill(40 * 1024));
        QCOMPARE(combinePDF(disk.filePath("merged.pdf").toUtf8()), int(DOC_ERR_WRITE_FAILED));
        QCOMPARE(disk.files(), QStringList()); // neither a partial PDF nor its temporary file
    }

    void pictureTurnedDuringMergeFailsIt()
    {
        // A long merge, and its last page turned by the user once the PDF's temporary file appears,
        // that is once every page has been measured and before the last one is read.
        addJpeg("long.jpg", 1200, 1600, 200);
        for (int i = 0; i < 60; ++i)
            addFile(path("long.jpg").toUtf8());
        addJpeg("last.jpg", 320, 480, 100);
        QVERIFY(writeAll(path("turned.jpg"), encodeJpeg(scene(480, 320, 1), TJSAMP_420, 85, 100)));
        ScratchFolder out;
        std::atomic<bool> over{false}, turned{false};
        std::thread user([&] {
            while (!over && out.files().isEmpty())
                std::this_thread::yield();
            turned = !over && std::rename(QFile::encodeName(path("turned.jpg")).constData(),
                                          QFile::encodeName(path("last.jpg")).constData()) == 0;
        });
        const int status = combinePDF(out.filePath("merged.pdf").toUtf8());
        over = true;
        user.join();
        QVERIFY(turned);
        QCOMPARE(status, int(DOC_ERR_UNREADABLE_INPUT));
        QVERIFY(out.files().isEmpty());
    }

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray addJpeg(const QString &name, int w, int h, int dpi)
    {
        const QByteArray jpeg = encodeJpeg(scene(w, h, 1), TJSAMP_420, 85, dpi);
        writeAll(path(name), jpeg);
        addFile(path(name).toUtf8());
        return jpeg;
    }
    ScratchFolder m_dir;
};

QTEST_GUILESS_MAIN(TestDocumentPdf)
#include "tst_documentpdf.moc"

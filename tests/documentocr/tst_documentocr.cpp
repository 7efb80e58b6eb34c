// ocrRecog through the public header: the four kinds on rendered pages, their structure, names and
// the failures a user can run into.
#include "DocumentSDK.h"
#include "ocrtruth.h"
#include "scratchfolder.h"
#include "testpictures.h"

#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <turbojpeg.h>

#include <cstdio>
#include <cstring>
#include <omp.h>
#include <thread>

using namespace ocrtruth;
using testpictures::encodeJpeg;
using testpictures::readAll;
using testpictures::storedFor;
using testpictures::writeAll;

namespace {

const double kMaxErrorRate = 0.05;
const char *const kExtensions[] = {"txt", "docx", "pdf", "ofd"}; // of the kinds 0 to 3
// An independent reader of DOCX, python-docx: the paragraphs, a run that holds a page break as a form feed.
const char *const kDocxText =
    "import sys, docx\n"
    "print('\\n'.join(''.join('\\f' if r._r.xpath('w:br[@w:type=\"page\"]') else r.text "
    "for r in p.runs) for p in docx.Document(sys.argv[1]).paragraphs), end='')";

// An entry of a zip package as unzip reads it; empty when the package fails unzip's test (checksums,
// directory).
QByteArray unzipped(const QString &package, const QString &entry)
{
    int status = -1;
    run("unzip", {"-tqq", package}, &status);
    return status == 0 ? run("unzip", {"-p", package, entry}) : QByteArray();
}

QString pdfText(const QString &path, int page)
{
    const QString n = QString::number(page);
    return QString::fromUtf8(run("pdftotext", {"-enc", "UTF-8", "-f", n, "-l", n, path, "-"}));
}

// Whether the page has the upright picture's shape and shows its dark mark in the top left corner
// only, as the upright picture does: means over a 25th of each side.
bool markedTopLeft(const QImage &page, const QImage &upright)
{
    const QImage cells = page.convertToFormat(QImage::Format_Grayscale8)
                             .scaled(25, 25, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const auto at = [&](int x, int y) { return qGray(cells.pixel(x, y)); };
    return !page.isNull() && (page.width() > page.height()) == (upright.width() > upright.height()) &&
           at(0, 0) < 128 && at(24, 0) > 200 && at(0, 24) > 200 && at(24, 24) > 200;
}

// Paints an OFD page's background picture as a reader does: its CTM maps the image's unit square
// into the boundary, y downwards, at scale pixels per millimetre.
QImage paintOfdPage(const QByteArray &content, const QByteArray &jpeg, QSizeF mm, double scale)
{
    const QStringList m =
        QRegularExpression("CTM=\"([^\"]+)\"").match(QString::fromUtf8(content)).captured(1).split(' ');
    QImage page((mm * scale).toSize(), QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.scale(scale, scale);
    if (m.size() == 6) // else the picture shrinks to a dot
        painter.setTransform(QTransform(m[0].toDouble(), m[1].toDouble(), m[2].toDouble(), m[3].toDouble(),
                                        m[4].toDouble(), m[5].toDouble()),
                             true);
    painter.drawImage(QRectF(0, 0, 1, 1), QImage::fromData(jpeg));
    return page;
}

} // namespace

class TestDocumentOcr : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.renew());
        m_first = m_dir.filePath("scan 01.jpg");
        m_second = m_dir.filePath("scan 02.jpg");
        QVERIFY(renderPage(m_first, pageLines(0)));
        // The second picture is stored turned, as a phone held upright takes it; EXIF orientation 6 shows it
        // upright, with a mark in its top left corner.
        m_upright = renderLines(pageLines(1));
        QVERIFY(!m_upright.isNull());
        QPainter(&m_upright).fillRect(0, 0, 100, 100, Qt::black);
        QByteArray turned = encodeJpeg(storedFor(m_upright, 6), TJSAMP_420, 90, 300);
        testpictures::insertExifOrientation(turned, 6, true);
        QVERIFY(writeAll(m_second, turned));
        m_line = m_dir.filePath("line.jpg");
        QVERIFY(renderPage(m_line, {pageLines(0).last()}));
        m_blank = m_dir.filePath("scan 03.jpg");
        QVERIFY(renderPage(m_blank, {}));
    }
    void init() { deleteFile(); }

    void exportsEveryKind_data()
    {
        QTest::addColumn<int>("type");
        for (int type = 0; type < 4; ++type)
            QTest::newRow(kExtensions[type]) << type;
    }
    void exportsEveryKind()
    {
        QFETCH(int, type);
        const QString extension = kExtensions[type];
        // A file of the document's name is there already: the export takes the next free name.
        const QString taken = m_dir.filePath("scan 01." + extension);
        QVERIFY(writeAll(taken, "not ours"));
        for (const QString &picture : {m_first, m_second, m_blank})
            QCOMPARE(addFile(picture.toUtf8()), DOC_OK);
        char name[256];
        std::memset(name, 'x', sizeof name);
        QCOMPARE(ocrRecog(type, true, name), DOC_OK);
        QCOMPARE(QString::fromUtf8(name), "scan 01(1)." + extension);
        const QString path = m_dir.filePath(QString::fromUtf8(name));
        QCOMPARE(readAll(taken), QByteArray("not ours"));
        // Published with the permissions of any new file, not those of a private temporary one.
        QCOMPARE(QFile::permissions(path), QFile::permissions(taken));
        for (const QString &entry : m_dir.files()) // no temporary file left
            QVERIFY2(!entry.startsWith(QLatin1Char('.')), qPrintable(entry));

        QStringList pages;
        if (type == 0)
            pages = QString::fromUtf8(readAll(path)).split(QLatin1Char('\f'));
        else if (type == 1)
            checkDocx(path, &pages);
        else if (type == 2)
            checkPdf(path, &pages);
        else
            checkOfd(path, &pages);
        QCOMPARE(pages.size(), 3);
        QCOMPARE(pages[2].remove(QLatin1Char('\f')), QString()); // the blank page
        for (int p = 0; p < 2; ++p) {
            const double cer = characterErrorRate(pageLines(p).join(QLatin1Char('\n')), pages[p]);
            QVERIFY2(cer <= kMaxErrorRate, qPrintable(pages[p]));
            // No white space between two Han characters.
            QVERIFY2(!pages[p].contains(QRegularExpression("\\p{Han}\\s+\\p{Han}")), qPrintable(pages[p]));
        }
        QCOMPARE(ocrRecog(type, true, name), DOC_ERR_NOTHING_COLLECTED); // the job emptied the collection
    }

    void oneDocumentPerPicture()
    {
        // Each document goes beside its picture under the next free name, here the longest a name can
        // be: "stem(1).pdf" is 255 bytes. A picture without a density gets an A4 page.
        QTemporaryDir a, b;
        const QString stem = QString(82, QChar(0x9875)) + "ab";
        const QString left = a.filePath(stem + "(1).pdf"), right = b.filePath("screen.pdf");
        QVERIFY(QFile::copy(m_second, a.filePath(stem + ".jpg")));
        QVERIFY(writeAll(a.filePath(stem + ".pdf"), "not ours"));
        QVERIFY(renderPage(b.filePath("screen.png"), pageLines(2), 0));
        QCOMPARE(addFile(a.filePath(stem + ".jpg").toUtf8()), DOC_OK);
        QCOMPARE(addFile(b.filePath("screen.png").toUtf8()), DOC_OK);
        char name[256];
        QCOMPARE(ocrRecog(2, false, name), DOC_OK);
        QCOMPARE(a.filePath(QString::fromUtf8(name)), left);
        QCOMPARE(readAll(a.filePath(stem + ".pdf")), QByteArray("not ours"));
        for (int page : {1, 2}) {
            const QString pdf = page == 1 ? left : right;
            QVERIFY(qpdfPasses(pdf) && pdfText(pdf, 2).isEmpty()); // one page each
            QVERIFY(characterErrorRate(pageLines(page).join(QString()), pdfText(pdf, 1)) <= kMaxErrorRate);
        }
        // The longer side spans A4's 297 mm; the PNG is stored losslessly.
        QVERIFY(run("pdfinfo", {right}).contains("841.89 x "));
        QVERIFY(run("pdfimages", {"-list", right}).contains(" image "));
    }

    void overlappingCallsLeaveParallelismAsItWas()
    {
        // Recognition switches OpenMP nesting off for its own thread only and puts it back.
        const int levels = omp_get_max_active_levels();
        QVERIFY(levels > 0);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(addFile(m_line.toUtf8()), DOC_OK);
        char other[256], mine[256];
        int otherStatus = -1;
        std::thread worker([&] { otherStatus = ocrRecog(0, true, other); });
        QCOMPARE(ocrRecog(0, true, mine), DOC_OK);
        QCOMPARE(omp_get_max_active_levels(), levels);
        worker.join();
        QCOMPARE(otherStatus, DOC_OK);
        int fresh = -1;
        std::thread([&] { fresh = omp_get_max_active_levels(); }).join();
        QCOMPARE(fresh, levels);
    }

    void refusalsWriteNothing()
    {
        char name[256];
        QCOMPARE(ocrRecog(0, true, name), DOC_ERR_NOTHING_COLLECTED);
        QCOMPARE(addFile(nullptr), DOC_ERR_ARGUMENT);
        QCOMPARE(addFile(m_line.toUtf8()), DOC_OK);
        QCOMPARE(ocrRecog(0, true, nullptr), DOC_ERR_ARGUMENT);
        QCOMPARE(ocrRecog(4, true, name), DOC_ERR_UNKNOWN_TYPE);
    }

    void failedJobsWriteNothing_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("second"); // the second picture's bytes; null: it is missing
        QTest::addColumn<int>("status");
        const QByteArray jpeg = readAll(m_line);
        const std::tuple<const char *, QByteArray, int> faults[] = {
            {"disk full", jpeg, DOC_ERR_WRITE_FAILED},
            {"first picture turned", jpeg, DOC_ERR_UNREADABLE_INPUT},
            {"second empty", "", DOC_ERR_UNREADABLE_INPUT},
            {"second truncated", jpeg.left(jpeg.size() / 2), DOC_ERR_UNREADABLE_INPUT},
            {"second a bare png header", QByteArray("\x89PNG\r\n\x1a\n", 8), DOC_ERR_UNREADABLE_INPUT},
            {"second missing", QByteArray(), DOC_ERR_UNREADABLE_INPUT}};
        // The kinds that read the pictures again to write them; text alone is too small to fill the disk.
        for (int type : {2, 3})
            for (const auto &f : faults)
                QTest::addRow("%s, %s", kExtensions[type], std::get<0>(f))
                    << type << std::get<1>(f) << std::get<2>(f);
    }
    // Nothing of the job is left, not even a temporary file, and no picture is lost.
    void failedJobsWriteNothing()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, second);
        QFETCH(int, status);
        const QByteArray tag = QTest::currentDataTag();
        const QByteArray jpeg = readAll(m_line);
        QVERIFY(jpeg.size() > 2 * 16 * 1024);
        SmallDisk disk;
        QVERIFY(writeAll(disk.filePath("a.jpg"), jpeg) &&
                (second.isNull() || writeAll(disk.filePath("b.jpg"), second)));
        QCOMPARE(addFile(disk.filePath("a.jpg").toUtf8()), DOC_OK);
        QCOMPARE(addFile(disk.filePath("b.jpg").toUtf8()), DOC_OK);
        const QByteArray turned =
            encodeJpeg(QImage(m_line).transformed(QTransform().rotate(90)), TJSAMP_420, 90, 300);
        QVERIFY(writeAll(m_dir.filePath("turned.jpg"), turned));
        // The user turns the first picture while the second one is recognised.
        QByteArrayList paths{QFile::encodeName(m_dir.filePath("turned.jpg")),
                             QFile::encodeName(disk.filePath("a.jpg"))};
        if (tag.endsWith("disk full"))
            QVERIFY(disk.fill(16 * 1024));
        else if (tag.endsWith("turned"))
            setOcrProgressCallback(
                [](int page, int, void *user) {
                    const auto &paths = *static_cast<QByteArrayList *>(user);
                    if (page == 2)
                        std::rename(paths[0].constData(), paths[1].constData());
                },
                &paths);
        char name[256];
        const int result = ocrRecog(type, true, name);
        setOcrProgressCallback(nullptr, nullptr);
        disk.empty();
        QCOMPARE(result, status);
        QCOMPARE(disk.files(), second.isNull() ? QStringList{"a.jpg"} : QStringList({"a.jpg", "b.jpg"}));
        QCOMPARE(readAll(disk.filePath("a.jpg")), tag.endsWith("turned") ? turned : jpeg);
    }

private:
    void checkPdf(const QString &path, QStringList *pages)
    {
        QVERIFY(qpdfPasses(path));
        const QString info = QString::fromUtf8(run("pdfinfo", {path}));
        const QSizeF pt = QSizeF(QImage(m_first).size()) * 72.0 / 300; // 300 dpi pictures
        QVERIFY2(info.contains(QRegularExpression("Pages:\\s+3\\n")) &&
                     info.contains(QString("%1 x %2 pts").arg(pt.width()).arg(pt.height())),
                 qPrintable(info));
        // The JPEG files are inside byte for byte.
        const QByteArray pdf = readAll(path);
        for (const QString &picture : {m_first, m_second, m_blank})
            QVERIFY(pdf.contains(readAll(picture)));
        *pages = QStringList{pdfText(path, 1), pdfText(path, 2), pdfText(path, 3)};
        QTemporaryDir shown;
        run("pdftoppm",
            {"-f", "2", "-l", "2", "-r", "30", "-gray", "-singlefile", path, shown.filePath("p")});
        QVERIFY(markedTopLeft(QImage(shown.filePath("p.pgm")), m_upright));
    }

    void checkDocx(const QString &path, QStringList *pages)
    {
        const QByteArray document = unzipped(path, "word/document.xml");
        QVERIFY(document.contains("w:w=\"11906\"") && document.contains("w:h=\"16838\"")); // A4
        int status = -1;
        const QByteArray text = run("/usr/bin/python3", {"-c", kDocxText, path}, &status);
        QCOMPARE(status, 0);
        *pages = QString::fromUtf8(text).split('\f');
    }

    // What a reader relies on: well-formed parts, every element in the OFD namespace under the ofd prefix,
    // every resource and font a page refers to declared.
    void checkOfd(const QString &path, QStringList *pages)
    {
        QSet<QString> ids;
        QStringList references;
        QHash<QString, QString> texts; // of each part's text objects
        for (const QString &entry : QString::fromUtf8(run("unzip", {"-Z1", path})).split('\n')) {
            QXmlStreamReader reader(unzipped(path, entry));
            while (entry.endsWith(".xml") && !reader.atEnd()) {
                if (reader.readNext() != QXmlStreamReader::StartElement)
                    continue;
                QVERIFY2(reader.namespaceUri() == "http://www.ofdspec.org/2016" && reader.prefix() == "ofd",
                         qPrintable(entry + ": " + reader.qualifiedName().toString()));
                const QXmlStreamAttributes attributes = reader.attributes();
                ids << attributes.value("ID").toString();
                for (const char *ref : {"ResourceID", "Font"})
                    if (attributes.hasAttribute(ref))
                        references << attributes.value(ref).toString();
                if (reader.name() == QLatin1String("TextCode"))
                    texts[entry] += reader.readElementText() + ' ';
            }
            QVERIFY2(!reader.hasError(), qPrintable(entry + reader.errorString()));
        }
        for (const QString &ref : references)
            QVERIFY2(ids.contains(ref), qPrintable("unresolved " + ref));
        // Pictures are packed unchanged.
        for (int p = 0; p < 3; ++p) {
            const QString part = QString("Doc_0/Pages/Page_%1/Content.xml").arg(p);
            const QByteArray content = unzipped(path, part);
            QVERIFY(content.contains("Type=\"Background\""));
            QCOMPARE(content.contains("TextObject"), p < 2); // none on the blank page
            *pages << texts.value(part);
            const QByteArray jpeg = unzipped(path, QString("Doc_0/Res/image_%1.jpg").arg(p));
            QCOMPARE(jpeg, readAll(QList<QString>{m_first, m_second, m_blank}[p]));
            QVERIFY(p != 1 ||
                    markedTopLeft(paintOfdPage(content, jpeg, QSizeF(m_upright.size()) * 25.4 / 300, 1.2),
                                  m_upright));
        }
    }

    ScratchFolder m_dir;
    QString m_first;  // Chinese and English, page 0 of the truth
    QString m_second; // page 1, stored turned
    QImage m_upright; // the second page as shown
    QString m_line;   // its last line alone: quick to recognise where a whole page is not needed
    QString m_blank;  // no print at all
};

QTEST_MAIN(TestDocumentOcr)
#include "tst_documentocr.moc"

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

// Entries of a zip package in stored order, with their contents, as unzip reads them; none when a
// checksum or the directory is wrong.
struct Package {
    QStringList order;
    QHash<QString, QByteArray> entries;
};

Package readPackage(const QString &path)
{
    Package package;
    int status = -1;
    run("unzip", {"-tqq", path}, &status);
    for (const QString &name :
         QString::fromUtf8(run("unzip", {"-Z1", path})).split('\n', Qt::SkipEmptyParts)) {
        package.order << name;
        package.entries[name] = status == 0 ? run("unzip", {"-p", path, name}) : QByteArray();
    }
    return package;
}

QString pdfText(const QString &path, int page)
{
    const QString n = QString::number(page);
    return QString::fromUtf8(run("pdftotext", {"-enc", "UTF-8", "-f", n, "-l", n, path, "-"}));
}

int qpdfCheck(const QString &path)
{
    int status = -1;
    run("qpdf", {"--check", path}, &status);
    return status;
}

// The text of an OFD page's text objects.
QString ofdPageText(const QByteArray &content)
{
    QString text;
    QXmlStreamReader reader(content);
    while (!reader.atEnd())
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("TextCode"))
            text += reader.readElementText() + QLatin1Char(' ');
    return text;
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
    const QRegularExpression ctmRe(QStringLiteral("CTM=\"([^\"]+)\""));
    const QStringList m = ctmRe.match(QString::fromUtf8(content)).captured(1).split(QLatin1Char(' '));
    if (m.size() != 6)
        return QImage();
    QImage page((mm * scale).toSize(), QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.scale(scale, scale);
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
        QTest::addColumn<QString>("extension");
        QTest::newRow("text") << 0 << "txt";
        QTest::newRow("docx") << 1 << "docx";
        QTest::newRow("pdf") << 2 << "pdf";
        QTest::newRow("ofd") << 3 << "ofd";
    }
    void exportsEveryKind()
    {
        QFETCH(int, type);
        QFETCH(QString, extension);
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
            qInfo("%s page %d: character error rate %.2f %%", qPrintable(extension), p + 1, cer * 100);
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
        const QString first = a.filePath(stem + ".jpg"), second = b.filePath("screen.png");
        QVERIFY(QFile::copy(m_second, first));
        QVERIFY(writeAll(a.filePath(stem + ".pdf"), "not ours"));
        QVERIFY(renderPage(second, pageLines(2), 0));
        QCOMPARE(addFile(first.toUtf8()), DOC_OK);
        QCOMPARE(addFile(second.toUtf8()), DOC_OK);
        char name[256];
        QCOMPARE(ocrRecog(2, false, name), DOC_OK);
        QCOMPARE(QString::fromUtf8(name), stem + "(1).pdf");
        QCOMPARE(readAll(a.filePath(stem + ".pdf")), QByteArray("not ours"));
        const QString left = a.filePath(QString::fromUtf8(name)), right = b.filePath("screen.pdf");
        QCOMPARE(qpdfCheck(left), 0);
        QCOMPARE(qpdfCheck(right), 0);
        QVERIFY(characterErrorRate(pageLines(1).join(QString()), pdfText(left, 1)) <= kMaxErrorRate);
        QVERIFY(characterErrorRate(pageLines(2).join(QString()), pdfText(right, 1)) <= kMaxErrorRate);
        QVERIFY(pdfText(left, 2).trimmed().isEmpty() && pdfText(right, 2).trimmed().isEmpty());
        // The longer side spans A4's 297 mm; the PNG is stored losslessly.
        const QString info = QString::fromUtf8(run("pdfinfo", {right}));
        QVERIFY2(info.contains("841.89 x "), qPrintable(info));
        QVERIFY(QString::fromUtf8(run("pdfimages", {"-list", right})).contains(" image "));
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
        QVERIFY(QFile::remove(m_dir.filePath(QString::fromUtf8(mine))));
        QVERIFY(QFile::remove(m_dir.filePath(QString::fromUtf8(other))));
    }

    void refusalsWriteNothing()
    {
        char name[256];
        QCOMPARE(ocrRecog(0, true, name), DOC_ERR_NOTHING_COLLECTED);
        QCOMPARE(addFile(nullptr), DOC_ERR_ARGUMENT);
        QCOMPARE(addFile(m_line.toUtf8()), DOC_OK);
        QCOMPARE(ocrRecog(0, true, nullptr), DOC_ERR_ARGUMENT);
        QCOMPARE(ocrRecog(4, true, name), DOC_ERR_UNKNOWN_TYPE);
        deleteFile();

        ScratchFolder dir;
        const QByteArray jpeg = readAll(m_line);
        const QByteArray good = dir.filePath("good.jpg").toUtf8();
        QVERIFY(writeAll(good, jpeg));
        const std::pair<const char *, QByteArray> bad[] = {
            {"empty.jpg", QByteArray()},
            {"truncated.jpg", jpeg.left(jpeg.size() / 2)},
            {"header-only.png", QByteArray("\x89PNG\r\n\x1a\n", 8)},
        };
        for (const auto &entry : bad)
            QVERIFY(writeAll(dir.filePath(QLatin1String(entry.first)), entry.second));
        const QStringList before = dir.files();
        for (const auto &entry : bad) {
            QCOMPARE(addFile(good), DOC_OK);
            QCOMPARE(addFile(dir.filePath(QLatin1String(entry.first)).toUtf8()), DOC_OK);
            QCOMPARE(ocrRecog(3, true, name), DOC_ERR_UNREADABLE_INPUT);
        }
        QCOMPARE(addFile(dir.filePath("missing.jpg").toUtf8()), DOC_OK);
        QCOMPARE(ocrRecog(2, true, name), DOC_ERR_UNREADABLE_INPUT);

        // Nothing written, not even a temporary file, and nothing lost.
        QCOMPARE(dir.files(), before);
        QCOMPARE(readAll(good), jpeg);
    }

    void failedJobsWriteNothing_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("diskFull");
        // The kinds that read the pictures again to write them; text alone is too small to fill the disk.
        for (int type : {2, 3}) {
            QTest::addRow("%s, disk full", type == 2 ? "pdf" : "ofd") << type << true;
            QTest::addRow("%s, picture turned during the job", type == 2 ? "pdf" : "ofd") << type << false;
        }
    }
    // Nothing of the job is left, not even a temporary file, and the pictures are as they were.
    void failedJobsWriteNothing()
    {
        QFETCH(int, type);
        QFETCH(bool, diskFull);
        const QByteArray jpeg = readAll(m_line);
        QVERIFY(jpeg.size() > 2 * 16 * 1024);
        SmallDisk disk;
        for (const char *picture : {"a.jpg", "b.jpg"}) {
            QVERIFY(writeAll(disk.filePath(picture), jpeg));
            QCOMPARE(addFile(disk.filePath(picture).toUtf8()), DOC_OK);
        }
        const QImage turned = QImage(m_line).transformed(QTransform().rotate(90));
        QVERIFY(writeAll(m_dir.filePath("turned.jpg"), encodeJpeg(turned, TJSAMP_420, 90, 300)));
        // The user turns the first picture while the second one is recognised.
        QByteArrayList paths{QFile::encodeName(m_dir.filePath("turned.jpg")),
                             QFile::encodeName(disk.filePath("a.jpg"))};
        if (diskFull)
            QVERIFY(disk.fill(16 * 1024));
        else
            setOcrProgressCallback(
                [](int page, int, void *user) {
                    const auto &paths = *static_cast<QByteArrayList *>(user);
                    if (page == 2)
                        std::rename(paths[0].constData(), paths[1].constData());
                },
                &paths);
        char name[256];
        const int status = ocrRecog(type, true, name);
        setOcrProgressCallback(nullptr, nullptr);
        disk.empty();
        QCOMPARE(status, int(diskFull ? DOC_ERR_WRITE_FAILED : DOC_ERR_UNREADABLE_INPUT));
        QCOMPARE(disk.files(), QStringList({"a.jpg", "b.jpg"}));
        QVERIFY(!diskFull || readAll(disk.filePath("a.jpg")) == jpeg);
    }

private:
    void checkPdf(const QString &path, QStringList *pages)
    {
        QCOMPARE(qpdfCheck(path), 0);
        const QString info = QString::fromUtf8(run("pdfinfo", {path}));
        QVERIFY2(info.contains(QRegularExpression("Pages:\\s+3\\n")), qPrintable(info));
        // 300 dpi pictures: pixels * 72 / 300 points.
        const QSizeF points = QSizeF(QImage(m_first).size()) * 72.0 / 300;
        const QString size =
            QString("%1 x %2 pts").arg(points.width(), 0, 'g', 6).arg(points.height(), 0, 'g', 6);
        QVERIFY2(info.contains(size), qPrintable(info + size));
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
        const Package package = readPackage(path);
        QVERIFY(package.entries.value("word/styles.xml").contains("w:eastAsia=\""));
        const QByteArray document = package.entries.value("word/document.xml");
        QVERIFY(document.contains("w:w=\"11906\"") && document.contains("w:h=\"16838\"")); // A4
        // An independent reader: python-docx, a run that holds a page break read as a form feed.
        int status = -1;
        const QByteArray text =
            run("/usr/bin/python3",
                {"-c",
                 "import sys, docx\n"
                 "print('\\n'.join(''.join('\\f' if r._r.xpath('w:br[@w:type=\"page\"]') else r.text "
                 "for r in p.runs) for p in docx.Document(sys.argv[1]).paragraphs), end='')",
                 path},
                &status);
        QCOMPARE(status, 0);
        *pages = QString::fromUtf8(text).split('\f');
    }

    // What a reader relies on: well-formed parts, every element in the OFD namespace under the ofd prefix,
    // every resource and font a page refers to declared.
    void checkOfd(const QString &path, QStringList *pages)
    {
        const Package package = readPackage(path);
        QCOMPARE(package.order.value(0), "OFD.xml");
        QSet<QString> ids;
        QStringList references;
        for (const QString &entry : package.order) {
            QXmlStreamReader reader(package.entries.value(entry));
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
            }
            QVERIFY2(!reader.hasError(), qPrintable(entry + reader.errorString()));
        }
        for (const QString &ref : references)
            QVERIFY2(ids.contains(ref), qPrintable("unresolved " + ref));
        // Pictures are packed unchanged.
        for (int p = 0; p < 3; ++p) {
            const QByteArray content =
                package.entries.value(QString("Doc_0/Pages/Page_%1/Content.xml").arg(p));
            QVERIFY(content.contains("Type=\"Background\""));
            QCOMPARE(content.contains("TextObject"), p < 2); // none on the blank page
            *pages << ofdPageText(content);
            const QByteArray jpeg = package.entries.value(QString("Doc_0/Res/image_%1.jpg").arg(p));
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

// ocrRecog through the public header: the four kinds on rendered pages, their structure, names and
// the failures a user can run into.
#include "DocumentSDK.h"
#include "filerace.h"
#include "ocrtruth.h"
#include "smalldisk.h"
#include "testpictures.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <turbojpeg.h>
#include <zip.h>

#include <cmath>
#include <cstring>
#include <map>
#include <omp.h>
#include <sys/inotify.h>
#include <thread>

using namespace ocrtruth;
using testpictures::encodeJpeg;
using testpictures::insertExifOrientation;
using testpictures::readAll;
using testpictures::writeAll;

namespace {

const double kMaxErrorRate = 0.05;

// Entries of a zip package in stored order, with their contents.
struct Package {
    QStringList order;
    std::map<QString, QByteArray> entries;
    bool has(const QString &name) const { return entries.count(name) > 0; }
    QByteArray operator[](const QString &name) const { return has(name) ? entries.at(name) : QByteArray(); }
};

Package readPackage(const QString &path)
{
    Package package;
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive)
        return package;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(archive, zip_uint64_t(i), 0, &st);
        QByteArray data(int(st.size), '\0');
        zip_file_t *file = zip_fopen_index(archive, zip_uint64_t(i), 0);
        if (file) {
            zip_fread(file, data.data(), st.size);
            zip_fclose(file);
        }
        const QString name = QString::fromUtf8(st.name);
        package.order << name;
        package.entries[name] = data;
    }
    zip_close(archive);
    return package;
}

// Plain-text pages of each kind as a reader would extract them.
QStringList textPages(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\f'));
}

// pdftotext of one page, with extra options before the file.
QString pdfText(const QString &path, int page, const QStringList &options = {"-enc", "UTF-8"})
{
    const QStringList range{"-f", QString::number(page), "-l", QString::number(page)};
    return QString::fromUtf8(run("pdftotext", options + range + QStringList{path, "-"}));
}

QStringList pdfPages(const QString &path, int count)
{
    QStringList pages;
    for (int p = 1; p <= count; ++p)
        pages << pdfText(path, p);
    return pages;
}

int qpdfCheck(const QString &path)
{
    int status = -1;
    run("qpdf", {"--check", path}, &status);
    return status;
}

QStringList docxPages(const QString &path, int *pageBreaks)
{
    const QByteArray xml = readPackage(path)[QStringLiteral("word/document.xml")];
    QXmlStreamReader reader(xml);
    QStringList pages{QString()};
    *pageBreaks = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        if (reader.name() == QLatin1String("br") &&
            reader.attributes().value(QLatin1String("w:type")) == QLatin1String("page")) {
            ++*pageBreaks;
            pages << QString();
        } else if (reader.name() == QLatin1String("t")) {
            pages.last() += reader.readElementText() + QLatin1Char('\n');
        }
    }
    return reader.hasError() ? QStringList() : pages;
}

QString ofdPageText(const QByteArray &content)
{
    QXmlStreamReader reader(content);
    QString text;
    while (!reader.atEnd())
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("TextCode"))
            text += reader.readElementText() + QLatin1Char(' ');
    return text;
}

// Boundary (millimetres) of the OFD text object whose text is the given run.
QRectF ofdTextBox(const QByteArray &content, const QString &text)
{
    QXmlStreamReader reader(content);
    QString boundary;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.name() == QLatin1String("TextObject"))
            boundary = reader.attributes().value(QLatin1String("Boundary")).toString();
        else if (reader.name() == QLatin1String("TextCode") && reader.readElementText() == text) {
            const QStringList v = boundary.split(QLatin1Char(' '));
            return v.size() == 4 ? QRectF(v[0].toDouble(), v[1].toDouble(), v[2].toDouble(), v[3].toDouble())
                                 : QRectF();
        }
    }
    return QRectF();
}

// Words of the first page as pdftotext places them (points).
std::map<QString, QRectF> pdfWordBoxes(const QString &path)
{
    const QString xhtml = pdfText(path, 1, {"-bbox"});
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    std::map<QString, QRectF> boxes;
    auto it = word.globalMatch(xhtml);
    while (it.hasNext()) {
        const auto m = it.next();
        boxes[m.captured(5)] = QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                      QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
    }
    return boxes;
}

// The text layer lies on the printed words: same start, width and line (pixel boxes).
void verifyPlacement(const QRectF &found, const QRectF &printed)
{
    const double tolerance = printed.height() / 3;
    QString detail;
    QDebug(&detail) << "found" << found << "printed" << printed;
    QVERIFY2(std::abs(found.left() - printed.left()) < tolerance, qPrintable(detail));
    QVERIFY2(std::abs(found.right() - printed.right()) < tolerance, qPrintable(detail));
    QVERIFY2(std::abs(found.center().y() - printed.center().y()) < printed.height() / 2, qPrintable(detail));
}

// Printed words checked for placement: an English word and a whole Chinese line.
const std::pair<int, QString> kPlaced[] = {{3, QStringLiteral("quick")},
                                           {2, QStringLiteral("识别后的文字可以搜索和复制。")}};

} // namespace

class TestDocumentOcr : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { deleteFile(); }
    void exportsEveryKind_data();
    void exportsEveryKind();
    void secondExportTakesFreeName();
    void oneDocumentPerPicture();
    void pictureWithoutDensityGetsA4Page();
    void blankPageGivesEmptyDocuments();
    void refusesBadInput();
    void reportsUnwritableFolder();
    void fullDiskLeavesNothing_data();
    void fullDiskLeavesNothing();
    void reportsMissingLanguageData();
    void overlappingCallsLeaveParallelismAsItWas();
    void pictureChangedBeforeWritingFailsTheJob_data();
    void pictureChangedBeforeWritingFailsTheJob();
    void exifOrientationReadsUpright_data();
    void exifOrientationReadsUpright();

private:
    void checkPdf(const QString &path, QStringList *pages);
    void checkDocx(const QString &path, QStringList *pages);
    void checkOfd(const QString &path, QStringList *pages);
    QStringList folderEntries(const QString &folder) const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir m_dir;
    QString m_first;  // Chinese and English, page 0 of the truth
    QString m_second; // page 1
    QString m_line;   // its last line alone: quick to recognise where a whole page is not needed
};

void TestDocumentOcr::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_first = m_dir.filePath(QStringLiteral("scan 01.jpg"));
    m_second = m_dir.filePath(QStringLiteral("scan 02.jpg"));
    QVERIFY(renderPage(m_first, pageLines(0)));
    QVERIFY(renderPage(m_second, pageLines(1)));
    m_line = m_dir.filePath(QStringLiteral("line.jpg"));
    QVERIFY(renderPage(m_line, {pageLines(0).last()}));
}

void TestDocumentOcr::exportsEveryKind_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("extension");
    QTest::newRow("text") << 0 << "txt";
    QTest::newRow("docx") << 1 << "docx";
    QTest::newRow("pdf") << 2 << "pdf";
    QTest::newRow("ofd") << 3 << "ofd";
}

void TestDocumentOcr::exportsEveryKind()
{
    QFETCH(int, type);
    QFETCH(QString, extension);
    QCOMPARE(addFile(m_first.toUtf8().constData()), DOC_OK);
    QCOMPARE(addFile(m_second.toUtf8().constData()), DOC_OK);
    char name[256];
    std::memset(name, 'x', sizeof name);
    QCOMPARE(ocrRecog(type, true, name), DOC_OK);
    QCOMPARE(QString::fromUtf8(name), QStringLiteral("scan 01.") + extension);
    const QString path = m_dir.filePath(QString::fromUtf8(name));
    QVERIFY(QFile::exists(path));
    // No temporary file is left beside the pictures.
    for (const QString &entry : folderEntries(m_dir.path()))
        QVERIFY2(!entry.startsWith(QLatin1Char('.')), qPrintable(entry));

    QStringList pages;
    switch (type) {
    case 0:
        pages = textPages(path);
        break;
    case 1:
        checkDocx(path, &pages);
        break;
    case 2:
        checkPdf(path, &pages);
        break;
    default:
        checkOfd(path, &pages);
        break;
    }
    QCOMPARE(pages.size(), 2);
    for (int p = 0; p < 2; ++p) {
        const double cer = characterErrorRate(pageLines(p).join(QLatin1Char('\n')), pages[p]);
        qInfo("%s page %d: character error rate %.2f %%", qPrintable(extension), p + 1, cer * 100);
        QVERIFY2(cer <= kMaxErrorRate, qPrintable(pages[p]));
        QVERIFY2(!hasSpaceBetweenHan(pages[p]), qPrintable(pages[p]));
    }
    // The job emptied the collection.
    QCOMPARE(ocrRecog(type, true, name), DOC_ERR_NOTHING_COLLECTED);
}

void TestDocumentOcr::checkPdf(const QString &path, QStringList *pages)
{
    QCOMPARE(qpdfCheck(path), 0);
    const QString info = QString::fromUtf8(run(QStringLiteral("pdfinfo"), {path}));
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))), qPrintable(info));
    // 300 dpi pictures: pixels * 72 / 300 points.
    const QImage picture(m_first);
    const QString size = QStringLiteral("%1 x %2 pts")
                             .arg(picture.width() * 72.0 / 300, 0, 'g', 6)
                             .arg(picture.height() * 72.0 / 300, 0, 'g', 6);
    QVERIFY2(info.contains(size), qPrintable(info + size));
    const QString images =
        QString::fromUtf8(run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), path}));
    QCOMPARE(images.count(QStringLiteral(" jpeg ")), 2);
    // The JPEG files are inside byte for byte.
    const QByteArray pdf = readAll(path);
    QVERIFY(pdf.contains(readAll(m_first)));
    QVERIFY(pdf.contains(readAll(m_second)));
    const QString fonts = QString::fromUtf8(run(QStringLiteral("pdffonts"), {path}));
    QVERIFY2(fonts.contains(QStringLiteral("CID TrueType")) && fonts.contains(QStringLiteral("Identity-H")),
             qPrintable(fonts));
    *pages = pdfPages(path, 2);

    const std::map<QString, QRectF> boxes = pdfWordBoxes(path);
    for (const auto &placed : kPlaced) {
        QVERIFY2(boxes.count(placed.second), qPrintable(placed.second));
        const QRectF pt = boxes.at(placed.second);
        verifyPlacement(QRectF(pt.topLeft() * 300 / 72, pt.size() * 300 / 72),
                        printedBox(pageLines(0), placed.first, placed.second));
    }
}

void TestDocumentOcr::checkDocx(const QString &path, QStringList *pages)
{
    const Package package = readPackage(path);
    QVERIFY(!package.order.isEmpty());
    QCOMPARE(package.order.first(), QStringLiteral("[Content_Types].xml"));
    for (const char *part :
         {"_rels/.rels", "word/document.xml", "word/styles.xml", "word/_rels/document.xml.rels"})
        QVERIFY2(package.has(QLatin1String(part)), part);
    for (const QString &name : package.order)
        QVERIFY2(!name.endsWith(QLatin1Char('/')), qPrintable(name));
    const QString styles = QString::fromUtf8(package[QStringLiteral("word/styles.xml")]);
    QVERIFY(styles.contains(QRegularExpression(QStringLiteral("w:eastAsia=\"[^\"]+\""))));
    const QString document = QString::fromUtf8(package[QStringLiteral("word/document.xml")]);
    QVERIFY(document.contains(QStringLiteral("w:w=\"11906\"")) &&
            document.contains(QStringLiteral("w:h=\"16838\"")));
    // 14 pt printing at 300 dpi comes out near 14 pt (sizes in half points).
    const QRegularExpression sizeRe(QStringLiteral("<w:sz w:val=\"(\\d+)\"/>"));
    auto match = sizeRe.globalMatch(document);
    int sizes = 0;
    while (match.hasNext()) {
        const int halfPoints = match.next().captured(1).toInt();
        QVERIFY2(halfPoints >= 22 && halfPoints <= 40, qPrintable(QString::number(halfPoints)));
        ++sizes;
    }
    QVERIFY(sizes > 0);
    int breaks = 0;
    *pages = docxPages(path, &breaks);
    QCOMPARE(breaks, 1);

    // An independent reader, where it is installed, finds the paragraphs.
    int status = -1;
    const QByteArray out =
        run("/usr/bin/python3",
            {"-c",
             "import sys\ntry:\n import docx\nexcept ImportError:\n sys.exit(3)\n"
             "d = docx.Document(sys.argv[1])\nprint(sum(1 for p in d.paragraphs if p.text))",
             path},
            &status);
    QVERIFY(status == 3 || (status == 0 && out.trimmed().toInt() >= 2));
}

void TestDocumentOcr::checkOfd(const QString &path, QStringList *pages)
{
    const Package package = readPackage(path);
    QVERIFY(!package.order.isEmpty());
    QCOMPARE(package.order.first(), QStringLiteral("OFD.xml"));
    const QString ns = QStringLiteral("http://www.ofdspec.org/2016");
    QSet<QString> ids;
    QStringList references; // ResourceID, Font
    QStringList locations;  // resolved package paths
    long maxUnitId = -1;
    int textCodes = 0;
    for (const QString &entry : package.order) {
        if (!entry.endsWith(QLatin1String(".xml")))
            continue;
        const QString folder =
            entry.contains(QLatin1Char('/')) ? entry.section(QLatin1Char('/'), 0, -2) + "/" : "";
        QXmlStreamReader reader(package[entry]);
        QString resBase;
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement)
                continue;
            QVERIFY2(reader.namespaceUri() == ns && reader.prefix() == QLatin1String("ofd"),
                     qPrintable(entry + ": " + reader.qualifiedName().toString()));
            const QXmlStreamAttributes attrs = reader.attributes();
            const QString element = reader.name().toString();
            // A page is declared where it has its content location; elsewhere it is referred to.
            const bool isPage = element == QLatin1String("Page");
            const bool pageEntry = isPage && attrs.hasAttribute(QLatin1String("BaseLoc"));
            if (pageEntry)
                locations << folder + attrs.value(QLatin1String("BaseLoc")).toString();
            if (pageEntry || (!isPage && attrs.hasAttribute(QLatin1String("ID")))) {
                const QString id = attrs.value(QLatin1String("ID")).toString();
                QVERIFY2(!ids.contains(id), qPrintable("duplicate ID " + id));
                ids.insert(id);
            }
            for (const char *ref : {"ResourceID", "Font"})
                if (attrs.hasAttribute(QLatin1String(ref)))
                    references << attrs.value(QLatin1String(ref)).toString();
            if (element == QLatin1String("Res"))
                resBase = folder + attrs.value(QLatin1String("BaseLoc")).toString() + "/";
            if (element == QLatin1String("MediaFile"))
                locations << resBase + reader.readElementText();
            else if (element == QLatin1String("DocRoot"))
                locations << reader.readElementText();
            else if (element == QLatin1String("PublicRes") || element == QLatin1String("DocumentRes"))
                locations << folder + reader.readElementText();
            else if (element == QLatin1String("MaxUnitID"))
                maxUnitId = reader.readElementText().toLong();
            else if (element == QLatin1String("TextCode")) {
                const QStringList deltas = attrs.value(QLatin1String("DeltaX"))
                                               .toString()
                                               .split(QLatin1Char(' '), Qt::SkipEmptyParts);
                const QString text = reader.readElementText();
                QCOMPARE(deltas.size(), std::max(0, int(text.size()) - 1));
                ++textCodes;
            }
        }
        QVERIFY2(!reader.hasError(), qPrintable(entry + reader.errorString()));
    }
    QVERIFY(textCodes > 0);
    QVERIFY(locations.contains(QStringLiteral("Doc_0/Document.xml")));
    for (const QString &location : locations)
        QVERIFY2(package.has(location), qPrintable(location));
    for (const QString &ref : references)
        QVERIFY2(ids.contains(ref), qPrintable("unresolved " + ref));
    for (const QString &id : ids)
        QVERIFY(id.toLong() > 0 && id.toLong() <= maxUnitId);
    // Pictures are packed unchanged.
    QCOMPARE(package[QStringLiteral("Doc_0/Res/image_0.jpg")], readAll(m_first));
    QCOMPARE(package[QStringLiteral("Doc_0/Res/image_1.jpg")], readAll(m_second));
    for (const auto &placed : kPlaced) {
        const QRectF mm =
            ofdTextBox(package[QStringLiteral("Doc_0/Pages/Page_0/Content.xml")], placed.second);
        QVERIFY2(!mm.isNull(), qPrintable(placed.second));
        verifyPlacement(QRectF(mm.topLeft() * 300 / 25.4, mm.size() * 300 / 25.4),
                        printedBox(pageLines(0), placed.first, placed.second));
    }
    for (int p = 0; p < 2; ++p) {
        const QByteArray content = package[QStringLiteral("Doc_0/Pages/Page_%1/Content.xml").arg(p)];
        QVERIFY(content.contains("Type=\"Background\""));
        *pages << ofdPageText(content);
    }
}

void TestDocumentOcr::secondExportTakesFreeName()
{
    QTemporaryDir dir;
    // A 248-byte stem: "stem(2).txt" is as long as a name can be.
    const QString stem = QString(82, QChar(0x9875)) + "ab";
    const QString picture = dir.filePath(stem + ".jpg");
    QVERIFY(QFile::copy(m_second, picture));
    QVERIFY(writeAll(dir.filePath(stem + ".txt"), "not ours"));
    char name[256];
    for (const QString &expected : {stem + "(1).txt", stem + "(2).txt"}) {
        QCOMPARE(addFile(picture.toUtf8().constData()), DOC_OK);
        QCOMPARE(ocrRecog(0, true, name), DOC_OK);
        QCOMPARE(QString::fromUtf8(name), expected);
    }
    QCOMPARE(readAll(dir.filePath(stem + ".txt")), QByteArray("not ours"));
    // Published with the permissions of any new file, not those of the private temporary.
    QCOMPARE(QFile::permissions(dir.filePath(stem + "(1).txt")),
             QFile::permissions(dir.filePath(stem + ".txt")));
    QCOMPARE(readAll(dir.filePath(stem + "(1).txt")), readAll(dir.filePath(stem + "(2).txt")));
}

void TestDocumentOcr::oneDocumentPerPicture()
{
    QTemporaryDir a, b;
    const QString first = a.filePath(QStringLiteral("left.jpg")),
                  second = b.filePath(QStringLiteral("right.jpg"));
    QVERIFY(QFile::copy(m_first, first) && QFile::copy(m_second, second));
    QCOMPARE(addFile(first.toUtf8().constData()), DOC_OK);
    QCOMPARE(addFile(second.toUtf8().constData()), DOC_OK);
    char name[256];
    QCOMPARE(ocrRecog(0, false, name), DOC_OK);
    QCOMPARE(QString::fromUtf8(name), QStringLiteral("left.txt"));
    const QStringList left = textPages(a.filePath(QStringLiteral("left.txt")));
    const QStringList right = textPages(b.filePath(QStringLiteral("right.txt")));
    QCOMPARE(left.size(), 1);
    QCOMPARE(right.size(), 1);
    QVERIFY(characterErrorRate(pageLines(0).join(QString()), left.first()) <= kMaxErrorRate);
    QVERIFY(characterErrorRate(pageLines(1).join(QString()), right.first()) <= kMaxErrorRate);
}

void TestDocumentOcr::pictureWithoutDensityGetsA4Page()
{
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("screen.png"));
    QVERIFY(renderPage(picture, pageLines(2), 0));
    QCOMPARE(addFile(picture.toUtf8().constData()), DOC_OK);
    char name[256];
    QCOMPARE(ocrRecog(2, true, name), DOC_OK);
    const QString path = dir.filePath(QString::fromUtf8(name));
    QCOMPARE(qpdfCheck(path), 0);
    // The longer side spans A4's 297 mm.
    const QString info = QString::fromUtf8(run(QStringLiteral("pdfinfo"), {path}));
    QVERIFY2(info.contains(QStringLiteral("841.89 x ")), qPrintable(info));
    QVERIFY(QString::fromUtf8(run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), path}))
                .contains(QStringLiteral(" image ")));
    QVERIFY(characterErrorRate(pageLines(2).join(QString()), pdfPages(path, 1).first()) <= kMaxErrorRate);
}

void TestDocumentOcr::blankPageGivesEmptyDocuments()
{
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("blank.jpg"));
    QImage white(800, 600, QImage::Format_RGB32);
    white.fill(Qt::white);
    QVERIFY(white.save(picture));
    char name[256];
    for (int type = 0; type < 4; ++type) {
        QCOMPARE(addFile(picture.toUtf8().constData()), DOC_OK);
        QCOMPARE(ocrRecog(type, true, name), DOC_OK);
    }
    QCOMPARE(readAll(dir.filePath(QStringLiteral("blank.txt"))), QByteArray());
    QCOMPARE(qpdfCheck(dir.filePath("blank.pdf")), 0);
    int breaks = -1;
    QCOMPARE(docxPages(dir.filePath(QStringLiteral("blank.docx")), &breaks), QStringList{QString()});
    const Package ofd = readPackage(dir.filePath(QStringLiteral("blank.ofd")));
    const QByteArray content = ofd[QStringLiteral("Doc_0/Pages/Page_0/Content.xml")];
    QVERIFY(content.contains("ImageObject"));
    QVERIFY(!content.contains("TextObject"));
}

void TestDocumentOcr::refusesBadInput()
{
    QTemporaryDir dir;
    char name[256];
    QCOMPARE(ocrRecog(0, true, name), DOC_ERR_NOTHING_COLLECTED);
    QCOMPARE(addFile(nullptr), DOC_ERR_ARGUMENT);
    QCOMPARE(addFile(""), DOC_ERR_ARGUMENT);
    QCOMPARE(addFile(m_first.toUtf8().constData()), DOC_OK);
    QCOMPARE(ocrRecog(0, true, nullptr), DOC_ERR_ARGUMENT);
    QCOMPARE(ocrRecog(4, true, name), DOC_ERR_UNKNOWN_TYPE);
    QCOMPARE(ocrRecog(-1, true, name), DOC_ERR_UNKNOWN_TYPE);
    deleteFile();

    const QByteArray jpeg = readAll(m_first);
    const QString good = dir.filePath(QStringLiteral("good.jpg"));
    QVERIFY(writeAll(good, jpeg));
    const std::pair<const char *, QByteArray> bad[] = {
        {"empty.jpg", QByteArray()},
        {"garbage.jpg", QByteArray(5000, '\x5a')},
        {"truncated.jpg", jpeg.left(jpeg.size() / 2)},
        {"header-only.png", QByteArray("\x89PNG\r\n\x1a\n", 8)},
    };
    for (const auto &entry : bad)
        QVERIFY(writeAll(dir.filePath(QLatin1String(entry.first)), entry.second));
    const QStringList before = folderEntries(dir.path());
    for (const auto &entry : bad) {
        for (int type = 0; type < 4; type += 3) {
            QCOMPARE(addFile(good.toUtf8().constData()), DOC_OK);
            QCOMPARE(addFile(dir.filePath(QLatin1String(entry.first)).toUtf8().constData()), DOC_OK);
            QCOMPARE(ocrRecog(type, true, name), DOC_ERR_UNREADABLE_INPUT);
            QCOMPARE(name[0], '\0');
        }
    }
    QCOMPARE(addFile(dir.filePath(QStringLiteral("missing.jpg")).toUtf8().constData()), DOC_OK);
    QCOMPARE(ocrRecog(2, true, name), DOC_ERR_UNREADABLE_INPUT);
    // Nothing written, nothing lost.
    QCOMPARE(folderEntries(dir.path()), before);
    QCOMPARE(readAll(good), jpeg);
}

void TestDocumentOcr::reportsUnwritableFolder()
{
    // The picture is readable but its folder (/proc/self/fd) takes no new files, not even from root.
    QFile picture(m_first);
    QVERIFY(picture.open(QIODevice::ReadOnly));
    const QString viaFd = QStringLiteral("/proc/self/fd/%1").arg(picture.handle());
    QCOMPARE(addFile(viaFd.toUtf8().constData()), DOC_OK);
    char name[256];
    QCOMPARE(ocrRecog(1, true, name), DOC_ERR_WRITE_FAILED);
    QCOMPARE(name[0], '\0');
    // One document per picture: the first, whose folder is fine, is not written either.
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.jpg"));
    QVERIFY(QFile::copy(m_first, good));
    QCOMPARE(addFile(good.toUtf8().constData()), DOC_OK);
    QCOMPARE(addFile(viaFd.toUtf8().constData()), DOC_OK);
    QCOMPARE(ocrRecog(2, false, name), DOC_ERR_WRITE_FAILED);
    QCOMPARE(folderEntries(dir.path()), QStringList{QStringLiteral("good.jpg")});
}

void TestDocumentOcr::fullDiskLeavesNothing_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("freeKiB");
    QTest::addColumn<int>("status");
    // The kinds that carry the page picture; text alone is too small to fill these.
    for (int type : {2, 3}) {
        const char *kind = type == 2 ? "pdf" : "ofd";
        QTest::addRow("%s, 40 KiB free", kind) << type << 40 << int(DOC_ERR_WRITE_FAILED);
        QTest::addRow("%s, 200 KiB free", kind) << type << 200 << int(DOC_ERR_WRITE_FAILED);
        QTest::addRow("%s, 700 KiB free", kind) << type << 700 << int(DOC_ERR_WRITE_FAILED);
        QTest::addRow("%s, room enough", kind) << type << 4096 << int(DOC_OK);
    }
}

void TestDocumentOcr::fullDiskLeavesNothing()
{
    QFETCH(int, type);
    QFETCH(int, freeKiB);
    QFETCH(int, status);
    // A page carrying 1 MiB of metadata (as phone photos do), which both documents keep.
    QByteArray jpeg = readAll(m_line);
    QRandomGenerator random(7);
    for (int i = 0; i < 16; ++i) {
        QByteArray segment("\xFF\xEF\xFF\xFF", 4);
        for (int b = 0; b < 0xFFFD; ++b)
            segment += char(random.bounded(256));
        jpeg.insert(2, segment);
    }
    SmallDisk disk;
    QVERIFY(writeAll(disk.filePath(QStringLiteral("page.jpg")), jpeg));
    QCOMPARE(addFile(disk.filePath(QStringLiteral("page.jpg")).toUtf8().constData()), DOC_OK);

    QVERIFY(disk.fill(qint64(freeKiB) * 1024));
    char name[256];
    QCOMPARE(ocrRecog(type, true, name), status);
    disk.empty();
    QStringList expected{QStringLiteral("page.jpg")};
    if (status == DOC_OK) {
        const QString document = disk.filePath(QString::fromUtf8(name));
        if (type == 2)
            QCOMPARE(qpdfCheck(document), 0);
        else
            QVERIFY(readPackage(document).has(QStringLiteral("OFD.xml")));
        expected.append(QString::fromUtf8(name));
    } else {
        QCOMPARE(name[0], '\0');
    }
    QCOMPARE(disk.entries(), expected); // no temporary file either
    QCOMPARE(readAll(disk.filePath(QStringLiteral("page.jpg"))), jpeg);
}

void TestDocumentOcr::reportsMissingLanguageData()
{
    QTemporaryDir empty;
    const QByteArray saved = qgetenv("TESSDATA_PREFIX");
    qputenv("TESSDATA_PREFIX", empty.path().toUtf8());
    QCOMPARE(addFile(m_first.toUtf8().constData()), DOC_OK);
    char name[256];
    const int status = ocrRecog(3, true, name);
    if (saved.isEmpty())
        qunsetenv("TESSDATA_PREFIX");
    else
        qputenv("TESSDATA_PREFIX", saved);
    QCOMPARE(status, DOC_ERR_NO_LANGUAGE_DATA);
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("scan 01(1).ofd"))));
    for (const QString &entry : folderEntries(m_dir.path()))
        QVERIFY2(!entry.startsWith(QLatin1Char('.')), qPrintable(entry));
}

void TestDocumentOcr::overlappingCallsLeaveParallelismAsItWas()
{
    // Recognition switches OpenMP nesting off for its own thread only and puts it back.
    const int levels = omp_get_max_active_levels();
    QVERIFY(levels > 0);
    for (int i = 0; i < 2; ++i)
        QCOMPARE(addFile(m_line.toUtf8().constData()), DOC_OK);
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

void TestDocumentOcr::pictureChangedBeforeWritingFailsTheJob_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("pdf") << 2;
    QTest::newRow("ofd") << 3;
}

void TestDocumentOcr::pictureChangedBeforeWritingFailsTheJob()
{
    QFETCH(int, type);
    QTemporaryDir dir;
    QVERIFY(QFile::copy(m_first, dir.filePath(QStringLiteral("a.jpg"))));
    QVERIFY(QFile::copy(m_second, dir.filePath(QStringLiteral("b.jpg"))));
    const QImage turned = QImage(m_first).transformed(QTransform().rotate(90));
    QVERIFY(writeAll(dir.filePath(QStringLiteral("turned.jpg")), encodeJpeg(turned, TJSAMP_420, 90, 300)));
    QCOMPARE(addFile(dir.filePath(QStringLiteral("a.jpg")).toUtf8().constData()), DOC_OK);
    QCOMPARE(addFile(dir.filePath(QStringLiteral("b.jpg")).toUtf8().constData()), DOC_OK);
    // The first picture is opened and closed twice by the header check, then once to be recognised;
    // the user turns it while the second one is recognised. (Opens and closes alternate, so the
    // kernel does not merge them into one event.)
    FileRace turn(dir.path(), QStringLiteral("a.jpg"), IN_OPEN | IN_CLOSE_NOWRITE, 6,
                  dir.filePath(QStringLiteral("turned.jpg")), dir.filePath(QStringLiteral("a.jpg")));
    char name[256];
    const int status = ocrRecog(type, true, name);
    QVERIFY(turn.happened());
    QCOMPARE(status, int(DOC_ERR_UNREADABLE_INPUT));
    QCOMPARE(folderEntries(dir.path()), QStringList({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
}

void TestDocumentOcr::exifOrientationReadsUpright_data()
{
    QTest::addColumn<int>("orientation");
    for (int orientation = 1; orientation <= 8; ++orientation)
        QTest::addRow("%d", orientation) << orientation;
}

namespace {

// The stored picture that a viewer shows as upright for the given EXIF orientation: 6 is shown
// turned a quarter clockwise, 5 transposed, 7 transversed.
QImage storedFor(const QImage &upright, int orientation)
{
    static const int turn[] = {0, 0, 180, 0, 90, 270, 90, 90};
    return upright.transformed(QTransform().rotate(turn[orientation - 1]))
        .mirrored(orientation == 2 || orientation == 5, orientation == 4 || orientation == 7);
}

// Whether the page has the upright picture's shape and shows its dark mark in the top left corner
// only, as the upright picture does.
bool markedTopLeft(const QImage &page, const QImage &upright)
{
    const QImage grey = page.convertToFormat(QImage::Format_Grayscale8);
    const int w = grey.width() / 25, h = grey.height() / 25;
    const auto mean = [&](int x0, int y0) {
        long sum = 0;
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                sum += grey.pixelColor(x, y).value();
        return sum / std::max(1, w * h);
    };
    const int right = grey.width() - w, bottom = grey.height() - h;
    return !grey.isNull() && (grey.width() > grey.height()) == (upright.width() > upright.height()) &&
           mean(0, 0) < 128 && mean(right, 0) > 200 && mean(0, bottom) > 200 && mean(right, bottom) > 200;
}

// Paints an OFD page's background picture as a reader does: its CTM maps the image's unit square
// into the boundary, y downwards, at scale pixels per millimetre.
QImage paintOfdPage(const QByteArray &content, const QByteArray &jpeg, double widthMm, double heightMm,
                    double scale)
{
    const QRegularExpression ctmRe(QStringLiteral("CTM=\"([^\"]+)\""));
    const QStringList m = ctmRe.match(QString::fromUtf8(content)).captured(1).split(QLatin1Char(' '));
    QImage page(int(widthMm * scale), int(heightMm * scale), QImage::Format_RGB32);
    page.fill(Qt::white);
    if (m.size() != 6)
        return QImage();
    QPainter painter(&page);
    painter.scale(scale, scale);
    painter.setTransform(QTransform(m[0].toDouble(), m[1].toDouble(), m[2].toDouble(), m[3].toDouble(),
                                    m[4].toDouble(), m[5].toDouble()),
                         true);
    painter.drawImage(QRectF(0, 0, 1, 1), QImage::fromData(jpeg));
    return page;
}

} // namespace

void TestDocumentOcr::exifOrientationReadsUpright()
{
    QFETCH(int, orientation);
    QImage upright = QImage(m_line).convertToFormat(QImage::Format_RGB888);
    QPainter(&upright).fillRect(0, 0, 100, 100, Qt::black); // a mark in the top left corner
    QByteArray jpeg = encodeJpeg(storedFor(upright, orientation), TJSAMP_420, 90, 300);
    insertExifOrientation(jpeg, orientation, orientation % 2);
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(writeAll(picture, jpeg));
    const QString truth = pageLines(0).last();
    char name[256];

    QCOMPARE(addFile(picture.toUtf8().constData()), DOC_OK);
    QCOMPARE(ocrRecog(2, true, name), DOC_OK);
    const QString pdf = dir.filePath(QString::fromUtf8(name));
    QVERIFY(characterErrorRate(truth, pdfText(pdf, 1)) <= kMaxErrorRate);
    const QString prefix = dir.filePath(QStringLiteral("shown"));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("30"), QStringLiteral("-gray"),
                                     QStringLiteral("-singlefile"), pdf, prefix});
    QVERIFY(markedTopLeft(QImage(prefix + QStringLiteral(".pgm")), upright));

    QCOMPARE(addFile(picture.toUtf8().constData()), DOC_OK);
    QCOMPARE(ocrRecog(3, true, name), DOC_OK);
    const Package ofd = readPackage(dir.filePath(QString::fromUtf8(name)));
    const QByteArray content = ofd[QStringLiteral("Doc_0/Pages/Page_0/Content.xml")];
    QVERIFY(characterErrorRate(truth, ofdPageText(content)) <= kMaxErrorRate);
    const double mm = 25.4 / 300;
    QVERIFY(markedTopLeft(paintOfdPage(content, ofd[QStringLiteral("Doc_0/Res/image_0.jpg")],
                                       upright.width() * mm, upright.height() * mm, 1.2),
                          upright));
}

QTEST_MAIN(TestDocumentOcr)
#include "tst_documentocr.moc"

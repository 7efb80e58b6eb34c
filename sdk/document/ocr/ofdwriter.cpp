// OFD (GB/T 33190-2016): every page shows its picture in a Background layer and carries the
// recognised text as fully transparent text objects in a Body layer above it, one per run, so
// readers can search and select. All IDs come from one document-wide counter.
#include "picture.h"
#include "placement.h"
#include "writers.h"
#include "xmlpart.h"
#include "zippackage.h"

#include <leptonica/allheaders.h>

#include <QDate>
#include <QFileInfo>
#include <QUuid>

namespace docsdk
{
namespace ocr
{
namespace
{

const QString kNs = QStringLiteral("http://www.ofdspec.org/2016");

// Every OFD element carries the ofd: prefix; some readers look elements up by that literal name.
class OfdPart : public XmlPart
{
public:
    explicit OfdPart(const QString &root) : XmlPart(kNs, QStringLiteral("ofd"), root) {}
};

QString box(double x, double y, double w, double h)
{
    return decimal(x) + ' ' + decimal(y) + ' ' + decimal(w) + ' ' + decimal(h);
}

struct Picture {
    QByteArray data;
    QString format; // JPEG or PNG
};

// Name inside the Res folder.
QString mediaFile(size_t index, const Picture &picture)
{
    return QStringLiteral("image_%1.%2")
        .arg(index)
        .arg(picture.format == QLatin1String("JPEG") ? "jpg" : "png");
}

// JPEGs are packed as they are; other pictures losslessly as PNG. False when the picture is gone or
// no longer the one recognised.
bool loadPicture(const Page &page, Picture &picture)
{
    if (page.jpeg) {
        picture.format = QStringLiteral("JPEG");
        return pageBytes(page, picture.data);
    }
    PixPtr pix = pageLosslessPixels(page);
    l_uint8 *png = nullptr;
    size_t size = 0;
    if (!pix || pixWriteMemPng(&png, &size, pix.get(), 0) != 0)
        return false;
    picture = {QByteArray(reinterpret_cast<const char *>(png), int(size)), QStringLiteral("PNG")};
    lept_free(png);
    return true;
}

void writeTextObject(OfdPart &xml, const Page &page, const Line &line, const Run &run, int id, int fontId)
{
    const double size = page.pixelsToMm(std::max(1, line.box.height()));
    double baseline = line.baselineAt((run.box.left + run.box.right) / 2.0);
    if (baseline < line.box.top || baseline > line.box.bottom)
        baseline = line.box.bottom;
    // The boundary spans the whole line height so the text is never clipped.
    const int top = std::min(run.box.top, line.box.top);
    const int bottom = std::max(run.box.bottom, line.box.bottom);
    xml.start(QStringLiteral("TextObject"));
    xml.writeAttribute(QStringLiteral("ID"), QString::number(id));
    xml.writeAttribute(QStringLiteral("Boundary"),
                       box(page.pixelsToMm(run.box.left), page.pixelsToMm(top),
                           page.pixelsToMm(run.box.width()), page.pixelsToMm(bottom - top)));
    xml.writeAttribute(QStringLiteral("Font"), QString::number(fontId));
    xml.writeAttribute(QStringLiteral("Size"), decimal(size));
    xml.writeAttribute(QStringLiteral("Alpha"), QStringLiteral("0"));
    xml.start(QStringLiteral("FillColor"));
    xml.writeAttribute(QStringLiteral("Value"), QStringLiteral("0 0 0"));
    xml.writeAttribute(QStringLiteral("Alpha"), QStringLiteral("0"));
    xml.writeEndElement();

    // Advances between glyph centres, which are steadier than ink edges; readers step through a
    // text code per UTF-16 unit, so a glyph outside the BMP takes a zero step for its first half.
    QStringList deltas;
    for (size_t i = 0; i < run.glyphs.size(); ++i) {
        const Box &b = run.glyphs[i].box;
        for (int u = 1; u < run.glyphs[i].text.size(); ++u)
            deltas << QStringLiteral("0");
        if (i + 1 < run.glyphs.size()) {
            const Box &next = run.glyphs[i + 1].box;
            deltas << decimal(page.pixelsToMm((next.left + next.right - b.left - b.right) / 2.0));
        }
    }
    xml.start(QStringLiteral("TextCode"));
    xml.writeAttribute(QStringLiteral("X"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("Y"), decimal(page.pixelsToMm(baseline - top)));
    if (!deltas.isEmpty())
        xml.writeAttribute(QStringLiteral("DeltaX"), deltas.join(QLatin1Char(' ')));
    xml.writeCharacters(run.text());
    xml.writeEndElement();
    xml.writeEndElement();
}

} // namespace

bool writeOfd(const std::vector<Page> &pages, const std::string &path)
{
    if (pages.empty())
        return false;
    int nextId = 1;
    const int fontId = nextId++;
    struct PageRefs {
        int pageId;
        int imageId;
    };
    std::vector<PageRefs> refs;
    std::vector<QByteArray> contents;
    std::vector<Picture> pictures;

    for (const Page &page : pages) {
        Picture picture;
        if (!loadPicture(page, picture))
            return false;
        pictures.push_back(picture);
        const PageRefs ref{nextId++, nextId++};
        refs.push_back(ref);

        OfdPart xml(QStringLiteral("Page"));
        xml.start(QStringLiteral("Area"));
        xml.element(QStringLiteral("PhysicalBox"),
                    box(0, 0, page.pixelsToMm(page.width), page.pixelsToMm(page.height)));
        xml.writeEndElement();
        xml.start(QStringLiteral("Content"));
        xml.start(QStringLiteral("Layer"));
        xml.writeAttribute(QStringLiteral("ID"), QString::number(nextId++));
        xml.writeAttribute(QStringLiteral("Type"), QStringLiteral("Background"));
        xml.start(QStringLiteral("ImageObject"));
        xml.writeAttribute(QStringLiteral("ID"), QString::number(nextId++));
        const double w = page.pixelsToMm(page.width), h = page.pixelsToMm(page.height);
        xml.writeAttribute(QStringLiteral("Boundary"), box(0, 0, w, h));
        // Drawn upright: the stored picture's size is the page's, turned back.
        const bool sideways = sdkcommon::isSideways(page.orientation);
        const sdkcommon::Placement placement =
            sdkcommon::ofdPlacement(page.orientation, sideways ? h : w, sideways ? w : h);
        const double *m = placement.m;
        xml.writeAttribute(QStringLiteral("CTM"),
                           box(m[0], m[1], m[2], m[3]) + ' ' + decimal(m[4]) + ' ' + decimal(m[5]));
        xml.writeAttribute(QStringLiteral("ResourceID"), QString::number(ref.imageId));
        xml.writeEndElement();
        xml.writeEndElement();
        xml.start(QStringLiteral("Layer"));
        xml.writeAttribute(QStringLiteral("ID"), QString::number(nextId++));
        xml.writeAttribute(QStringLiteral("Type"), QStringLiteral("Body"));
        for (const Paragraph &paragraph : page.paragraphs)
            for (const Line &line : paragraph.lines)
                for (const Run &run : lineRuns(line))
                    writeTextObject(xml, page, line, run, nextId++, fontId);
        contents.push_back(xml.finish());
    }
    const int maxId = nextId - 1;

    OfdPart ofd(QStringLiteral("OFD"));
    ofd.writeAttribute(QStringLiteral("Version"), QStringLiteral("1.0"));
    ofd.writeAttribute(QStringLiteral("DocType"), QStringLiteral("OFD"));
    ofd.start(QStringLiteral("DocBody"));
    ofd.start(QStringLiteral("DocInfo"));
    ofd.element(QStringLiteral("DocID"), QUuid::createUuid().toString(QUuid::Id128));
    ofd.element(QStringLiteral("Title"),
                QFileInfo(QString::fromStdString(pages.front().picture)).completeBaseName());
    ofd.element(QStringLiteral("CreationDate"), QDate::currentDate().toString(Qt::ISODate));
    ofd.element(QStringLiteral("Creator"), QStringLiteral("PageLux"));
    ofd.writeEndElement();
    ofd.element(QStringLiteral("DocRoot"), QStringLiteral("Doc_0/Document.xml"));

    OfdPart document(QStringLiteral("Document"));
    document.start(QStringLiteral("CommonData"));
    document.element(QStringLiteral("MaxUnitID"), QString::number(maxId));
    document.start(QStringLiteral("PageArea"));
    const Page &first = pages.front();
    document.element(QStringLiteral("PhysicalBox"),
                     box(0, 0, first.pixelsToMm(first.width), first.pixelsToMm(first.height)));
    document.writeEndElement();
    document.element(QStringLiteral("PublicRes"), QStringLiteral("PublicRes.xml"));
    document.element(QStringLiteral("DocumentRes"), QStringLiteral("DocumentRes.xml"));
    document.writeEndElement();
    document.start(QStringLiteral("Pages"));
    for (size_t i = 0; i < refs.size(); ++i) {
        document.start(QStringLiteral("Page"));
        document.writeAttribute(QStringLiteral("ID"), QString::number(refs[i].pageId));
        document.writeAttribute(QStringLiteral("BaseLoc"),
                                QStringLiteral("Pages/Page_%1/Content.xml").arg(i));
        document.writeEndElement();
    }

    // The text is never drawn, so no font file is embedded.
    OfdPart publicRes(QStringLiteral("Res"));
    publicRes.writeAttribute(QStringLiteral("BaseLoc"), QStringLiteral("Res"));
    publicRes.start(QStringLiteral("Fonts"));
    publicRes.start(QStringLiteral("Font"));
    publicRes.writeAttribute(QStringLiteral("ID"), QString::number(fontId));
    publicRes.writeAttribute(QStringLiteral("FontName"), QStringLiteral("宋体"));
    publicRes.writeAttribute(QStringLiteral("FamilyName"), QStringLiteral("宋体"));

    OfdPart documentRes(QStringLiteral("Res"));
    documentRes.writeAttribute(QStringLiteral("BaseLoc"), QStringLiteral("Res"));
    documentRes.start(QStringLiteral("MultiMedias"));
    for (size_t i = 0; i < refs.size(); ++i) {
        documentRes.start(QStringLiteral("MultiMedia"));
        documentRes.writeAttribute(QStringLiteral("ID"), QString::number(refs[i].imageId));
        documentRes.writeAttribute(QStringLiteral("Type"), QStringLiteral("Image"));
        documentRes.writeAttribute(QStringLiteral("Format"), pictures[i].format);
        documentRes.element(QStringLiteral("MediaFile"), mediaFile(i, pictures[i]));
        documentRes.writeEndElement();
    }

    ZipPackage zip(path);
    zip.add("OFD.xml", ofd.finish());
    zip.add("Doc_0/Document.xml", document.finish());
    zip.add("Doc_0/PublicRes.xml", publicRes.finish());
    zip.add("Doc_0/DocumentRes.xml", documentRes.finish());
    for (size_t i = 0; i < pages.size(); ++i) {
        zip.add("Doc_0/Res/" + mediaFile(i, pictures[i]).toStdString(), pictures[i].data, false);
        zip.add("Doc_0/Pages/Page_" + std::to_string(i) + "/Content.xml", contents[i]);
    }
    return zip.commit();
}

} // namespace ocr
} // namespace docsdk

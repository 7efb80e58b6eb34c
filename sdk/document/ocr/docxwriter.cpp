// Word-processor document (Office Open XML): each page's paragraphs as flowing text on A4 pages,
// a page break between pictures, Chinese set in an East-Asian font. The type size follows the
// printed size of the lines, which the page density turns into points.
#include "writers.h"
#include "xmlpart.h"
#include "zippackage.h"

#include <algorithm>
#include <cmath>

namespace docsdk
{
namespace ocr
{
namespace
{

const QString kW = QStringLiteral("http://schemas.openxmlformats.org/wordprocessingml/2006/main");
const QString kRelNs = QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships");
const QString kRelType =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/");

class WordPart : public XmlPart
{
public:
    explicit WordPart(const QString &root) : XmlPart(kW, QStringLiteral("w"), root) {}
    // An empty element with one w:val attribute.
    void value(const QString &name, const QString &val)
    {
        writeEmptyElement(kW, name);
        writeAttribute(kW, QStringLiteral("val"), val);
    }
};

// Half-points of type that prints as high as the paragraph's lines, within readable limits.
int typeSize(const Page &page, const Paragraph &paragraph)
{
    std::vector<int> heights;
    for (const Line &line : paragraph.lines)
        heights.push_back(line.box.height());
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    const double points = page.pixelsToPt(heights[heights.size() / 2]);
    return int(std::lround(std::clamp(points, 8.0, 36.0) * 2));
}

void writeParagraph(WordPart &xml, const QString &text, int halfPoints, bool pageBreak)
{
    xml.start(QStringLiteral("p"));
    if (pageBreak) {
        xml.start(QStringLiteral("r"));
        xml.writeEmptyElement(kW, QStringLiteral("br"));
        xml.writeAttribute(kW, QStringLiteral("type"), QStringLiteral("page"));
        xml.writeEndElement();
    }
    if (!text.isEmpty()) {
        xml.start(QStringLiteral("r"));
        if (halfPoints > 0) {
            xml.start(QStringLiteral("rPr"));
            xml.value(QStringLiteral("sz"), QString::number(halfPoints));
            xml.value(QStringLiteral("szCs"), QString::number(halfPoints));
            xml.writeEndElement();
        }
        xml.start(QStringLiteral("t"));
        xml.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
        xml.writeCharacters(text);
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

QByteArray documentPart(const std::vector<Page> &pages)
{
    WordPart xml(QStringLiteral("document"));
    xml.start(QStringLiteral("body"));
    for (size_t i = 0; i < pages.size(); ++i) {
        const bool pageBreak = i > 0;
        if (pages[i].paragraphs.empty())
            writeParagraph(xml, QString(), 0, pageBreak);
        for (size_t p = 0; p < pages[i].paragraphs.size(); ++p) {
            const Paragraph &paragraph = pages[i].paragraphs[p];
            writeParagraph(xml, paragraphText(paragraph), typeSize(pages[i], paragraph), pageBreak && p == 0);
        }
    }
    // A4 portrait with 2.5 cm margins.
    xml.start(QStringLiteral("sectPr"));
    xml.writeEmptyElement(kW, QStringLiteral("pgSz"));
    xml.writeAttribute(kW, QStringLiteral("w"), QStringLiteral("11906"));
    xml.writeAttribute(kW, QStringLiteral("h"), QStringLiteral("16838"));
    xml.writeEmptyElement(kW, QStringLiteral("pgMar"));
    for (const char *side : {"top", "right", "bottom", "left"})
        xml.writeAttribute(kW, QLatin1String(side), QStringLiteral("1417"));
    xml.writeAttribute(kW, QStringLiteral("header"), QStringLiteral("708"));
    xml.writeAttribute(kW, QStringLiteral("footer"), QStringLiteral("708"));
    xml.writeAttribute(kW, QStringLiteral("gutter"), QStringLiteral("0"));
    return xml.finish();
}

QByteArray stylesPart()
{
    WordPart xml(QStringLiteral("styles"));
    xml.start(QStringLiteral("docDefaults"));
    xml.start(QStringLiteral("rPrDefault"));
    xml.start(QStringLiteral("rPr"));
    xml.writeEmptyElement(kW, QStringLiteral("rFonts"));
    xml.writeAttribute(kW, QStringLiteral("ascii"), QStringLiteral("Times New Roman"));
    xml.writeAttribute(kW, QStringLiteral("hAnsi"), QStringLiteral("Times New Roman"));
    xml.writeAttribute(kW, QStringLiteral("eastAsia"), QStringLiteral("宋体"));
    xml.writeAttribute(kW, QStringLiteral("cs"), QStringLiteral("Times New Roman"));
    xml.value(QStringLiteral("sz"), QStringLiteral("24"));
    xml.writeEmptyElement(kW, QStringLiteral("lang"));
    xml.writeAttribute(kW, QStringLiteral("val"), QStringLiteral("en-US"));
    xml.writeAttribute(kW, QStringLiteral("eastAsia"), QStringLiteral("zh-CN"));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();

    xml.start(QStringLiteral("style"));
    xml.writeAttribute(kW, QStringLiteral("type"), QStringLiteral("paragraph"));
    xml.writeAttribute(kW, QStringLiteral("default"), QStringLiteral("1"));
    xml.writeAttribute(kW, QStringLiteral("styleId"), QStringLiteral("Normal"));
    xml.value(QStringLiteral("name"), QStringLiteral("Normal"));
    xml.start(QStringLiteral("pPr"));
    xml.writeEmptyElement(kW, QStringLiteral("spacing"));
    xml.writeAttribute(kW, QStringLiteral("after"), QStringLiteral("160"));
    return xml.finish();
}

QByteArray relationships(const QString &id, const QString &type, const QString &target)
{
    XmlPart xml;
    xml.writeDefaultNamespace(kRelNs);
    xml.writeStartElement(kRelNs, QStringLiteral("Relationships"));
    xml.writeEmptyElement(kRelNs, QStringLiteral("Relationship"));
    xml.writeAttribute(QStringLiteral("Id"), id);
    xml.writeAttribute(QStringLiteral("Type"), kRelType + type);
    xml.writeAttribute(QStringLiteral("Target"), target);
    return xml.finish();
}

QByteArray contentTypes()
{
    const QString ns = QStringLiteral("http://schemas.openxmlformats.org/package/2006/content-types");
    const QString wml = QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.");
    XmlPart xml;
    xml.writeDefaultNamespace(ns);
    xml.writeStartElement(ns, QStringLiteral("Types"));
    const std::pair<QString, QString> defaults[] = {
        {QStringLiteral("rels"), QStringLiteral("application/vnd.openxmlformats-package.relationships+xml")},
        {QStringLiteral("xml"), QStringLiteral("application/xml")}};
    for (const auto &d : defaults) {
        xml.writeEmptyElement(ns, QStringLiteral("Default"));
        xml.writeAttribute(QStringLiteral("Extension"), d.first);
        xml.writeAttribute(QStringLiteral("ContentType"), d.second);
    }
    const std::pair<QString, QString> overrides[] = {
        {QStringLiteral("/word/document.xml"), wml + QStringLiteral("document.main+xml")},
        {QStringLiteral("/word/styles.xml"), wml + QStringLiteral("styles+xml")}};
    for (const auto &o : overrides) {
        xml.writeEmptyElement(ns, QStringLiteral("Override"));
        xml.writeAttribute(QStringLiteral("PartName"), o.first);
        xml.writeAttribute(QStringLiteral("ContentType"), o.second);
    }
    return xml.finish();
}

} // namespace

bool writeDocx(const std::vector<Page> &pages, const std::string &path)
{
    // Type sniffers expect the content types first.
    ZipPackage zip(path);
    zip.add("[Content_Types].xml", contentTypes());
    zip.add("_rels/.rels", relationships(QStringLiteral("rId1"), QStringLiteral("officeDocument"),
                                         QStringLiteral("word/document.xml")));
    zip.add("word/document.xml", documentPart(pages));
    zip.add("word/_rels/document.xml.rels",
            relationships(QStringLiteral("rId1"), QStringLiteral("styles"), QStringLiteral("styles.xml")));
    zip.add("word/styles.xml", stylesPart());
    return zip.commit();
}

} // namespace ocr
} // namespace docsdk

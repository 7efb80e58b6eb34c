// Searchable PDF: each page shows its picture and carries the recognised text as invisible glyphs
// (render mode 3) of Tesseract's glyphless font, placed on the words. Character codes are assigned
// per document and mapped back to Unicode by the ToUnicode CMap, which is what search and copy use.
#include "pdffile.h"
#include "pdfpage.h"
#include "picture.h"
#include "recognition.h"
#include "writers.h"

#include <leptonica/allheaders.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QFile>

#include <map>
#include <memory>

namespace docsdk
{
namespace ocr
{
namespace
{

using Handle = QPDFObjectHandle;

// Glyph advance of the glyphless font in text space units; runs are stretched to their width.
const int kGlyphWidth = 500;

QByteArray num(double v)
{
    return QByteArray::number(v, 'f', 2);
}

Handle name(const char *n)
{
    return Handle::newName(n);
}

struct CompDataDeleter {
    void operator()(L_COMP_DATA *cid) const { l_CIDataDestroy(&cid); }
};
using CompData = std::unique_ptr<L_COMP_DATA, CompDataDeleter>;

// JPEG pictures go in byte for byte; anything else is compressed losslessly. False when the picture
// is gone or no longer the one recognised.
bool pictureData(const Page &page, sdkcommon::PdfImage &image)
{
    if (page.jpeg) {
        QByteArray bytes;
        if (!pageBytes(page, bytes) ||
            !sdkcommon::jpegImage(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                  size_t(bytes.size()), image))
            return false;
        image.bytes = bytes.toStdString();
        return true;
    }
    PixPtr pix = pageLosslessPixels(page);
    L_COMP_DATA *cid = nullptr;
    if (!pix || pixGenerateCIData(pix.get(), L_FLATE_ENCODE, 0, 0, &cid) != 0 || !cid) {
        l_CIDataDestroy(&cid);
        return false;
    }
    const CompData owner(cid);
    image.width = cid->w;
    image.height = cid->h;
    image.bitsPerComponent = cid->bps;
    image.filter = name("/FlateDecode");
    image.colorSpace = name(cid->spp == 1 ? "/DeviceGray" : "/DeviceRGB");
    image.bytes.assign(reinterpret_cast<const char *>(cid->datacomp), cid->nbytescomp);
    return true;
}

class FontBuilder
{
public:
    // Code for one glyph's text; codes are two bytes as Identity-H wants.
    int code(const QString &text)
    {
        auto it = m_codes.find(text);
        if (it != m_codes.end())
            return it->second;
        const int c = int(m_codes.size()) + 1;
        m_codes.emplace(text, c);
        return c;
    }
    Handle build(QPDF &pdf) const;

private:
    std::map<QString, int> m_codes;
};

QByteArray utf16Hex(const QString &text)
{
    QByteArray hex;
    for (QChar c : text)
        hex += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
    return hex;
}

Handle FontBuilder::build(QPDF &pdf) const
{
    std::map<int, QString> byCode;
    for (const auto &entry : m_codes)
        byCode.emplace(entry.second, entry.first);

    QByteArray cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    auto it = byCode.begin();
    while (it != byCode.end()) {
        QByteArray block;
        int count = 0;
        for (; it != byCode.end() && count < 100; ++it, ++count) // at most 100 entries per block
            block += "<" + QByteArray::number(it->first, 16).rightJustified(4, '0').toUpper() + "> <" +
                     utf16Hex(it->second) + ">\n";
        cmap += QByteArray::number(count) + " beginbfchar\n" + block + "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    Handle toUnicode = Handle::newStream(&pdf, cmap.toStdString());

    // Every code draws glyph 1, the font's only (empty) glyph.
    std::string gids(2 * (byCode.size() + 1), '\0');
    for (size_t c = 1; c <= byCode.size(); ++c)
        gids[2 * c + 1] = 1;
    Handle cidToGid = Handle::newStream(&pdf, gids);

    Handle descriptor = Handle::parse("<< /Type /FontDescriptor /FontName /GlyphLessFont /Flags 5 "
                                      "/FontBBox [0 -200 500 800] /ItalicAngle 0 /Ascent 800 /Descent -200 "
                                      "/CapHeight 800 /StemV 80 >>");
    QFile fontFile(QString::fromStdString(tessdataDir() + "/pdf.ttf"));
    if (fontFile.open(QIODevice::ReadOnly)) {
        const QByteArray ttf = fontFile.readAll();
        Handle file = Handle::newStream(&pdf, ttf.toStdString());
        file.getDict().replaceKey("/Length1", Handle::newInteger(ttf.size()));
        descriptor.replaceKey("/FontFile2", file);
    }

    Handle cidFont =
        Handle::parse("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /GlyphLessFont "
                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> >>");
    cidFont.replaceKey("/FontDescriptor", pdf.makeIndirectObject(descriptor));
    cidFont.replaceKey("/DW", Handle::newInteger(kGlyphWidth));
    cidFont.replaceKey("/CIDToGIDMap", cidToGid);

    Handle font =
        Handle::parse("<< /Type /Font /Subtype /Type0 /BaseFont /GlyphLessFont /Encoding /Identity-H >>");
    font.replaceKey("/DescendantFonts", Handle::newArray({pdf.makeIndirectObject(cidFont)}));
    font.replaceKey("/ToUnicode", toUnicode);
    return pdf.makeIndirectObject(font);
}

// The invisible text of one page: one text object per run, stretched to the run's width and sat
// on the line's baseline.
QByteArray textLayer(const Page &page, FontBuilder &font)
{
    QByteArray ops;
    for (const Paragraph &paragraph : page.paragraphs) {
        for (const Line &line : paragraph.lines) {
            const double size = std::max(1.0, page.pixelsToPt(line.box.height()));
            for (const Run &run : lineRuns(line)) {
                double baseline = line.baselineAt((run.box.left + run.box.right) / 2.0);
                if (baseline < line.box.top || baseline > line.box.bottom)
                    baseline = line.box.bottom;
                const double width = page.pixelsToPt(std::max(1, run.box.width()));
                const double scale = 100.0 * width * 1000.0 / (run.glyphs.size() * size * kGlyphWidth);
                QByteArray codes;
                for (const Glyph &g : run.glyphs)
                    codes += QByteArray::number(font.code(g.text), 16).rightJustified(4, '0');
                ops += "/F0 " + num(size) + " Tf " + num(scale) + " Tz 1 0 0 1 " +
                       num(page.pixelsToPt(run.box.left)) + " " +
                       num(page.heightPt() - page.pixelsToPt(baseline)) + " Tm <" + codes + "> Tj\n";
            }
        }
    }
    return ops.isEmpty() ? ops : "BT\n3 Tr\n" + ops + "ET\n";
}

} // namespace

bool writeSearchablePdf(const std::vector<Page> &pages, const std::string &path)
{
    try {
        QPDF pdf;
        pdf.emptyPDF();
        FontBuilder font;
        std::vector<Handle> pageResources;
        for (const Page &page : pages) {
            sdkcommon::PdfImage picture;
            if (!pictureData(page, picture))
                return false;
            Handle pageObject = sdkcommon::addPicturePage(pdf, picture, page.dpi, page.dpi, page.orientation,
                                                          textLayer(page, font).toStdString());
            pageResources.push_back(pageObject.getKey("/Resources"));
        }
        // The font is complete only once every page has drawn its codes.
        const Handle fontObject = font.build(pdf);
        for (Handle &resources : pageResources) {
            Handle fonts = Handle::newDictionary();
            fonts.replaceKey("/F0", fontObject);
            resources.replaceKey("/Font", fonts);
        }
        Handle info = Handle::newDictionary();
        info.replaceKey("/Producer", Handle::newString("PageLux"));
        pdf.getTrailer().replaceKey("/Info", pdf.makeIndirectObject(info));

        return sdkcommon::writePdfFile(pdf, path);
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace ocr
} // namespace docsdk

// What recognition produces for one picture, and the text rules every export shares.
#ifndef DOCSDK_OCR_LAYOUT_H
#define DOCSDK_OCR_LAYOUT_H

#include <QString>

#include <string>
#include <vector>

namespace docsdk
{
namespace ocr
{

// Pixel rectangle, top-left origin, right/bottom exclusive.
struct Box {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    void unite(const Box &other);
};

// One recognised character (rarely a ligature of several).
struct Glyph {
    QString text;
    Box box;
};

struct Word {
    std::vector<Glyph> glyphs;
};

struct Line {
    std::vector<Word> words;
    Box box;
    // Baseline as Tesseract fits it, in pixels; used to seat text layers on the printed glyphs.
    int baseX1 = 0, baseY1 = 0, baseX2 = 0, baseY2 = 0;
    double baselineAt(double x) const;
};

struct Paragraph {
    std::vector<Line> lines;
};

struct Page {
    std::string picture; // path of the source picture
    std::size_t fingerprint = 0; // of the bytes recognised, to tell whether the file changed since
    bool jpeg = false;
    int orientation = 1; // EXIF orientation of a JPEG: the stored pixels, turned by it, are the page
    int width = 0;       // pixels of the upright page
    int height = 0;
    double dpi = 0; // see pageDensity()
    std::vector<Paragraph> paragraphs;

    double widthPt() const { return width * 72.0 / dpi; }
    double heightPt() const { return height * 72.0 / dpi; }
    double pixelsToPt(double px) const { return px * 72.0 / dpi; }
    double pixelsToMm(double px) const { return px * 25.4 / dpi; }
};

// Glyphs printed without a gap: the words of a line joined wherever both neighbours are CJK.
struct Run {
    std::vector<Glyph> glyphs;
    Box box;
    QString text() const;
};

// The density every export uses to turn pixels into page units: the picture's own density when it
// states a plausible one (100-1200 dpi; cameras often write 72 or 96 for any size), otherwise the
// density at which the picture's longer side spans the long side of A4.
double pageDensity(int width, int height, int statedDpi);

bool isCjk(uint cp);
// Joins two pieces of text with a space unless both touching characters are CJK.
QString joinText(const QString &left, const QString &right);
// Removes what must not reach a document: control characters, unpaired surrogates, non-characters.
QString cleanText(const QString &text);

std::vector<Run> lineRuns(const Line &line);
QString lineText(const Line &line);
// Lines of a paragraph flowed into one text, for editors that wrap by themselves.
QString paragraphText(const Paragraph &paragraph);
// Lines as recognised, a blank line between paragraphs.
QString pageText(const Page &page);

} // namespace ocr
} // namespace docsdk

#endif

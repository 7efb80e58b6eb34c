#include "layout.h"

#include <QStringList>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace docsdk
{
namespace ocr
{

void Box::unite(const Box &other)
{
    if (width() <= 0 || height() <= 0) {
        *this = other;
        return;
    }
    left = std::min(left, other.left);
    top = std::min(top, other.top);
    right = std::max(right, other.right);
    bottom = std::max(bottom, other.bottom);
}

double Line::baselineAt(double x) const
{
    if (baseX2 == baseX1)
        return baseY1 == 0 && baseY2 == 0 ? box.bottom : baseY1;
    return baseY1 + (x - baseX1) * double(baseY2 - baseY1) / double(baseX2 - baseX1);
}

QString Run::text() const
{
    QString out;
    for (const Glyph &g : glyphs)
        out += g.text;
    return out;
}

double pageDensity(int width, int height, int statedDpi)
{
    if (statedDpi >= 100 && statedDpi <= 1200)
        return statedDpi;
    const double a4LongInch = 297.0 / 25.4;
    // Tesseract ignores densities outside 70-2400 dpi.
    return std::clamp(std::max(width, height) / a4LongInch, 70.0, 2400.0);
}

bool isCjk(uint cp)
{
    return (cp >= 0x2E80 && cp <= 0x2FDF)       // radicals
           || (cp >= 0x3000 && cp <= 0x30FF)    // CJK punctuation, kana
           || (cp >= 0x3100 && cp <= 0x31FF)    // bopomofo, kana extensions
           || (cp >= 0x3400 && cp <= 0x4DBF)    // extension A
           || (cp >= 0x4E00 && cp <= 0x9FFF)    // unified ideographs
           || (cp >= 0xF900 && cp <= 0xFAFF)    // compatibility ideographs
           || (cp >= 0xFE30 && cp <= 0xFE4F)    // compatibility forms
           || (cp >= 0xFF00 && cp <= 0xFFEF)    // full-width forms and punctuation
           || (cp >= 0x20000 && cp <= 0x3FFFF); // extensions B and later
}

namespace
{
uint firstCodePoint(const QString &s)
{
    const QVector<uint> cps = s.toUcs4();
    return cps.isEmpty() ? 0 : cps.first();
}

uint lastCodePoint(const QString &s)
{
    const QVector<uint> cps = s.toUcs4();
    return cps.isEmpty() ? 0 : cps.last();
}
} // namespace

QString joinText(const QString &left, const QString &right)
{
    if (left.isEmpty())
        return right;
    if (right.isEmpty())
        return left;
    if (isCjk(lastCodePoint(left)) && isCjk(firstCodePoint(right)))
        return left + right;
    return left + QLatin1Char(' ') + right;
}

QString cleanText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (uint cp : text.toUcs4()) {
        const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
        const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
        const bool nonCharacter = (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE;
        if (control || surrogate || nonCharacter || cp > 0x10FFFF)
            continue;
        out += QString::fromUcs4(&cp, 1);
    }
    return out;
}

std::vector<Run> lineRuns(const Line &line)
{
    std::vector<Run> runs;
    for (const Word &word : line.words) {
        if (word.glyphs.empty())
            continue;
        const bool joins = !runs.empty() && isCjk(lastCodePoint(runs.back().glyphs.back().text)) &&
                           isCjk(firstCodePoint(word.glyphs.front().text));
        if (!joins)
            runs.emplace_back();
        Run &run = runs.back();
        for (const Glyph &g : word.glyphs) {
            run.glyphs.push_back(g);
            run.box.unite(g.box);
        }
    }
    return runs;
}

QString lineText(const Line &line)
{
    QString text;
    for (const Run &run : lineRuns(line))
        text = text.isEmpty() ? run.text() : text + QLatin1Char(' ') + run.text();
    return text;
}

QString paragraphText(const Paragraph &paragraph)
{
    QString text;
    for (const Line &line : paragraph.lines)
        text = joinText(text, lineText(line));
    return text;
}

QString pageText(const Page &page)
{
    QStringList paragraphs;
    for (const Paragraph &paragraph : page.paragraphs) {
        QStringList lines;
        for (const Line &line : paragraph.lines)
            lines << lineText(line);
        paragraphs << lines.join(QLatin1Char('\n'));
    }
    return paragraphs.join(QStringLiteral("\n\n"));
}

} // namespace ocr
} // namespace docsdk

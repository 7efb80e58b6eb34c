#include "recognition.h"

#include "DocumentSDK.h"
#include "picture.h"
#include "picturefile.h"

#include "jpegsegments.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <QFileInfo>

#include <omp.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace docsdk
{
namespace ocr
{
namespace
{

const char *const kLanguages = "chi_sim+eng";

struct TextDeleter {
    void operator()(char *text) const { delete[] text; }
};

QString iteratorText(const tesseract::ResultIterator &it, tesseract::PageIteratorLevel level)
{
    std::unique_ptr<char, TextDeleter> text(it.GetUTF8Text(level));
    return text ? cleanText(QString::fromUtf8(text.get())) : QString();
}

Box iteratorBox(const tesseract::ResultIterator &it, tesseract::PageIteratorLevel level)
{
    Box box;
    it.BoundingBox(level, &box.left, &box.top, &box.right, &box.bottom);
    return box;
}

// Walks the result symbol by symbol, opening paragraphs, lines and words where Tesseract starts them.
void collectLayout(tesseract::ResultIterator &it, Page &page)
{
    using namespace tesseract;
    Paragraph *paragraph = nullptr;
    Line *line = nullptr;
    Word *word = nullptr;
    do {
        if (it.Empty(RIL_SYMBOL))
            continue;
        if (!paragraph || it.IsAtBeginningOf(RIL_PARA)) {
            paragraph = &page.paragraphs.emplace_back();
            line = nullptr;
        }
        if (!line || it.IsAtBeginningOf(RIL_TEXTLINE)) {
            line = &paragraph->lines.emplace_back();
            line->box = iteratorBox(it, RIL_TEXTLINE);
            it.Baseline(RIL_TEXTLINE, &line->baseX1, &line->baseY1, &line->baseX2, &line->baseY2);
            word = nullptr;
        }
        if (!word || it.IsAtBeginningOf(RIL_WORD))
            word = &line->words.emplace_back();
        Glyph glyph{iteratorText(it, RIL_SYMBOL), iteratorBox(it, RIL_SYMBOL)};
        if (!glyph.text.isEmpty())
            word->glyphs.push_back(glyph);
    } while (it.Next(RIL_SYMBOL));
}

// Noise and pictures can leave words, lines or paragraphs with nothing printable in them.
void pruneEmpty(Page &page)
{
    for (Paragraph &paragraph : page.paragraphs) {
        for (Line &line : paragraph.lines)
            line.words.erase(std::remove_if(line.words.begin(), line.words.end(),
                                            [](const Word &w) { return w.glyphs.empty(); }),
                             line.words.end());
        paragraph.lines.erase(std::remove_if(paragraph.lines.begin(), paragraph.lines.end(),
                                             [](const Line &l) { return l.words.empty(); }),
                              paragraph.lines.end());
    }
    page.paragraphs.erase(std::remove_if(page.paragraphs.begin(), page.paragraphs.end(),
                                         [](const Paragraph &p) { return p.lines.empty(); }),
                          page.paragraphs.end());
}

} // namespace

// Debian's language packages install here; TESSDATA_PREFIX points elsewhere, as for the tesseract command.
std::string tessdataDir()
{
    const char *prefix = std::getenv("TESSDATA_PREFIX");
    return prefix && *prefix ? prefix : "/usr/share/tesseract-ocr/5/tessdata";
}

// Debian's Tesseract runs its network layers in OpenMP teams. Recognition of one page does not
// scale on a few cores and slows down a lot when other processes use them, so this thread runs
// it alone. The environment (OMP_THREAD_LIMIT) cannot do that: it is read when the process starts.
// The nesting limit belongs to the calling thread's data environment (OpenMP 5), so saving and
// restoring it here touches no other thread, even when calls overlap.
Recognizer::Recognizer()
    : m_api(std::make_unique<tesseract::TessBaseAPI>()), m_savedParallelLevels(omp_get_max_active_levels())
{
    omp_set_max_active_levels(0);
}

Recognizer::~Recognizer()
{
    m_api->End();
    omp_set_max_active_levels(m_savedParallelLevels);
}

int Recognizer::init()
{
    const std::string dir = tessdataDir();
    for (const char *lang : {"chi_sim", "eng"}) {
        if (!QFileInfo(QString::fromStdString(dir + "/" + lang + ".traineddata")).isReadable())
            return DOC_ERR_NO_LANGUAGE_DATA;
    }
    // Progress chatter ("Detected N diacritics") would land in the host's stderr; statuses say enough.
    m_api->SetVariable("debug_file", "/dev/null");
    if (m_api->Init(dir.c_str(), kLanguages, tesseract::OEM_LSTM_ONLY) != 0)
        return DOC_ERR_NO_LANGUAGE_DATA;
    m_api->SetPageSegMode(tesseract::PSM_AUTO);
    return DOC_OK;
}

int Recognizer::recognise(const std::string &picture, Page &page)
{
    // Read once: the writers check that the file still holds these bytes.
    QByteArray bytes;
    if (!readPictureFile(picture, bytes))
        return DOC_ERR_UNREADABLE_INPUT;
    page = Page();
    page.picture = picture;
    page.fingerprint = fingerprintOf(bytes);
    page.jpeg = isJpeg(bytes);
    if (page.jpeg)
        page.orientation = jpegsegments::exifOrientation(
            reinterpret_cast<const std::uint8_t *>(bytes.constData()), size_t(bytes.size()));
    // Text is only found in upright pictures.
    PixPtr pix = uprightPicture(decodePicture(bytes), page.orientation);
    if (!pix)
        return DOC_ERR_UNREADABLE_INPUT;
    page.width = pixGetWidth(pix.get());
    page.height = pixGetHeight(pix.get());
    page.dpi = pageDensity(page.width, page.height, pixGetXRes(pix.get()));

    // Tesseract would otherwise guess, or fall back to 70 dpi, from a missing or odd density.
    m_api->SetVariable("user_defined_dpi", std::to_string(int(page.dpi + 0.5)).c_str());
    m_api->SetImage(pix.get());
    if (m_api->Recognize(nullptr) != 0)
        return DOC_ERR_OCR_FAILED;
    {
        // The iterator points into results that Clear() frees.
        std::unique_ptr<tesseract::ResultIterator> it(m_api->GetIterator());
        if (it)
            collectLayout(*it, page);
    }
    m_api->Clear();
    pruneEmpty(page);
    return DOC_OK;
}

} // namespace ocr
} // namespace docsdk

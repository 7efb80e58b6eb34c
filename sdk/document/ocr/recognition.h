// Tesseract (Chinese simplified + English) turned into the layout model.
#ifndef DOCSDK_OCR_RECOGNITION_H
#define DOCSDK_OCR_RECOGNITION_H

#include "layout.h"

#include <memory>
#include <string>

namespace tesseract
{
class TessBaseAPI;
}

namespace docsdk
{
namespace ocr
{

// Where the language data (and Tesseract's glyphless PDF font) is read from.
std::string tessdataDir();

// Lives on the thread that recognises, which it keeps out of OpenMP's thread teams meanwhile.
class Recognizer
{
public:
    Recognizer();
    ~Recognizer();
    Recognizer(const Recognizer &) = delete;
    Recognizer &operator=(const Recognizer &) = delete;

    // Returns a DocumentStatus: missing language data is told apart from other failures.
    int init();
    // Decodes and recognises one picture; a DocumentStatus.
    int recognise(const std::string &picture, Page &page);

private:
    std::unique_ptr<tesseract::TessBaseAPI> m_api;
    int m_savedParallelLevels;
};

} // namespace ocr
} // namespace docsdk

#endif

// The four export kinds; each writes the complete document to the given path.
#ifndef DOCSDK_OCR_WRITERS_H
#define DOCSDK_OCR_WRITERS_H

#include "layout.h"

#include <string>
#include <vector>

namespace docsdk
{
namespace ocr
{

// UTF-8 text, a form feed between pages.
bool writeText(const std::vector<Page> &pages, const std::string &path);
bool writeDocx(const std::vector<Page> &pages, const std::string &path);
bool writeSearchablePdf(const std::vector<Page> &pages, const std::string &path);
bool writeOfd(const std::vector<Page> &pages, const std::string &path);

} // namespace ocr
} // namespace docsdk

#endif

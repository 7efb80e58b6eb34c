// What a PDF page needs to know about one picture, and its image data.
#ifndef DOCSDK_PDFPICTURE_H
#define DOCSDK_PDFPICTURE_H

#include "pdfpage.h"

#include <memory>
#include <string>

namespace docsdk
{

struct PdfPicture {
    // Its provider fails the write, setting changed, when the file no longer holds the picture
    // measured here; it is called while the PDF is written, so pages are held in memory one at a time.
    sdkcommon::PdfImage image;
    int dpi = 0;         // density in pixels per inch; a default stands in when the file has none
    int orientation = 1; // EXIF orientation of a JPEG: how viewers show the stored pixels
    std::shared_ptr<bool> changed = std::make_shared<bool>(false);
};

// Fills picture from the file at path: JPEGs are taken as they are, other
// pictures are Flate-compressed losslessly. False when the file is missing,
// incomplete, corrupt or of a kind we cannot embed.
bool probePicture(const std::string &path, PdfPicture &picture);

} // namespace docsdk

#endif

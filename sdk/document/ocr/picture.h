// Decoding of collected pictures through Leptonica, shared by recognition and the PDF/OFD writers.
#ifndef DOCSDK_OCR_PICTURE_H
#define DOCSDK_OCR_PICTURE_H

#include <memory>
#include <string>

struct Pix;

namespace docsdk
{
namespace ocr
{

struct PixDeleter {
    void operator()(Pix *pix) const;
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

bool isJpegFile(const std::string &path);
// Cheap header check, so a bad picture fails a job before the slow recognition starts.
bool pictureHeaderReadable(const std::string &path);
// Null when the picture is missing, of an unknown kind, corrupt or truncated.
PixPtr readPicture(const std::string &path);

// The picture decoded for lossless re-encoding: 8-bit grey or 24-bit colour, no palette, no alpha.
PixPtr readLosslessPixels(const std::string &path);

} // namespace ocr
} // namespace docsdk

#endif

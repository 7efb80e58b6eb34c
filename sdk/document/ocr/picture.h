// Decoding of collected pictures through Leptonica, shared by recognition and the PDF/OFD writers.
#ifndef DOCSDK_OCR_PICTURE_H
#define DOCSDK_OCR_PICTURE_H

#include <QByteArray>

#include <memory>
#include <string>

struct Pix;

namespace docsdk
{
namespace ocr
{

struct Page;

struct PixDeleter {
    void operator()(Pix *pix) const;
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

bool isJpeg(const QByteArray &bytes);
// Cheap header check, so a bad picture fails a job before the slow recognition starts.
bool pictureHeaderReadable(const std::string &path);
// Null when the bytes are of an unknown kind, corrupt or truncated.
PixPtr decodePicture(const QByteArray &bytes);
// The decoded picture turned the way its EXIF orientation says viewers show it.
PixPtr uprightPicture(PixPtr pix, int orientation);

// The page's picture as it was recognised; false when it is gone or has changed since.
bool pageBytes(const Page &page, QByteArray &bytes);
// The page's picture decoded for lossless re-encoding: 8-bit grey or 24-bit colour, no palette, no
// alpha. Null when it is gone or has changed since it was recognised.
PixPtr pageLosslessPixels(const Page &page);

} // namespace ocr
} // namespace docsdk

#endif

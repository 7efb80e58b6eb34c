// Pictures generated at run time for the image and PDF tests.
#ifndef TESTPICTURES_H
#define TESTPICTURES_H

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace testpictures {

// A deterministic scene: gradients, stripes and text-like blocks, with a pure red square in the
// top-left corner to tell the orientation. Format RGB888, or Grayscale8 when grey.
QImage scene(int width, int height, int seed, bool grey = false);

// Encodes with TurboJPEG (subsamp is a TJSAMP_* value); the JFIF header carries
// no density unless dpi > 0; a Grayscale8 picture gives a grey JPEG.
QByteArray encodeJpeg(const QImage &image, int subsamp, int quality = 90, int dpi = 0,
                      bool progressive = false);
// Decodes a JPEG to RGB888 (Grayscale8 for grey JPEGs); null on failure. Its chroma
// subsampling (TJSAMP_*, -1 on failure) goes to *subsamp.
QImage decodeJpeg(const QByteArray &jpeg, int *subsamp = nullptr);

// Sets the JFIF density in dots per inch.
void setJfifDensity(QByteArray &jpeg, int x, int y);
// Inserts an EXIF segment holding only an orientation tag.
void insertExifOrientation(QByteArray &jpeg, int orientation, bool littleEndian);

// The stored picture that a viewer shows as upright for the given EXIF orientation: 6 is shown
// turned a quarter clockwise, 5 transposed, 7 transversed.
QImage storedFor(const QImage &upright, int orientation);

// The lossless formats: a file name whose extension picks the format, written by QImage, and the
// QImage::Format of the picture.
struct LosslessFormat {
    QString name;
    QImage::Format format;
};
QList<LosslessFormat> losslessFormats();

// Files whose headers claim 60000x60000 pixels over a few bytes of data.
QByteArray hugeJpeg();
QByteArray hugeBmp();

QByteArray readAll(const QString &path);
bool writeAll(const QString &path, const QByteArray &data);

// Largest absolute difference of the samples of two images of one size and format (256 otherwise), and
// their PSNR in dB.
struct Difference {
    int max = 0;
    double psnr = 0;
};
Difference compare(const QImage &a, const QImage &b);

} // namespace testpictures

#endif

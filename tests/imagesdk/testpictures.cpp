#include "testpictures.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QtEndian>
#include <cmath>
#include <turbojpeg.h>

namespace testpictures {

QImage scene(int width, int height, int seed, bool grey)
{
    QImage img(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar *row = img.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uchar((x * 255) / std::max(1, width - 1));
            row[3 * x + 1] = uchar((y * 255) / std::max(1, height - 1));
            row[3 * x + 2] = uchar(((x / 7 + y / 5 + seed) % 9) * 28);
        }
    }
    QPainter p(&img);
    QRandomGenerator rng{quint32(seed)};
    for (int i = 0; i < 40; ++i) {
        const int w = 4 + int(rng.bounded(width / 6 + 1)), h = 2 + int(rng.bounded(height / 30 + 1));
        p.fillRect(int(rng.bounded(width)), int(rng.bounded(height)), w, h, QColor::fromRgb(rng.generate()));
    }
    const int corner = std::max(8, std::min(width, height) / 8);
    p.fillRect(0, 0, corner, corner, Qt::red);
    p.end();
    return grey ? img.convertToFormat(QImage::Format_Grayscale8) : img;
}

QByteArray encodeJpeg(const QImage &image, int subsamp, int quality, int dpi, bool progressive)
{
    const bool grey = image.format() == QImage::Format_Grayscale8;
    const QImage src = grey ? image : image.convertToFormat(QImage::Format_RGB888);
    tjhandle tj = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(tj, src.constBits(), src.width(), src.bytesPerLine(), src.height(),
                               grey ? TJPF_GRAY : TJPF_RGB, &out, &size, grey ? TJSAMP_GRAY : subsamp,
                               quality, progressive ? TJFLAG_PROGRESSIVE : 0);
    QByteArray jpeg = rc == 0 ? QByteArray(reinterpret_cast<const char *>(out), int(size)) : QByteArray();
    tjFree(out);
    tjDestroy(tj);
    if (dpi > 0 && !jpeg.isEmpty())
        setJfifDensity(jpeg, dpi, dpi);
    return jpeg;
}

QImage decodeJpeg(const QByteArray &jpeg, int *subsamp)
{
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, samp = -1, cs = 0;
    QImage img;
    const auto *data = reinterpret_cast<const unsigned char *>(jpeg.constData());
    if (tjDecompressHeader3(tj, data, jpeg.size(), &w, &h, &samp, &cs) == 0) {
        img = QImage(w, h, cs == TJCS_GRAY ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
        if (tjDecompress2(tj, data, jpeg.size(), img.bits(), w, img.bytesPerLine(), h,
                          cs == TJCS_GRAY ? TJPF_GRAY : TJPF_RGB, TJFLAG_STOPONWARNING) != 0)
            img = QImage();
    }
    tjDestroy(tj);
    if (subsamp)
        *subsamp = img.isNull() ? -1 : samp;
    return img;
}

void setJfifDensity(QByteArray &jpeg, int x, int y)
{
    const int at = jpeg.indexOf(QByteArray("JFIF\0", 5));
    if (at < 0)
        return;
    auto *p = reinterpret_cast<uchar *>(jpeg.data()) + at;
    p[7] = 1;
    qToBigEndian<quint16>(quint16(x), p + 8);
    qToBigEndian<quint16>(quint16(y), p + 10);
}

void insertExifOrientation(QByteArray &jpeg, int orientation, bool le)
{
    QByteArray segment("\xFF\xE1\0\0Exif\0\0", 10);
    QDataStream out(&segment, QIODevice::Append);
    out.setByteOrder(le ? QDataStream::LittleEndian : QDataStream::BigEndian);
    out.writeRawData(le ? "II" : "MM", 2);
    // One entry, the orientation as a SHORT in the value field, and no next IFD.
    out << quint16(42) << quint32(8) << quint16(1) << quint16(0x0112) << quint16(3) << quint32(1)
        << quint16(orientation) << quint16(0) << quint32(0);
    qToBigEndian<quint16>(quint16(segment.size() - 2), segment.data() + 2);
    const bool jfif = jpeg.mid(6, 4) == "JFIF";
    jpeg.insert(jfif ? 4 + qFromBigEndian<quint16>(jpeg.constData() + 4) : 2, segment);
}

QImage storedFor(const QImage &upright, int orientation)
{
    static const int turn[] = {0, 0, 180, 0, 90, 270, 90, 90};
    return upright.transformed(QTransform().rotate(turn[orientation - 1]))
        .mirrored(orientation == 2 || orientation == 5, orientation == 4 || orientation == 7);
}

QByteArray hugeJpeg()
{
    QByteArray jpeg = encodeJpeg(scene(64, 64, 1), TJSAMP_420);
    auto *sof = reinterpret_cast<uchar *>(jpeg.data()) + jpeg.indexOf("\xFF\xC0");
    qToBigEndian<quint16>(60000, sof + 5); // height
    qToBigEndian<quint16>(60000, sof + 7); // width
    return jpeg;
}

QByteArray hugeBmp()
{
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    scene(64, 64, 1).save(&buffer, "BMP");
    auto *header = reinterpret_cast<uchar *>(bmp.data());
    qToLittleEndian<qint32>(60000, header + 18);
    qToLittleEndian<qint32>(60000, header + 22);
    return bmp;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

Difference compare(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.format() != b.format())
        return {256, 0};
    Difference d;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int i = 0; i < a.width() * a.depth() / 8; ++i) {
            const int e = std::abs(int(a.constScanLine(y)[i]) - int(b.constScanLine(y)[i]));
            d.max = std::max(d.max, e);
            sum += e * e;
        }
    const double mse = sum / (double(a.width()) * a.depth() / 8 * a.height());
    d.psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
    return d;
}

QList<LosslessFormat> losslessFormats()
{
    return {{"rgb.png", QImage::Format_RGB888},       {"grey.png", QImage::Format_Grayscale8},
            {"palette.png", QImage::Format_Indexed8}, {"1-bit.png", QImage::Format_Mono},
            {"alpha.png", QImage::Format_ARGB32},     {"rgb.bmp", QImage::Format_RGB888},
            {"rgb.tiff", QImage::Format_RGB888},      {"1-bit.tif", QImage::Format_Mono}};
}

} // namespace testpictures

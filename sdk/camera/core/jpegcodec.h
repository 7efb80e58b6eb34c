// libjpeg-turbo for the frame path and the capture: scaled decode straight
// into the delivered pixel layout, encode, and the few marker edits a camera's
// MJPEG frame needs before it can stand as a file.
#ifndef CAMSDK_JPEGCODEC_H
#define CAMSDK_JPEGCODEC_H

#include "device.h"

#include <opencv2/core.hpp>

namespace camsdk
{

class JpegCodec
{
public:
    JpegCodec();
    ~JpegCodec();
    JpegCodec(const JpegCodec &) = delete;
    JpegCodec &operator=(const JpegCodec &) = delete;

    bool header(const uint8_t *data, size_t size, int *width, int *height, bool *gray = nullptr);
    // Decodes into out (packed RGB when rgb, else BGR), scaled to width x height,
    // which must be one of libjpeg-turbo's scaled sizes of the image.
    bool decode(const uint8_t *data, size_t size, int width, int height, bool rgb, uint8_t *out);
    // img: 8-bit gray, BGR or BGRA; colour at half chroma resolution unless fullChroma.
    bool encode(const cv::Mat &img, int quality, std::vector<uint8_t> &out, bool fullChroma = false);
    // Lossless rotation by 90, 180 or 270 degrees on the DCT blocks; fails
    // rather than leave untransformed edge blocks (sizes not a multiple of the MCU).
    bool rotate(const std::vector<uint8_t> &jpeg, int degrees, std::vector<uint8_t> &out);

private:
    void *m_decoder;
    void *m_encoder;
    void *m_transformer;
};

// DCT scale denominator (1, 2 or 4) for the live picture of a width x height
// stream: full size up to 1920x1080, else the first of 1/2 and 1/4 that brings
// it to about 2 megapixels.
int previewDenominator(int width, int height);
FrameSize scaledSize(FrameSize full, int denominator);

// Full-resolution BGR of any frame into bgr (its buffer reused when the size
// fits); false on a corrupt frame.
bool decodeFrame(JpegCodec &codec, const EncodedFrame &frame, cv::Mat &bgr);
// Packed YUYV 4:2:2 to packed RGB (or BGR).
bool convertYuyv(const uint8_t *yuyv, size_t size, int width, int height, bool rgb, uint8_t *out);

// Whether the JPEG carries its own Huffman tables (many UVC cameras leave
// them out of MJPEG frames, and not every reader supplies the defaults).
bool hasHuffmanTables(const std::vector<uint8_t> &jpeg);
// Writes the pixel density into the JFIF header, adding one if missing.
// Returns false for data that does not start like a JPEG.
bool setJfifDensity(std::vector<uint8_t> &jpeg, int dpiX, int dpiY);

} // namespace camsdk

#endif

// TurboJPEG handles and buffers owned by RAII holders, and decoding into RGB.
#ifndef IMGSDK_TJHANDLE_H
#define IMGSDK_TJHANDLE_H

#include <cstddef>
#include <memory>
#include <opencv2/core.hpp>
#include <turbojpeg.h>

namespace imgsdk
{

struct TjFree {
    void operator()(unsigned char *p) const { tjFree(p); }
};
using TjBuffer = std::unique_ptr<unsigned char, TjFree>;

struct TjHandle {
    tjhandle h;
    explicit TjHandle(tjhandle handle) : h(handle) {}
    ~TjHandle()
    {
        if (h)
            tjDestroy(h);
    }
    TjHandle(const TjHandle &) = delete;
    TjHandle &operator=(const TjHandle &) = delete;
};

// A JPEG's size and colour space (TJCS_*) from its header; false when it does not read.
inline bool jpegHeader(const unsigned char *jpeg, std::size_t size, int &width, int &height, int &colorspace)
{
    TjHandle tj(tjInitDecompress());
    int subsamp = 0;
    return tj.h &&
           tjDecompressHeader3(tj.h, jpeg, static_cast<unsigned long>(size), &width, &height, &subsamp,
                               &colorspace) == 0 &&
           width > 0 && height > 0;
}

// Decodes a JPEG into packed RGB at width x height, one of its scaled sizes. A
// strict decode fails on damaged data; otherwise what decodes is kept.
inline bool decodeRgb(const unsigned char *jpeg, std::size_t size, int width, int height, bool strict,
                      cv::Mat &rgb)
{
    TjHandle tj(tjInitDecompress());
    if (!tj.h)
        return false;
    rgb.create(height, width, CV_8UC3);
    const int rc = tjDecompress2(tj.h, jpeg, static_cast<unsigned long>(size), rgb.data, width, 0, height,
                                 TJPF_RGB, strict ? TJFLAG_STOPONWARNING : 0);
    return rc == 0 || (!strict && tjGetErrorCode(tj.h) == TJERR_WARNING);
}

} // namespace imgsdk

#endif

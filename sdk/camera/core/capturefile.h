// Capture to file: the newest full-resolution frame, turned, processed,
// encoded by the path's extension and written without ever overwriting (unless
// asked) or leaving a half-written file under the user's name.
#ifndef CAMSDK_CAPTUREFILE_H
#define CAMSDK_CAPTUREFILE_H

#include "datatype.h"
#include "device.h"
#include "jpegcodec.h"

#include <string>

namespace camsdk
{

// Output index (0-based) of a capture to path: path itself, then stem_1,
// stem_2, ... or, for a stem ending in _N, _N+1, _N+2, ...
std::string nthOutputPath(const std::string &path, int index);

// What a stream takes of a frame's live picture (packed RGB, unturned) for the
// thumbnail of a capture of that frame: a sample four times the thumbnail's size.
cv::Mat thumbnailSample(const cv::Mat &rgb);

// Does whole captures. Keeps its decode and encode buffers from one capture to
// the next: fresh 8 MP buffers cost more in page faults than the work itself.
class Capturer
{
public:
    // path is the caller's CAM_PATH_SIZE buffer: the target in, the written
    // paths joined by ';' out (unchanged when nothing was written). sample is the
    // frame's thumbnailSample when the stream has it; else the frame is decoded for it.
    long capture(const EncodedFrame &frame, char *path, const IMAGEPARAM &param, const cv::Mat &sample = {});
    // Whether a capture of frame to path embeds a thumbnail made from the frame's live
    // picture (a JPEG written as the camera sent it), so that it should ask for the sample.
    static bool takesSample(const EncodedFrame &frame, const char *path, const IMAGEPARAM &param);

private:
    bool encode(const cv::Mat &img, int format, const IMAGEPARAM &param, std::vector<uint8_t> &out);
    bool embedThumbnail(const cv::Mat &img, std::vector<uint8_t> &jpeg);
    bool passThrough(const EncodedFrame &frame, int rotation, int format, const IMAGEPARAM &param,
                     const cv::Mat &sample, std::vector<uint8_t> &out);

    JpegCodec m_codec;
    cv::Mat m_bgr;
    cv::Mat m_turned;
    cv::Mat m_sampled, m_sampledBgr, m_thumbnail;
    std::vector<uint8_t> m_thumbnailJpeg;
    std::vector<uint8_t> m_jpeg;
    std::vector<std::vector<uint8_t>> m_files;
};

} // namespace camsdk

#endif

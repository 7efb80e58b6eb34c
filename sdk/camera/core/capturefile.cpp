#include "capturefile.h"

#include "CamCaptureSDK.h"
#include "atomicfile.h"
#include "camprocess.h"
#include "exifthumbnail.h"
#include "pdfwriter.h"
#include "picturedensity.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

namespace camsdk
{

namespace
{

constexpr int kJpegQuality = 90;
constexpr double kDefaultDpi = 200;

enum Format { Jpeg, Bmp, Png, Tiff, Pdf };

struct PathParts {
    std::string dir;  // "" for the current folder
    std::string stem; // file name without extension
    std::string ext;  // with the dot, as given
};

PathParts splitPath(const std::string &path)
{
    PathParts p;
    const size_t slash = path.find_last_of('/');
    std::string name = path;
    if (slash != std::string::npos) {
        p.dir = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) {
        p.stem = name;
    } else {
        p.stem = name.substr(0, dot);
        p.ext = name.substr(dot);
    }
    return p;
}

bool formatOf(const std::string &ext, int *format)
{
    std::string e = ext;
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::pair<const char *, int> known[] = {{".jpg", Jpeg}, {".jpeg", Jpeg}, {".bmp", Bmp},
                                                         {".png", Png},  {".tif", Tiff},  {".tiff", Tiff},
                                                         {".pdf", Pdf}};
    for (const auto &k : known)
        if (e == k.first) {
            *format = k.second;
            return true;
        }
    return false;
}

double validDpi(float dpi)
{
    return dpi > 0 && dpi <= 10000 ? dpi : kDefaultDpi;
}

bool wantsProcessing(const IMAGEPARAM &p)
{
    return p.nCropType != 0 || p.nImageType != 0 || p.nFillType != 0 || p.nForeignRemovalType != 0 ||
           p.waterParam.bIsWater;
}

// The camera's own JPEG is written when nothing has to change in the picture.
bool passesThrough(const EncodedFrame &frame, int format, const IMAGEPARAM &param)
{
    return (format == Jpeg || format == Pdf) && !wantsProcessing(param) && frame.format == PixelFormat::Mjpeg &&
           hasHuffmanTables(frame.data);
}

// The format a capture target names; false for a target that is not a whole path.
bool targetFormat(const char *path, int *format)
{
    const void *nul = path ? std::memchr(path, '\0', CAM_PATH_SIZE) : nullptr;
    return nul && nul != path && formatOf(splitPath(path).ext, format);
}

// The pictures to write: the frame turned and processed. Processing that
// fails still leaves the whole frame: a capture always yields a file.
// scratch receives the turned frame when it has to be turned.
std::vector<cv::Mat> processedImages(const cv::Mat &frame, int rotation, const IMAGEPARAM &param,
                                     cv::Mat &scratch)
{
    cv::Mat turned = frame;
    if (rotation != 0) {
        cv::rotate(frame, scratch,
                   rotation == 90    ? cv::ROTATE_90_CLOCKWISE
                   : rotation == 180 ? cv::ROTATE_180
                                     : cv::ROTATE_90_COUNTERCLOCKWISE);
        turned = scratch;
    }
    if (!wantsProcessing(param))
        return {turned};
    try {
        std::vector<cv::Mat> out = camproc::processFrame(turned, param);
        out.erase(std::remove_if(out.begin(), out.end(), [](const cv::Mat &m) { return m.empty(); }),
                  out.end());
        if (!out.empty())
            return out;
    } catch (const std::exception &) {
    }
    return {turned};
}

} // namespace

std::string nthOutputPath(const std::string &path, int index)
{
    if (index <= 0)
        return path;
    const PathParts p = splitPath(path);
    const size_t us = p.stem.find_last_of('_');
    if (us != std::string::npos && us + 1 < p.stem.size() && p.stem.size() - us - 1 <= 9 &&
        std::all_of(p.stem.begin() + static_cast<long>(us) + 1, p.stem.end(),
                    [](unsigned char c) { return std::isdigit(c); })) {
        const std::string digits = p.stem.substr(us + 1);
        std::string next = std::to_string(std::stol(digits) + index);
        if (next.size() < digits.size()) // keep zero padding: _007 goes on as _008
            next.insert(0, digits.size() - next.size(), '0');
        return p.dir + p.stem.substr(0, us + 1) + next + p.ext;
    }
    return p.dir + p.stem + "_" + std::to_string(index) + p.ext;
}

cv::Mat thumbnailSample(const cv::Mat &rgb)
{
    const auto [w, h] = exifthumbnail::sizeFor(rgb.cols, rgb.rows);
    cv::Mat sample;
    if (rgb.cols > 4 * w && rgb.rows > 4 * h)
        cv::resize(rgb, sample, {4 * w, 4 * h}, 0, 0, cv::INTER_NEAREST);
    else
        sample = rgb.clone();
    return sample;
}

// A file list shows the capture from this thumbnail without decoding the picture.
// Sampling every few pixels before averaging reads a fraction of an 8 MP picture
// and still averages 16 samples into each thumbnail pixel.
bool Capturer::embedThumbnail(const cv::Mat &img, std::vector<uint8_t> &jpeg)
{
    const auto [w, h] = exifthumbnail::sizeFor(img.cols, img.rows);
    const cv::Mat *source = &img;
    if (img.cols > 4 * w && img.rows > 4 * h) {
        cv::resize(img, m_sampled, {4 * w, 4 * h}, 0, 0, cv::INTER_NEAREST);
        source = &m_sampled;
    }
    cv::resize(*source, m_thumbnail, {w, h}, 0, 0, cv::INTER_AREA);
    // Full chroma: a 4:3 thumbnail then turns losslessly with its picture.
    if (!m_codec.encode(m_thumbnail, exifthumbnail::kQuality, m_thumbnailJpeg, true))
        return false;
    exifthumbnail::embed(jpeg, m_thumbnailJpeg);
    return true;
}

bool Capturer::encode(const cv::Mat &img, int format, const IMAGEPARAM &param, std::vector<uint8_t> &out)
{
    const double dpiX = validDpi(param.nXDPI), dpiY = validDpi(param.nYDPI);
    switch (format) {
    case Jpeg:
    case Pdf: {
        std::vector<uint8_t> &jpeg = format == Jpeg ? out : m_jpeg;
        if (!m_codec.encode(img, kJpegQuality, jpeg) ||
            !setJfifDensity(jpeg, static_cast<int>(dpiX + 0.5), static_cast<int>(dpiY + 0.5)) ||
            (format == Jpeg && !embedThumbnail(img, jpeg)))
            return false;
        return format == Jpeg || makeJpegPdf(jpeg, dpiX, dpiY, out);
    }
    case Bmp:
        return cv::imencode(".bmp", img, out) && setBmpDensity(out, dpiX, dpiY);
    case Png:
        return cv::imencode(".png", img, out) && setPngDensity(out, dpiX, dpiY);
    case Tiff:
        return cv::imencode(".tiff", img, out,
                            {cv::IMWRITE_TIFF_RESUNIT, 2, cv::IMWRITE_TIFF_XDPI, static_cast<int>(dpiX + 0.5),
                             cv::IMWRITE_TIFF_YDPI, static_cast<int>(dpiY + 0.5)});
    }
    return false;
}

// The camera's own JPEG as the file, turned losslessly when asked, whenever
// nothing else has to change in the picture: no re-encoding loss and no
// decode time.
bool Capturer::passThrough(const EncodedFrame &frame, int rotation, int format, const IMAGEPARAM &param,
                           const cv::Mat &sample, std::vector<uint8_t> &out)
{
    if (!passesThrough(frame, format, param))
        return false;
    std::vector<uint8_t> &jpeg = format == Jpeg ? out : m_jpeg;
    if (rotation == 0)
        jpeg = frame.data;
    else if (!m_codec.rotate(frame.data, rotation, jpeg))
        return false;
    // A frame whose header does not read is decoded instead, and fails there.
    int w = 0, h = 0;
    bool gray = false;
    const double dpiX = validDpi(param.nXDPI), dpiY = validDpi(param.nYDPI);
    if (!m_codec.header(jpeg.data(), jpeg.size(), &w, &h, &gray) ||
        !setJfifDensity(jpeg, static_cast<int>(dpiX + 0.5), static_cast<int>(dpiY + 0.5)))
        return false;
    if (format == Jpeg) {
        // The thumbnail comes from the live picture of the frame, else from the
        // smallest scale the decoder offers (an eighth: most of a full decode's time).
        if (!sample.empty()) {
            cv::cvtColor(sample, m_sampledBgr, cv::COLOR_RGB2BGR);
            if (rotation != 0)
                cv::rotate(m_sampledBgr, m_sampledBgr,
                           rotation == 90    ? cv::ROTATE_90_CLOCKWISE
                           : rotation == 180 ? cv::ROTATE_180
                                             : cv::ROTATE_90_COUNTERCLOCKWISE);
        } else {
            const FrameSize small = scaledSize({w, h}, 8);
            m_sampledBgr.create(small.height, small.width, CV_8UC3);
            if (!m_codec.decode(jpeg.data(), jpeg.size(), small.width, small.height, false,
                                m_sampledBgr.data))
                return false;
        }
        if (!embedThumbnail(m_sampledBgr, jpeg))
            return false;
    }
    return format == Jpeg || makeJpegPdf(jpeg, dpiX, dpiY, out);
}

bool Capturer::takesSample(const EncodedFrame &frame, const char *path, const IMAGEPARAM &param)
{
    int format = Jpeg;
    return targetFormat(path, &format) && format == Jpeg && passesThrough(frame, format, param);
}

long Capturer::capture(const EncodedFrame &frame, char *path, const IMAGEPARAM &param, const cv::Mat &sample)
{
    int format = Jpeg;
    if (!targetFormat(path, &format))
        return ERROR_BAD_ARGUMENT;
    const std::string target(path);
    int rotation = param.nRotate % 360;
    if (rotation < 0)
        rotation += 360;
    if (rotation % 90 != 0)
        return ERROR_BAD_ARGUMENT;

    std::vector<std::vector<uint8_t>> &files = m_files;
    files.resize(1);
    if (!passThrough(frame, rotation, format, param, sample, files[0])) {
        if (!decodeFrame(m_codec, frame, m_bgr))
            return ERROR_NO_FRAME;
        const std::vector<cv::Mat> images = processedImages(m_bgr, rotation, param, m_turned);
        files.resize(images.size());
        for (size_t i = 0; i < images.size(); ++i)
            if (!encode(images[i], format, param, files[i]))
                return ERROR_WRITE_FAILED;
    }

    std::string list;
    long status = ERROR_GOOD;
    size_t count = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        std::string written;
        if (!sdkcommon::writeFileAtomically(
                nthOutputPath(target, static_cast<int>(i)), files[i].data(), files[i].size(),
                param.bIsCoverFile ? sdkcommon::WritePolicy::Replace : sdkcommon::WritePolicy::FreeName,
                &written)) {
            status = ERROR_WRITE_FAILED;
            break;
        }
        ++count;
        // Paths that would not fit whole stay out of the list (they are on disk).
        const size_t need = written.size() + (list.empty() ? 0 : 1);
        if (list.size() + need < CAM_PATH_SIZE)
            list += (list.empty() ? "" : ";") + written;
        else
            status = ERROR_BUFFER_TOO_SMALL;
    }
    // With nothing written the caller keeps the target it asked for.
    if (count > 0)
        std::memcpy(path, list.c_str(), list.size() + 1);
    return status;
}

} // namespace camsdk

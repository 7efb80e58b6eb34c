#include "playbackdevice.h"

#include "filereader.h"
#include "jpegcodec.h"
#include "jpegsegments.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace camsdk {

namespace {

namespace fs = std::filesystem;

constexpr int kMinSide = 16;
constexpr int kMaxSide = 8192;
constexpr long long kMaxPixels = 64LL * 1000 * 1000; // what the frame decoder accepts
// How much of a file is read to find its size: a JPEG's stands before its
// first scan, mostly within 64 KiB, else after a few 64 KiB metadata segments.
// A huge file is not read whole to be listed.
constexpr std::streamsize kHeadBytes[] = {64 << 10, 1 << 20};
constexpr int kJpegQuality = 95;

// Up to limit bytes from the start of the file.
std::vector<uint8_t> readHead(const std::string &path, std::streamsize limit)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes;
    if (!in)
        return bytes;
    in.seekg(0, std::ios::end);
    const std::streamsize size = std::min<std::streamsize>(in.tellg(), limit);
    in.seekg(0);
    if (size <= 0)
        return bytes;
    bytes.resize(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char *>(bytes.data()), size))
        bytes.clear();
    return bytes;
}

uint32_t bigEndian32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The size a JPEG or PNG file shows at (EXIF orientation applied), from its header.
bool shownSize(const std::string &path, JpegCodec &codec, FrameSize *size)
{
    static const uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    for (const std::streamsize limit : kHeadBytes) {
        const std::vector<uint8_t> head = readHead(path, limit);
        if (head.size() >= 24 && std::memcmp(head.data(), pngSignature, 8) == 0 &&
            std::memcmp(head.data() + 12, "IHDR", 4) == 0) {
            const uint32_t w = bigEndian32(head.data() + 16), h = bigEndian32(head.data() + 20);
            *size = {static_cast<int>(std::min<uint32_t>(w, 1u << 30)),
                     static_cast<int>(std::min<uint32_t>(h, 1u << 30))};
            return true;
        }
        if (codec.header(head.data(), head.size(), &size->width, &size->height)) {
            if (jpegsegments::exifOrientation(head.data(), head.size()) >= 5) // a quarter turn
                std::swap(size->width, size->height);
            return true;
        }
        if (static_cast<std::streamsize>(head.size()) < limit)
            return false; // that was the whole file
    }
    return false;
}

bool isPictureName(const fs::path &path)
{
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".jpg" || ext == ".jpeg" || ext == ".png";
}

} // namespace

std::vector<PlaybackPicture> findPlaybackPictures(const std::vector<std::string> &sources,
                                                  std::ostream &errors)
{
    JpegCodec codec;
    std::vector<PlaybackPicture> pictures;
    for (const std::string &source : sources) {
        std::error_code ec;
        std::vector<std::string> files;
        if (fs::is_directory(source, ec)) {
            for (fs::directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec))
                if (isPictureName(it->path()) && it->is_regular_file(ec))
                    files.push_back(it->path().string());
            std::sort(files.begin(), files.end());
            if (files.empty())
                errors << "playback camera: no JPEG or PNG pictures in " << source << '\n';
        } else if (fs::exists(source, ec)) {
            files.push_back(source);
        } else {
            errors << "playback camera: " << source << " not found\n";
        }
        for (const std::string &file : files) {
            FrameSize size;
            if (!shownSize(file, codec, &size))
                errors << "playback camera: " << file << " is not a readable JPEG or PNG picture, skipped\n";
            else if (size.width < kMinSide || size.height < kMinSide || size.width > kMaxSide ||
                     size.height > kMaxSide || 1LL * size.width * size.height > kMaxPixels)
                errors << "playback camera: " << file << " (" << size.width << 'x' << size.height
                       << ") is too small or too large to stream, skipped\n";
            else
                pictures.push_back({file, size});
        }
    }
    return pictures;
}

std::vector<FrameSize> playbackResolutions(FrameSize first)
{
    std::vector<FrameSize> sizes{first};
    for (FrameSize s : VirtualDevice::standardResolutions()) {
        // An upright page stays whole at the smaller sizes instead of losing its top and bottom.
        if (first.height > first.width)
            std::swap(s.width, s.height);
        if (s.width <= first.width && s.height <= first.height && !(s == first))
            sizes.push_back(s);
    }
    return sizes;
}

cv::Mat fitPicture(const cv::Mat &picture, FrameSize size)
{
    if (picture.cols == size.width && picture.rows == size.height)
        return picture;
    const double scale = std::max(static_cast<double>(size.width) / picture.cols,
                                  static_cast<double>(size.height) / picture.rows);
    const int w = std::max(size.width, static_cast<int>(std::lround(picture.cols * scale)));
    const int h = std::max(size.height, static_cast<int>(std::lround(picture.rows * scale)));
    cv::Mat scaled;
    cv::resize(picture, scaled, {w, h}, 0, 0, scale < 1 ? cv::INTER_AREA : cv::INTER_CUBIC);
    return scaled(cv::Rect((w - size.width) / 2, (h - size.height) / 2, size.width, size.height)).clone();
}

PlaybackDevice::PlaybackDevice(int index, const VirtualConfig &config, std::vector<PlaybackPicture> pictures,
                               std::shared_ptr<VirtualControl> control)
    : VirtualDevice(index, config, std::move(control)), m_pictures(std::move(pictures)),
      m_unreadable(m_pictures.size(), false)
{
}

PlaybackDevice::~PlaybackDevice()
{
    stop();
}

std::string PlaybackDevice::name() const
{
    return "PageLux Playback Camera";
}

std::vector<FrameSize> PlaybackDevice::resolutions() const
{
    return m_pictures.empty() ? std::vector<FrameSize>() : playbackResolutions(m_pictures.front().size);
}

FramePtr PlaybackDevice::load(size_t i, JpegCodec &codec) const
{
    auto frame = std::make_shared<EncodedFrame>();
    if (!sdkcommon::readFile(m_pictures[i].path, frame->data))
        return nullptr;
    cv::Mat bgr;
    // An upright JPEG the frame decoder reads goes out as recorded when its size
    // is the stream's; anything else (PNG, turned or CMYK JPEG, another size) is
    // encoded afresh, turned as its EXIF orientation says.
    const bool asFrame = jpegsegments::exifOrientation(frame->data.data(), frame->data.size()) == 1 &&
                         decodeFrame(codec, *frame, bgr);
    try {
        if (!asFrame && !frame->data.empty())
            bgr = cv::imdecode(frame->data, cv::IMREAD_COLOR);
    } catch (const cv::Exception &) {
        return nullptr; // a corrupt picture is skipped, the stream goes on
    }
    if (bgr.empty())
        return nullptr;
    frame->width = m_size.width;
    frame->height = m_size.height;
    if (!asFrame || bgr.cols != m_size.width || bgr.rows != m_size.height) {
        frame->data.clear();
        if (!codec.encode(fitPicture(bgr, m_size), kJpegQuality, frame->data))
            return nullptr;
    }
    return frame;
}

bool PlaybackDevice::streamLoop(const FrameSink &sink)
{
    JpegCodec codec;
    FramePtr frame;
    unsigned shown = 0; // the count of "next" lines the frame is for
    auto due = std::chrono::steady_clock::now();
    while (!stopRequested()) {
        if (!present())
            return true;
        const unsigned next = m_control ? m_control->next() : 0;
        if (next != shown)
            frame = nullptr;
        shown = next;
        while (!frame) {
            // Counting over the pictures still readable, so that "next" never shows one twice.
            std::vector<size_t> readable;
            for (size_t i = 0; i < m_pictures.size(); ++i)
                if (!m_unreadable[i])
                    readable.push_back(i);
            if (readable.empty())
                break;
            const size_t i = readable[next % readable.size()];
            frame = load(i, codec);
            if (!frame) {
                m_unreadable[i] = true;
                std::cerr << "playback camera: " << m_pictures[i].path << " cannot be read, skipped\n";
            }
        }
        if (frame)
            sink(frame);
        if (!waitForNextFrame(due))
            break;
    }
    return false;
}

} // namespace camsdk

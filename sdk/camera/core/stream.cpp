#include "stream.h"
#include "capturefile.h"

#include <opencv2/imgproc.hpp>

namespace camsdk {

namespace {
// Automatic capture looks at the scene ten times a second.
constexpr auto kSampleInterval = std::chrono::milliseconds(100);
} // namespace

Stream::Stream(DevicePtr device, FrameSize size, CamFrameCallback callback, const LiveView &view)
    : m_device(std::move(device)), m_size(size), m_callback(callback), m_view(view)
{
}

Stream::~Stream()
{
    stop();
}

long Stream::start()
{
    const long status = m_device->start(
        m_size, [this](const FramePtr &f) { onFrame(f); },
        [this] {
            {
                std::lock_guard<std::mutex> lock(m_newestMutex);
                m_lost = true;
            }
            m_newestArrived.notify_all();
        });
    m_running = status == ERROR_GOOD;
    return status;
}

void Stream::requestStop()
{
    if (m_running)
        m_device->requestStop();
}

void Stream::stop()
{
    if (onStreamThread()) {
        m_device->requestStop();
        return;
    }
    std::lock_guard<std::mutex> stopLock(m_stopMutex);
    if (!m_running)
        return;
    m_device->stop();
    // No frame comes any more, so nothing offers the search a copy meanwhile.
    m_guides.stop();
    m_running = false;
    {
        std::lock_guard<std::mutex> lock(m_newestMutex);
        m_ended = true;
    }
    m_newestArrived.notify_all();
}

bool Stream::onStreamThread() const
{
    return m_running && m_device->threadId() == std::this_thread::get_id();
}

FramePtr Stream::newestFrame(std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_newestMutex);
    m_newestArrived.wait_for(lock, timeout, [this] { return m_newest || m_lost.load() || m_ended; });
    return m_lost ? nullptr : m_newest;
}

FramePtr Stream::sampledFrame(std::chrono::milliseconds timeout, cv::Mat &sample)
{
    std::unique_lock<std::mutex> lock(m_newestMutex);
    const unsigned before = m_samples;
    ++m_sampleWanted;
    m_newestArrived.wait_for(lock, timeout, [&] { return m_samples != before || m_lost.load() || m_ended; });
    const FramePtr frame = m_samples != before ? m_sampled : nullptr;
    if (frame)
        sample = m_sample;
    // The last one to leave lets go of the sample and its frame.
    if (--m_sampleWanted == 0) {
        m_sampled.reset();
        m_sample.release();
    }
    return frame;
}

void Stream::setAutoCapture(CamAutoCaptureCallback callback)
{
    std::lock_guard<std::mutex> lock(m_autoMutex);
    m_autoCallback = callback;
    m_autoReset = true;
}

bool Stream::decodePreview(const EncodedFrame &frame)
{
    if (frame.format == PixelFormat::Yuyv) {
        m_rgb.create(frame.height, frame.width, CV_8UC3);
        return convertYuyv(frame.data.data(), frame.data.size(), frame.width, frame.height, true, m_rgb.data);
    }
    int w = 0, h = 0;
    if (!m_codec.header(frame.data.data(), frame.data.size(), &w, &h))
        return false;
    const FrameSize out = scaledSize({w, h}, previewDenominator(w, h));
    m_rgb.create(out.height, out.width, CV_8UC3);
    return m_codec.decode(frame.data.data(), frame.data.size(), out.width, out.height, true, m_rgb.data);
}

void Stream::onFrame(const FramePtr &frame)
{
    if (!frame)
        return;
    {
        std::lock_guard<std::mutex> lock(m_newestMutex);
        m_newest = frame;
    }
    m_newestArrived.notify_all();
    bool decoded = false;
    try {
        decoded = decodePreview(*frame);
    } catch (const std::exception &) {
    }
    if (!decoded)
        return; // a corrupt frame is dropped; the next one will do
    // A capture waiting for its thumbnail gets a small copy of this picture, taken
    // before anything is drawn on it, with this frame.
    bool wanted = false;
    {
        std::lock_guard<std::mutex> lock(m_newestMutex);
        wanted = m_sampleWanted > 0;
    }
    if (wanted) {
        try {
            cv::Mat sample = thumbnailSample(m_rgb);
            std::lock_guard<std::mutex> lock(m_newestMutex);
            m_sample = sample;
            m_sampled = frame;
            ++m_samples;
        } catch (const std::exception &) {
        }
        m_newestArrived.notify_all();
    }
    const int rotation = m_view.rotation.load();
    cv::Mat *shown = &m_rgb;
    switch (rotation) {
    case 90:
        cv::rotate(m_rgb, m_rotated, cv::ROTATE_90_CLOCKWISE);
        shown = &m_rotated;
        break;
    case 180:
        cv::rotate(m_rgb, m_rotated, cv::ROTATE_180);
        shown = &m_rotated;
        break;
    case 270:
        cv::rotate(m_rgb, m_rotated, cv::ROTATE_90_COUNTERCLOCKWISE);
        shown = &m_rotated;
        break;
    default:
        break;
    }
    // Both look at the picture before anything is drawn on it: the guides (and
    // whatever the application paints into the buffer) are not the scene.
    feedAutoCapture();
    const int guides = m_view.guides.load();
    try {
        m_guides.offer(*shown, guides, rotation);
        m_guides.draw(*shown, guides, rotation);
    } catch (const std::exception &) {
        // Out of memory, no thread to be had: the frame goes out without guides.
    }
    if (m_callback)
        m_callback(shown->data, static_cast<int>(shown->total() * 3), shown->cols, shown->rows,
                   CAM_FRAME_RGB24);
}

void Stream::feedAutoCapture()
{
    CamAutoCaptureCallback callback;
    {
        std::lock_guard<std::mutex> lock(m_autoMutex);
        callback = m_autoCallback;
        if (m_autoReset) {
            m_detector.reset();
            m_autoReset = false;
        }
    }
    const auto now = std::chrono::steady_clock::now();
    if (!callback || now - m_lastSample < kSampleInterval)
        return;
    m_lastSample = now;
    // The unrotated picture: turning the view is not a change of the scene.
    cv::Mat small, gray;
    const int w = StillnessDetector::kSampleWidth;
    const int h = std::max(1, m_rgb.rows * w / std::max(1, m_rgb.cols));
    cv::resize(m_rgb, small, {w, h}, 0, 0, cv::INTER_AREA);
    cv::cvtColor(small, gray, cv::COLOR_RGB2GRAY);
    const auto event = m_detector.feed(gray, std::chrono::duration<double>(now - m_epoch).count());
    if (event != StillnessDetector::None)
        callback(event);
}

} // namespace camsdk

// The frame path of one running stream: keeps the newest camera frame for a
// capture, decodes it (DCT-scaled above 1080p) into packed RGB, turns it by the
// live rotation, feeds automatic capture, draws the outline guides and hands
// the frame to the frame callback.
#ifndef CAMSDK_STREAM_H
#define CAMSDK_STREAM_H

#include "CamCaptureSDK.h"
#include "device.h"
#include "guides.h"
#include "jpegcodec.h"
#include "stillness.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace camsdk {

// How the live picture is shown, read for every frame of every stream.
struct LiveView {
    std::atomic<int> rotation{0}; // degrees clockwise: 0, 90, 180, 270
    std::atomic<int> guides{0};   // the cut-out mode; 1 single, 2 multiple, 3 book have guides
};

class Stream
{
public:
    Stream(DevicePtr device, FrameSize size, CamFrameCallback callback, const LiveView &view);
    ~Stream();
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;

    long start();
    // Asks the stream's thread to end after its current frame; returns at once.
    void requestStop();
    // No callback of this stream runs or will run, and its guide search has
    // ended, once this returns; also when another thread is stopping it at the
    // same time. On the stream's own thread (from a callback) it only asks the
    // thread to end. Once stopped, a stream never touches its device again: a
    // newer stream may be running on it.
    void stop();
    bool onStreamThread() const;

    const DevicePtr &device() const { return m_device; }
    FrameSize size() const { return m_size; }
    // The newest frame as the camera sent it, waiting up to timeout for the
    // first one; null when none came or the device went away or the stream
    // was stopped first.
    FramePtr newestFrame(std::chrono::milliseconds timeout) const;
    // A frame for a capture with the thumbnailSample of its live picture: the frame
    // whose picture the stream converts next (the newest, while it is being converted),
    // waiting up to timeout. Null when none comes in time (corrupt frames, the stream
    // stopped). The stream samples its pictures only while a capture waits here.
    FramePtr sampledFrame(std::chrono::milliseconds timeout, cv::Mat &sample);
    // True once the device went away during streaming.
    bool lost() const { return m_lost.load(); }

    // nullptr pauses automatic capture.
    void setAutoCapture(CamAutoCaptureCallback callback);

private:
    void onFrame(const FramePtr &frame);
    bool decodePreview(const EncodedFrame &frame);
    void feedAutoCapture();

    DevicePtr m_device;
    FrameSize m_size;
    CamFrameCallback m_callback;
    const LiveView &m_view;

    mutable std::mutex m_newestMutex;
    mutable std::condition_variable m_newestArrived;
    FramePtr m_newest;
    int m_sampleWanted = 0; // captures waiting in sampledFrame
    unsigned m_samples = 0; // samples taken so far
    FramePtr m_sampled;     // the frame the last sample was taken from
    cv::Mat m_sample;
    std::atomic<bool> m_lost{false};
    bool m_ended = false; // stopped: no frame will come (under m_newestMutex)

    std::mutex m_stopMutex;             // one stop() at a time; later ones wait for it
    std::atomic<bool> m_running{false}; // started, and not yet stopped

    // Touched only on the stream thread.
    JpegCodec m_codec;
    cv::Mat m_rgb;     // decoded preview
    cv::Mat m_rotated; // the preview turned by the live rotation

    LiveGuides m_guides; // fed and drawn on the stream thread, stopped by stop()

    std::mutex m_autoMutex;
    CamAutoCaptureCallback m_autoCallback = nullptr;
    bool m_autoReset = false;
    StillnessDetector m_detector;
    std::chrono::steady_clock::time_point m_lastSample;
    const std::chrono::steady_clock::time_point m_epoch = std::chrono::steady_clock::now();
};

} // namespace camsdk

#endif

// A camera as the frame path sees it: a source of compressed (or raw YUYV)
// frames on a thread of its own.
#ifndef CAMSDK_DEVICE_H
#define CAMSDK_DEVICE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace camsdk {

enum class PixelFormat { Mjpeg, Yuyv };

struct FrameSize {
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize &o) const { return width == o.width && height == o.height; }
};

// One frame as the camera sent it. Shared so that the newest frame can be kept
// for a capture while the stream moves on.
struct EncodedFrame {
    PixelFormat format = PixelFormat::Mjpeg;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> data;
};
using FramePtr = std::shared_ptr<const EncodedFrame>;

class Device
{
public:
    using FrameSink = std::function<void(const FramePtr &)>;

    virtual ~Device() = default;
    virtual std::string name() const = 0;
    virtual int vendorId() const = 0;
    virtual int productId() const = 0;
    virtual bool supportsBook() const = 0;
    // Largest first, no duplicates.
    virtual std::vector<FrameSize> resolutions() const = 0;
    // False once unplugged.
    virtual bool present() const = 0;
    // Starts streaming at size; sink receives every frame on the device's
    // thread. When the device goes away the thread ends by itself after
    // calling lost() once. Returns a status of CamCaptureSDK.h.
    virtual long start(FrameSize size, FrameSink sink, std::function<void()> lost) = 0;
    // Asks the device's thread to end after its current frame; returns at once.
    virtual void requestStop() = 0;
    // Joins the device's thread: no sink or lost call runs after it returns.
    // Called on that thread itself it only asks it to end.
    virtual void stop() = 0;
    // The id of the device's streaming thread, until it has been joined
    // (default id when there is none).
    virtual std::thread::id threadId() const = 0;
};

using DevicePtr = std::shared_ptr<Device>;

} // namespace camsdk

#endif

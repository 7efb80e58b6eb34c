// Real UVC cameras through V4L2: capture nodes, their names and USB ids, the
// MJPEG/YUYV frame sizes, memory-mapped streaming with a clean end on unplug.
#ifndef CAMSDK_V4L2DEVICE_H
#define CAMSDK_V4L2DEVICE_H

#include "threadeddevice.h"

#include <atomic>
#include <cstdint>

namespace camsdk
{

struct V4l2Mode {
    uint32_t fourcc = 0;
    int width = 0;
    int height = 0;
};

// The modes worth offering, largest first, one per size, MJPEG preferred over
// YUYV; other formats are dropped.
std::vector<V4l2Mode> selectModes(const std::vector<V4l2Mode> &offered);

// USB ids of a video node from sysfs: the first ancestor of
// <sysfsRoot>/class/video4linux/<node>/device carrying idVendor and idProduct.
bool readUsbIds(const std::string &sysfsRoot, const std::string &node, int *vid, int *pid);

// A complete JPEG image inside a driver buffer: starts with SOI; the length is
// cut after the last EOI (drivers pad); 0 when the frame is unusable.
size_t jpegPayloadSize(const uint8_t *data, size_t size);

class V4l2Device : public ThreadedDevice
{
public:
    // Opens /dev/<node> briefly to read its capabilities; null when it is no
    // video capture device (metadata nodes, encoders).
    static std::shared_ptr<V4l2Device> probe(const std::string &node);
    // Every capture device under /dev, in node order.
    static std::vector<std::shared_ptr<V4l2Device>> enumerate();
    ~V4l2Device() override;

    const std::string &node() const { return m_node; }
    std::string name() const override { return m_name; }
    int vendorId() const override { return m_vid; }
    int productId() const override { return m_pid; }
    bool supportsBook() const override { return true; }
    std::vector<FrameSize> resolutions() const override;
    bool present() const override;

protected:
    long openStream(FrameSize size) override;
    bool streamLoop(const FrameSink &sink) override;
    void closeStream() override;

private:
    V4l2Device() = default;

    std::string m_node; // "video0"
    std::string m_name;
    int m_vid = 0;
    int m_pid = 0;
    std::vector<V4l2Mode> m_modes;
    std::atomic<bool> m_gone{false};

    int m_fd = -1;
    V4l2Mode m_active;
    std::vector<std::pair<void *, size_t>> m_buffers;
};

} // namespace camsdk

#endif

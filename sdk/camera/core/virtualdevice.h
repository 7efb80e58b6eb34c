// The virtual camera: rendered desk scenes streamed as MJPEG through the same
// frame path a real camera uses. Configured by the environment at Cam_Init and
// steered at run time by a control file (motion, unplug and replug).
#ifndef CAMSDK_VIRTUALDEVICE_H
#define CAMSDK_VIRTUALDEVICE_H

#include "threadeddevice.h"
#include "virtualscene.h"

#include <atomic>
#include <functional>

namespace camsdk {

struct VirtualConfig {
    int count = 0;
    std::vector<std::pair<int, int>> ids; // (vid, pid) per device
    // The frame sizes per device, largest first; the standard ones where empty.
    std::vector<std::vector<FrameSize>> sizes;
    camvirtual::SceneKind scene = camvirtual::SceneKind::Page;
    camvirtual::DeskKind desk = camvirtual::DeskKind::Wood;
    uint32_t seed = 1;
    std::vector<std::string> documents;
    int fps = 15;
    std::string controlPath;
    bool torn = false; // paper documents come with a torn corner and a bitten edge
    camvirtual::BookShape book = camvirtual::BookShape::Dip;
    // Pictures and folders of pictures for the playback camera, which comes
    // after the rendered ones.
    std::vector<std::string> frames;
};

// Reads CAMSDK_VIRTUAL and its companions through env (getenv in the library).
// Unknown or malformed values fall back to the defaults; count is capped at 16.
// CAMSDK_VIRTUAL_SIZES gives each device its own frame sizes: lists separated
// by ",", one per device, of sizes "WxH" separated by "/" (16 to 8192 pixels a
// side); a list with anything else in it leaves that device the standard sizes.
VirtualConfig readVirtualConfig(const std::function<const char *(const char *)> &env);

// What the control file says. Lines: "motion on|off", "device N present|absent"
// (N counts from 1 like the device names), "next"; the last line about a thing
// wins, every "next" counts, anything else is ignored.
struct ControlState {
    bool motion = false;
    std::vector<bool> present;
    unsigned next = 0; // the playback camera shows its picture number next (looping)
};
void applyControlText(const std::string &text, ControlState &state);

// Polls the control file on a thread of its own and answers for all virtual devices.
class VirtualControl
{
public:
    VirtualControl(std::string path, int deviceCount);
    ~VirtualControl();
    VirtualControl(const VirtualControl &) = delete;
    VirtualControl &operator=(const VirtualControl &) = delete;

    bool motion() const;
    bool present(int device) const;
    // How many times the device has been plugged in again since the start.
    unsigned plugs(int device) const;
    unsigned next() const;

private:
    void poll();

    std::string m_path;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    ControlState m_state;
    std::vector<unsigned> m_plugs;
    bool m_quit = false;
    std::thread m_thread;
};

// Like a real camera, a virtual one opens for one stream at a time, and a
// replugged one is a new device: the object of the unplugged one stays absent.
class VirtualDevice : public ThreadedDevice
{
public:
    // index: 0-based position among the virtual devices; control may be null.
    VirtualDevice(int index, const VirtualConfig &config, std::shared_ptr<VirtualControl> control);
    ~VirtualDevice() override;

    std::string name() const override;
    int vendorId() const override { return m_vid; }
    int productId() const override { return m_pid; }
    bool supportsBook() const override { return true; }
    std::vector<FrameSize> resolutions() const override;
    bool present() const override;

    // The resolutions every virtual camera offers, largest first.
    static std::vector<FrameSize> standardResolutions();

protected:
    long openStream(FrameSize size) override;
    bool streamLoop(const FrameSink &sink) override;
    void closeStream() override;
    // Sleeps until the next frame is due at the stream rate; false when stopped first.
    bool waitForNextFrame(std::chrono::steady_clock::time_point &due);

    int m_index;
    std::shared_ptr<VirtualControl> m_control;
    FrameSize m_size; // of the open stream

private:
    int m_vid;
    int m_pid;
    int m_fps;
    std::vector<FrameSize> m_sizes;
    camvirtual::SceneRequest m_request;
    unsigned m_plugs = 0; // the control's count when this device was made
    std::atomic<bool> m_open{false};
};

} // namespace camsdk

#endif

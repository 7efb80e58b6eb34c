// The C interface: device registry, stream bookkeeping and argument checks.
// Real (V4L2) devices come first in the enumeration, virtual ones after them.
#include "CamCaptureSDK.h"

#include "capturefile.h"
#include "playbackdevice.h"
#include "stream.h"
#include "v4l2device.h"
#include "virtualdevice.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>

using namespace camsdk;

namespace {

// How long a capture right after the start of a stream waits for its first frame.
constexpr std::chrono::milliseconds kFirstFrameWait(3000);
// A capture waits this long at most for the next live picture (its thumbnail): a frame
// period down to 3 frames a second, and the picture's decode.
constexpr std::chrono::milliseconds kSampleWait(400);

struct Library {
    std::mutex mutex;
    bool initialised = false;
    std::vector<std::shared_ptr<V4l2Device>> real;
    VirtualConfig virtualConfig;
    std::shared_ptr<VirtualControl> control;
    std::vector<PlaybackPicture> pictures; // of the playback camera, the last virtual device
    std::vector<DevicePtr> virtuals;
    // Weak keys: a device object freed after an unplug must not hand its
    // choice to a new one made at the same address.
    std::map<std::weak_ptr<Device>, FrameSize, std::owner_less<std::weak_ptr<Device>>> chosenSize;
    // Declared last so that streams end before the devices they read.
    std::vector<std::shared_ptr<Stream>> streams; // most recently started last
    // Out of the list but not yet joined: lost ones and those being stopped.
    // Their devices stay busy, and the library keeps them alive, until a thread
    // of the application has joined them: a stream is never destroyed on its
    // own thread.
    std::vector<std::shared_ptr<Stream>> ending;
};

Library &lib()
{
    static Library l;
    return l;
}

LiveView g_view;

// The device Cam_GetCameraResolutionCount selected for the next
// Cam_GetCameraResolutionName, one per calling thread: a discovery on a worker
// and a hot-plug scan on the GUI thread each read their own device's sizes.
// Weak, so that a device dropped from the enumeration (Cam_Init, unplug) ends
// the selection.
thread_local std::weak_ptr<Device> t_selected;

std::vector<DevicePtr> presentDevices(const Library &l)
{
    std::vector<DevicePtr> out;
    for (const auto &d : l.real)
        if (d->present())
            out.push_back(d);
    for (const auto &d : l.virtuals)
        if (d->present())
            out.push_back(d);
    return out;
}

DevicePtr deviceAt(const Library &l, long index)
{
    const std::vector<DevicePtr> devices = presentDevices(l);
    if (index < 0 || index >= static_cast<long>(devices.size()))
        return nullptr;
    return devices[static_cast<size_t>(index)];
}

std::shared_ptr<Stream> streamOf(const std::vector<std::shared_ptr<Stream>> &list, const DevicePtr &device)
{
    for (const auto &s : list)
        if (s->device() == device)
            return s;
    return nullptr;
}

// True on the thread of any stream (in a callback). Such a thread never waits
// for another stream's thread: that one may be waiting in a callback for it.
bool onAnyStreamThread(const Library &l)
{
    for (const auto *list : {&l.streams, &l.ending})
        for (const auto &s : *list)
            if (s->onStreamThread())
                return true;
    return false;
}

void remove(std::vector<std::shared_ptr<Stream>> &list, const std::shared_ptr<Stream> &stream)
{
    const auto it = std::find(list.begin(), list.end(), stream);
    if (it != list.end())
        list.erase(it);
}

// Joins stream outside the library lock and then forgets it. It stays among
// the ending streams meanwhile, so that its device is busy and a concurrent
// stop of it waits for the join too.
void joinEnding(Library &l, std::unique_lock<std::mutex> &lock, const std::shared_ptr<Stream> &stream)
{
    lock.unlock();
    stream->stop();
    lock.lock();
    remove(l.ending, stream);
}

// Ends the streams of devices that went away, so that once the enumeration
// no longer lists a device no frame of it arrives any more, and joins the
// ended ones unless called from a stream's thread (a later call from the
// application does it then).
void reapLostStreams(Library &l, std::unique_lock<std::mutex> &lock)
{
    for (auto it = l.streams.begin(); it != l.streams.end();) {
        if ((*it)->lost() || !(*it)->device()->present()) {
            (*it)->requestStop();
            l.ending.push_back(*it);
            it = l.streams.erase(it);
        } else {
            ++it;
        }
    }
    if (onAnyStreamThread(l))
        return;
    const std::vector<std::shared_ptr<Stream>> ending = l.ending;
    for (const auto &s : ending)
        joinEnding(l, lock, s);
}

// Keeps the objects of devices still attached (one of them may be streaming).
void rescanReal(Library &l)
{
    std::vector<std::shared_ptr<V4l2Device>> fresh = V4l2Device::enumerate();
    for (auto &f : fresh)
        for (const auto &old : l.real)
            if (old->node() == f->node() && old->present() && old->name() == f->name())
                f = old;
    l.real = std::move(fresh);
}

DevicePtr makeVirtual(const Library &l, int index)
{
    if (index < l.virtualConfig.count)
        return std::make_shared<VirtualDevice>(index, l.virtualConfig, l.control);
    return std::make_shared<PlaybackDevice>(index, l.virtualConfig, l.pictures, l.control);
}

// A replugged virtual camera is a new device, as a real one is.
void rescanVirtual(Library &l)
{
    for (size_t i = 0; i < l.virtuals.size(); ++i)
        if (!l.virtuals[i]->present() && l.control && l.control->present(static_cast<int>(i)))
            l.virtuals[i] = makeVirtual(l, static_cast<int>(i));
}

// Forgets the choices for devices gone from the enumeration.
void pruneChosenSizes(Library &l)
{
    for (auto it = l.chosenSize.begin(); it != l.chosenSize.end();)
        it = it->first.expired() ? l.chosenSize.erase(it) : std::next(it);
}

// Runs f under the library lock with the initialisation checked; exceptions
// (out of memory, thread creation) become a status.
template <typename F> long withLibrary(F f)
{
    try {
        Library &l = lib();
        std::unique_lock<std::mutex> lock(l.mutex);
        if (!l.initialised)
            return ERROR_NOT_INITIALISED;
        return f(l, lock);
    } catch (...) {
        return ERROR_FAILED;
    }
}

// withLibrary for a call about one device of the enumeration.
template <typename F> long withDevice(long devIndex, F f)
{
    return withLibrary([&](Library &l, std::unique_lock<std::mutex> &lock) -> long {
        const DevicePtr d = deviceAt(l, devIndex);
        return d ? f(l, d, lock) : ERROR_NO_DEVICE;
    });
}

long setAutoCapture(long devIndex, CamAutoCaptureCallback callback)
{
    return withDevice(devIndex, [&](Library &l, const DevicePtr &d, std::unique_lock<std::mutex> &) -> long {
        const std::shared_ptr<Stream> stream = streamOf(l.streams, d);
        if (!stream)
            return ERROR_NOT_STREAMING;
        stream->setAutoCapture(callback);
        return ERROR_GOOD;
    });
}

int foldRotation(long degrees)
{
    long r = degrees % 360;
    return static_cast<int>(r < 0 ? r + 360 : r);
}

} // namespace

extern "C" {

long Cam_Init(void)
{
    try {
        Library &l = lib();
        std::unique_lock<std::mutex> lock(l.mutex);
        reapLostStreams(l, lock);
        // Also a stream that ended on its own but whose thread (the caller's,
        // in a callback) has not been joined: its device must outlive it.
        if (!l.streams.empty() || !l.ending.empty())
            return ERROR_BUSY;
        l.virtualConfig = readVirtualConfig([](const char *name) { return std::getenv(name); });
        l.chosenSize.clear();
        l.virtuals.clear();
        l.control.reset();
        const VirtualConfig &config = l.virtualConfig;
        l.pictures = findPlaybackPictures(config.frames, std::cerr);
        const int count = config.count + (l.pictures.empty() ? 0 : 1);
        if (count > 0)
            l.control = std::make_shared<VirtualControl>(config.controlPath, count);
        for (int i = 0; i < count; ++i)
            l.virtuals.push_back(makeVirtual(l, i));
        l.real = V4l2Device::enumerate();
        l.initialised = true;
        return ERROR_GOOD;
    } catch (...) {
        return ERROR_INIT_FAILED;
    }
}

long Cam_GetDevCount(long *count)
{
    if (!count)
        return ERROR_BAD_ARGUMENT;
    return withLibrary([&](Library &l, std::unique_lock<std::mutex> &lock) {
        rescanReal(l);
        rescanVirtual(l);
        reapLostStreams(l, lock);
        *count = static_cast<long>(presentDevices(l).size());
        return ERROR_GOOD;
    });
}

long Cam_GetDevName(long devIndex, char *name)
{
    if (!name)
        return ERROR_BAD_ARGUMENT;
    return withDevice(devIndex, [&](Library &, const DevicePtr &d, std::unique_lock<std::mutex> &) -> long {
        std::string n = d->name();
        if (n.size() >= CAM_NAME_SIZE) {
            n.resize(CAM_NAME_SIZE - 1);
            // Do not leave half a UTF-8 character at the end.
            while (!n.empty() && (static_cast<unsigned char>(n.back()) & 0xC0) == 0x80)
                n.pop_back();
            if (!n.empty() && (static_cast<unsigned char>(n.back()) & 0x80))
                n.pop_back();
        }
        std::memcpy(name, n.c_str(), n.size() + 1);
        return ERROR_GOOD;
    });
}

long Cam_GetPIDVID(long devIndex, int *pid, int *vid)
{
    if (!pid || !vid)
        return ERROR_BAD_ARGUMENT;
    return withDevice(devIndex, [&](Library &, const DevicePtr &d, std::unique_lock<std::mutex> &) -> long {
        *pid = d->productId();
        *vid = d->vendorId();
        return ERROR_GOOD;
    });
}

long Cam_GetDevParams(long devIndex, bool *supportsBook)
{
    if (!supportsBook)
        return ERROR_BAD_ARGUMENT;
    return withDevice(devIndex, [&](Library &, const DevicePtr &d, std::unique_lock<std::mutex> &) -> long {
        *supportsBook = d->supportsBook();
        return ERROR_GOOD;
    });
}

long Cam_GetCameraResolutionCount(long devIndex, long format, long *count)
{
    if (!count)
        return ERROR_BAD_ARGUMENT;
    if (format != 0)
        return ERROR_UNSUPPORTED;
    return withDevice(devIndex, [&](Library &, const DevicePtr &d, std::unique_lock<std::mutex> &) -> long {
        t_selected = d;
        *count = static_cast<long>(d->resolutions().size());
        return ERROR_GOOD;
    });
}

long Cam_GetCameraResolutionName(long resIndex, long *width, long *height)
{
    if (!width || !height)
        return ERROR_BAD_ARGUMENT;
    return withLibrary([&](Library &, std::unique_lock<std::mutex> &) -> long {
        const DevicePtr selected = t_selected.lock();
        if (!selected)
            return ERROR_NO_DEVICE;
        const std::vector<FrameSize> sizes = selected->resolutions();
        if (resIndex < 0 || resIndex >= static_cast<long>(sizes.size()))
            return ERROR_BAD_ARGUMENT;
        *width = sizes[static_cast<size_t>(resIndex)].width;
        *height = sizes[static_cast<size_t>(resIndex)].height;
        return ERROR_GOOD;
    });
}

long Cam_SetCameraResolution(long devIndex, long width, long height)
{
    return withDevice(devIndex, [&](Library &l, const DevicePtr &d, std::unique_lock<std::mutex> &) -> long {
        const std::vector<FrameSize> sizes = d->resolutions();
        auto it = std::find_if(sizes.begin(), sizes.end(),
                               [&](const FrameSize &s) { return s.width == width && s.height == height; });
        if (it == sizes.end())
            return ERROR_UNSUPPORTED;
        // Takes effect at the next start: the caller stops the stream first.
        pruneChosenSizes(l);
        l.chosenSize[d] = *it;
        return ERROR_GOOD;
    });
}

long Cam_SetCameraFormat(long devIndex, long format)
{
    return withDevice(devIndex, [&](Library &, const DevicePtr &, std::unique_lock<std::mutex> &) -> long {
        // 0, the camera's preferred compressed format, is the only one offered.
        return format == 0 ? ERROR_GOOD : ERROR_UNSUPPORTED;
    });
}

long Cam_CameraCaptureStart(long devIndex, CamFrameCallback callback)
{
    if (!callback)
        return ERROR_BAD_ARGUMENT;
    return withLibrary([&](Library &l, std::unique_lock<std::mutex> &lock) -> long {
        reapLostStreams(l, lock);
        const DevicePtr d = deviceAt(l, devIndex);
        if (!d)
            return ERROR_NO_DEVICE;
        if (streamOf(l.streams, d) || streamOf(l.ending, d))
            return ERROR_BUSY;
        const auto chosen = l.chosenSize.find(d);
        const std::vector<FrameSize> sizes = d->resolutions();
        if (chosen == l.chosenSize.end() && sizes.empty())
            return ERROR_OPEN_FAILED;
        const FrameSize size = chosen != l.chosenSize.end() ? chosen->second : sizes.front();
        auto stream = std::make_shared<Stream>(d, size, callback, g_view);
        const long status = stream->start();
        if (status != ERROR_GOOD)
            return status;
        l.streams.push_back(stream);
        return ERROR_GOOD;
    });
}

long Cam_CameraCaptureStop(long devIndex)
{
    return withLibrary([&](Library &l, std::unique_lock<std::mutex> &lock) -> long {
        reapLostStreams(l, lock);
        const DevicePtr d = deviceAt(l, devIndex);
        if (!d)
            return ERROR_NO_DEVICE;
        std::shared_ptr<Stream> stream = streamOf(l.streams, d);
        const bool running = stream != nullptr;
        if (!running)
            stream = streamOf(l.ending, d); // another thread is stopping it: return once it has ended
        if (!stream)
            return ERROR_NOT_STREAMING;
        // Joining the stream's own thread from its callback would never return.
        if (stream->onStreamThread())
            return ERROR_BUSY;
        if (running) {
            remove(l.streams, stream);
            l.ending.push_back(stream);
        }
        joinEnding(l, lock, stream);
        return running ? ERROR_GOOD : ERROR_NOT_STREAMING;
    });
}

long Cam_CameraCaptureFile(long devIndex, char *path, IMAGEPARAM *param)
{
    if (!path || !param)
        return ERROR_BAD_ARGUMENT;
    std::shared_ptr<Stream> stream;
    const long found = withLibrary([&](Library &l, std::unique_lock<std::mutex> &lock) -> long {
        reapLostStreams(l, lock);
        if (devIndex == 0) {
            if (!l.streams.empty())
                stream = l.streams.back();
        } else {
            const DevicePtr d = deviceAt(l, devIndex);
            if (!d)
                return ERROR_NO_DEVICE;
            stream = streamOf(l.streams, d);
        }
        return stream ? ERROR_GOOD : ERROR_NOT_STREAMING;
    });
    if (found != ERROR_GOOD)
        return found;
    try {
        // The capture runs outside the library lock; the frame is ours to keep
        // even if the stream stops meanwhile.
        FramePtr frame = stream->newestFrame(kFirstFrameWait);
        if (!frame)
            return stream->lost() ? ERROR_NO_DEVICE : ERROR_NO_FRAME;
        // One capture at a time, on buffers kept between captures.
        static std::mutex captureMutex;
        static Capturer capturer;
        // A capture written as the camera sent it takes its thumbnail from the live
        // picture, decoded anyway: the stream samples the next picture it converts and
        // that frame is captured. Else the frame is decoded small for it.
        cv::Mat sample;
        if (Capturer::takesSample(*frame, path, *param)) {
            if (FramePtr sampled = stream->sampledFrame(kSampleWait, sample))
                frame = std::move(sampled);
        }
        std::lock_guard<std::mutex> lock(captureMutex);
        return capturer.capture(*frame, path, *param, sample);
    } catch (...) {
        return ERROR_FAILED;
    }
}

long Cam_AutoCapture(long devIndex, long mode, CamAutoCaptureCallback callback)
{
    if (!callback || mode != 0)
        return ERROR_BAD_ARGUMENT;
    return setAutoCapture(devIndex, callback);
}

long Cam_PauseAutoCapture(long devIndex, long /*mode: every mode pauses*/)
{
    return setAutoCapture(devIndex, nullptr);
}

long Cam_SetAutoCrop(int mode)
{
    // 0 none, 1 single, 2 multiple, 3 book, 4 manual, 5 page split. Only the
    // searched modes have guides: manual rectangles are the application's to draw.
    if (mode < 0 || mode > 5)
        return ERROR_BAD_ARGUMENT;
    g_view.guides = mode;
    return ERROR_GOOD;
}

long Cam_Rotate(int rotation)
{
    const int r = foldRotation(rotation);
    if (r % 90 != 0)
        return ERROR_BAD_ARGUMENT;
    g_view.rotation = r;
    return ERROR_GOOD;
}

} // extern "C"

#include "v4l2device.h"

#include "CamCaptureSDK.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace camsdk
{

namespace
{

constexpr int kBufferCount = 4;
constexpr int kPollMs = 200;

int xioctl(int fd, unsigned long request, void *arg)
{
    int r;
    do
        r = ioctl(fd, request, arg);
    while (r == -1 && errno == EINTR);
    return r;
}

// A signal landing in the driver's open is no reason to give up on the camera.
int openNode(const std::string &node)
{
    const std::string path = "/dev/" + node;
    int fd;
    do
        fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool isGone(int err)
{
    return err == ENODEV || err == EIO || err == ENXIO;
}

std::vector<V4l2Mode> queryModes(int fd)
{
    std::vector<V4l2Mode> modes;
    v4l2_fmtdesc fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (fmt.index = 0; xioctl(fd, VIDIOC_ENUM_FMT, &fmt) == 0; ++fmt.index) {
        if (fmt.pixelformat != V4L2_PIX_FMT_MJPEG && fmt.pixelformat != V4L2_PIX_FMT_YUYV)
            continue;
        v4l2_frmsizeenum fs{};
        fs.pixel_format = fmt.pixelformat;
        for (fs.index = 0; xioctl(fd, VIDIOC_ENUM_FRAMESIZES, &fs) == 0; ++fs.index) {
            if (fs.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                modes.push_back({fmt.pixelformat, static_cast<int>(fs.discrete.width),
                                 static_cast<int>(fs.discrete.height)});
            } else { // stepwise or continuous: its largest size only
                modes.push_back({fmt.pixelformat, static_cast<int>(fs.stepwise.max_width),
                                 static_cast<int>(fs.stepwise.max_height)});
                break;
            }
        }
    }
    return modes;
}

} // namespace

std::vector<V4l2Mode> selectModes(const std::vector<V4l2Mode> &offered)
{
    std::vector<V4l2Mode> modes;
    for (const V4l2Mode &m : offered) {
        if ((m.fourcc != V4L2_PIX_FMT_MJPEG && m.fourcc != V4L2_PIX_FMT_YUYV) || m.width <= 0 ||
            m.height <= 0)
            continue;
        auto same = std::find_if(modes.begin(), modes.end(), [&](const V4l2Mode &k) {
            return k.width == m.width && k.height == m.height;
        });
        if (same == modes.end())
            modes.push_back(m);
        else if (m.fourcc == V4L2_PIX_FMT_MJPEG)
            same->fourcc = m.fourcc;
    }
    std::stable_sort(modes.begin(), modes.end(), [](const V4l2Mode &a, const V4l2Mode &b) {
        const long long pa = 1LL * a.width * a.height, pb = 1LL * b.width * b.height;
        return pa != pb ? pa > pb : a.width > b.width;
    });
    return modes;
}

bool readUsbIds(const std::string &sysfsRoot, const std::string &node, int *vid, int *pid)
{
    char resolved[PATH_MAX], root[PATH_MAX];
    const std::string link = sysfsRoot + "/class/video4linux/" + node + "/device";
    if (!realpath(link.c_str(), resolved) || !realpath(sysfsRoot.c_str(), root))
        return false;
    const std::string top = root;
    std::string dir = resolved;
    // Walk up from the interface to the USB device that carries the ids.
    while (dir.size() > top.size() && dir.compare(0, top.size(), top) == 0) {
        std::ifstream v(dir + "/idVendor"), p(dir + "/idProduct");
        std::string vs, ps;
        if (v >> vs && p >> ps) {
            char *endV = nullptr, *endP = nullptr;
            const long lv = std::strtol(vs.c_str(), &endV, 16), lp = std::strtol(ps.c_str(), &endP, 16);
            if (*endV != '\0' || *endP != '\0' || lv < 0 || lv > 0xFFFF || lp < 0 || lp > 0xFFFF)
                return false;
            *vid = static_cast<int>(lv);
            *pid = static_cast<int>(lp);
            return true;
        }
        dir.erase(dir.find_last_of('/'));
    }
    return false;
}

size_t jpegPayloadSize(const uint8_t *data, size_t size)
{
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return 0;
    for (size_t i = size - 1; i >= 3; --i)
        if (data[i - 1] == 0xFF && data[i] == 0xD9)
            return i + 1;
    return 0;
}

std::shared_ptr<V4l2Device> V4l2Device::probe(const std::string &node)
{
    const int fd = openNode(node);
    if (fd < 0)
        return nullptr;
    v4l2_capability cap{};
    std::shared_ptr<V4l2Device> dev;
    if (xioctl(fd, VIDIOC_QUERYCAP, &cap) == 0) {
        const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        if ((caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING)) {
            std::vector<V4l2Mode> modes = selectModes(queryModes(fd));
            if (!modes.empty()) {
                dev.reset(new V4l2Device);
                dev->m_node = node;
                dev->m_name =
                    std::string(reinterpret_cast<const char *>(cap.card),
                                strnlen(reinterpret_cast<const char *>(cap.card), sizeof(cap.card)));
                dev->m_modes = std::move(modes);
                readUsbIds("/sys", node, &dev->m_vid, &dev->m_pid);
            }
        }
    }
    ::close(fd);
    return dev;
}

std::vector<std::shared_ptr<V4l2Device>> V4l2Device::enumerate()
{
    std::vector<std::string> nodes;
    if (DIR *dir = opendir("/dev")) {
        while (dirent *e = readdir(dir))
            if (std::strncmp(e->d_name, "video", 5) == 0)
                nodes.emplace_back(e->d_name);
        closedir(dir);
    }
    std::sort(nodes.begin(), nodes.end(), [](const std::string &a, const std::string &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    std::vector<std::shared_ptr<V4l2Device>> devices;
    for (const std::string &n : nodes)
        if (auto d = probe(n))
            devices.push_back(d);
    return devices;
}

V4l2Device::~V4l2Device()
{
    stop();
}

std::vector<FrameSize> V4l2Device::resolutions() const
{
    std::vector<FrameSize> sizes;
    for (const V4l2Mode &m : m_modes)
        sizes.push_back({m.width, m.height});
    return sizes;
}

bool V4l2Device::present() const
{
    struct stat st;
    return !m_gone.load() && ::stat(("/dev/" + m_node).c_str(), &st) == 0;
}

long V4l2Device::openStream(FrameSize size)
{
    auto mode = std::find_if(m_modes.begin(), m_modes.end(), [&](const V4l2Mode &m) {
        return m.width == size.width && m.height == size.height;
    });
    if (mode == m_modes.end())
        return ERROR_UNSUPPORTED;
    const int fd = openNode(m_node);
    if (fd < 0)
        return errno == ENOENT || isGone(errno) ? ERROR_NO_DEVICE : ERROR_OPEN_FAILED;
    m_fd = fd;
    m_active = *mode;
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = static_cast<uint32_t>(size.width);
    fmt.fmt.pix.height = static_cast<uint32_t>(size.height);
    fmt.fmt.pix.pixelformat = mode->fourcc;
    fmt.fmt.pix.field = V4L2_FIELD_NONE;
    v4l2_requestbuffers req{};
    req.count = kBufferCount;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd, VIDIOC_S_FMT, &fmt) != 0 || fmt.fmt.pix.pixelformat != mode->fourcc ||
        xioctl(fd, VIDIOC_REQBUFS, &req) != 0 || req.count < 2) {
        closeStream();
        return ERROR_OPEN_FAILED;
    }
    m_active.width = static_cast<int>(fmt.fmt.pix.width);
    m_active.height = static_cast<int>(fmt.fmt.pix.height);
    for (uint32_t i = 0; i < req.count; ++i) {
        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        buf.index = i;
        if (xioctl(fd, VIDIOC_QUERYBUF, &buf) != 0) {
            closeStream();
            return ERROR_OPEN_FAILED;
        }
        void *p = mmap(nullptr, buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, buf.m.offset);
        if (p == MAP_FAILED) {
            closeStream();
            return ERROR_OPEN_FAILED;
        }
        m_buffers.emplace_back(p, buf.length);
        if (xioctl(fd, VIDIOC_QBUF, &buf) != 0) {
            closeStream();
            return ERROR_OPEN_FAILED;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd, VIDIOC_STREAMON, &type) != 0) {
        closeStream();
        return ERROR_OPEN_FAILED;
    }
    return ERROR_GOOD;
}

bool V4l2Device::streamLoop(const FrameSink &sink)
{
    while (!stopRequested()) {
        pollfd p{m_fd, POLLIN, 0};
        const int r = ::poll(&p, 1, kPollMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            m_gone = true;
            return true;
        }
        if (r == 0)
            continue;
        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        if (xioctl(m_fd, VIDIOC_DQBUF, &buf) != 0) {
            if (errno == EAGAIN)
                continue;
            m_gone = isGone(errno);
            return true;
        }
        if (buf.index < m_buffers.size() && !(buf.flags & V4L2_BUF_FLAG_ERROR)) {
            const auto *data = static_cast<const uint8_t *>(m_buffers[buf.index].first);
            const size_t used = std::min<size_t>(buf.bytesused, m_buffers[buf.index].second);
            auto frame = std::make_shared<EncodedFrame>();
            frame->width = m_active.width;
            frame->height = m_active.height;
            if (m_active.fourcc == V4L2_PIX_FMT_MJPEG) {
                frame->format = PixelFormat::Mjpeg;
                frame->data.assign(data, data + jpegPayloadSize(data, used));
            } else {
                frame->format = PixelFormat::Yuyv;
                frame->data.assign(data, data + used);
            }
            if (!frame->data.empty())
                sink(frame);
        }
        if (xioctl(m_fd, VIDIOC_QBUF, &buf) != 0) {
            m_gone = isGone(errno);
            return true;
        }
    }
    return false;
}

void V4l2Device::closeStream()
{
    if (m_fd >= 0) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        xioctl(m_fd, VIDIOC_STREAMOFF, &type);
    }
    for (auto &b : m_buffers)
        munmap(b.first, b.second);
    m_buffers.clear();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace camsdk

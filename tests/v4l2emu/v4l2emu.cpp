// Emulated UVC document cameras for the tests, loaded with LD_PRELOAD: the
// library answers open/close/ioctl/mmap on the /dev/videoN nodes it owns (a
// node is an eventfd, readable when a frame is done, so that poll works as is),
// lists them as all of /dev, shows their USB ids under /sys and passes every other
// call through. It answers the calls the camera library makes, in the order it
// makes them. Each camera has a capture node and a metadata-only node.
//
// Environment, read at the first use of a node:
//   V4L2EMU_CAMERAS   "vid:pid,formats,sizes,name;..." (formats "mjpeg+yuyv" or
//                     "yuyv", sizes "WxH/WxH" or empty for the usual five)
//   V4L2EMU_PICTURES  JPEG files sent in turn
//   V4L2EMU_FPS       frame rate (15)
//   V4L2EMU_HOLD      milliseconds each picture stays before the next (2000)
//   V4L2EMU_CONTROL   a file of control lines, read again whenever it changes:
//     device N absent|present|eio   unplug (ENODEV), plug back, or fail with EIO
//     fault N KIND COUNT            the next COUNT frames or calls go wrong:
//                                   stall (COUNT ms without frames), eagain, eintr
//                                   (every other call), empty (bytesused 0),
//                                   truncated, corrupt, nohuffman
//     size N WxH                    S_FMT answers this size whatever is asked
//     buffers N K                   REQBUFS grants at most K buffers
// N counts cameras from 1. v4l2emu_stats() reports what a test needs to check
// that nothing leaked.
#include <linux/videodev2.h>
#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

template <class F> F next(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
#define REAL(fn) static const auto real_##fn = next<decltype(&::fn)>(#fn)

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

struct Camera {
    int vid = 0, pid = 0;
    std::string name;
    std::vector<uint32_t> formats;
    std::vector<std::pair<int, int>> sizes;
    std::string state = "present"; // or "absent", "eio"
    int generation = 0;
    std::map<std::string, long> faults; // armed: how many frames or calls go wrong
    Clock::time_point stallUntil;
    std::pair<int, int> answer; // S_FMT's size whatever is asked, if set
    unsigned maxBuffers = 32;
    long dequeued = 0, broken = 0;
};

struct Buffer {
    uint32_t used = 0;
    bool broken = false;
};

struct Handle {
    int cam = 0, generation = 0, event = -1; // event: the descriptor the caller holds
    bool meta = false, streaming = false, stop = false;
    uint32_t fourcc = 0, width = 0, height = 0, sequence = 0;
    int memfd = -1;
    uint8_t *base = nullptr;
    size_t bufSize = 0;
    std::vector<Buffer> buffers{}; // {}: made field by field in openNode
    std::deque<uint32_t> queued{}, done{};
    long mappings = 0;
    std::shared_ptr<const std::vector<Bytes>> frames{};
    std::thread producer{};
};

std::mutex g_mutex;
std::condition_variable g_wake;
bool g_loaded = false;
std::vector<Camera> g_cameras;
std::vector<std::string> g_pictures;
int g_fps = 15, g_holdMs = 2000;
std::string g_control, g_controlText, g_root;
pid_t g_owner = 0;
std::map<int, std::shared_ptr<Handle>> g_handles;
std::map<void *, std::shared_ptr<Handle>> g_maps;
std::map<std::tuple<uint32_t, uint32_t, uint32_t>, std::shared_ptr<const std::vector<Bytes>>> g_cache;
// Read without g_mutex on every close and munmap of the process.
std::atomic<int> g_handleCount{0}, g_mapCount{0};

// --- The pictures a camera sends: JPEG files turned into MJPEG or YUYV frames of
// one size, and the broken variants of an MJPEG frame that real cameras send ---

// Packed YUYV (BT.601, video range) of packed RGB.
Bytes toYuyv(const Bytes &rgb)
{
    Bytes out(rgb.size() / 3 * 2);
    const auto luma = [](const uint8_t *p) {
        return uint8_t((66 * p[0] + 129 * p[1] + 25 * p[2] + 128) / 256 + 16);
    };
    for (size_t i = 0; i + 1 < rgb.size() / 3; i += 2) {
        const uint8_t *a = &rgb[i * 3], *b = a + 3;
        const int r = a[0] + b[0], g = a[1] + b[1], bl = a[2] + b[2]; // of two pixels
        out[i * 2] = luma(a);
        out[i * 2 + 1] = uint8_t((-38 * r - 74 * g + 112 * bl + 256) / 512 + 128);
        out[i * 2 + 2] = luma(b);
        out[i * 2 + 3] = uint8_t((112 * r - 94 * g - 18 * bl + 256) / 512 + 128);
    }
    return out;
}

// Offset of the first byte after the SOS header, or 0. With withoutTables, also
// the frame without its DHT segments, as many UVC cameras send MJPEG: the
// decoder has to supply the standard tables.
size_t scanStart(const Bytes &jpeg, Bytes *withoutTables = nullptr)
{
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    for (size_t i = 2; i + 4 <= jpeg.size() && jpeg[i] == 0xFF;) {
        const size_t end = i + 2 + (size_t(jpeg[i + 2]) << 8 | jpeg[i + 3]);
        if (jpeg[i + 1] != 0xC4)
            out.insert(out.end(), jpeg.begin() + i, jpeg.begin() + std::min(end, jpeg.size()));
        if (jpeg[i + 1] == 0xDA) {
            out.insert(out.end(), jpeg.begin() + std::min(end, jpeg.size()), jpeg.end());
            if (withoutTables)
                *withoutTables = std::move(out);
            return end;
        }
        i = end;
    }
    return 0;
}

// One frame per readable picture, scaled to the size (nearest pixel); MJPEG at
// 4:2:2 and a middling quality, as UVC cameras encode.
std::vector<Bytes> makeFrames(uint32_t fourcc, int width, int height)
{
    std::vector<Bytes> frames;
    tjhandle dec = tjInitDecompress(), enc = tjInitCompress();
    for (const std::string &path : g_pictures) {
        std::ifstream f(path, std::ios::binary);
        const Bytes file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        int w = 0, h = 0, sub = 0, space = 0;
        if (file.empty() || tjDecompressHeader3(dec, file.data(), file.size(), &w, &h, &sub, &space) != 0)
            continue;
        Bytes src(size_t(w) * h * 3), rgb(size_t(width) * height * 3);
        if (tjDecompress2(dec, file.data(), file.size(), src.data(), w, 0, h, TJPF_RGB, 0) != 0)
            continue;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                std::copy_n(&src[(size_t(y * h / height) * w + x * w / width) * 3], 3,
                            &rgb[(size_t(y) * width + x) * 3]);
        unsigned char *jpeg = nullptr;
        unsigned long size = 0;
        if (fourcc == V4L2_PIX_FMT_YUYV)
            frames.push_back(toYuyv(rgb));
        else if (tjCompress2(enc, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_422, 80,
                             TJFLAG_FASTDCT) == 0)
            frames.emplace_back(jpeg, jpeg + size);
        tjFree(jpeg);
    }
    tjDestroy(dec);
    tjDestroy(enc);
    return frames;
}

// The frame with a stretch of its entropy-coded data overwritten.
Bytes corrupted(const Bytes &jpeg)
{
    Bytes out = jpeg;
    const size_t scan = scanStart(jpeg), third = (jpeg.size() - scan) / 3;
    uint32_t x = 2463534242u;
    for (size_t i = scan + third; scan > 0 && i + 2 + third < jpeg.size(); ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        out[i] = static_cast<uint8_t>(x % 0xFF); // never 0xFF: no stray markers
    }
    return out;
}

// --- The cameras and their control file ---

std::vector<std::string> split(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    std::stringstream in(s);
    for (std::string p; std::getline(in, p, sep);)
        parts.push_back(p);
    return parts;
}

// Reads the control file again when it has changed; with g_mutex held. The state
// lines start from "present, no override". Through the C library's streams: only
// the /dev nodes are hooked there.
void refresh()
{
    std::ifstream f(g_control, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (text == g_controlText)
        return;
    g_controlText = text;
    for (Camera &c : g_cameras) {
        c.state = "present";
        c.answer = {};
        c.maxBuffers = 32;
    }
    for (const std::string &line : split(text, '\n')) {
        std::istringstream in(line);
        std::string verb, what;
        size_t n = 0;
        long count = 1;
        if (!(in >> verb >> n >> what) || n < 1 || n > g_cameras.size())
            continue;
        in >> count;
        Camera &c = g_cameras[n - 1];
        if (verb == "device")
            c.state = what;
        else if (verb == "size")
            std::sscanf(what.c_str(), "%dx%d", &c.answer.first, &c.answer.second);
        else if (verb == "buffers")
            c.maxBuffers = unsigned(std::max(1, std::atoi(what.c_str())));
        else if (verb == "fault" && what == "stall")
            c.stallUntil = Clock::now() + std::chrono::milliseconds(count);
        else if (verb == "fault")
            c.faults[what] = count;
    }
    // A camera gone or failing ends the caller's wait: the next DQBUF says why.
    for (const auto &[fd, h] : g_handles)
        if (g_cameras[size_t(h->cam)].state != "present")
            eventfd_write(fd, 1);
    for (Camera &c : g_cameras)
        c.generation += c.state == "absent"; // what was open stays dead after a replug
}

// The cameras, and a folder holding the /dev listing (see opendir) and a USB
// device folder per camera with its ids: realpath() puts each node's interface below it.
void load()
{
    if (g_loaded)
        return;
    g_loaded = true;
    const char *cams = std::getenv("V4L2EMU_CAMERAS");
    for (const std::string &entry :
         split(cams && *cams ? cams : "1209:ca10,mjpeg+yuyv,,Emulated Document Camera", ';')) {
        const std::vector<std::string> f = split(entry, ',');
        Camera c;
        if (f.size() < 4 || std::sscanf(f[0].c_str(), "%x:%x", &c.vid, &c.pid) != 2)
            continue;
        if (f[1].find("mjpeg") != std::string::npos)
            c.formats.push_back(V4L2_PIX_FMT_MJPEG);
        if (f[1].find("yuyv") != std::string::npos)
            c.formats.push_back(V4L2_PIX_FMT_YUYV);
        for (const std::string &s :
             split(f[2].empty() ? "3264x2448/2592x1944/1920x1080/1280x720/640x480" : f[2], '/')) {
            int w = 0, h = 0;
            if (std::sscanf(s.c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0 && w % 2 == 0)
                c.sizes.emplace_back(w, h);
        }
        c.name = f[3];
        if (!c.formats.empty() && !c.sizes.empty())
            g_cameras.push_back(c);
    }
    if (const char *p = std::getenv("V4L2EMU_PICTURES"))
        g_pictures = split(p, ',');
    if (const char *f = std::getenv("V4L2EMU_FPS"))
        g_fps = std::clamp(std::atoi(f), 1, 120);
    if (const char *m = std::getenv("V4L2EMU_HOLD"))
        g_holdMs = std::max(1, std::atoi(m));
    if (const char *c = std::getenv("V4L2EMU_CONTROL"))
        g_control = c;
    char root[] = "/tmp/v4l2emu-XXXXXX";
    if (!mkdtemp(root))
        return;
    g_root = root;
    g_owner = getpid();
    std::error_code failed;
    std::filesystem::create_directories(g_root + "/dev", failed);
    for (size_t i = 0; i < g_cameras.size(); ++i) {
        const std::string usb = g_root + "/usb9/9-" + std::to_string(i + 1);
        std::filesystem::create_directories(usb, failed);
        std::ofstream(usb + "/idVendor") << std::hex << std::setfill('0') << std::setw(4) << g_cameras[i].vid;
        std::ofstream(usb + "/idProduct")
            << std::hex << std::setfill('0') << std::setw(4) << g_cameras[i].pid;
    }
}

__attribute__((destructor)) void unload()
{
    std::error_code ignored;
    if (!g_root.empty() && g_owner == getpid())
        std::filesystem::remove_all(g_root, ignored);
}

// The node number of an emulated /dev path, or -1.
int nodeOf(const char *path)
{
    int n = -1, end = 0;
    if (!path || std::sscanf(path, "/dev/video%d%n", &n, &end) != 1 || path[end] != '\0' || n < 0)
        return -1;
    std::lock_guard<std::mutex> lock(g_mutex);
    load();
    return n < int(2 * g_cameras.size()) ? n : -1;
}

// Where /sys, or the device link of an emulated node, resolves to; "" for anything else.
std::string sysPath(const char *path)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    int node = -1, end = 0;
    if (!path || !g_loaded || g_root.empty())
        return {};
    if (std::strcmp(path, "/sys") == 0)
        return g_root;
    if (std::sscanf(path, "/sys/class/video4linux/video%d/device%n", &node, &end) != 1 || path[end] != '\0' ||
        node < 0 || node >= int(2 * g_cameras.size()))
        return {};
    const std::string k = std::to_string(node / 2 + 1);
    return g_root + "/usb9/9-" + k + "/9-" + k + ":1." + std::to_string(node % 2);
}

// --- Nodes and streams, with g_mutex held ---

std::shared_ptr<Handle> handleOf(int fd)
{
    const auto it = g_handles.find(fd);
    return it == g_handles.end() ? nullptr : it->second;
}

int fail(int err)
{
    errno = err;
    return -1;
}

// Whether a frame or call of this kind goes wrong now; an interrupted call is
// followed by one that goes through, as when a signal comes.
bool takeFault(Camera &c, const char *kind)
{
    long &armed = c.faults[kind];
    return armed > 0 && (armed-- % 2 == 1 || std::strcmp(kind, "eintr") != 0);
}

int openNode(int node, int flags)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    refresh();
    Camera &c = g_cameras[size_t(node / 2)];
    if (c.state == "absent" || takeFault(c, "eintr"))
        return fail(c.state == "absent" ? ENOENT : EINTR);
    const int fd = eventfd(0, EFD_SEMAPHORE | EFD_NONBLOCK | ((flags & O_CLOEXEC) ? EFD_CLOEXEC : 0));
    if (fd >= 0) {
        g_handles[fd].reset(new Handle{node / 2, c.generation, fd, node % 2 == 1});
        ++g_handleCount;
    }
    return fd;
}

void stopProducer(const std::shared_ptr<Handle> &h, std::unique_lock<std::mutex> &lock)
{
    h->stop = true;
    g_wake.notify_all();
    std::thread producer = std::move(h->producer); // one of two racing stops joins it
    lock.unlock();
    if (producer.joinable())
        producer.join();
    lock.lock();
    h->streaming = h->stop = false;
    h->queued.clear();
    h->done.clear();
    for (eventfd_t n; eventfd_read(h->event, &n) == 0;) {
    }
}

void freeBuffers(Handle &h)
{
    REAL(munmap);
    REAL(close);
    if (h.base)
        real_munmap(h.base, h.bufSize * h.buffers.size());
    if (h.memfd >= 0)
        real_close(h.memfd);
    h.base = nullptr;
    h.memfd = -1;
    h.buffers.clear();
}

// Fills the oldest queued buffer with the next picture, at the stream rate.
void produce(const std::shared_ptr<Handle> &h)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    auto due = Clock::now();
    while (!g_wake.wait_until(lock, due += std::chrono::microseconds(1000000 / g_fps),
                              [&] { return h->stop; })) {
        refresh();
        Camera &c = g_cameras[size_t(h->cam)];
        if (c.generation != h->generation || c.state == "eio")
            break;
        if (Clock::now() < c.stallUntil || h->queued.empty() || h->frames->empty())
            continue;
        const uint32_t index = h->queued.front();
        h->queued.pop_front();
        const Bytes &picture =
            (*h->frames)[uint64_t(h->sequence++) * 1000 / g_fps / g_holdMs % h->frames->size()];
        const bool mjpeg = h->fourcc == V4L2_PIX_FMT_MJPEG;
        Bytes changed;
        size_t used = picture.size();
        if (takeFault(c, "empty"))
            used = 0;
        else if (takeFault(c, "truncated"))
            used /= 2;
        else if (mjpeg && takeFault(c, "corrupt"))
            changed = corrupted(picture);
        else if (mjpeg && takeFault(c, "nohuffman"))
            scanStart(picture, &changed);
        Buffer &b = h->buffers[index];
        b = {uint32_t(std::min(changed.empty() ? used : changed.size(), h->bufSize)), used < picture.size()};
        std::memcpy(h->base + index * h->bufSize, (changed.empty() ? picture : changed).data(), b.used);
        h->done.push_back(index);
        eventfd_write(h->event, 1);
    }
}

int control(int fd, unsigned long request, void *arg)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    const std::shared_ptr<Handle> h = handleOf(fd);
    refresh();
    Camera &c = g_cameras[size_t(h->cam)];
    if (takeFault(c, "eintr"))
        return fail(EINTR);
    if (c.generation != h->generation || c.state == "eio")
        return fail(c.state == "eio" ? EIO : ENODEV);
    auto *buf = static_cast<v4l2_buffer *>(arg);
    if (request == VIDIOC_QUERYCAP) {
        auto *cap = static_cast<v4l2_capability *>(arg);
        *cap = {};
        std::snprintf(reinterpret_cast<char *>(cap->card), sizeof cap->card, "%s", c.name.c_str());
        cap->device_caps = (h->meta ? V4L2_CAP_META_CAPTURE : V4L2_CAP_VIDEO_CAPTURE) | V4L2_CAP_STREAMING;
        cap->capabilities =
            V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    // Beyond the faults, it refuses what uvcvideo refuses: a backend that changes the
    // format under a stream, reallocates mapped buffers or queues a buffer twice fails here.
    const bool busy = h->streaming || h->mappings > 0;
    switch (h->meta ? 0 : request) { // a metadata node answers QUERYCAP only
    case VIDIOC_ENUM_FMT: {
        auto *f = static_cast<v4l2_fmtdesc *>(arg);
        if (f->index >= c.formats.size())
            return fail(EINVAL);
        f->pixelformat = c.formats[f->index];
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto *s = static_cast<v4l2_frmsizeenum *>(arg);
        if (s->index >= c.sizes.size())
            return fail(EINVAL);
        s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        s->discrete = {uint32_t(c.sizes[s->index].first), uint32_t(c.sizes[s->index].second)};
        return 0;
    }
    case VIDIOC_S_FMT: { // the nearest offered size, as uvcvideo picks it
        v4l2_pix_format &p = static_cast<v4l2_format *>(arg)->fmt.pix;
        if (busy || !h->buffers.empty())
            return fail(EBUSY);
        if (std::find(c.formats.begin(), c.formats.end(), p.pixelformat) == c.formats.end())
            p.pixelformat = c.formats.front();
        const auto off = [&](const std::pair<int, int> &s) {
            return std::abs(s.first * s.second - int(p.width * p.height));
        };
        auto best = *std::min_element(c.sizes.begin(), c.sizes.end(),
                                      [&](const auto &a, const auto &b) { return off(a) < off(b); });
        if (c.answer.first > 0 && c.answer.second > 0)
            best = c.answer;
        h->fourcc = p.pixelformat;
        h->width = p.width = uint32_t(best.first);
        h->height = p.height = uint32_t(best.second);
        return 0;
    }
    case VIDIOC_REQBUFS: {
        REAL(mmap);
        auto *r = static_cast<v4l2_requestbuffers *>(arg);
        if (busy)
            return fail(EBUSY);
        freeBuffers(*h);
        if (r->count == 0)
            return 0;
        r->count = std::min(r->count, c.maxBuffers);
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        h->bufSize = (size_t(h->width) * h->height * 2 + page - 1) / page * page;
        h->memfd = memfd_create("v4l2emu", MFD_CLOEXEC);
        void *base =
            ftruncate(h->memfd, off_t(h->bufSize * r->count)) == 0
                ? real_mmap(nullptr, h->bufSize * r->count, PROT_READ | PROT_WRITE, MAP_SHARED, h->memfd, 0)
                : MAP_FAILED;
        if (base == MAP_FAILED)
            return fail(ENOMEM); // the descriptor goes at the next REQBUFS or close
        h->base = static_cast<uint8_t *>(base);
        h->buffers.assign(r->count, Buffer());
        return 0;
    }
    case VIDIOC_QUERYBUF:
        buf->length = uint32_t(h->bufSize);
        buf->m.offset = uint32_t(buf->index * h->bufSize);
        return 0;
    case VIDIOC_QBUF:
        if (buf->index >= h->buffers.size() ||
            std::count(h->queued.begin(), h->queued.end(), buf->index) +
                    std::count(h->done.begin(), h->done.end(), buf->index) >
                0)
            return fail(EINVAL);
        h->queued.push_back(buf->index);
        return 0;
    case VIDIOC_DQBUF: // never blocks: the library opens its nodes with O_NONBLOCK and polls
        if (!h->streaming)
            return fail(EINVAL);
        if (takeFault(c, "eagain") || h->done.empty())
            return fail(EAGAIN);
        eventfd_t n;
        eventfd_read(h->event, &n);
        buf->index = h->done.front();
        h->done.pop_front();
        buf->bytesused = h->buffers[buf->index].used;
        ++c.dequeued;
        c.broken += h->buffers[buf->index].broken;
        return 0;
    case VIDIOC_STREAMON: {
        if (h->buffers.empty())
            return fail(EINVAL);
        if (h->streaming)
            return 0;
        auto &frames = g_cache[{h->fourcc, h->width, h->height}];
        if (!frames)
            frames = std::make_shared<const std::vector<Bytes>>(
                makeFrames(h->fourcc, int(h->width), int(h->height)));
        h->frames = frames;
        h->producer = std::thread(produce, h);
        h->streaming = true;
        return 0;
    }
    case VIDIOC_STREAMOFF:
        if (h->streaming)
            stopProducer(h, lock);
        return 0;
    default:
        return fail(ENOTTY);
    }
}

} // namespace

extern "C" {

// What camera N (from 1) saw: frames dequeued, the broken ones among them, and
// the mappings and open nodes its caller still holds.
void v4l2emu_stats(int camera, long stats[3])
{
    std::lock_guard<std::mutex> lock(g_mutex);
    load();
    stats[0] = g_cameras[size_t(camera - 1)].dequeued;
    stats[1] = g_cameras[size_t(camera - 1)].broken;
    stats[2] = 0;
    for (const auto &[fd, h] : g_handles)
        stats[2] += h->cam == camera - 1;
    for (const auto &[addr, h] : g_maps)
        stats[2] += h->cam == camera - 1;
}

int open(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0;
    va_end(ap);
    REAL(open);
    const int node = nodeOf(path);
    return node >= 0 ? openNode(node, flags) : real_open(path, flags, mode);
}

int close(int fd)
{
    if (g_handleCount > 0) {
        std::unique_lock<std::mutex> lock(g_mutex);
        if (const std::shared_ptr<Handle> h = handleOf(fd)) {
            if (h->streaming)
                stopProducer(h, lock);
            freeBuffers(*h);
            g_handles.erase(fd);
            --g_handleCount;
        }
    }
    REAL(close);
    return real_close(fd);
}

int ioctl(int fd, unsigned long request, ...) __THROW
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    if (g_handleCount > 0) {
        std::unique_lock<std::mutex> lock(g_mutex);
        const bool ours = handleOf(fd) != nullptr;
        lock.unlock();
        if (ours)
            return control(fd, request, arg);
    }
    REAL(ioctl);
    return real_ioctl(fd, request, arg);
}

void *mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset) __THROW
{
    REAL(mmap);
    if (g_handleCount > 0) {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (const std::shared_ptr<Handle> h = handleOf(fd)) {
            void *p = real_mmap(addr, length, prot, flags, h->memfd, offset);
            if (p != MAP_FAILED) {
                g_maps[p] = h;
                ++g_mapCount;
                ++h->mappings;
            }
            return p;
        }
    }
    return real_mmap(addr, length, prot, flags, fd, offset);
}

int munmap(void *addr, size_t length) __THROW
{
    REAL(munmap);
    if (g_mapCount > 0) {
        std::lock_guard<std::mutex> lock(g_mutex);
        const auto it = g_maps.find(addr);
        if (it != g_maps.end()) {
            --it->second->mappings;
            g_maps.erase(it);
            --g_mapCount;
        }
    }
    return real_munmap(addr, length);
}

// The /dev listing: a folder holding the nodes of the cameras present, and nothing else.
DIR *opendir(const char *path)
{
    REAL(opendir);
    if (std::strcmp(path, "/dev") != 0 && std::strcmp(path, "/dev/") != 0)
        return real_opendir(path);
    std::lock_guard<std::mutex> lock(g_mutex);
    load();
    refresh();
    std::error_code ignored;
    for (size_t n = 0; n < 2 * g_cameras.size(); ++n) {
        const std::string node = g_root + "/dev/video" + std::to_string(n);
        if (g_cameras[n / 2].state == "absent")
            std::filesystem::remove(node, ignored);
        else
            std::ofstream{node};
    }
    return real_opendir((g_root + "/dev").c_str());
}

int stat(const char *path, struct stat *st) __THROW
{
    REAL(stat);
    const int node = nodeOf(path);
    if (node < 0)
        return real_stat(path, st);
    std::lock_guard<std::mutex> lock(g_mutex);
    refresh();
    if (g_cameras[size_t(node / 2)].state == "absent")
        return fail(ENOENT);
    *st = {};
    st->st_mode = S_IFCHR | 0660;
    return 0;
}

// The emulated sysfs in its real place: the library reads the ids from there.
char *realpath(const char *path, char *resolved) __THROW
{
    REAL(realpath);
    const std::string sys = sysPath(path);
    if (sys.empty())
        return real_realpath(path, resolved);
    return resolved ? std::strcpy(resolved, sys.c_str()) : strdup(sys.c_str());
}

} // extern "C"

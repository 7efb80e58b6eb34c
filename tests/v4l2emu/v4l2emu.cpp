// Emulated UVC document cameras for the tests, loaded with LD_PRELOAD: the
// library answers open/close/ioctl/mmap on the /dev/videoN nodes it owns (a
// node is an eventfd, readable when a frame is done, so that poll works as is),
// lists them as all of /dev, shows their USB ids under /sys and passes every other
// call through; it answers only the calls the camera library makes. Each camera
// has a capture node and a metadata-only node.
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
//                                   stall (COUNT ms without frames), eagain, eintr,
//                                   empty (bytesused 0), truncated, corrupt, nohuffman
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
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// --- The pictures a camera sends: JPEG files turned into MJPEG or YUYV frames of
// one size, and the broken variants of an MJPEG frame that real cameras send ---

Bytes toYuyv(const Bytes &rgb)
{
    Bytes out(rgb.size() / 3 * 2);
    const auto luma = [](const uint8_t *p) { return (66 * p[0] + 129 * p[1] + 25 * p[2] + 128) / 256 + 16; };
    const auto clamp = [](int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
    for (size_t i = 0; i + 1 < rgb.size() / 3; i += 2) {
        const uint8_t *a = &rgb[i * 3], *b = a + 3;
        const int r = (a[0] + b[0]) / 2, g = (a[1] + b[1]) / 2, bl = (a[2] + b[2]) / 2;
        out[i * 2] = clamp(luma(a));
        out[i * 2 + 1] = clamp((-38 * r - 74 * g + 112 * bl + 128) / 256 + 128);
        out[i * 2 + 2] = clamp(luma(b));
        out[i * 2 + 3] = clamp((112 * r - 94 * g - 18 * bl + 128) / 256 + 128);
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

// One frame per readable picture, scaled to the size (nearest pixel).
std::vector<Bytes> makeFrames(const std::vector<std::string> &pictures, uint32_t fourcc, int width,
                              int height)
{
    std::vector<Bytes> frames;
    tjhandle dec = tjInitDecompress(), enc = tjInitCompress();
    for (const std::string &path : pictures) {
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
        if (fourcc == V4L2_PIX_FMT_YUYV) {
            frames.push_back(toYuyv(rgb));
            continue;
        }
        unsigned char *jpeg = nullptr;
        unsigned long size = 0;
        // 4:2:2 at a middling quality, as UVC cameras encode.
        if (tjCompress2(enc, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_422, 80,
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
    const size_t scan = scanStart(jpeg);
    if (scan == 0 || jpeg.size() < scan + 16)
        return out;
    const size_t from = scan + (jpeg.size() - scan) / 3, to = jpeg.size() - 2 - (jpeg.size() - scan) / 3;
    uint32_t x = 2463534242u;
    for (size_t i = from; i < to; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        out[i] = static_cast<uint8_t>(x % 0xFF); // never 0xFF: no stray markers
    }
    return out;
}

struct Camera {
    int vid = 0, pid = 0;
    std::string name;
    std::vector<uint32_t> formats;
    std::vector<std::pair<int, int>> sizes;
    bool absent = false, eio = false;
    int generation = 0;
    std::map<std::string, long> faults; // armed: how many frames or calls go wrong
    Clock::time_point stallUntil;
    int answerWidth = 0, answerHeight = 0;
    unsigned maxBuffers = 0;
    long dequeued = 0, broken = 0;
};

struct Buffer {
    enum State { Dequeued, Queued, Done } state = Dequeued;
    uint32_t used = 0;
    bool broken = false;
};

struct Handle {
    int cam = 0;
    bool meta = false;
    int generation = 0;
    int event = -1; // the descriptor the caller holds
    uint32_t fourcc = 0;
    int width = 0, height = 0;
    int memfd = -1;
    uint8_t *base = nullptr;
    size_t bufSize = 0;
    std::vector<Buffer> buffers;
    std::deque<uint32_t> queued, done;
    long mappings = 0;
    bool streaming = false, stop = false;
    uint32_t sequence = 0;
    std::shared_ptr<const std::vector<Bytes>> frames;
    std::thread producer;
};

std::mutex g_mutex;
std::condition_variable g_wake;
bool g_loaded = false;
std::vector<Camera> g_cameras;
std::vector<std::string> g_pictures;
int g_fps = 15;
int g_holdMs = 2000;
std::string g_control, g_controlText, g_root;
pid_t g_owner = 0;
std::map<int, std::shared_ptr<Handle>> g_handles;
std::map<void *, std::pair<std::shared_ptr<Handle>, size_t>> g_maps;
std::map<std::tuple<uint32_t, int, int>, std::shared_ptr<const std::vector<Bytes>>> g_cache;
// Read without g_mutex on every close and munmap of the process.
std::atomic<int> g_handleCount{0}, g_mapCount{0};

// Our own descriptors are closed past the close() below, which takes g_mutex.
int realClose(int fd)
{
    REAL(close);
    return real_close(fd);
}

std::vector<std::string> split(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    std::stringstream in(s);
    for (std::string p; std::getline(in, p, sep);)
        parts.push_back(p);
    return parts;
}

// Through the C library's streams: only the /dev nodes are hooked there.
std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A camera gone or failing ends the caller's wait: the next DQBUF says why.
void wakeCamera(int cam)
{
    for (auto &[fd, h] : g_handles)
        if (h->cam == cam) {
            const uint64_t one = 1;
            if (::write(fd, &one, sizeof one) < 0) {
                // The counter is full: the caller is awake anyway.
            }
        }
    g_wake.notify_all();
}

// One control line; the state lines start from "present, no override" in applyControl.
void applyLine(const std::string &line)
{
    std::istringstream in(line);
    std::string verb, what;
    int n = 0;
    if (!(in >> verb >> n >> what) || n < 1 || n > int(g_cameras.size()))
        return;
    Camera &c = g_cameras[size_t(n - 1)];
    long count = 1;
    in >> count;
    if (verb == "device") {
        c.absent = what == "absent";
        c.eio = what == "eio";
    } else if (verb == "size") {
        std::sscanf(what.c_str(), "%dx%d", &c.answerWidth, &c.answerHeight);
    } else if (verb == "buffers") {
        c.maxBuffers = unsigned(std::max(1, std::atoi(what.c_str())));
    } else if (verb == "fault" && what == "stall") {
        c.stallUntil = Clock::now() + std::chrono::milliseconds(count);
    } else if (verb == "fault") {
        c.faults[what] = count;
    }
}

void applyControl(const std::string &text)
{
    std::vector<bool> wasAbsent;
    for (Camera &c : g_cameras) {
        wasAbsent.push_back(c.absent);
        c.absent = c.eio = false;
        c.answerWidth = c.answerHeight = 0;
        c.maxBuffers = 0;
    }
    for (const std::string &line : split(text, '\n'))
        applyLine(line);
    for (size_t i = 0; i < g_cameras.size(); ++i) {
        Camera &c = g_cameras[i];
        if (c.absent && !wasAbsent[i])
            ++c.generation; // what was open stays dead after a replug
        if (c.absent || c.eio)
            wakeCamera(int(i));
    }
}

// Reads the control file again when it has changed; with g_mutex held.
void refresh()
{
    if (g_control.empty())
        return;
    std::string text = readFile(g_control);
    if (text != g_controlText) {
        g_controlText = text;
        applyControl(text);
    }
}

// The /dev listing (see opendir), and a USB device folder per camera holding its ids:
// realpath() puts each node's interface below it.
void buildFolders()
{
    char tmpl[] = "/tmp/v4l2emu-XXXXXX";
    if (!mkdtemp(tmpl))
        return;
    g_root = tmpl;
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
        for (const std::string &s : split(p, ','))
            if (!s.empty())
                g_pictures.push_back(s);
    if (const char *f = std::getenv("V4L2EMU_FPS"))
        g_fps = std::clamp(std::atoi(f), 1, 120);
    if (const char *m = std::getenv("V4L2EMU_HOLD"))
        g_holdMs = std::max(1, std::atoi(m));
    if (const char *c = std::getenv("V4L2EMU_CONTROL"))
        g_control = c;
    buildFolders();
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
    if (!path || std::strncmp(path, "/dev/video", 10) != 0)
        return -1;
    char *end = nullptr;
    const long n = std::strtol(path + 10, &end, 10);
    if (end == path + 10 || *end != '\0' || n < 0)
        return -1;
    std::lock_guard<std::mutex> lock(g_mutex);
    load();
    return n < long(2 * g_cameras.size()) ? int(n) : -1;
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

std::shared_ptr<Handle> handleOf(int fd)
{
    if (g_handleCount == 0)
        return nullptr;
    auto it = g_handles.find(fd);
    return it == g_handles.end() ? nullptr : it->second;
}

// errno for a call on a handle whose camera went away, 0 while it is there.
int goneError(const Handle &h)
{
    const Camera &c = g_cameras[size_t(h.cam)];
    if (c.absent || c.generation != h.generation)
        return ENODEV;
    return c.eio ? EIO : 0;
}

int fail(int err)
{
    errno = err;
    return -1;
}

bool takeFault(Camera &c, const char *kind)
{
    long &armed = c.faults[kind];
    return armed > 0 && armed-- > 0;
}

int openNode(int node, int flags)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    refresh();
    Camera &c = g_cameras[size_t(node / 2)];
    if (c.absent || takeFault(c, "eintr"))
        return fail(c.absent ? ENOENT : EINTR);
    const int fd = eventfd(0, EFD_SEMAPHORE | EFD_NONBLOCK | ((flags & O_CLOEXEC) ? EFD_CLOEXEC : 0));
    if (fd < 0)
        return -1;
    auto h = std::make_shared<Handle>();
    h->cam = node / 2;
    h->meta = node % 2 == 1;
    h->generation = c.generation;
    h->event = fd;
    h->fourcc = c.formats.front();
    h->width = c.sizes.front().first;
    h->height = c.sizes.front().second;
    g_handles[fd] = h;
    ++g_handleCount;
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
    h->streaming = false;
    h->stop = false;
    h->queued.clear();
    h->done.clear();
    for (Buffer &b : h->buffers)
        b.state = Buffer::Dequeued;
    uint64_t n;
    while (::read(h->event, &n, sizeof n) > 0) {
    }
}

void freeBuffers(Handle &h)
{
    REAL(munmap);
    if (h.base)
        real_munmap(h.base, h.bufSize * h.buffers.size());
    if (h.memfd >= 0)
        realClose(h.memfd);
    h.base = nullptr;
    h.memfd = -1;
    h.buffers.clear();
}

// Fills the oldest queued buffer with the next picture, at the stream rate.
void produce(const std::shared_ptr<Handle> &h)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    auto due = Clock::now();
    while (!h->stop) {
        due += std::chrono::microseconds(1000000 / g_fps);
        if (g_wake.wait_until(lock, due, [&] { return h->stop; }))
            break;
        refresh();
        Camera &c = g_cameras[size_t(h->cam)];
        if (goneError(*h) != 0) {
            wakeCamera(h->cam);
            break;
        }
        if (Clock::now() < c.stallUntil || h->queued.empty() || h->frames->empty())
            continue;
        const uint32_t index = h->queued.front();
        h->queued.pop_front();
        Buffer &b = h->buffers[index];
        const Bytes &picture =
            (*h->frames)[uint64_t(h->sequence) * 1000 / g_fps / g_holdMs % h->frames->size()];
        const bool mjpeg = h->fourcc == V4L2_PIX_FMT_MJPEG;
        Bytes changed;
        const Bytes *data = &picture;
        size_t used = picture.size();
        b.broken = true;
        if (takeFault(c, "empty"))
            used = 0;
        else if (takeFault(c, "truncated"))
            used /= 2;
        else if (mjpeg && takeFault(c, "corrupt"))
            changed = corrupted(picture);
        else
            b.broken = false;
        if (!b.broken && mjpeg && takeFault(c, "nohuffman"))
            scanStart(picture, &changed);
        if (!changed.empty()) {
            data = &changed;
            used = changed.size();
        }
        used = std::min(used, h->bufSize);
        std::memcpy(h->base + size_t(index) * h->bufSize, data->data(), used);
        b.used = uint32_t(used);
        ++h->sequence;
        b.state = Buffer::Done;
        h->done.push_back(index);
        const uint64_t one = 1;
        if (::write(h->event, &one, sizeof one) < 0)
            std::fprintf(stderr, "v4l2emu: eventfd full\n");
        g_wake.notify_all();
    }
}

void fillQuery(const Handle &h, uint32_t index, v4l2_buffer *buf)
{
    const Buffer &b = h.buffers[index];
    buf->index = index;
    buf->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buf->memory = V4L2_MEMORY_MMAP;
    buf->length = uint32_t(h.bufSize);
    buf->m.offset = uint32_t(index * h.bufSize);
    buf->bytesused = b.state == Buffer::Dequeued ? b.used : 0;
}

int setFormat(Handle &h, const Camera &c, v4l2_format *f)
{
    if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return fail(EINVAL);
    if (h.streaming || !h.buffers.empty())
        return fail(EBUSY);
    v4l2_pix_format &p = f->fmt.pix;
    if (std::find(c.formats.begin(), c.formats.end(), p.pixelformat) == c.formats.end())
        p.pixelformat = c.formats.front();
    // The nearest offered size, as uvcvideo picks it.
    auto best = c.sizes.front();
    for (const auto &s : c.sizes)
        if (std::abs(s.first * s.second - int(p.width * p.height)) <
            std::abs(best.first * best.second - int(p.width * p.height)))
            best = s;
    if (c.answerWidth > 0 && c.answerHeight > 0)
        best = {c.answerWidth, c.answerHeight};
    p.width = uint32_t(best.first);
    p.height = uint32_t(best.second);
    h.fourcc = p.pixelformat;
    h.width = int(p.width);
    h.height = int(p.height);
    return 0;
}

int requestBuffers(Handle &h, const Camera &c, v4l2_requestbuffers *r)
{
    if (r->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || r->memory != V4L2_MEMORY_MMAP)
        return fail(EINVAL);
    if (h.streaming || h.mappings > 0)
        return fail(EBUSY);
    freeBuffers(h);
    if (r->count == 0)
        return 0;
    const long page = sysconf(_SC_PAGESIZE);
    r->count = std::min(r->count, 32u);
    if (c.maxBuffers)
        r->count = std::min(r->count, c.maxBuffers);
    h.bufSize = (size_t(h.width) * h.height * 2 + page - 1) / page * page;
    h.memfd = memfd_create("v4l2emu", MFD_CLOEXEC);
    REAL(mmap);
    if (h.memfd < 0 || ftruncate(h.memfd, off_t(h.bufSize * r->count)) != 0 ||
        (h.base = static_cast<uint8_t *>(real_mmap(nullptr, h.bufSize * r->count, PROT_READ | PROT_WRITE,
                                                   MAP_SHARED, h.memfd, 0))) == MAP_FAILED) {
        h.base = nullptr;
        freeBuffers(h);
        return fail(ENOMEM);
    }
    h.buffers.assign(r->count, Buffer());
    return 0;
}

// Never blocks: the library opens its nodes with O_NONBLOCK and polls.
int dequeue(Handle &h, Camera &c, v4l2_buffer *buf)
{
    if (buf->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buf->memory != V4L2_MEMORY_MMAP || !h.streaming)
        return fail(EINVAL);
    if (takeFault(c, "eagain") || h.done.empty())
        return fail(EAGAIN);
    const uint32_t index = h.done.front();
    h.done.pop_front();
    uint64_t n;
    if (::read(h.event, &n, sizeof n) < 0) {
        // Counted by the producer; nothing to take back.
    }
    h.buffers[index].state = Buffer::Dequeued;
    ++c.dequeued;
    c.broken += h.buffers[index].broken;
    fillQuery(h, index, buf);
    return 0;
}

int streamOn(const std::shared_ptr<Handle> &h)
{
    if (h->buffers.empty())
        return fail(EINVAL);
    if (h->streaming)
        return 0;
    auto &frames = g_cache[{h->fourcc, h->width, h->height}];
    if (!frames)
        frames = std::make_shared<const std::vector<Bytes>>(
            makeFrames(g_pictures, h->fourcc, h->width, h->height));
    h->frames = frames;
    try {
        h->producer = std::thread(produce, h);
    } catch (const std::system_error &) {
        return fail(ENOMEM);
    }
    h->streaming = true;
    return 0;
}

int control(int fd, unsigned long request, void *arg)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    const std::shared_ptr<Handle> h = handleOf(fd);
    refresh();
    Camera &c = g_cameras[size_t(h->cam)];
    if (takeFault(c, "eintr"))
        return fail(EINTR);
    if (const int err = goneError(*h))
        return fail(err);
    if (!arg)
        return fail(EFAULT);
    if (request == VIDIOC_QUERYCAP) {
        auto *cap = static_cast<v4l2_capability *>(arg);
        std::memset(cap, 0, sizeof *cap);
        std::snprintf(reinterpret_cast<char *>(cap->card), sizeof cap->card, "%s", c.name.c_str());
        cap->device_caps = (h->meta ? V4L2_CAP_META_CAPTURE : V4L2_CAP_VIDEO_CAPTURE) | V4L2_CAP_STREAMING;
        cap->capabilities =
            V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    if (h->meta)
        return fail(ENOTTY);
    switch (request) {
    case VIDIOC_ENUM_FMT: {
        auto *f = static_cast<v4l2_fmtdesc *>(arg);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || f->index >= c.formats.size())
            return fail(EINVAL);
        f->pixelformat = c.formats[f->index];
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto *s = static_cast<v4l2_frmsizeenum *>(arg);
        if (std::find(c.formats.begin(), c.formats.end(), s->pixel_format) == c.formats.end() ||
            s->index >= c.sizes.size())
            return fail(EINVAL);
        s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        s->discrete.width = uint32_t(c.sizes[s->index].first);
        s->discrete.height = uint32_t(c.sizes[s->index].second);
        return 0;
    }
    case VIDIOC_S_FMT:
        return setFormat(*h, c, static_cast<v4l2_format *>(arg));
    case VIDIOC_REQBUFS:
        return requestBuffers(*h, c, static_cast<v4l2_requestbuffers *>(arg));
    case VIDIOC_QUERYBUF: {
        auto *b = static_cast<v4l2_buffer *>(arg);
        if (b->index >= h->buffers.size() || b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return fail(EINVAL);
        fillQuery(*h, b->index, b);
        return 0;
    }
    case VIDIOC_QBUF: {
        auto *b = static_cast<v4l2_buffer *>(arg);
        if (b->index >= h->buffers.size() || b->memory != V4L2_MEMORY_MMAP ||
            h->buffers[b->index].state != Buffer::Dequeued)
            return fail(EINVAL);
        h->buffers[b->index].state = Buffer::Queued;
        h->queued.push_back(b->index);
        return 0;
    }
    case VIDIOC_DQBUF:
        return dequeue(*h, c, static_cast<v4l2_buffer *>(arg));
    case VIDIOC_STREAMON:
        return streamOn(h);
    case VIDIOC_STREAMOFF:
        if (h->streaming)
            stopProducer(h, lock);
        return 0;
    default:
        return fail(ENOTTY);
    }
}

int nodeStat(int node, struct stat *st)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    refresh();
    if (g_cameras[size_t(node / 2)].absent)
        return fail(ENOENT);
    std::memset(st, 0, sizeof *st);
    st->st_mode = S_IFCHR | 0660;
    st->st_rdev = makedev(81, node);
    st->st_nlink = 1;
    return 0;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int v4l2emu_stats(int camera, long *dequeued, long *broken,
                                                         long *mappings, long *handles)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    load();
    if (camera < 1 || camera > int(g_cameras.size()))
        return -1;
    const Camera &c = g_cameras[size_t(camera - 1)];
    *dequeued = c.dequeued;
    *broken = c.broken;
    *mappings = *handles = 0;
    for (const auto &[fd, h] : g_handles)
        *handles += h->cam == camera - 1;
    for (const auto &[addr, m] : g_maps)
        *mappings += m.first->cam == camera - 1;
    return 0;
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
    return realClose(fd);
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
            if (h->buffers.empty() || offset < 0 || size_t(offset) % h->bufSize != 0 ||
                size_t(offset) / h->bufSize >= h->buffers.size() || length > h->bufSize) {
                errno = EINVAL;
                return MAP_FAILED;
            }
            void *p = real_mmap(addr, length, prot, flags, h->memfd, offset);
            if (p != MAP_FAILED) {
                g_maps[p] = {h, length};
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
        auto it = g_maps.find(addr);
        if (it != g_maps.end()) {
            --it->second.first->mappings;
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
        if (g_cameras[n / 2].absent)
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
    return node >= 0 ? nodeStat(node, st) : real_stat(path, st);
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

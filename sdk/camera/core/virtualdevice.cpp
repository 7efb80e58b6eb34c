#include "virtualdevice.h"

#include "CamCaptureSDK.h"
#include "jpegcodec.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace camsdk {

namespace {

constexpr int kMaxDevices = 16;
// Our own USB ids for virtual cameras (pid.codes test vendor).
constexpr int kDefaultVid = 0x1209;
constexpr int kDefaultPid = 0xCA00;
// The playback camera's own, whatever number of rendered cameras comes before it.
constexpr int kPlaybackPid = 0xCA10;
// Still frames cycle through this many noise variants of one rendering.
constexpr int kStillVariants = 4;
constexpr int kJpegQuality = 90;

std::vector<std::string> split(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, sep))
        parts.push_back(part);
    return parts;
}

bool parseInt(const std::string &s, int base, long lo, long hi, long *out)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(s.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

// "WxH/WxH/...", largest first without duplicates; empty when anything is off.
std::vector<FrameSize> parseSizes(const std::string &list)
{
    std::vector<FrameSize> sizes;
    for (const std::string &item : split(list, '/')) {
        const std::vector<std::string> wh = split(item, 'x');
        long w = 0, h = 0;
        if (wh.size() != 2 || !parseInt(wh[0], 10, 16, 8192, &w) || !parseInt(wh[1], 10, 16, 8192, &h))
            return {};
        const FrameSize size{static_cast<int>(w), static_cast<int>(h)};
        if (std::find(sizes.begin(), sizes.end(), size) == sizes.end())
            sizes.push_back(size);
    }
    std::stable_sort(sizes.begin(), sizes.end(), [](const FrameSize &a, const FrameSize &b) {
        return 1LL * a.width * a.height > 1LL * b.width * b.height;
    });
    return sizes;
}

} // namespace

VirtualConfig readVirtualConfig(const std::function<const char *(const char *)> &env)
{
    VirtualConfig c;
    auto get = [&](const char *name) {
        const char *v = env(name);
        return std::string(v ? v : "");
    };
    long n = 0;
    if (parseInt(get("CAMSDK_VIRTUAL"), 10, 0, kMaxDevices, &n))
        c.count = static_cast<int>(n);
    const std::vector<std::string> pairs = split(get("CAMSDK_VIRTUAL_IDS"), ',');
    for (const std::string &p : split(get("CAMSDK_VIRTUAL_FRAMES"), ','))
        if (!p.empty())
            c.frames.push_back(p);
    // One pair more for the playback camera.
    for (int i = 0; i < c.count + (c.frames.empty() ? 0 : 1); ++i) {
        std::pair<int, int> id(kDefaultVid, i < c.count ? kDefaultPid + i : kPlaybackPid);
        if (i < static_cast<int>(pairs.size())) {
            const std::vector<std::string> vp = split(pairs[i], ':');
            long vid = 0, pid = 0;
            if (vp.size() == 2 && parseInt(vp[0], 16, 0, 0xFFFF, &vid) &&
                parseInt(vp[1], 16, 0, 0xFFFF, &pid))
                id = {static_cast<int>(vid), static_cast<int>(pid)};
        }
        c.ids.push_back(id);
    }
    const std::vector<std::string> lists = split(get("CAMSDK_VIRTUAL_SIZES"), ',');
    for (int i = 0; i < c.count; ++i)
        c.sizes.push_back(i < static_cast<int>(lists.size()) ? parseSizes(lists[static_cast<size_t>(i)])
                                                             : std::vector<FrameSize>());
    camvirtual::parseSceneKind(get("CAMSDK_VIRTUAL_SCENE"), &c.scene);
    camvirtual::parseDeskKind(get("CAMSDK_VIRTUAL_DESK"), &c.desk);
    long seed = 0;
    if (parseInt(get("CAMSDK_VIRTUAL_SEED"), 10, 0, 0x7fffffffL, &seed))
        c.seed = static_cast<uint32_t>(seed);
    long fps = 0;
    if (parseInt(get("CAMSDK_VIRTUAL_FPS"), 10, 1, 120, &fps))
        c.fps = static_cast<int>(fps);
    c.torn = get("CAMSDK_VIRTUAL_TORN") == "1";
    camvirtual::parseBookShape(get("CAMSDK_VIRTUAL_BOOK"), &c.book);
    for (const std::string &p : split(get("CAMSDK_VIRTUAL_DOCS"), ','))
        if (!p.empty())
            c.documents.push_back(p);
    c.controlPath = get("CAMSDK_VIRTUAL_CONTROL");
    return c;
}

void applyControlText(const std::string &text, ControlState &state)
{
    std::istringstream in(text);
    std::string line;
    state.next = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string what, a, b, extra;
        words >> what >> a >> b >> extra;
        if (what == "next" && a.empty()) {
            ++state.next;
        } else if (what == "motion" && b.empty()) {
            if (a == "on" || a == "off")
                state.motion = a == "on";
        } else if (what == "device" && extra.empty() && (b == "present" || b == "absent")) {
            long n = 0;
            if (!parseInt(a, 10, 0, static_cast<long>(state.present.size()), &n))
                continue;
            // "device 0" can only mean the first one.
            state.present[static_cast<size_t>(std::max(1L, n) - 1)] = b == "present";
        }
    }
}

VirtualControl::VirtualControl(std::string path, int deviceCount) : m_path(std::move(path))
{
    m_state.present.assign(static_cast<size_t>(std::max(0, deviceCount)), true);
    m_plugs.assign(m_state.present.size(), 0);
    if (m_path.empty())
        return;
    poll();
    m_thread = std::thread([this] {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_quit; })) {
            lock.unlock();
            poll();
            lock.lock();
        }
    });
}

VirtualControl::~VirtualControl()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void VirtualControl::poll()
{
    std::ifstream in(m_path);
    if (!in)
        return; // a missing file changes nothing
    std::ostringstream text;
    text << in.rdbuf();
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::vector<bool> before = m_state.present;
    applyControlText(text.str(), m_state);
    for (size_t i = 0; i < before.size(); ++i)
        if (!before[i] && m_state.present[i])
            ++m_plugs[i];
}

bool VirtualControl::motion() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state.motion;
}

unsigned VirtualControl::next() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_state.next;
}

bool VirtualControl::present(int device) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return device >= 0 && device < static_cast<int>(m_state.present.size()) &&
           m_state.present[static_cast<size_t>(device)];
}

unsigned VirtualControl::plugs(int device) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return device >= 0 && device < static_cast<int>(m_plugs.size()) ? m_plugs[static_cast<size_t>(device)]
                                                                    : 0;
}

VirtualDevice::VirtualDevice(int index, const VirtualConfig &config, std::shared_ptr<VirtualControl> control)
    : m_index(index), m_control(std::move(control)), m_vid(kDefaultVid), m_pid(kDefaultPid + index),
      m_fps(config.fps), m_plugs(m_control ? m_control->plugs(index) : 0)
{
    if (index < static_cast<int>(config.ids.size())) {
        m_vid = config.ids[static_cast<size_t>(index)].first;
        m_pid = config.ids[static_cast<size_t>(index)].second;
    }
    if (index < static_cast<int>(config.sizes.size()))
        m_sizes = config.sizes[static_cast<size_t>(index)];
    if (m_sizes.empty())
        m_sizes = standardResolutions();
    m_request.scene = config.scene;
    m_request.desk = config.desk;
    m_request.seed = config.seed + static_cast<uint32_t>(index);
    m_request.torn = config.torn;
    m_request.book = config.book;
    for (const std::string &path : config.documents) {
        cv::Mat pic = cv::imread(path, cv::IMREAD_COLOR);
        if (!pic.empty())
            m_request.documents.push_back(pic);
    }
}

VirtualDevice::~VirtualDevice()
{
    stop();
}

std::string VirtualDevice::name() const
{
    return "PageLux Virtual Camera " + std::to_string(m_index + 1);
}

std::vector<FrameSize> VirtualDevice::standardResolutions()
{
    return {{3264, 2448}, {2592, 1944}, {1920, 1080}, {1280, 720}, {640, 480}};
}

std::vector<FrameSize> VirtualDevice::resolutions() const
{
    return m_sizes;
}

bool VirtualDevice::present() const
{
    return !m_control || (m_control->present(m_index) && m_control->plugs(m_index) == m_plugs);
}

long VirtualDevice::openStream(FrameSize size)
{
    if (!present())
        return ERROR_NO_DEVICE;
    const auto sizes = resolutions();
    if (std::find(sizes.begin(), sizes.end(), size) == sizes.end())
        return ERROR_UNSUPPORTED;
    if (m_open.exchange(true))
        return ERROR_BUSY;
    m_size = size;
    return ERROR_GOOD;
}

bool VirtualDevice::streamLoop(const FrameSink &sink)
{
    using clock = std::chrono::steady_clock;
    camvirtual::SceneRequest request = m_request;
    request.width = m_size.width;
    request.height = m_size.height;
    const camvirtual::SceneRenderer renderer(request);
    JpegCodec codec;
    auto encode = [&](const cv::Mat &img) {
        auto frame = std::make_shared<EncodedFrame>();
        frame->width = img.cols;
        frame->height = img.rows;
        codec.encode(img, kJpegQuality, frame->data);
        return FramePtr(frame);
    };

    // Sensor noise for still frames: one rendering plus a shifted window of
    // one noise field per variant, so the stream varies at the cost of an add
    // and an encode per variant.
    const float amplitude = static_cast<float>(m_size.width) * 0.04f;
    cv::Point2f rest(0, 0);
    cv::Point2f ringRest(-1e9f, -1e9f);
    cv::Mat still, noise;
    std::vector<FramePtr> ring;
    double motionTime = 0;
    uint32_t frameNo = 0;
    auto next = clock::now();
    auto last = next;

    while (!stopRequested()) {
        if (!present())
            return true;
        const auto now = clock::now();
        const double dt = std::chrono::duration<double>(now - last).count();
        last = now;
        FramePtr frame;
        if (m_control && m_control->motion()) {
            // A hand slides the documents about; where it lets go is where they stay.
            motionTime += std::min(dt, 0.5);
            const double t = motionTime;
            rest = cv::Point2f(static_cast<float>(amplitude * (std::sin(2 * CV_PI * t / 8) +
                                                               0.5 * std::sin(2 * CV_PI * t / 0.6))),
                               static_cast<float>(amplitude * 0.5 * std::sin(2 * CV_PI * t / 1.3)));
            frame = encode(renderer.render(rest, true, frameNo).image);
        } else {
            if (rest != ringRest) {
                still = renderer.render(rest, false, 0).image;
                ring.clear();
                ringRest = rest;
            }
            if (static_cast<int>(ring.size()) < kStillVariants) {
                if (noise.empty()) {
                    noise.create(still.rows + kStillVariants, still.cols, CV_16SC3);
                    cv::RNG(request.seed).fill(noise, cv::RNG::NORMAL, 0, 1.5);
                }
                const int k = static_cast<int>(ring.size());
                cv::Mat variant;
                cv::add(still, noise.rowRange(k, k + still.rows), variant, cv::noArray(), CV_8UC3);
                ring.push_back(encode(variant));
            }
            frame = ring[frameNo % ring.size()];
        }
        ++frameNo;
        if (!frame->data.empty())
            sink(frame);
        if (!waitForNextFrame(next))
            break;
    }
    return false;
}

bool VirtualDevice::waitForNextFrame(std::chrono::steady_clock::time_point &due)
{
    const auto period = std::chrono::microseconds(1000000 / std::max(1, m_fps));
    due += period;
    if (std::chrono::steady_clock::now() > due + period)
        due = std::chrono::steady_clock::now(); // fell behind (a slow frame): do not burst to catch up
    return waitUntil(due);
}

void VirtualDevice::closeStream()
{
    m_open = false;
}

} // namespace camsdk

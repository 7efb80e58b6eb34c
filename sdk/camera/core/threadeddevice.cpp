#include "threadeddevice.h"

#include "CamCaptureSDK.h"

namespace camsdk
{

ThreadedDevice::~ThreadedDevice()
{
    // Derived destructors must have stopped already; this is the last guard.
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
    else if (m_thread.joinable())
        m_thread.detach();
}

long ThreadedDevice::start(FrameSize size, FrameSink sink, std::function<void()> lost)
{
    if (!sink)
        return ERROR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_thread.joinable())
        return ERROR_BUSY;
    const long status = openStream(size);
    if (status != ERROR_GOOD)
        return status;
    m_stop = false;
    m_thread = std::thread([this, sink = std::move(sink), lost = std::move(lost)] {
        bool wasLost = true;
        try {
            wasLost = streamLoop(sink);
        } catch (...) {
            // Out of memory or the like: the stream ends as if unplugged
            // rather than take the program down.
        }
        closeStream();
        if (wasLost && lost)
            lost();
    });
    return ERROR_GOOD;
}

void ThreadedDevice::stop()
{
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        t = std::move(m_thread);
    }
    m_wake.notify_all();
    if (t.joinable())
        t.join();
}

std::thread::id ThreadedDevice::threadId() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_thread.get_id();
}

bool ThreadedDevice::stopRequested() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stop;
}

bool ThreadedDevice::waitUntil(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_wake.wait_until(lock, deadline, [this] { return m_stop; });
}

} // namespace camsdk

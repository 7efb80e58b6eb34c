#include "threadeddevice.h"

#include "CamCaptureSDK.h"

namespace camsdk {

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
    if (m_thread.joinable() || m_joining)
        return ERROR_BUSY;
    const long status = openStream(size);
    if (status != ERROR_GOOD)
        return status;
    m_stop = false;
    try {
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
    } catch (...) {
        // No thread to be had: what openStream set up (a real camera's
        // descriptor, mappings and running stream) would keep the device busy.
        closeStream();
        return ERROR_FAILED;
    }
    m_threadId = m_thread.get_id();
    return ERROR_GOOD;
}

void ThreadedDevice::requestStop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
}

void ThreadedDevice::stop()
{
    requestStop();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_threadId == std::this_thread::get_id())
        return; // a thread never joins itself; it ends after the frame it is on
    if (m_joining) {
        // Another caller is joining: returning earlier would break the promise
        // that no sink runs any more.
        m_joined.wait(lock, [this] { return !m_joining; });
        return;
    }
    if (!m_thread.joinable())
        return;
    std::thread t = std::move(m_thread);
    m_joining = true;
    lock.unlock();
    t.join();
    lock.lock();
    m_joining = false;
    m_threadId = std::thread::id();
    m_joined.notify_all();
}

std::thread::id ThreadedDevice::threadId() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_threadId;
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

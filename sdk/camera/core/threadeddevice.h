// Start/stop bookkeeping shared by the backends: one streaming thread per
// device, ended by stop() or by the device going away.
#ifndef CAMSDK_THREADEDDEVICE_H
#define CAMSDK_THREADEDDEVICE_H

#include "device.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace camsdk {

class ThreadedDevice : public Device
{
public:
    ~ThreadedDevice() override;
    // ERROR_BUSY while a thread of an earlier start has not been joined, also
    // while a stop() is joining it: a second open would share its stop flag.
    long start(FrameSize size, FrameSink sink, std::function<void()> lost) override;
    void requestStop() override;
    void stop() override;
    std::thread::id threadId() const override;

protected:
    // Called by start() on the caller's thread; a status of CamCaptureSDK.h.
    virtual long openStream(FrameSize size) = 0;
    // Runs on the streaming thread until stopRequested(); returns true when the
    // device was lost (unplugged) rather than stopped.
    virtual bool streamLoop(const FrameSink &sink) = 0;
    // Called on the streaming thread after streamLoop returns.
    virtual void closeStream() = 0;

    bool stopRequested() const;
    // Sleeps until the deadline; false when stop() came first.
    bool waitUntil(std::chrono::steady_clock::time_point deadline);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_joined;
    bool m_stop = false;
    std::thread m_thread;
    // The streaming thread's id until it is joined; m_thread is moved out while joining.
    std::thread::id m_threadId;
    bool m_joining = false;
};

} // namespace camsdk

#endif

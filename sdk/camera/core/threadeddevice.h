// Start/stop bookkeeping shared by the backends: one streaming thread per
// device, ended by stop() or by the device going away.
#ifndef CAMSDK_THREADEDDEVICE_H
#define CAMSDK_THREADEDDEVICE_H

#include "device.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace camsdk
{

class ThreadedDevice : public Device
{
public:
    ~ThreadedDevice() override;
    long start(FrameSize size, FrameSink sink, std::function<void()> lost) override;
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
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace camsdk

#endif

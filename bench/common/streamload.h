// What a running camera stream delivers and costs, shared by the camera benchmarks.
#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <unistd.h>

namespace benchstream {

inline double cpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct Load {
    int frames = 0;
    double wall = 0, cpu = 0; // seconds
};

// Waits for 30 frames (the camera's warm-up), then counts the frames the stream's
// callback adds to `delivered` over `secs` seconds and the process CPU they took.
inline Load measure(std::atomic<int> &delivered, unsigned secs = 6)
{
    while (delivered < 30)
        usleep(10000);
    delivered = 0;
    const double c0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    sleep(secs);
    Load load;
    load.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    load.cpu = cpuSeconds() - c0;
    load.frames = delivered;
    return load;
}

} // namespace benchstream

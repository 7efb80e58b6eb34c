// The real-camera path against the virtual camera, in one run: an 8 MP MJPEG
// stream at 15 fps through the V4L2 backend from an emulated UVC camera
// (tests/v4l2emu, preloaded by re-running this program) next to the virtual
// camera's own stream of the same size and rate. Prints the delivered rates,
// the CPU shares of one core and their ratios.
#include "../common/streamload.h"
#include "jpegcodec.h"
#include "stream.h"
#include "v4l2device.h"
#include "virtualdevice.h"
#include "virtualscene.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace camsdk;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 3264, kHeight = 2448;

std::atomic<int> g_delivered{0};
int countFrame(void *, int, int, int, int)
{
    ++g_delivered;
    return 0;
}

struct Run {
    double fps = 0, cpu = 0; // cpu: share of one core
};

// Streams for six seconds after a warm-up of 30 frames.
Run measure(const DevicePtr &device)
{
    const LiveView view;
    Stream stream(device, {kWidth, kHeight}, countFrame, view);
    g_delivered = 0;
    Run run;
    if (stream.start() != 0)
        return run;
    const benchstream::Load load = benchstream::measure(g_delivered);
    run.cpu = load.cpu / load.wall;
    run.fps = load.frames / load.wall;
    stream.stop();
    return run;
}

} // namespace

int main(int, char **argv)
{
    if (!std::getenv("V4L2EMU_PICTURES")) {
        // The emulated camera sends the virtual camera's own scene.
        camvirtual::SceneRequest r;
        r.width = kWidth;
        r.height = kHeight;
        std::vector<uint8_t> jpeg;
        JpegCodec().encode(camvirtual::renderScene(r).image, 90, jpeg);
        char path[] = "/tmp/bench_v4l2-XXXXXX.jpg";
        const int fd = mkstemps(path, 4);
        if (fd < 0 || write(fd, jpeg.data(), jpeg.size()) != ssize_t(jpeg.size()))
            return 1;
        close(fd);
        setenv("V4L2EMU_PICTURES", path, 1);
        setenv("V4L2EMU_CAMERAS", "1209:ca10,mjpeg,3264x2448,Bench Camera", 1);
        setenv("V4L2EMU_FPS", "15", 1);
        setenv("LD_PRELOAD", V4L2EMU_LIBRARY, 1);
        const pid_t child = fork();
        if (child == 0) {
            execv("/proc/self/exe", argv);
            _exit(127);
        }
        int status = 1;
        waitpid(child, &status, 0);
        unlink(path);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
    const auto real = V4l2Device::enumerate();
    if (real.empty()) {
        std::fprintf(stderr, "no emulated camera: is %s preloaded?\n", V4L2EMU_LIBRARY);
        return 1;
    }
    VirtualConfig config;
    config.count = 1;
    config.fps = 15;
    const Run virt = measure(std::make_shared<VirtualDevice>(0, config, nullptr));
    const Run v4l2 = measure(real.front());
    std::printf("stream_virtual_8mp_fps %.2f fps\n", virt.fps);
    std::printf("stream_v4l2_8mp_fps %.2f fps\n", v4l2.fps);
    std::printf("stream_virtual_8mp_cpu %.1f %%core\n", 100 * virt.cpu);
    std::printf("stream_v4l2_8mp_cpu %.1f %%core\n", 100 * v4l2.cpu);
    std::printf("stream_v4l2_vs_virtual_8mp_cpu %.3f ratio\n", v4l2.cpu / virt.cpu);
    std::printf("stream_v4l2_vs_virtual_8mp_fps %.3f ratio\n", v4l2.fps / virt.fps);
    return 0;
}

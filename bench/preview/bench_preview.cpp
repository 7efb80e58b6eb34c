// Live-preview figures of the camera window, each against the camera library on
// its own in the same process and stream:
//   painted ratio: frames painted / frames delivered (every delivered frame painted = 1);
//   latency: frame callback to the end of the paint that shows it, 95th percentile,
//            in ms and as a share of the frame period;
//   CPU: the whole process while previewing / the same stream with a callback that
//        does nothing.
// Capture from the window (trigger to file on disk and cell in the strip) against
// Cam_CameraCaptureFile alone with the same options, 3264x2448 single cut-out +
// black-and-white, and frames painted during the window's captures / delivered.
// One run measures the virtual camera at 1920x1080 30 fps and 3264x2448 15 fps: the
// frame rate is fixed when the library starts, so each stream runs in a child process.
#include "CamCaptureSDK.h"
#include "mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

const int kWarmupMs = 1500;
const int kMeasureMs = 8000;

double cpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

QElapsedTimer g_clock;
std::atomic<long> g_delivered{0};
// Arrival time (ns) of frame n, written by the library's thread before the count moves.
std::vector<qint64> g_arrival(1 << 16);
std::atomic<qint64> g_receiveNs{0};
// Frames that came less than a quarter period after the one before: no paint can
// show both, whatever the window does.
std::atomic<long> g_bunched{0};
qint64 g_bunchNs = 0;

int countFrame(void *, int, int, int, int)
{
    ++g_delivered;
    return 0;
}

int previewFrame(void *data, int size, int w, int h, int format)
{
    const qint64 t = g_clock.nsecsElapsed();
    // Counted before the hand-off: the repaint it requests may run before this returns.
    const long n = g_delivered + 1;
    if (t - g_arrival[size_t(n - 1) % g_arrival.size()] < g_bunchNs)
        ++g_bunched;
    g_arrival[size_t(n) % g_arrival.size()] = t;
    g_delivered = n;
    ReceiveImage(data, size, w, h, format);
    g_receiveNs += g_clock.nsecsElapsed() - t;
    return 0;
}

// Records which frame each paint showed and when the paint ended.
class ProbeWindow : public MainWindow
{
public:
    using MainWindow::MainWindow;
    bool measuring = false;
    long lastPainted = 0;
    long painted = 0;
    long paints = 0;
    qint64 paintNs = 0;
    std::vector<double> latencyMs;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        const long frame = g_delivered;
        const qint64 start = g_clock.nsecsElapsed();
        MainWindow::paintEvent(event);
        if (!measuring)
            return;
        paintNs += g_clock.nsecsElapsed() - start;
        ++paints;
        if (frame == lastPainted)
            return;
        lastPainted = frame;
        ++painted;
        latencyMs.push_back((g_clock.nsecsElapsed() - g_arrival[size_t(frame) % g_arrival.size()]) / 1e6);
    }
};

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Share {
    double cpu;
    double fps;
};

Share libraryAlone(int w, int h)
{
    Cam_SetCameraResolution(0, w, h);
    Cam_SetCameraFormat(0, 0);
    Cam_CameraCaptureStart(0, countFrame);
    runFor(kWarmupMs);
    const long frames0 = g_delivered;
    const double cpu0 = cpuSeconds();
    runFor(kMeasureMs);
    const Share share{(cpuSeconds() - cpu0) / (kMeasureMs / 1000.0),
                      (g_delivered - frames0) / (kMeasureMs / 1000.0)};
    Cam_CameraCaptureStop(0);
    return share;
}

int child(int w, int h, int fps)
{
    if (Cam_Init() != ERROR_GOOD)
        return 1;
    g_clock.start();
    const QString name = QString("%1x%2").arg(w).arg(h);
    const Share alone = libraryAlone(w, h);

    DEVPARAM dev;
    dev.nType = 0;
    dev.nCurrentIndex = 0;
    dev.cameraParam.cameraName = "bench";
    dev.cameraParam.cameraRelease = QStringList{name};
    SETPARAM set{};
    set.nameformatType = 1;
    WATERPARAM water{};
    CAMIMAGESET images{"jpg", name, "手动", 0, 0, 0, 0, 0};
    ProbeWindow window(dev, set, water, images, false, 0, 4);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    g_delivered = 0;
    g_bunchNs = 250000000LL / fps;
    Cam_SetCameraResolution(0, w, h);
    Cam_SetCameraFormat(0, 0);
    Cam_CameraCaptureStart(0, previewFrame);
    runFor(kWarmupMs);
    window.measuring = true;
    window.lastPainted = g_delivered;
    const long frames0 = g_delivered;
    g_receiveNs = 0;
    g_bunched = 0;
    const double cpu0 = cpuSeconds();
    runFor(kMeasureMs);
    const double cpu = (cpuSeconds() - cpu0) / (kMeasureMs / 1000.0);
    window.measuring = false;
    const long delivered = g_delivered - frames0;
    Cam_CameraCaptureStop(0);

    std::vector<double> lat = window.latencyMs;
    std::sort(lat.begin(), lat.end());
    const double p95 = lat.empty() ? 0 : lat[size_t(0.95 * (lat.size() - 1))];
    const double period = 1000.0 / fps;
    const QByteArray tag = QString("preview_%1_%2fps").arg(name).arg(fps).toUtf8();
    printf("%s_delivered_fps %.2f fps\n", tag.constData(), delivered / (kMeasureMs / 1000.0));
    printf("%s_painted_ratio %.3f ratio\n", tag.constData(),
           delivered ? double(window.painted) / delivered : 0);
    printf("%s_bunched_frames %.3f ratio\n", tag.constData(), delivered ? double(g_bunched) / delivered : 0);
    printf("%s_latency_p95 %.2f ms\n", tag.constData(), p95);
    printf("%s_latency_p95_per_period %.3f ratio\n", tag.constData(), p95 / period);
    printf("%s_frame_copy_mean %.2f ms\n", tag.constData(), delivered ? g_receiveNs / 1e6 / delivered : 0);
    printf("%s_paint_mean %.2f ms\n", tag.constData(),
           window.paints ? window.paintNs / 1e6 / window.paints : 0);
    printf("%s_cpu_library_alone %.1f %%core\n", tag.constData(), alone.cpu * 100);
    printf("%s_cpu_preview %.1f %%core\n", tag.constData(), cpu * 100);
    printf("%s_cpu_preview_vs_library %.2f ratio\n", tag.constData(), alone.cpu > 0 ? cpu / alone.cpu : 0);
    fflush(stdout);
    return 0;
}

int captureChild()
{
    if (Cam_Init() != ERROR_GOOD)
        return 1;
    g_clock.start();
    QTemporaryDir dir;
    DEVPARAM dev;
    dev.nType = 0;
    dev.nCurrentIndex = 0;
    dev.cameraParam.cameraName = "bench";
    dev.cameraParam.cameraRelease = QStringList{"3264x2448"};
    SETPARAM set{};
    set.savepath = dir.path();
    set.nameformatType = 1;
    set.nameFormat = {"_", "bench", 1};
    WATERPARAM water{};
    CAMIMAGESET images{"jpg", "3264x2448", "手动", 1, 2, 0, 0, 0}; // single cut-out, black-and-white
    ProbeWindow window(dev, set, water, images, false, 0, 4);
    window.UpdateCutting(true, true, true);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    Cam_SetCameraResolution(0, 3264, 2448);
    Cam_SetCameraFormat(0, 0);
    Cam_CameraCaptureStart(0, previewFrame);
    runFor(kWarmupMs);
    window.measuring = true;
    const int rounds = 6;
    double library = 0, windowed = 0;
    long delivered = 0, painted = 0;
    for (int i = 0; i < rounds; ++i) {
        IMAGEPARAM param;
        std::memset(&param, 0, sizeof(param));
        param.nCropType = 1;
        param.nImageType = 2;
        char path[CAM_PATH_SIZE] = {};
        qstrncpy(path, qPrintable(dir.filePath(QString("ref_%1.jpg").arg(i))), sizeof(path));
        qint64 t0 = g_clock.nsecsElapsed();
        Cam_CameraCaptureFile(0, path, &param);
        library += (g_clock.nsecsElapsed() - t0) / 1e6;
        runFor(300); // the preview catches up before the next measurement

        const long d0 = g_delivered, p0 = window.painted;
        t0 = g_clock.nsecsElapsed();
        window.onButtonCaptureClicked();
        while (window.m_bIsCapturing)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        windowed += (g_clock.nsecsElapsed() - t0) / 1e6;
        delivered += g_delivered - d0;
        painted += window.painted - p0;
        runFor(300);
    }
    Cam_CameraCaptureStop(0);
    printf("capture_3264x2448_single_bw_library %.1f ms\n", library / rounds);
    printf("capture_3264x2448_single_bw_window %.1f ms\n", windowed / rounds);
    printf("capture_3264x2448_single_bw_window_vs_library %.2f ratio\n",
           library > 0 ? windowed / library : 0);
    printf("capture_3264x2448_painted_during_capture %.3f ratio\n",
           delivered ? double(painted) / delivered : 0);
    printf("capture_3264x2448_strip_cells %d count\n", window.listview->count());
    fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && QByteArray(argv[1]).startsWith("--")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        if (argc == 5 && QByteArray(argv[1]) == "--stream")
            return child(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]));
        return captureChild();
    }
    QCoreApplication app(argc, argv);
    const struct {
        int w, h, fps;
    } streams[] = {{1920, 1080, 30}, {3264, 2448, 15}, {0, 0, 15}};
    int status = 0;
    for (const auto &s : streams) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CAMSDK_VIRTUAL", "1");
        env.insert("CAMSDK_VIRTUAL_FPS", QString::number(s.fps));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QStringList args =
            s.w ? QStringList{"--stream", QString::number(s.w), QString::number(s.h), QString::number(s.fps)}
                : QStringList{"--capture"};
        p.start(QCoreApplication::applicationFilePath(), args);
        p.waitForFinished(-1);
        // Only the figure lines: the program's own progress prints stay out.
        for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
            if (line.startsWith("preview_") || line.startsWith("capture_"))
                printf("%s\n", line.constData());
        status |= p.exitCode();
    }
    return status;
}

// Rotation of an 8 MP camera JPEG in place, against jpegtran on the same file and
// against TurboJPEG's transform alone (no file I/O).
#include "ImageSDK.h"
#include "benchtiming.h"
#include "testpictures.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <turbojpeg.h>

using namespace benchtiming;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString in = dir.filePath("page.jpg"), out = dir.filePath("jpegtran.jpg");
    const QByteArray jpeg = testpictures::encodeJpeg(testpictures::scene(3264, 2448, 1), TJSAMP_420, 90, 300);
    testpictures::writeAll(in, jpeg);
    const int runs = 9;

    bool jpegtranOk = true;
    const auto [ours, jpegtran] = medianMs(
        runs, [&] { imageRotation(in.toUtf8(), 90); },
        [&] {
            jpegtranOk =
                runCommand("jpegtran", {"-rotate", "90", "-perfect", "-copy", "all", "-outfile", out, in}) &&
                jpegtranOk;
        });
    tjhandle tj = tjInitTransform();
    const auto transformOnly = medianMs(
        runs, [&] { imageRotation(in.toUtf8(), 90); },
        [&] {
            tjtransform xf{};
            xf.op = TJXOP_ROT90;
            xf.options = TJXOPT_PERFECT;
            unsigned char *dst = nullptr;
            unsigned long size = 0;
            tjTransform(tj, reinterpret_cast<const unsigned char *>(jpeg.constData()), jpeg.size(), 1, &dst,
                        &size, &xf, 0);
            tjFree(dst);
        });
    tjDestroy(tj);

    // A size that forces the decode-turn-encode path, on the same picture one pixel smaller each way.
    const QString odd = dir.filePath("odd.jpg");
    testpictures::writeAll(
        odd,
        testpictures::encodeJpeg(testpictures::scene(3264, 2448, 1).copy(0, 0, 3263, 2447), TJSAMP_420, 90));
    const auto reencode = medianMs(
        5, [&] { imageRotation(odd.toUtf8(), 90); },
        [&] {
            runCommand("jpegtran", {"-rotate", "90", "-copy", "all", "-outfile", out, odd});
        });

    report("rotate90_8mp_input_size", jpeg.size() / 1024.0, "KiB");
    report("rotate90_8mp_imageRotation", ours, "ms");
    report("rotate90_8mp_jpegtran", jpegtran, "ms");
    report("rotate90_8mp_vs_jpegtran", jpegtranOk ? ours / jpegtran : 0, "ratio");
    report("rotate90_8mp_vs_tjTransform_in_memory", transformOnly.first / transformOnly.second, "ratio");
    report("rotate90_8mp_unaligned_reencode_vs_jpegtran_untrimmed", reencode.first / reencode.second,
           "ratio");
    return jpegtranOk ? 0 : 1;
}

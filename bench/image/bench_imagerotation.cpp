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
    const int runs = 7;

    const double ours = medianMs(runs, [&] { imageRotation(in.toUtf8(), 90); });
    bool jpegtranOk = true;
    const double jpegtran = medianMs(runs, [&] {
        jpegtranOk =
            runCommand("jpegtran", {"-rotate", "90", "-perfect", "-copy", "all", "-outfile", out, in}) &&
            jpegtranOk;
    });
    tjhandle tj = tjInitTransform();
    const double transformOnly = medianMs(runs, [&] {
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

    // A size that forces the decode-turn-encode path.
    const QString odd = dir.filePath("odd.jpg");
    testpictures::writeAll(odd, testpictures::encodeJpeg(testpictures::scene(3263, 2447, 2), TJSAMP_420, 90));
    const double reencode = medianMs(3, [&] { imageRotation(odd.toUtf8(), 90); });

    report("rotate90_8mp_imageRotation", ours, "ms");
    report("rotate90_8mp_jpegtran", jpegtran, "ms");
    report("rotate90_8mp_vs_jpegtran", jpegtranOk ? ours / jpegtran : 0, "ratio");
    report("rotate90_8mp_vs_tjTransform_in_memory", ours / transformOnly, "ratio");
    report("rotate90_8mp_unaligned_reencode_vs_jpegtran", reencode / jpegtran, "ratio");
    return jpegtranOk ? 0 : 1;
}

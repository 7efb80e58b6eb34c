// Merging 100 A4 JPEG pages into one PDF, against img2pdf on the same files and
// against copying the JPEG bytes into one file (the I/O floor).
#include "DocumentSDK.h"
#include "benchtiming.h"
#include "testpictures.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <turbojpeg.h>
#include <unistd.h>

using namespace benchtiming;

namespace
{

// A printed page as a camera sees it: slightly grey paper, lines of dark words.
QImage documentPage(int seed)
{
    QImage page(1654, 2339, QImage::Format_RGB888); // A4 at 200 dpi
    page.fill(QColor(236, 234, 228));
    QPainter p(&page);
    QRandomGenerator rng{quint32(seed)};
    for (int y = 160; y < 2200; y += 46)
        for (int x = 150; x < 1500;) {
            const int w = 20 + int(rng.bounded(110));
            p.fillRect(x, y, w, 26, QColor(30, 30, 40));
            x += w + 14;
        }
    p.end();
    return page;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList files;
    qint64 inputBytes = 0;
    for (int i = 0; i < 100; ++i) {
        if (i < 10) {
            const QByteArray jpeg = testpictures::encodeJpeg(documentPage(i), TJSAMP_420, 90, 200);
            testpictures::writeAll(dir.filePath(QString("src%1.jpg").arg(i)), jpeg);
        }
        files << dir.filePath(QString("page%1.jpg").arg(i));
        QFile::copy(dir.filePath(QString("src%1.jpg").arg(i % 10)), files.last());
        inputBytes += QFileInfo(files.last()).size();
    }
    const QString ours = dir.filePath("ours.pdf"), theirs = dir.filePath("img2pdf.pdf");
    const int runs = 5;
    const auto merge = [&] {
        for (const QString &f : files)
            addFile(f.toUtf8());
        combinePDF(ours.toUtf8());
        deleteFile();
    };
    const auto vsCopy = medianMs(runs, merge, [&] {
        QFile out(dir.filePath("copy.bin"));
        out.open(QIODevice::WriteOnly);
        for (const QString &f : files)
            out.write(testpictures::readAll(f));
        out.flush();
        ::fsync(out.handle());
    });
    report("merge_100_a4_jpeg_combinePDF", vsCopy.first, "ms");
    report("merge_100_a4_jpeg_vs_raw_copy", vsCopy.first / vsCopy.second, "ratio");
    report("merge_100_a4_overhead_per_page", double(QFileInfo(ours).size() - inputBytes) / files.size(),
           "bytes");

    bool img2pdfOk = runCommand("img2pdf", {"--version"});
    if (img2pdfOk) {
        const auto ref = medianMs(runs, merge, [&] {
            img2pdfOk = runCommand("img2pdf", QStringList{"-o", theirs} + files) && img2pdfOk;
        });
        const double size = QFileInfo(ours).size(), refSize = QFileInfo(theirs).size();
        report("merge_100_a4_jpeg_img2pdf", ref.second, "ms");
        report("merge_100_a4_jpeg_vs_img2pdf", ref.first / ref.second, "ratio");
        report("merge_100_a4_size_vs_img2pdf", 100.0 * (size - refSize) / refSize, "percent");
    } else {
        std::printf("# img2pdf not installed: no img2pdf reference\n");
    }
    return 0;
}

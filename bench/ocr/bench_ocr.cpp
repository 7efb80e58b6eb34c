// Recognition time and character error rate per page: ocrRecog (plain text) against the tesseract
// command with the same languages on the same pictures, in the same run. Prints "name value unit".
#include "DocumentSDK.h"
#include "ocrtruth.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Every kind of page is printed with each text of the truth.
struct Kind {
    const char *name;
    bool camera; // grey paper, soft focus, a slight tilt, sensor noise and stronger JPEG compression
    int dpi;
};
// Clean 300 dpi scans; camera-like pictures at 150 dpi (a 2-megapixel camera over an A4 page)
// and at 100 dpi (the same camera over a larger sheet).
const Kind kKinds[] = {{"clean", false, 300}, {"camera150", true, 150}, {"camera100", true, 100}};
const int kKindCount = 3;
const int kPages = 3 * kKindCount;
const int kRounds = 2;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool renderPicture(const QString &path, const QStringList &lines, const Kind &kind)
{
    if (!kind.camera)
        return ocrtruth::renderPage(path, lines, kind.dpi);
    QImage image = ocrtruth::renderLines(lines, kind.dpi, 0.4);
    const QSize size = image.size();
    image = image.scaled(size * 0.6, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < image.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(noise.bounded(41)) - 20;
            const int v = std::clamp(qGray(line[x]) * 190 / 255 + 45 + n, 0, 255);
            line[x] = qRgb(v, v, std::max(0, v - 8));
        }
    }
    image.setDotsPerMeterX(qRound(kind.dpi / 0.0254));
    image.setDotsPerMeterY(qRound(kind.dpi / 0.0254));
    return !size.isEmpty() && image.save(path, nullptr, 70);
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList pictures;
    for (int p = 0; p < kPages; ++p) {
        pictures << dir.filePath(QStringLiteral("page%1.jpg").arg(p));
        const Kind &kind = kKinds[p % kKindCount];
        if (!renderPicture(pictures.last(), ocrtruth::pageLines(p / kKindCount), kind))
            return 1;
    }
    // The command as a user runs it, and with OpenMP held to one thread as its maintainers advise
    // for batch work.
    QProcessEnvironment limited = QProcessEnvironment::systemEnvironment();
    limited.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));

    std::vector<double> libraryTimes, commandTimes, limitedTimes, combinedTimes;
    double libraryErrors[kKindCount] = {}, commandErrors[kKindCount] = {};
    char name[256];
    for (int round = 0; round < kRounds; ++round) {
        for (int p = 0; p < kPages; ++p) {
            const QString truth = ocrtruth::pageLines(p / kKindCount).join(QLatin1Char('\n'));
            QElapsedTimer timer;
            timer.start();
            addFile(pictures[p].toUtf8().constData());
            if (ocrRecog(0, true, name) != DOC_OK)
                return 2;
            libraryTimes.push_back(timer.nsecsElapsed() / 1e9);
            const QString ours = dir.filePath(QString::fromUtf8(name));
            libraryErrors[p % kKindCount] += ocrtruth::characterErrorRate(truth, readText(ours));
            QFile::remove(ours);

            const QString base = dir.filePath(QStringLiteral("command"));
            const QStringList args{pictures[p], base, QStringLiteral("-l"), QStringLiteral("chi_sim+eng")};
            for (auto *times : {&commandTimes, &limitedTimes}) {
                QProcess command;
                if (times == &limitedTimes)
                    command.setProcessEnvironment(limited);
                timer.start();
                command.start(QStringLiteral("tesseract"), args);
                if (!command.waitForFinished(-1) || command.exitCode() != 0)
                    return 3;
                times->push_back(timer.nsecsElapsed() / 1e9);
            }
            commandErrors[p % kKindCount] +=
                ocrtruth::characterErrorRate(truth, readText(base + QStringLiteral(".txt")));
        }
        // All pages in one call: the language data is loaded once.
        QElapsedTimer timer;
        timer.start();
        for (const QString &picture : pictures)
            addFile(picture.toUtf8().constData());
        if (ocrRecog(0, true, name) != DOC_OK)
            return 2;
        combinedTimes.push_back(timer.nsecsElapsed() / 1e9 / kPages);
        QFile::remove(dir.filePath(QString::fromUtf8(name)));
    }

    const double ours = median(libraryTimes), command = median(commandTimes),
                 limitedCommand = median(limitedTimes);
    const int samples = kPages / kKindCount * kRounds;
    std::printf("ocr_library_time_per_page %.3f s\n", ours);
    std::printf("ocr_command_time_per_page %.3f s\n", command);
    std::printf("ocr_time_ratio_library_vs_command %.3f ratio\n", ours / command);
    std::printf("ocr_command_one_thread_time_per_page %.3f s\n", limitedCommand);
    std::printf("ocr_time_ratio_library_vs_one_thread_command %.3f ratio\n", ours / limitedCommand);
    std::printf("ocr_library_combined_time_per_page %.3f s\n", median(combinedTimes));
    std::printf("ocr_combined_time_ratio_vs_command %.3f ratio\n", median(combinedTimes) / command);
    for (int k = 0; k < kKindCount; ++k) {
        std::printf("ocr_library_character_error_rate_%s %.3f %%\n", kKinds[k].name,
                    100 * libraryErrors[k] / samples);
        std::printf("ocr_command_character_error_rate_%s %.3f %%\n", kKinds[k].name,
                    100 * commandErrors[k] / samples);
    }
    return 0;
}

// Recognition time and character error rate per page: ocrRecog (plain text) against the tesseract
// command with the same languages on the same pictures, in the same run. Prints "name value unit".
#include "DocumentSDK.h"
#include "ocrtruth.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

const int kPages = 4;
const int kRounds = 3;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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
    // Clean 300 dpi pages, and camera-like ones at 150 dpi (a 2-megapixel camera over an A4 page).
    QStringList pictures;
    for (int p = 0; p < kPages; ++p) {
        pictures << dir.filePath(QStringLiteral("page%1.jpg").arg(p));
        const auto look = p % 2 ? ocrtruth::Look::Camera : ocrtruth::Look::Clean;
        if (!ocrtruth::renderPage(pictures.last(), ocrtruth::pageLines(p), p % 2 ? 150 : 300, look))
            return 1;
    }
    // The command as a user runs it, and with OpenMP held to one thread as its maintainers advise
    // for batch work.
    QProcessEnvironment limited = QProcessEnvironment::systemEnvironment();
    limited.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));

    std::vector<double> libraryTimes, commandTimes, limitedTimes, combinedTimes;
    double libraryErrors[2] = {0, 0}, commandErrors[2] = {0, 0}; // clean, camera
    char name[256];
    for (int round = 0; round < kRounds; ++round) {
        for (int p = 0; p < kPages; ++p) {
            const QString truth = ocrtruth::pageLines(p).join(QLatin1Char('\n'));
            QElapsedTimer timer;
            timer.start();
            addFile(pictures[p].toUtf8().constData());
            if (ocrRecog(0, true, name) != DOC_OK)
                return 2;
            libraryTimes.push_back(timer.nsecsElapsed() / 1e9);
            const QString ours = dir.filePath(QString::fromUtf8(name));
            libraryErrors[p % 2] += ocrtruth::characterErrorRate(truth, readText(ours));
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
            commandErrors[p % 2] +=
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
    const int samples = kPages / 2 * kRounds;
    std::printf("ocr_library_time_per_page %.3f s\n", ours);
    std::printf("ocr_command_time_per_page %.3f s\n", command);
    std::printf("ocr_time_ratio_library_vs_command %.3f ratio\n", ours / command);
    std::printf("ocr_command_one_thread_time_per_page %.3f s\n", limitedCommand);
    std::printf("ocr_time_ratio_library_vs_one_thread_command %.3f ratio\n", ours / limitedCommand);
    std::printf("ocr_library_combined_time_per_page %.3f s\n", median(combinedTimes));
    std::printf("ocr_combined_time_ratio_vs_command %.3f ratio\n", median(combinedTimes) / command);
    const char *looks[] = {"clean", "camera"};
    for (int look = 0; look < 2; ++look) {
        std::printf("ocr_library_character_error_rate_%s %.3f %%\n", looks[look],
                    100 * libraryErrors[look] / samples);
        std::printf("ocr_command_character_error_rate_%s %.3f %%\n", looks[look],
                    100 * commandErrors[look] / samples);
    }
    return 0;
}

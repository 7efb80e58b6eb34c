// Pages with known text rendered at run time, and the character error rate of what comes back.
#ifndef OCRTRUTH_H
#define OCRTRUTH_H

#include <QRectF>
#include <QString>
#include <QStringList>

namespace ocrtruth
{

// Printed lines of the test pages: Chinese and English mixed, different on every page.
QStringList pageLines(int page);
enum class Look {
    Clean,
    Camera // grey paper, soft focus, a slight tilt, sensor noise and stronger JPEG compression
};
// Renders lines at the given density; a density of 0 leaves Qt's default 96 dpi in the file.
bool renderPage(const QString &path, const QStringList &lines, int dpi = 300, Look look = Look::Clean);
// Pixel box of the ink with which renderPage() printed text (the first occurrence) on the given line.
QRectF printedBox(const QStringList &lines, int line, const QString &text, int dpi = 300);
// Edit distance over characters after NFKC and with all white space removed, divided by the
// length of the truth.
double characterErrorRate(const QString &truth, const QString &recognised);
// True when white space separates two Han characters.
bool hasSpaceBetweenHan(const QString &text);
// Runs a command and returns its standard output; exit status in *status.
QByteArray run(const QString &program, const QStringList &args, int *status = nullptr);

} // namespace ocrtruth

#endif

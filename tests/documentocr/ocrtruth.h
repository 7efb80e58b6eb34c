// Pages with known text rendered at run time, and the character error rate of what comes back.
#ifndef OCRTRUTH_H
#define OCRTRUTH_H

#include <QImage>
#include <QStringList>

namespace ocrtruth {

// Printed lines of the test pages: Chinese and English mixed, different on every page.
QStringList pageLines(int page);
// The lines printed black on white at the given density (a density of 0 prints at 300 dpi and leaves
// Qt's default 96 dpi in the picture), turned by tilt degrees; null without the font.
QImage renderLines(const QStringList &lines, int dpi = 300, double tilt = 0);
// Saves renderLines() as a clean scan.
bool renderPage(const QString &path, const QStringList &lines, int dpi = 300);
// Edit distance over characters after NFKC and with all white space removed, divided by the
// length of the truth.
double characterErrorRate(const QString &truth, const QString &recognised);
// Runs a command and returns its standard output; exit status in *status.
QByteArray run(const QString &program, const QStringList &args, int *status = nullptr);
// Whether qpdf --check finds the PDF sound.
bool qpdfPasses(const QString &pdf);

} // namespace ocrtruth

#endif

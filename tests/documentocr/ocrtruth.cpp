#include "ocrtruth.h"

#include <QFont>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <numeric>

namespace ocrtruth {

QStringList pageLines(int page)
{
    static const QStringList pages[] = {
        {QStringLiteral("文档摄像头可以快速扫描书本和证件。"),
         QStringLiteral("Document cameras capture a page in one second."),
         QStringLiteral("识别后的文字可以搜索和复制。"),
         QStringLiteral("The quick brown fox jumps over the lazy dog.")},
        {QStringLiteral("今天天气很好，我们一起去公园散步。"),
         QStringLiteral("Searchable PDF files keep the original picture."),
         QStringLiteral("中华人民共和国国家标准规定了版式文档格式。"),
         QStringLiteral("Plain text & XML exports use <UTF-8> encoding.")},
        {QStringLiteral("图书馆的资料需要长期保存和整理。"),
         QStringLiteral("Every export names its file after the first page."),
         QStringLiteral("会议记录已经发送给所有参加的人员。"),
         QStringLiteral("Open the document in any word processor.")},
    };
    return pages[page % 3];
}

QImage renderLines(const QStringList &lines, int dpi, double tilt)
{
    // An A4-wide strip of a few lines keeps recognition quick; 14 pt type.
    static const QStringList families = QFontDatabase::applicationFontFamilies(
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/fonts/truetype/wqy/wqy-microhei.ttc")));
    if (families.isEmpty())
        return QImage();
    const int scale = dpi > 0 ? dpi : 300, lineHeight = scale * 14 * 18 / 10 / 72;
    QFont font(families.first());
    font.setPixelSize(scale * 14 / 72);
    QImage image(scale * 1654 / 200, lineHeight * (lines.size() + 2), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.rotate(tilt);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(scale / 2, lineHeight * (i + 1) + lineHeight * 3 / 4, lines[i]);
    return image;
}

bool renderPage(const QString &path, const QStringList &lines, int dpi)
{
    QImage image = renderLines(lines, dpi);
    if (dpi > 0) {
        image.setDotsPerMeterX(qRound(dpi / 0.0254));
        image.setDotsPerMeterY(qRound(dpi / 0.0254));
    }
    return !image.isNull() && image.save(path, nullptr, 92);
}

double characterErrorRate(const QString &truth, const QString &recognised)
{
    auto prepare = [](const QString &s) {
        QString n = s.normalized(QString::NormalizationForm_KC);
        n.remove(QRegularExpression(QStringLiteral("\\s")));
        return n.toUcs4();
    };
    const QVector<uint> a = prepare(truth), b = prepare(recognised);
    if (a.isEmpty())
        return b.isEmpty() ? 0.0 : 1.0;
    QVector<int> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return double(row.last()) / a.size();
}

QByteArray run(const QString &program, const QStringList &args, int *status)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(-1);
    if (status)
        *status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

bool qpdfPasses(const QString &pdf)
{
    int status = -1;
    run(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}, &status);
    return status == 0;
}

} // namespace ocrtruth

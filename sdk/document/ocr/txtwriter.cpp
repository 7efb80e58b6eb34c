#include "writers.h"

#include <QFile>

namespace docsdk
{
namespace ocr
{

bool writeText(const std::vector<Page> &pages, const std::string &path)
{
    QString text;
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i > 0)
            text += QLatin1Char('\f');
        const QString page = pageText(pages[i]);
        if (!page.isEmpty())
            text += page + QLatin1Char('\n');
    }
    QFile file(QString::fromStdString(path));
    const QByteArray bytes = text.toUtf8();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() &&
           file.flush();
}

} // namespace ocr
} // namespace docsdk

// A zip package (OFD, DOCX) built entry by entry and written on commit().
#ifndef DOCSDK_OCR_ZIPPACKAGE_H
#define DOCSDK_OCR_ZIPPACKAGE_H

#include <QByteArray>

#include <deque>
#include <string>

struct zip;

namespace docsdk
{
namespace ocr
{

class ZipPackage
{
public:
    explicit ZipPackage(const std::string &path);
    ~ZipPackage();
    ZipPackage(const ZipPackage &) = delete;
    ZipPackage &operator=(const ZipPackage &) = delete;

    // Entries keep the order they are added in. Already compressed data (JPEG) is stored.
    void add(const std::string &name, const QByteArray &data, bool compress = true);
    // True when every entry was accepted and the archive was written completely.
    bool commit();

private:
    zip *m_zip = nullptr;
    bool m_ok = false;
    std::deque<QByteArray> m_data; // libzip reads the buffers only when the archive is written
};

} // namespace ocr
} // namespace docsdk

#endif

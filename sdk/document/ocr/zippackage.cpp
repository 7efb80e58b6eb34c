#include "zippackage.h"

#include <zip.h>

namespace docsdk
{
namespace ocr
{

ZipPackage::ZipPackage(const std::string &path)
{
    int error = 0;
    m_zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    m_ok = m_zip != nullptr;
}

ZipPackage::~ZipPackage()
{
    if (m_zip)
        zip_discard(m_zip);
}

void ZipPackage::add(const std::string &name, const QByteArray &data, bool compress)
{
    if (!m_ok)
        return;
    m_data.push_back(data);
    const QByteArray &kept = m_data.back();
    zip_source_t *source = zip_source_buffer(m_zip, kept.constData(), zip_uint64_t(kept.size()), 0);
    if (!source) {
        m_ok = false;
        return;
    }
    const zip_int64_t index = zip_file_add(m_zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        m_ok = false;
        return;
    }
    m_ok = zip_set_file_compression(m_zip, zip_uint64_t(index), compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                                    0) == 0;
}

bool ZipPackage::commit()
{
    if (!m_ok || !m_zip)
        return false;
    const bool written = zip_close(m_zip) == 0;
    if (written)
        m_zip = nullptr;
    return written;
}

} // namespace ocr
} // namespace docsdk

#include "picturefile.h"

#include "filereader.h"

#include <string_view>

namespace docsdk
{

bool readPictureFile(const std::string &path, QByteArray &bytes)
{
    std::vector<std::uint8_t> data;
    if (!sdkcommon::readFile(path, data) || data.size() >= std::size_t(1) << 31)
        return false;
    bytes = QByteArray(reinterpret_cast<const char *>(data.data()), int(data.size()));
    return true;
}

std::size_t fingerprintOf(const QByteArray &bytes)
{
    return std::hash<std::string_view>()(std::string_view(bytes.constData(), size_t(bytes.size())));
}

bool readUnchanged(const std::string &path, std::size_t fingerprint, QByteArray &bytes)
{
    return readPictureFile(path, bytes) && fingerprintOf(bytes) == fingerprint;
}

} // namespace docsdk

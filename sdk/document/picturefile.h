// Pictures are read whole, and read again only to be checked against that first read: a page is
// never drawn from bytes other than those its size and text were taken from.
#ifndef DOCSDK_PICTUREFILE_H
#define DOCSDK_PICTUREFILE_H

#include <QByteArray>

#include <cstddef>
#include <string>

namespace docsdk
{

// Reads a regular file whole; false when it is missing, not a regular file or unreadable.
bool readPictureFile(const std::string &path, QByteArray &bytes);
std::size_t fingerprintOf(const QByteArray &bytes);
// Reads path again; false when it is gone or no longer holds the bytes with that fingerprint (the
// user turned or replaced the picture meanwhile).
bool readUnchanged(const std::string &path, std::size_t fingerprint, QByteArray &bytes);

} // namespace docsdk

#endif

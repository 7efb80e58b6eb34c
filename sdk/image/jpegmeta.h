// Header-segment surgery on JPEG files: what must change in the metadata when
// the pixels are turned, and carrying metadata over to a re-encoded picture.
#ifndef IMGSDK_JPEGMETA_H
#define IMGSDK_JPEGMETA_H

#include "fileio.h"

namespace imgsdk
{

// Returns encoded with its application and comment segments replaced by those of
// original (JFIF density, EXIF, ICC profile, XMP, comments).
Bytes withMetadataOf(const Bytes &original, const Bytes &encoded);

// Brings turned's metadata in line with its pixels after quarterTurns clockwise
// quarter turns of original: the JFIF density is original's, swapped for odd turns.
void adjustTurnedMetadata(const Bytes &original, Bytes &turned, int quarterTurns);

} // namespace imgsdk

#endif

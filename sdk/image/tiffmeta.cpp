#include "tiffmeta.h"

#include <algorithm>
#include <cstring>
#include <tiffio.h>

namespace imgsdk
{
namespace
{

// libtiff reading and writing a byte vector in place of a file.
struct MemoryFile {
    Bytes *data;
    toff_t pos = 0;
};

tmsize_t readMemory(thandle_t handle, void *buffer, tmsize_t size)
{
    auto *file = static_cast<MemoryFile *>(handle);
    const toff_t end = file->data->size();
    const tmsize_t n = file->pos < end ? tmsize_t(std::min<toff_t>(toff_t(size), end - file->pos)) : 0;
    std::memcpy(buffer, file->data->data() + file->pos, size_t(n));
    file->pos += toff_t(n);
    return n;
}

tmsize_t writeMemory(thandle_t handle, void *buffer, tmsize_t size)
{
    auto *file = static_cast<MemoryFile *>(handle);
    if (file->pos + toff_t(size) > file->data->size())
        file->data->resize(size_t(file->pos) + size_t(size));
    std::memcpy(file->data->data() + file->pos, buffer, size_t(size));
    file->pos += toff_t(size);
    return size;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence)
{
    auto *file = static_cast<MemoryFile *>(handle);
    const toff_t base = whence == SEEK_CUR ? file->pos : whence == SEEK_END ? file->data->size() : 0;
    file->pos = base + offset;
    return file->pos;
}

int closeMemory(thandle_t)
{
    return 0;
}

toff_t sizeOfMemory(thandle_t handle)
{
    return static_cast<MemoryFile *>(handle)->data->size();
}

int mapNothing(thandle_t, void **, toff_t *)
{
    return 0;
}

void unmapNothing(thandle_t, void *, toff_t) {}

TIFF *openMemory(MemoryFile &file, const char *mode)
{
    return TIFFClientOpen("picture", mode, &file, readMemory, writeMemory, seekMemory, closeMemory,
                          sizeOfMemory, mapNothing, unmapNothing);
}

} // namespace

bool readTiffFacts(const Bytes &data, TiffFacts &facts)
{
    Bytes copy = data; // libtiff's client interface takes a writable handle
    MemoryFile file{&copy};
    TIFF *tif = openMemory(file, "rm");
    if (!tif)
        return false;
    uint16_t photometric = 0, unit = 0;
    const bool ok = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) == 1;
    facts.photometric = photometric;
    facts.hasXRes = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &facts.xres) == 1;
    facts.hasYRes = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &facts.yres) == 1;
    facts.hasUnit = TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit) == 1;
    facts.unit = unit;
    TIFFClose(tif);
    return ok;
}

bool tiffColoursSurvive(const TiffFacts &facts)
{
    return facts.photometric == PHOTOMETRIC_MINISWHITE || facts.photometric == PHOTOMETRIC_MINISBLACK ||
           facts.photometric == PHOTOMETRIC_RGB || facts.photometric == PHOTOMETRIC_PALETTE;
}

bool keepTiffResolution(Bytes &encoded, const TiffFacts &original, bool swap)
{
    MemoryFile file{&encoded};
    TIFF *tif = openMemory(file, "r+m");
    if (!tif)
        return false;
    const auto keep = [tif](ttag_t tag, bool has, float value) {
        return has ? TIFFSetField(tif, tag, double(value)) == 1 : TIFFUnsetField(tif, tag) == 1;
    };
    bool ok = keep(TIFFTAG_XRESOLUTION, swap ? original.hasYRes : original.hasXRes,
                   swap ? original.yres : original.xres) &&
              keep(TIFFTAG_YRESOLUTION, swap ? original.hasXRes : original.hasYRes,
                   swap ? original.xres : original.yres);
    ok = ok && (original.hasUnit ? TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, uint16_t(original.unit)) == 1
                                 : TIFFUnsetField(tif, TIFFTAG_RESOLUTIONUNIT) == 1);
    ok = ok && TIFFRewriteDirectory(tif) == 1;
    TIFFClose(tif);
    return ok;
}

} // namespace imgsdk

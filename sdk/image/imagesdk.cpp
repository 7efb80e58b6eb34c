// C entry points of the image library: argument checks and dispatch by content.
#include "ImageSDK.h"
#include "combine.h"
#include "rotate.h"

#include <cstdlib>
#include <memory>

extern "C" long CombineImage(const char *front, const char *back, const char *out, int mode, int, int, int,
                             int)
{
    if (!front || !back || !out || !*out || (mode != 0 && mode != 1))
        return -1;
    const auto layout = mode == 0 ? imgsdk::Layout::SideBySide : imgsdk::Layout::Stacked;
    return imgsdk::combinePictures(front, back, out, layout) ? 0 : -1;
}

extern "C" int imageRotation(const char *path, int angle)
{
    if (!path || !*path || angle % 90 != 0)
        return IMG_ERR_ARGUMENT;
    const int quarterTurns = ((angle / 90) % 4 + 4) % 4;
    // Through a symbolic link the picture itself is turned, and the link stays a link.
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path, nullptr), &std::free);
    imgsdk::Bytes data;
    if (!real || !imgsdk::readFile(real.get(), data))
        return IMG_ERR_UNREADABLE;
    if (quarterTurns == 0)
        return IMG_OK;
    const bool jpeg = data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
    return jpeg ? imgsdk::rotateJpeg(real.get(), data, quarterTurns)
                : imgsdk::rotateRaster(real.get(), data, quarterTurns);
}

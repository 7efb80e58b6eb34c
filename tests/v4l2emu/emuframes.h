// The pictures an emulated camera sends: JPEG files turned into MJPEG or YUYV
// frames of one size, and the broken variants of an MJPEG frame that real
// cameras are known to send.
#ifndef V4L2EMU_EMUFRAMES_H
#define V4L2EMU_EMUFRAMES_H

#include <cstdint>
#include <string>
#include <vector>

namespace v4l2emu {

using Bytes = std::vector<uint8_t>;

// One encoded frame per picture, in the picture order. Empty when no picture
// could be read.
std::vector<Bytes> makeFrames(const std::vector<std::string> &pictures, uint32_t fourcc, int width,
                              int height);

// The frame without its DHT segments, as many UVC cameras send MJPEG: the
// decoder has to supply the standard tables.
Bytes withoutHuffmanTables(const Bytes &jpeg);
// The frame with a stretch of its entropy-coded data overwritten.
Bytes corrupted(const Bytes &jpeg);

} // namespace v4l2emu

#endif

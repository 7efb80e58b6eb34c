// The playback camera: recorded photographs (JPEG or PNG) streamed as its live
// picture, one at a time, so that every cut-out and enhancement can be tried on
// real pictures. A "next" line in the control file moves on to the next picture.
#ifndef CAMSDK_PLAYBACKDEVICE_H
#define CAMSDK_PLAYBACKDEVICE_H

#include "virtualdevice.h"

#include <ostream>

namespace camsdk {

class JpegCodec;

struct PlaybackPicture {
    std::string path;
    FrameSize size; // as shown, turned by its EXIF orientation
};

// The readable pictures named by sources: files, and folders whose JPEG and PNG
// files are taken in name order. Whatever cannot be shown (missing, not a JPEG
// or PNG, under 16 or over 8192 pixels a side) is left out with a line on errors.
std::vector<PlaybackPicture> findPlaybackPictures(const std::vector<std::string> &sources,
                                                  std::ostream &errors);

// The first picture's own size, then the standard sizes that fit inside it,
// turned upright when the picture is.
std::vector<FrameSize> playbackResolutions(FrameSize first);

// Scales picture (aspect kept) until it covers size, and keeps the centre.
cv::Mat fitPicture(const cv::Mat &picture, FrameSize size);

class PlaybackDevice : public VirtualDevice
{
public:
    // pictures: not empty; index: the device's place among the virtual ones.
    PlaybackDevice(int index, const VirtualConfig &config, std::vector<PlaybackPicture> pictures,
                   std::shared_ptr<VirtualControl> control);
    ~PlaybackDevice() override;

    std::string name() const override;
    std::vector<FrameSize> resolutions() const override;

protected:
    bool streamLoop(const FrameSink &sink) override;

private:
    // The frame of picture i at the stream's size; null when it cannot be read.
    FramePtr load(size_t i, JpegCodec &codec) const;

    std::vector<PlaybackPicture> m_pictures;
    std::vector<bool> m_unreadable; // found out while streaming; touched on the stream thread only
};

} // namespace camsdk

#endif

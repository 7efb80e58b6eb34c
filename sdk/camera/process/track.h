// Outlines for the live-preview guides over a stream of frames. A full document
// search costs about a third of a 30 fps frame period; between full searches the
// outlines already found are only re-fitted near where they were, and a frame
// that shows no change keeps its result outright.
#ifndef CAMSDK_TRACK_H
#define CAMSDK_TRACK_H

#include "detect.h"

#include <opencv2/core.hpp>
#include <vector>

namespace camproc {

using GuideLines = std::vector<std::vector<cv::Point2f>>;

class GuideTracker
{
public:
    // Long side of the copy searched: guides only need to look right on screen.
    static constexpr int kSide = 480;
    // Searches between two full ones at the most (under a second at twenty
    // searches a second), so that a document laid down where nothing seemed to
    // change is still picked up; a full search costs as much as several others.
    static constexpr int kFullEvery = 15;

    // Guides for the next frame of the stream (8-bit BGR of any size; larger
    // frames are searched on a copy reduced to kSide), in its pixels. mode 1: at most one
    // closed outline (TL, TR, BR, BL), the dominant document; 2: one outline per
    // document in reading order; 3: at most one open line (top, bottom), the
    // spine of an open book; any other mode or nothing found: empty.
    GuideLines update(const cv::Mat &frame, int mode);
    // Forgets the stream: the next update runs the whole search.
    void reset();

    // Updates that ran the whole search (the others followed the outlines or
    // found nothing changed).
    int fullSearches() const { return m_fullSearches; }

private:
    void search(const cv::Mat &bgr);
    bool follow(const cv::Mat &bgr, const cv::Mat &changed);
    GuideLines linesOf(const cv::Mat &bgr) const;

    int m_mode = 0;
    cv::Size m_size;                   // of the reduced copy the outlines are in
    std::vector<Quad> m_docs;          // documents (the spread in mode 3) of the current result
    std::vector<cv::Point2f> m_motion; // per document, its move at the last update
    cv::Mat m_reference;               // coarse picture of the frame the result was made on
    GuideLines m_lines;                // the result, in reduced-copy pixels
    int m_sinceFull = 0;
    int m_fullSearches = 0;
};

} // namespace camproc

#endif

// Synthetic document-camera scenes with known ground truth: flat documents warped in
// perspective onto textured desks, under uneven light, with the truth kept in the
// documents' own (model) frame so detections can be scored as in SmartDoc 2015.
#ifndef CAMPROCESS_SCENES_H
#define CAMPROCESS_SCENES_H

#include "detect.h"

#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace scenes
{

enum class Desk { Wood, Plain, Pattern, White };
enum class Kind { Page, Receipt, IdCard, Several, Book, Hand };

struct Doc {
    camproc::Quad corners; // in the frame, TL TR BR BL
    cv::Mat flat;          // the document as printed (model frame)
    cv::Mat toFrame;       // homography model -> frame
};

struct Scene {
    cv::Mat image;
    std::vector<Doc> docs; // in reading order
    float spineX = -1;     // book only: spine column in the model frame of docs[0]
};

Scene make(Desk desk, Kind kind, unsigned seed, cv::Size frame = {1600, 1200});

// A white page with lines of text (and a red stamp when asked) at model scale.
cv::Mat renderPage(cv::Size size, cv::RNG &rng, bool stamp);

// Jaccard index of `found` against the document, both mapped into its model frame.
double jaccard(const camproc::Quad &found, const Doc &truth);
// Largest corner distance in frame pixels.
double cornerError(const camproc::Quad &found, const Doc &truth);
// Spine error as a share of the book width, for a spine line given in frame pixels.
double spineError(const std::vector<cv::Point2f> &spine, const Scene &book);

std::string name(Desk d);
std::string name(Kind k);

} // namespace scenes

#endif

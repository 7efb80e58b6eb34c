// Synthetic desk scenes as a document camera would see them, with the exact
// geometry of every document for scoring detection and cut-out.
//
// Internal to the camera library and its tests; not part of the C interface.
#ifndef CAMSDK_VIRTUALSCENE_H
#define CAMSDK_VIRTUALSCENE_H

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace camvirtual {

enum class SceneKind { Page, Multi, Receipt, IdCard, Book, Photo, Empty };
enum class DeskKind { Wood, Plain, Pattern, White };
// How an open book's pages lie. Dip: squeezed towards the spine (the long-standing scene).
// Bowed: each page rises from the spine as a real open book's does, seen by a camera above
// it: text lines curve, the top and bottom edges bend and the paper is foreshortened where it
// slopes. Flat: the same pages lying perfectly flat, the reference for the bowed ones.
enum class BookShape { Dip, Bowed, Flat };

// Names as used in the environment ("page", "multi", "receipt", "idcard",
// "book", "photo", "empty"; "wood", "plain", "pattern", "white").
// Return false and leave *out untouched for an unknown name.
bool parseSceneKind(const std::string &name, SceneKind *out);
bool parseDeskKind(const std::string &name, DeskKind *out);
// "dip", "bowed", "flat".
bool parseBookShape(const std::string &name, BookShape *out);

struct SceneRequest {
    SceneKind scene = SceneKind::Page;
    DeskKind desk = DeskKind::Wood;
    uint32_t seed = 1;
    int width = 1920;
    int height = 1080;
    // When not empty, these pictures (8-bit BGR) lie on the desk as the
    // documents instead of the scene's own ones; the scene kind is then ignored.
    std::vector<cv::Mat> documents;
    // Paper documents lose a corner and get a ragged bite along one edge, so the
    // desk shows inside their outline. Cards and books stay whole.
    bool torn = false;
    BookShape book = BookShape::Dip;
};

// Corner order everywhere: the document's own top-left, top-right,
// bottom-right, bottom-left (as its content reads), in frame pixels.
using Quad = std::array<cv::Point2f, 4>;

struct DocumentTruth {
    std::string kind; // "page", "receipt", "idcard-front", "idcard-back", "photo", "note", "book", "picture"
    Quad corners;     // of the whole sheet, torn or not
    // Torn scenes: the parts torn off the sheet, as outlines in frame pixels.
    std::vector<std::vector<cv::Point2f>> tears;
};

struct SceneTruth {
    // Every document on the desk, in the order it was laid down. For the
    // book scene this is one entry: the outline of the open spread.
    std::vector<DocumentTruth> documents;
    // Book scene only: the spine from its top end to its bottom end, and the
    // outlines of the two pages (the inner corners are the spine's ends).
    bool hasBook = false;
    cv::Point2f spineTop, spineBottom;
    Quad leftPage{}, rightPage{};
    // Book scene only: the text printed on the left and on the right page, a line each.
    std::array<std::string, 2> pageText;
};

struct RenderedScene {
    cv::Mat image; // 8-bit BGR, width x height
    SceneTruth truth;
};

// Lays out a scene once (textures, placement) so that frames of it, still or
// with the documents displaced, cost only compositing. Deterministic for a
// request; render() is const and safe to call from several threads.
class SceneRenderer
{
public:
    explicit SceneRenderer(const SceneRequest &request);
    ~SceneRenderer();
    SceneRenderer(const SceneRenderer &) = delete;
    SceneRenderer &operator=(const SceneRenderer &) = delete;

    const SceneRequest &request() const;

    // shift: displacement of all documents on the desk, in frame pixels.
    // hand: a hand reaching in over the documents (it hides no corner).
    // noiseSeed: varies the sensor noise between otherwise equal frames.
    RenderedScene render(cv::Point2f shift = {}, bool hand = false, uint32_t noiseSeed = 0) const;

private:
    struct Layout;
    std::unique_ptr<Layout> d;
};

// One still frame of a scene: SceneRenderer(request).render().
RenderedScene renderScene(const SceneRequest &request);

// Scenes that real photographs show to be hard for document detection, each with the true
// outline of the one document to find in documents[0]:
//  TablePage   a page filling the frame, its foot out of view, with a ruled table on it (the
//              truth is the part in view, its bottom side on the frame border);
//  PhotoPage   a page with a large photograph near its centre;
//  TableEdge   a sheet beside the edge of the table, beyond which the floor is about as light;
//  CurledPage  the left page of an open book with a strong curl into the gutter, rounded off so
//              that the desk shows between the pages down to where they meet, and the facing
//              page running out of view (the truth: its outer corners and the gutter's ends);
//  FullPage    a page with a table on it larger than the frame, showing only its left edge (seeds
//              1, 4, ...), its top-left corner (2, 5, ...) or its left and right edges (3, 6, ...);
//              the truth is the part in view, its other sides on the frame border;
//  HeldCard    a card held by its left side above a table, the thumb over that side and a second
//              card behind it running out of view at the left;
//  HeldSheet   a sheet held up by a hand in front of a room with a bright window and furniture.
enum class HardScene { TablePage, PhotoPage, TableEdge, CurledPage, FullPage, HeldCard, HeldSheet };
RenderedScene renderHardScene(HardScene kind, uint32_t seed, cv::Size size = {1600, 1200});

} // namespace camvirtual

#endif

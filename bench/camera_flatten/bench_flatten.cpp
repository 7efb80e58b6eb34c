// Curved book pages: the virtual camera's bowed book scenes cut out flattened and with the plain
// warp, against the same spread lying flat (all at the pages' true outlines): how straight the
// text lines come out (largest bow of a line as a share of the page height) and Tesseract's
// character error rate on the left page; then the book cut-out with its own detection. Flat pages and photos
// cut out as single pages, with and without flattening, compared pixel for pixel. A 3264x2448 book capture
// with flattening against the same capture without it, in one run. Usage: bench_flatten [book scenes per
// desk, default 30] [of those read by OCR, default 30]
//                      [flat pages and photos per desk, default 20] [one desk] [pages: figures per page]
#include "book.h"
#include "cut.h"
#include "detect.h"
#include "flatten.h"
#include "ocrscore.h"
#include "virtualscene.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

using namespace camvirtual;

namespace {

struct Sum {
    double total = 0, worst = 0, last = 0;
    int n = 0;
    void add(double v)
    {
        last = v;
        total += v;
        worst = std::max(worst, v);
        ++n;
    }
    double mean() const { return n ? total / n : 0; }
};

SceneRequest bookRequest(DeskKind desk, uint32_t seed, BookShape shape, cv::Size size)
{
    SceneRequest r;
    r.scene = SceneKind::Book;
    r.desk = desk;
    r.seed = seed;
    r.width = size.width;
    r.height = size.height;
    r.book = shape;
    return r;
}

double seconds(const std::function<void()> &f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Flattening from the true page outlines, so that detection does not count; then the whole book
// cut-out as a capture runs it, detection included.
void scoreBooks(const char *deskName, DeskKind desk, int scenes, int ocrScenes, bool perPage)
{
    const cv::Size size(2048, 1536);
    Sum bowFlat, bowPlain, bowFlattened, bowCaptured, cerFlat, cerPlain, cerFlattened;
    int found = 0;
    for (int seed = 1; seed <= scenes; ++seed) {
        const RenderedScene bowed = renderScene(bookRequest(desk, uint32_t(seed), BookShape::Bowed, size));
        const RenderedScene flat = renderScene(bookRequest(desk, uint32_t(seed), BookShape::Flat, size));
        cv::Mat reference[2], plain[2], flattened[2];
        for (int page = 0; page < 2; ++page) {
            const Quad &outline = page ? bowed.truth.rightPage : bowed.truth.leftPage;
            reference[page] =
                camproc::warpDocument(flat.image, page ? flat.truth.rightPage : flat.truth.leftPage).image;
            plain[page] = camproc::warpDocument(bowed.image, outline).image;
            flattened[page] = camproc::flattenPage(bowed.image, outline, camproc::Flatten::Always).image;
            bowFlat.add(camproc::textLineBow(reference[page]));
            bowPlain.add(camproc::textLineBow(plain[page]));
            bowFlattened.add(camproc::textLineBow(flattened[page]));
            if (perPage)
                std::printf("page_bow_flat_plain_flattened_%s_%d_%s %.3f %.3f %.3f %%\n", deskName, seed,
                            page ? "right" : "left", bowFlat.last * 100, bowPlain.last * 100,
                            bowFlattened.last * 100);
        }
        const std::vector<camproc::Cut> captured = camproc::bookPages(bowed.image, 0, true);
        if (captured.size() == 2) {
            ++found;
            for (const camproc::Cut &page : captured)
                bowCaptured.add(camproc::textLineBow(page.image));
        }
        if (seed <= ocrScenes) {
            const std::u32string truth = withoutSpace(bowed.truth.pageText[0]);
            cerFlat.add(ocrCer(reference[0], truth));
            cerPlain.add(ocrCer(plain[0], truth));
            cerFlattened.add(ocrCer(flattened[0], truth));
            if (perPage)
                std::printf("page_cer_flat_plain_flattened_%s_%d_left %.2f %.2f %.2f %%\n", deskName, seed,
                            cerFlat.last * 100, cerPlain.last * 100, cerFlattened.last * 100);
        }
    }
    const auto line = [&](const char *what, const Sum &s) {
        std::printf("line_bow_%s_%s %.3f %% (worst page %.3f)\n", what, deskName, s.mean() * 100,
                    s.worst * 100);
    };
    line("flat", bowFlat);
    line("plain", bowPlain);
    line("flattened", bowFlattened);
    std::printf("books_split_in_two_by_capture_%s %d of %d\n", deskName, found, scenes);
    line("captured", bowCaptured);
    if (cerFlat.n) {
        std::printf("ocr_cer_flat_%s %.2f %%\n", deskName, cerFlat.mean() * 100);
        std::printf("ocr_cer_plain_%s %.2f %%\n", deskName, cerPlain.mean() * 100);
        std::printf("ocr_cer_flattened_%s %.2f %%\n", deskName, cerFlattened.mean() * 100);
        std::printf("ocr_cer_flattened_minus_flat_%s %.2f points\n", deskName,
                    (cerFlattened.mean() - cerFlat.mean()) * 100);
    }
    std::fflush(stdout);
}

// Single pages and photos lying flat: the cut-out with flattening must be today's, bit for bit.
void scoreFlat(const char *deskName, DeskKind desk, int scenes)
{
    int same = 0, total = 0;
    for (const SceneKind kind : {SceneKind::Page, SceneKind::Photo})
        for (int seed = 1; seed <= scenes; ++seed) {
            SceneRequest r;
            r.scene = kind;
            r.desk = desk;
            r.seed = uint32_t(seed);
            r.width = 2048;
            r.height = 1536;
            const cv::Mat frame = renderScene(r).image;
            for (const camproc::Quad &q : camproc::findDocuments(frame, false)) {
                const cv::Mat a = camproc::warpDocument(frame, q).image;
                const cv::Mat b = camproc::flattenPage(frame, q, camproc::Flatten::IfCurved).image;
                same += a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0;
                ++total;
            }
        }
    std::printf("flat_pages_and_photos_unchanged_%s %d of %d\n", deskName, same, total);
    std::fflush(stdout);
}

void timing()
{
    const RenderedScene book = renderScene(bookRequest(DeskKind::Wood, 1, BookShape::Bowed, {3264, 2448}));
    // The two taken in turn, each at its fastest: other work on a shared machine only ever slows a run.
    double plain = 1e30, flat = 1e30;
    for (int run = 0; run < 8; ++run) {
        plain = std::min(plain, seconds([&] { camproc::bookPages(book.image, 0, false); }));
        flat = std::min(flat, seconds([&] { camproc::bookPages(book.image, 0, true); }));
    }
    std::printf("book_cutout_3264x2448_plain %.0f ms\n", plain * 1000);
    std::printf("book_cutout_3264x2448_flattened %.0f ms\n", flat * 1000);
    std::printf("book_cutout_flattened_vs_plain %.2f ratio\n", flat / plain);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    const int scenes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int ocrScenes = argc > 2 ? std::max(0, std::atoi(argv[2])) : 30;
    const int flatScenes = argc > 3 ? std::max(0, std::atoi(argv[3])) : 20;
    const std::string only = argc > 4 ? argv[4] : "";
    const bool perPage = argc > 5 && std::string(argv[5]) == "pages";
    if (only.empty())
        timing();
    const std::pair<const char *, DeskKind> desks[] = {{"wood", DeskKind::Wood},
                                                       {"plain", DeskKind::Plain},
                                                       {"pattern", DeskKind::Pattern},
                                                       {"white", DeskKind::White}};
    for (const auto &[name, desk] : desks) {
        if (!only.empty() && only != name)
            continue;
        scoreBooks(name, desk, scenes, ocrScenes, perPage);
        scoreFlat(name, desk, flatScenes);
    }
    return 0;
}

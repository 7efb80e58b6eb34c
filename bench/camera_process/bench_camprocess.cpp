// Detection quality on generated scenes with ground truth, processing time
// against a plain JPEG decode + encode of the same frame, and the live guides'
// cost over a moving document against one full search.
// Usage: bench_camprocess [own scenes per desk and kind, default 50] [camera-renderer scenes, default 50]
//                         [torn pages per desk, default 20]
#include "book.h"
#include "camprocess.h"
#include "cut.h"
#include "fill.h"
#include "guidecheck.h"
#include "ocrscore.h"
#include "outlinescore.h"
#include "scenes.h"
#include "track.h"
#include "virtualscene.h"

#include <chrono>
#include <codecvt>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <opencv2/freetype.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <unistd.h>

using namespace scenes;

namespace {

double seconds(const std::function<void()> &f, int runs)
{
    f(); // warm-up: fonts, thread pool, allocations
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i)
        f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / runs;
}

camproc::Quad quadOf(const std::vector<cv::Point2f> &v)
{
    return {v[0], v[1], v[2], v[3]};
}

void scoreDetection(int perKind)
{
    const Desk desks[] = {Desk::Wood, Desk::Plain, Desk::Pattern, Desk::White};
    const Kind kinds[] = {Kind::Page, Kind::Receipt, Kind::IdCard, Kind::Several, Kind::Book, Kind::Hand};
    for (Desk d : desks) {
        for (Kind k : kinds) {
            double jSum = 0;
            int jCount = 0, cornersOk = 0, multiOk = 0, spineOk = 0, failures = 0;
            for (int s = 0; s < perKind; ++s) {
                const Scene sc = make(d, k, unsigned(s));
                const double diag = std::hypot(sc.image.cols, sc.image.rows);
                const int mode = k == Kind::Several ? 2 : k == Kind::Book ? 3 : 1;
                // Scored through the full-resolution searches the capture uses (not the preview copy).
                std::vector<std::vector<cv::Point2f>> found;
                if (mode == 3) {
                    if (const auto book = camproc::findBook(sc.image))
                        found.emplace_back(book->begin(), book->end());
                } else {
                    for (const auto &q : camproc::findDocuments(sc.image, mode == 2))
                        found.emplace_back(q.begin(), q.end());
                }
                if (found.size() != (mode == 2 ? sc.docs.size() : 1))
                    ++failures;
                bool allMatched = found.size() == sc.docs.size();
                for (const Doc &doc : sc.docs) {
                    double best = 0, err = diag;
                    for (const auto &f : found) {
                        const double j = jaccard(quadOf(f), doc);
                        if (j > best) {
                            best = j;
                            err = cornerError(quadOf(f), doc);
                        }
                    }
                    jSum += best;
                    ++jCount;
                    cornersOk += err <= 0.01 * diag;
                    allMatched &= best >= 0.9;
                }
                multiOk += allMatched;
                if (mode == 3) {
                    const auto spine = camproc::detectDocuments(sc.image, 3);
                    spineOk += !spine.empty() && spineError(spine.front(), sc) <= 0.02;
                }
            }
            const std::string tag = name(d) + "_" + name(k);
            std::printf("jaccard_%s %.4f mean\n", tag.c_str(), jSum / jCount);
            std::printf("corners_within_1pct_%s %.1f %%\n", tag.c_str(), 100.0 * cornersOk / jCount);
            std::printf("count_failures_%s %d scenes\n", tag.c_str(), failures);
            if (k == Kind::Several)
                std::printf("multi_all_found_%s %.1f %%\n", tag.c_str(), 100.0 * multiOk / perKind);
            if (k == Kind::Book)
                std::printf("spine_within_2pct_%s %.1f %%\n", tag.c_str(), 100.0 * spineOk / perKind);
            std::fflush(stdout);
        }
    }
}

void scoreVirtualCamera(int perKind)
{
    using namespace camvirtual;
    const std::pair<const char *, DeskKind> desks[] = {{"wood", DeskKind::Wood},
                                                       {"plain", DeskKind::Plain},
                                                       {"pattern", DeskKind::Pattern},
                                                       {"white", DeskKind::White}};
    struct Kind {
        const char *name;
        SceneKind scene;
        bool hand;
    } kinds[] = {{"page", SceneKind::Page, false},     {"receipt", SceneKind::Receipt, false},
                 {"idcard", SceneKind::IdCard, false}, {"multi", SceneKind::Multi, false},
                 {"book", SceneKind::Book, false},     {"hand", SceneKind::Page, true}};
    for (const auto &[deskName, desk] : desks) {
        for (const Kind &k : kinds) {
            double jSum = 0;
            int docs = 0, cornersOk = 0, countOk = 0, spineOk = 0;
            for (int s = 0; s < perKind; ++s) {
                SceneRequest req;
                req.scene = k.scene;
                req.desk = desk;
                req.seed = uint32_t(1000 + s);
                const RenderedScene sc = SceneRenderer(req).render({}, k.hand);
                const double diag = std::hypot(sc.image.cols, sc.image.rows);
                std::vector<camproc::Quad> found;
                if (k.scene == SceneKind::Book) {
                    if (const auto book = camproc::findBook(sc.image))
                        found.push_back(*book);
                    const auto spine = camproc::detectDocuments(sc.image, 3);
                    if (!spine.empty()) {
                        // Distance of the found spine's midpoint from the true spine, against the spread
                        // width.
                        const cv::Point2f mid = (spine[0][0] + spine[0][1]) * 0.5f;
                        const double dist = guidecheck::spineError({mid}, sc.truth);
                        const auto &q = sc.truth.documents.front().corners;
                        spineOk += dist <= 0.02 * cv::norm(q[1] - q[0]);
                    }
                } else {
                    // The ID-card scene shows both sides: searched like several documents.
                    found = camproc::findDocuments(sc.image, sc.truth.documents.size() > 1);
                }
                bool all = found.size() == sc.truth.documents.size();
                for (const DocumentTruth &t : sc.truth.documents) {
                    double best = 0, err = diag;
                    for (const auto &f : found) {
                        const double j = outlinescore::jaccard(f, t.corners);
                        if (j > best) {
                            best = j;
                            err = 0;
                            for (int c = 0; c < 4; ++c)
                                err = std::max(err, cv::norm(f[c] - t.corners[c]));
                        }
                    }
                    jSum += best;
                    ++docs;
                    cornersOk += err <= 0.01 * diag;
                    all &= best >= 0.9;
                }
                countOk += all;
            }
            const std::string tag = std::string(deskName) + "_" + k.name;
            std::printf("virtual_jaccard_%s %.4f mean\n", tag.c_str(), jSum / std::max(1, docs));
            std::printf("virtual_corners_within_1pct_%s %.1f %%\n", tag.c_str(),
                        100.0 * cornersOk / std::max(1, docs));
            std::printf("virtual_all_found_nothing_else_%s %.1f %%\n", tag.c_str(),
                        100.0 * countOk / perKind);
            if (k.scene == SceneKind::Book)
                std::printf("virtual_spine_within_2pct_%s %.1f %%\n", tag.c_str(), 100.0 * spineOk / perKind);
            std::fflush(stdout);
        }
    }
}

// A text page in Chinese and English with its exact text (lines joined, no spaces).
cv::Mat textPage(std::u32string &truth)
{
    static const char *lines[] = {"文档拍摄质量测试报告",
                                  "The quick brown fox jumps over the lazy dog.",
                                  "图书馆开放时间为每天上午九点至晚上八点。",
                                  "Payment is due within thirty days of invoice.",
                                  "会议定于下周四上午九点在三楼会议室举行。",
                                  "Results show a steady increase in sales: 12.5%",
                                  "请妥善保管本收据，作为售后服务的凭证。",
                                  "Please sign both copies and return one to us."};
    cv::Mat page(2200, 1700, CV_8UC3, cv::Scalar(246, 248, 250));
    auto ft = cv::freetype::createFreeType2();
    ft->loadFontData("/usr/share/fonts/truetype/wqy/wqy-microhei.ttc", 0);
    std::string joined;
    int y = 220;
    for (const char *l : lines) {
        ft->putText(page, l, {170, y}, 50, cv::Scalar(25, 25, 25), -1, cv::LINE_AA, false);
        y += 210;
        for (const char *c = l; *c; ++c)
            if (*c != ' ')
                joined += *c;
    }
    truth = std::wstring_convert<std::codecvt_utf8<char32_t>, char32_t>().from_bytes(joined);
    return page;
}

// The text page laid on each desk, captured with cut-out + black-and-white and read back,
// against the same page read flat; and how much of its paper came out pure white.
void scoreOcr()
{
    using namespace camvirtual;
    std::u32string truth;
    const cv::Mat page = textPage(truth);
    const double flat = ocrCer(page, truth);
    std::printf("ocr_cer_flat_page %.2f %%\n", flat * 100);
    const std::pair<const char *, DeskKind> desks[] = {{"wood", DeskKind::Wood},
                                                       {"plain", DeskKind::Plain},
                                                       {"pattern", DeskKind::Pattern},
                                                       {"white", DeskKind::White}};
    for (const auto &[deskName, desk] : desks) {
        SceneRequest req;
        req.desk = desk;
        req.seed = 7;
        req.width = 3264;
        req.height = 2448;
        req.documents = {page};
        const RenderedScene sc = SceneRenderer(req).render();
        IMAGEPARAM p{};
        p.nCropType = 1;
        p.nImageType = 2;
        const std::vector<cv::Mat> out = camproc::processFrame(sc.image, p);
        if (out.empty())
            continue;
        const double cer = ocrCer(out.front(), truth);
        std::printf("ocr_cer_bw_cutout_%s %.2f %%\n", deskName, cer * 100);
        std::printf("ocr_cer_bw_cutout_minus_flat_%s %.2f points\n", deskName, (cer - flat) * 100);
        // Paper: the printed page scaled onto the cut-out, well away from any ink.
        cv::Mat grey, paper, bw;
        cv::cvtColor(page, grey, cv::COLOR_BGR2GRAY);
        cv::resize(grey, grey, out.front().size(), 0, 0, cv::INTER_AREA);
        cv::erode(grey, grey, cv::getStructuringElement(cv::MORPH_RECT, {9, 9}));
        paper = grey > 240;
        cv::cvtColor(out.front(), bw, cv::COLOR_BGR2GRAY);
        const double white =
            cv::countNonZero((bw == 255) & paper) / std::max(1.0, double(cv::countNonZero(paper)));
        std::printf("pure_white_paper_share_%s %.2f %%\n", deskName, white * 100);
        std::fflush(stdout);
    }
}

void timing()
{
    const cv::Size full(3264, 2448);
    const Scene page = make(Desk::Wood, Kind::Page, 1, full);
    const Scene book = make(Desk::Wood, Kind::Book, 1, full);
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", page.image, jpeg, {cv::IMWRITE_JPEG_QUALITY, 90});
    const double reference = seconds(
        [&] {
            std::vector<uchar> out;
            cv::imencode(".jpg", cv::imdecode(jpeg, cv::IMREAD_COLOR), out, {cv::IMWRITE_JPEG_QUALITY, 90});
        },
        5);
    std::printf("reference_decode_encode_8mp %.1f ms\n", reference * 1000);

    auto capture = [&](const cv::Mat &frame, int crop, int effect) {
        IMAGEPARAM p{};
        p.nCropType = crop;
        p.nImageType = effect;
        p.nFillType = 1;
        std::vector<uchar> out;
        for (const cv::Mat &m : camproc::processFrame(frame, p))
            cv::imencode(".jpg", m, out, {cv::IMWRITE_JPEG_QUALITY, 90});
    };
    struct Case {
        const char *name;
        const Scene *scene;
        int crop, effect;
    } cases[] = {{"capture_nocrop", &page, 0, 0},           {"capture_single_bw", &page, 1, 2},
                 {"capture_single_colourdoc", &page, 1, 3}, {"capture_multiple", &page, 2, 0},
                 {"capture_book_pages", &book, 3, 0},       {"capture_single_photo", &page, 1, 6}};
    for (const Case &c : cases) {
        const double t = seconds([&] { capture(c.scene->image, c.crop, c.effect); }, 3);
        std::printf("%s_vs_decode_encode %.2f ratio\n", c.name, t / reference);
    }
}

// Worst distance of the guides from the truth, in frame pixels: every true outline against its
// nearest guide, or the spine's ends against the true spine.
double guideError(const camproc::GuideLines &lines, const camvirtual::SceneTruth &truth, int mode,
                  double diag)
{
    if (mode == 3) {
        return lines.empty() ? diag : guidecheck::spineError(lines.front(), truth);
    }
    double worst = lines.size() == truth.documents.size() ? 0 : diag;
    for (const auto &doc : truth.documents) {
        double nearest = diag;
        for (const auto &l : lines)
            nearest = std::min(nearest, guidecheck::outlineError(l, doc.corners));
        worst = std::max(worst, nearest);
    }
    return worst;
}

// Live guides at 1920x1080 against the 33 ms frame period at 30 fps. The search runs on the copy the
// preview hands over (GuideTracker::kSide pixels wide) on every second frame, as at 30 fps with
// twenty searches a second. One full search on a still frame is the reference; the figure that
// counts is the mean cost per search over two seconds of a document being placed by hand: still,
// pushed right and down, pulled back, still again. Best of three runs on both sides: the machine
// is shared.
void guideTiming()
{
    using namespace camvirtual;
    const double period = 1.0 / 30;
    struct Case {
        const char *name;
        SceneKind scene;
        int mode;
    } cases[] = {
        {"single", SceneKind::Page, 1}, {"multiple", SceneKind::Multi, 2}, {"book", SceneKind::Book, 3}};
    for (const Case &c : cases) {
        SceneRequest req;
        req.scene = c.scene;
        req.desk = DeskKind::Wood;
        req.seed = 2;
        const SceneRenderer renderer(req);
        const double diag = std::hypot(req.width, req.height);
        auto copyOf = [](const cv::Mat &frame) {
            cv::Mat small;
            const double scale = double(camproc::GuideTracker::kSide) / frame.cols;
            cv::resize(frame, small, cv::Size(), scale, scale, cv::INTER_AREA);
            return small;
        };
        const cv::Mat still = copyOf(renderer.render().image);

        // 60 frames: 10 still, 20 moving 12 px right and 2 px down per frame (a brisk push by hand),
        // 20 moving back, 10 still; the sensor noise differs on every frame.
        std::vector<cv::Mat> copies;
        std::vector<SceneTruth> truths;
        cv::Point2f shift(0, 0);
        for (int f = 0; f < 60; f += 2) {
            for (int step = f; step < f + 2; ++step)
                if (step >= 10 && step < 50)
                    shift += cv::Point2f(12, 2) * (step < 30 ? 1.f : -1.f);
            const RenderedScene sc = renderer.render(shift, false, uint32_t(f + 1));
            copies.push_back(copyOf(sc.image));
            truths.push_back(sc.truth);
        }
        auto errorOf = [&](camproc::GuideLines lines, size_t i) {
            for (auto &l : lines)
                for (auto &p : l)
                    p *= float(req.width) / float(copies[i].cols);
            return guideError(lines, truths[i], c.mode, diag);
        };
        // The same frames each searched in full, for the accuracy the guides had without following.
        double fullWorst = 0;
        int fullClose = 0, close = 0;
        for (size_t i = 0; i < copies.size(); ++i) {
            const double error = errorOf(camproc::detectDocuments(copies[i], c.mode), i);
            fullWorst = std::max(fullWorst, error);
            fullClose += error <= 0.01 * diag;
        }
        double full = 1e9, mean = 1e9, worst = 0;
        int fullSearches = 0;
        for (int round = 0; round < 3; ++round) {
            full = std::min(full, seconds([&] { camproc::detectDocuments(still, c.mode); }, 10));
            camproc::GuideTracker tracker;
            double total = 0;
            for (size_t i = 0; i < copies.size(); ++i) {
                const auto t0 = std::chrono::steady_clock::now();
                const camproc::GuideLines lines = tracker.update(copies[i], c.mode);
                total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
                const double error = errorOf(lines, i);
                worst = std::max(worst, error);
                close += round == 0 && error <= 0.01 * diag;
            }
            mean = std::min(mean, total / double(copies.size()));
            fullSearches = tracker.fullSearches();
        }
        std::printf("live_guide_full_search_1080p_%s %.2f ms\n", c.name, full * 1000);
        std::printf("live_guide_full_search_share_of_30fps_period_%s %.1f %%\n", c.name, full / period * 100);
        std::printf("live_guide_moving_1080p_%s %.2f ms\n", c.name, mean * 1000);
        std::printf("live_guide_moving_share_of_30fps_period_%s %.1f %%\n", c.name, mean / period * 100);
        std::printf("live_guide_moving_vs_full_search_%s %.3f ratio\n", c.name, mean / full);
        std::printf("live_guide_moving_full_searches_%s %d of %zu\n", c.name, fullSearches, copies.size());
        // Against the truth the capture would be scored on (the guides' own search error included).
        std::printf("live_guide_moving_worst_error_%s %.2f %%diagonal\n", c.name, worst / diag * 100);
        std::printf("live_guide_moving_worst_error_full_searches_%s %.2f %%diagonal\n", c.name,
                    fullWorst / diag * 100);
        std::printf("live_guide_moving_within_1pct_%s %.1f %%\n", c.name, 100.0 * close / copies.size());
        std::printf("live_guide_moving_within_1pct_full_searches_%s %.1f %%\n", c.name,
                    100.0 * fullClose / copies.size());
        std::fflush(stdout);
    }
}

// Torn sheets from the camera's renderer: share of the torn area (less a 3-pixel rim for
// the outline's own error) that a white fill paints, per desk, and the cost of the fill
// against the perspective warp of the same cut-out from an 8-megapixel frame. Scenes per
// desk: the program's third argument, default 20.
void scoreTornFill(int perDesk)
{
    using namespace camvirtual;
    for (const char *deskName : {"wood", "plain", "pattern", "white"}) {
        DeskKind desk = DeskKind::Wood;
        parseDeskKind(deskName, &desk);
        double painted = 0;
        int scored = 0, missed = 0;
        for (int s = 0; s < perDesk; ++s) {
            SceneRequest req;
            req.desk = desk;
            req.seed = uint32_t(2000 + s);
            req.torn = true;
            const RenderedScene sc = renderScene(req);
            const std::vector<camproc::Quad> found = camproc::findDocuments(sc.image, false);
            if (found.empty()) {
                ++missed;
                continue;
            }
            cv::Mat drawn = cv::Mat::zeros(sc.image.size(), CV_8UC3);
            for (const std::vector<cv::Point2f> &outline : sc.truth.documents.front().tears) {
                std::vector<cv::Point> poly(outline.begin(), outline.end());
                cv::fillPoly(drawn, std::vector<std::vector<cv::Point>>{poly}, cv::Scalar::all(255));
            }
            cv::Mat torn;
            cv::cvtColor(camproc::warpDocument(drawn, found.front()).image, torn, cv::COLOR_BGR2GRAY);
            cv::erode(torn > 127, torn, cv::getStructuringElement(cv::MORPH_ELLIPSE, {7, 7}));
            IMAGEPARAM p{};
            p.nCropType = 1;
            p.nFillType = 1;
            const cv::Mat out = camproc::processFrame(sc.image, p).front();
            if (out.size() != torn.size() || !cv::countNonZero(torn)) {
                ++missed;
                continue;
            }
            cv::Mat white;
            cv::inRange(out, cv::Scalar::all(255), cv::Scalar::all(255), white);
            painted += double(cv::countNonZero(white & torn)) / cv::countNonZero(torn);
            ++scored;
        }
        std::printf("torn_area_white_%s %.1f %%\n", deskName, scored ? 100.0 * painted / scored : 0.0);
        std::printf("torn_scenes_not_scored_%s %d scenes\n", deskName, missed);
        std::fflush(stdout);
    }

    SceneRequest big;
    big.width = 3264;
    big.height = 2448;
    big.torn = true;
    const RenderedScene sc = renderScene(big);
    const std::vector<camproc::Quad> found = camproc::findDocuments(sc.image, false);
    if (found.empty())
        return;
    const camproc::Cut cut = camproc::warpDocument(sc.image, found.front());
    const double warp = seconds([&] { camproc::warpDocument(sc.image, found.front()); }, 5);
    auto copy = [&] {
        camproc::Cut c = cut;
        c.image = cut.image.clone();
        c.outside = cut.outside.clone();
        return c;
    };
    const double copying = seconds([&] { copy(); }, 5);
    const double fill = seconds(
                            [&] {
                                camproc::Cut c = copy();
                                camproc::fillOutside(c, 1);
                            },
                            5) -
                        copying;
    std::printf("torn_fill_cutout_%dx%d %.1f ms\n", cut.image.cols, cut.image.rows, fill * 1000);
    std::printf("torn_fill_vs_warp %.2f ratio\n", fill / warp);
}

} // namespace

int main(int argc, char **argv)
{
    const int perKind = argc > 1 ? std::max(0, std::atoi(argv[1])) : 50;
    const int virtualPerKind = argc > 2 ? std::max(0, std::atoi(argv[2])) : 50;
    timing();
    guideTiming();
    scoreOcr();
    if (virtualPerKind > 0)
        scoreVirtualCamera(virtualPerKind);
    if (perKind > 0)
        scoreDetection(perKind);
    const int tornPerDesk = argc > 3 ? std::max(0, std::atoi(argv[3])) : 20;
    if (tornPerDesk > 0)
        scoreTornFill(tornPerDesk);
    return 0;
}

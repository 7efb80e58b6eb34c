// Document detection on real photographs against corners marked by hand: the SmartDoc Jaccard
// index per photo and how much of the true page the single cut-out keeps (less than 90 % counts
// as a fragment: content lost). The photographs are not part of the repository.
// Usage: bench_photos [photo folder, default ../shared/photos beside the source tree]
//                     [folder to draw the outlines into, green marked and red found]
#include "detect.h"
#include "outlinescore.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>

int main(int argc, char **argv)
{
    const std::string folder = argc > 1 ? argv[1] : PAGELUX_SOURCE_DIR "/../shared/photos";
    const std::string drawTo = argc > 2 ? argv[2] : "";
    std::ifstream marks(PAGELUX_SOURCE_DIR "/bench/camera_process/photo_corners.txt");
    double sum = 0, worst = 1;
    int photos = 0, fragments = 0, missing = 0;
    std::string line;
    while (std::getline(marks, line)) {
        std::istringstream in(line);
        std::string name;
        camproc::Quad truth;
        if (line.empty() || line[0] == '#' || !(in >> name))
            continue;
        for (auto &p : truth)
            in >> p.x >> p.y;
        const cv::Mat img = cv::imread(folder + "/" + name, cv::IMREAD_COLOR);
        if (!in || img.empty()) {
            std::printf("photo_missing_%s 1 photo\n", name.c_str());
            ++missing;
            continue;
        }
        const auto t0 = std::chrono::steady_clock::now();
        const std::vector<camproc::Quad> found = camproc::findDocuments(img, false);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        // Nothing found: the capture keeps the whole frame.
        const float w = float(img.cols - 1), h = float(img.rows - 1);
        const camproc::Quad cut =
            found.empty() ? camproc::Quad{{{0, 0}, {w, 0}, {w, h}, {0, h}}} : found.front();
        const double j = outlinescore::jaccard(cut, truth);
        const double kept = outlinescore::kept(cut, truth);
        const std::string tag = name.substr(0, name.rfind('.'));
        std::printf("photo_jaccard_%s %.4f index\n", tag.c_str(), j);
        std::printf("photo_page_kept_%s %.1f %%\n", tag.c_str(), 100 * kept);
        std::printf("photo_search_%s %.0f ms\n", tag.c_str(), ms);
        std::fflush(stdout);
        sum += j;
        worst = std::min(worst, j);
        fragments += kept < 0.9;
        ++photos;
        if (!drawTo.empty()) {
            cv::Mat out = img.clone();
            const int thick = std::max(2, img.cols / 400);
            for (const auto &[q, colour] :
                 {std::pair{truth, cv::Scalar(0, 200, 0)}, {cut, cv::Scalar(0, 0, 255)}})
                cv::polylines(out, std::vector<cv::Point>(q.begin(), q.end()), true, colour, thick);
            cv::imwrite(drawTo + "/" + tag + ".jpg", out);
        }
    }
    std::printf("photo_jaccard_mean %.4f index\n", photos ? sum / photos : 0.0);
    std::printf("photo_jaccard_worst %.4f index\n", photos ? worst : 0.0);
    std::printf("photo_fragments %d photos\n", fragments);
    std::printf("photo_unreadable %d photos\n", missing);
    return photos ? 0 : 1;
}

#include "scenes.h"

#include <cmath>
#include <opencv2/imgproc.hpp>

namespace scenes {
namespace {

cv::Mat desk(Desk kind, cv::Size s, cv::RNG &rng)
{
    cv::Mat img(s, CV_8UC3);
    switch (kind) {
    case Desk::Wood: {
        const double f = rng.uniform(0.02, 0.05), warp = rng.uniform(10.0, 30.0);
        const cv::Vec3d base(rng.uniform(40, 70), rng.uniform(85, 120), rng.uniform(140, 180));
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                const double g = std::sin(f * y + warp * std::sin(x * 0.004 + y * 0.001)) * 0.5 + 0.5;
                const double k = 0.75 + 0.3 * g * g;
                img.at<cv::Vec3b>(y, x) =
                    cv::Vec3b(cv::saturate_cast<uchar>(base[0] * k), cv::saturate_cast<uchar>(base[1] * k),
                              cv::saturate_cast<uchar>(base[2] * k));
            }
        break;
    }
    case Desk::Plain:
        img.setTo(cv::Scalar(rng.uniform(30, 120), rng.uniform(30, 120), rng.uniform(30, 120)));
        break;
    case Desk::Pattern: {
        const int tile = rng.uniform(14, 36);
        const cv::Scalar a(rng.uniform(60, 200), rng.uniform(60, 200), rng.uniform(60, 200));
        const cv::Scalar b(rng.uniform(20, 120), rng.uniform(20, 120), rng.uniform(20, 120));
        img.setTo(a);
        for (int y = 0; y < s.height; y += tile)
            for (int x = (y / tile) % 2 * tile; x < s.width; x += 2 * tile)
                cv::rectangle(img, cv::Rect(x, y, tile, tile), b, cv::FILLED);
        for (int i = 0; i < 40; ++i)
            cv::circle(img, {rng.uniform(0, s.width), rng.uniform(0, s.height)}, rng.uniform(4, 14),
                       cv::Scalar(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255)), cv::FILLED);
        break;
    }
    case Desk::White:
        img.setTo(cv::Scalar(rng.uniform(222, 234), rng.uniform(224, 236), rng.uniform(226, 238)));
        break;
    }
    cv::Mat noise(s, CV_8UC3);
    rng.fill(noise, cv::RNG::NORMAL, 0, 4);
    img += noise;
    return img;
}

const char *kWords[] = {"camera", "document", "page",    "light", "scan",   "invoice", "total",   "paper",
                        "report", "meeting",  "summary", "table", "figure", "review",  "quality", "2026"};

void textLines(cv::Mat &img, cv::Rect area, double scale, cv::Scalar ink, cv::RNG &rng)
{
    const int lineHeight = int(30 * scale);
    for (int y = area.y + lineHeight; y < area.y + area.height; y += lineHeight) {
        std::string line;
        while (true) {
            const std::string next = line + (line.empty() ? "" : " ") + kWords[rng.uniform(0, 16)];
            int base = 0;
            if (cv::getTextSize(next, cv::FONT_HERSHEY_SIMPLEX, scale, 2, &base).width > area.width)
                break;
            line = next;
        }
        cv::putText(img, line, {area.x, y}, cv::FONT_HERSHEY_SIMPLEX, scale, ink, 2, cv::LINE_AA);
    }
}

cv::Mat receipt(cv::RNG &rng)
{
    cv::Mat img(900, 380, CV_8UC3, cv::Scalar(244, 246, 247));
    // Thermal print fades towards a light grey.
    const int ink = rng.uniform(150, 190);
    textLines(img, {24, 30, 330, 840}, 0.75, cv::Scalar::all(ink), rng);
    return img;
}

cv::Mat idCard(cv::RNG &rng)
{
    cv::Mat img(270, 428, CV_8UC3);
    const cv::Scalar tint(rng.uniform(190, 240), rng.uniform(200, 235), rng.uniform(150, 220));
    img.setTo(tint);
    cv::rectangle(img, cv::Rect(22, 50, 110, 140), cv::Scalar(150, 160, 170), cv::FILLED);
    cv::circle(img, {77, 105}, 30, cv::Scalar(90, 110, 140), cv::FILLED);
    textLines(img, {150, 40, 260, 200}, 0.6, cv::Scalar(40, 30, 30), rng);
    return img;
}

cv::Mat book(cv::RNG &rng, float &spine)
{
    cv::Mat left = renderPage({1040, 1400}, rng, false), right = renderPage({1040, 1400}, rng, false);
    const int cut = rng.uniform(-40, 40);
    cv::Mat spread;
    cv::hconcat(left.colRange(0, 1000 + cut), right.colRange(0, 1000 - cut), spread);
    spine = float(1000 + cut);
    // Gutter shadow where the pages curve into the binding.
    const double sigma = rng.uniform(25.0, 50.0), depth = rng.uniform(0.3, 0.5);
    for (int x = 0; x < spread.cols; ++x) {
        const double d = (x - spine) / sigma;
        spread.col(x) *= 1.0 - depth * std::exp(-d * d);
    }
    return spread;
}

// Skin-coloured hand reaching over one side of the quad from outside.
void hand(cv::Mat &img, const camproc::Quad &q, cv::RNG &rng)
{
    const int side = rng.uniform(0, 4);
    const cv::Point2f a = q[side], b = q[(side + 1) % 4];
    const cv::Point2f centre = (q[0] + q[1] + q[2] + q[3]) * 0.25f;
    cv::Point2f along = b - a;
    const float len = float(cv::norm(along));
    along *= 1.f / len;
    cv::Point2f out(-along.y, along.x);
    if (out.dot((a + b) * 0.5f - centre) < 0)
        out = -out;
    const cv::Point2f base = a + (b - a) * float(rng.uniform(0.3, 0.7));
    const cv::Scalar skin(rng.uniform(110, 150), rng.uniform(140, 175), rng.uniform(195, 235));
    const float reach = len * float(rng.uniform(0.03, 0.06)), width = len * 0.045f;
    const cv::Point2f palm = base + out * (len * 0.25f);
    cv::ellipse(img, cv::RotatedRect(palm, {len * 0.35f, len * 0.3f}, 0), skin, cv::FILLED, cv::LINE_AA);
    for (int f = -1; f <= 1; ++f) {
        const cv::Point2f tip = base + along * (f * width * 1.3f) - out * reach;
        cv::line(img, tip, palm + along * (f * width * 1.3f), skin, int(width), cv::LINE_AA);
    }
}

void place(cv::Mat &frame, const cv::Mat &flat, const camproc::Quad &q, Doc &doc)
{
    const cv::Point2f src[4] = {
        {0, 0}, {float(flat.cols), 0}, {float(flat.cols), float(flat.rows)}, {0, float(flat.rows)}};
    doc.toFrame = cv::getPerspectiveTransform(src, q.data());
    doc.corners = q;
    doc.flat = flat;
    cv::Mat warped, mask;
    cv::warpPerspective(flat, warped, doc.toFrame, frame.size(), cv::INTER_AREA);
    cv::warpPerspective(cv::Mat(flat.size(), CV_8U, cv::Scalar(255)), mask, doc.toFrame, frame.size(),
                        cv::INTER_LINEAR);
    cv::Mat m3, f;
    cv::merge(std::vector<cv::Mat>(3, mask), m3);
    m3.convertTo(m3, CV_32FC3, 1 / 255.0);
    frame.convertTo(f, CV_32FC3);
    warped.convertTo(warped, CV_32FC3);
    f = f.mul(cv::Scalar::all(1) - m3) + warped.mul(m3);
    f.convertTo(frame, CV_8UC3);
}

// A quad of the given model size around `centre`, turned and tilted a little.
camproc::Quad pose(cv::Size2f size, cv::Point2f centre, float scale, cv::RNG &rng, float maxTurn)
{
    const float angle = float(rng.uniform(-maxTurn, maxTurn)) * float(CV_PI / 180);
    const float c = std::cos(angle), s = std::sin(angle);
    const cv::Point2f half(size.width * scale / 2, size.height * scale / 2);
    const cv::Point2f corners[4] = {
        {-half.x, -half.y}, {half.x, -half.y}, {half.x, half.y}, {-half.x, half.y}};
    const float jitter = std::min(half.x, half.y) * 0.015f;
    camproc::Quad q;
    for (int k = 0; k < 4; ++k) {
        const cv::Point2f p = corners[k];
        q[k] = centre + cv::Point2f(c * p.x - s * p.y, s * p.x + c * p.y) +
               cv::Point2f(float(rng.uniform(-jitter, jitter)), float(rng.uniform(-jitter, jitter)));
    }
    return q;
}

void light(cv::Mat &img, cv::RNG &rng)
{
    cv::Mat gain(img.size(), CV_32F);
    const double gx = rng.uniform(-0.2, 0.2), gy = rng.uniform(-0.2, 0.2);
    const cv::Point2d shadow(rng.uniform(0, img.cols), rng.uniform(0, img.rows));
    const double radius = img.cols * rng.uniform(0.15, 0.35), depth = rng.uniform(0.1, 0.3);
    for (int y = 0; y < img.rows; ++y)
        for (int x = 0; x < img.cols; ++x) {
            const double d = std::hypot(x - shadow.x, y - shadow.y) / radius;
            gain.at<float>(y, x) =
                float((0.92 + gx * (x / double(img.cols) - 0.5) + gy * (y / double(img.rows) - 0.5)) *
                      (1 - depth * std::exp(-d * d)));
        }
    cv::Mat g3, f;
    cv::merge(std::vector<cv::Mat>(3, gain), g3);
    img.convertTo(f, CV_32FC3);
    f = f.mul(g3);
    cv::Mat noise(img.size(), CV_32FC3);
    rng.fill(noise, cv::RNG::NORMAL, 0, 2.5);
    f += noise;
    cv::GaussianBlur(f, f, cv::Size(), 0.8);
    f.convertTo(img, CV_8UC3);
}

} // namespace

cv::Mat renderPage(cv::Size size, cv::RNG &rng, bool stamp)
{
    cv::Mat img(size, CV_8UC3,
                cv::Scalar(rng.uniform(240, 250), rng.uniform(243, 251), rng.uniform(245, 252)));
    const int margin = size.width / 10;
    cv::putText(img, "Quarterly report", {margin, margin + 40}, cv::FONT_HERSHEY_DUPLEX, size.width / 600.0,
                cv::Scalar(20, 20, 20), 3, cv::LINE_AA);
    textLines(img, {margin, margin + 80, size.width - 2 * margin, size.height - 2 * margin - 80},
              size.width / 1100.0, cv::Scalar(30, 30, 30), rng);
    if (stamp) {
        const cv::Point c(size.width * 2 / 3, size.height * 3 / 4);
        const int r = size.width / 8;
        cv::circle(img, c, r, cv::Scalar(40, 40, 210), r / 10, cv::LINE_AA);
        cv::putText(img, "PAID", c - cv::Point(r / 2, -r / 6), cv::FONT_HERSHEY_DUPLEX, r / 60.0,
                    cv::Scalar(40, 40, 210), 3, cv::LINE_AA);
    }
    return img;
}

Scene make(Desk deskKind, Kind kind, unsigned seed, cv::Size frame)
{
    cv::RNG rng(seed * 7919u + unsigned(deskKind) * 131u + unsigned(kind));
    Scene scene;
    scene.image = desk(deskKind, frame, rng);
    const cv::Point2f mid(frame.width / 2.f, frame.height / 2.f);
    const float jitterX = frame.width * 0.05f, jitterY = frame.height * 0.05f;
    auto near = [&](cv::Point2f c) {
        return c + cv::Point2f(float(rng.uniform(-jitterX, jitterX)), float(rng.uniform(-jitterY, jitterY)));
    };
    std::vector<std::pair<cv::Mat, camproc::Quad>> docs;
    switch (kind) {
    case Kind::Page:
    case Kind::Hand: {
        const cv::Mat page = renderPage({1050, 1485}, rng, rng.uniform(0, 2) == 1);
        const float scale = float(frame.height * rng.uniform(0.6, 0.8) / page.rows);
        docs.push_back({page, pose(page.size(), near(mid), scale, rng, 12)});
        break;
    }
    case Kind::Receipt: {
        const cv::Mat r = receipt(rng);
        docs.push_back(
            {r, pose(r.size(), near(mid), float(frame.height * rng.uniform(0.6, 0.8) / r.rows), rng, 15)});
        break;
    }
    case Kind::IdCard: {
        const cv::Mat c = idCard(rng);
        docs.push_back(
            {c, pose(c.size(), near(mid), float(frame.width * rng.uniform(0.3, 0.45) / c.cols), rng, 20)});
        break;
    }
    case Kind::Several: {
        // Two to three documents on a grid of cells, never touching.
        const int n = rng.uniform(2, 4);
        for (int i = 0; i < n; ++i) {
            const cv::Mat d = i == 1 ? receipt(rng) : idCard(rng);
            const cv::Point2f c(frame.width * (i + 0.5f) / n,
                                mid.y + float(rng.uniform(-0.08, 0.08)) * frame.height);
            const float fit = std::min(frame.width * 0.7f / n / d.cols, frame.height * 0.7f / d.rows);
            docs.push_back({d, pose(d.size(), c, fit, rng, 6)});
        }
        break;
    }
    case Kind::Book: {
        const cv::Mat spread = book(rng, scene.spineX);
        docs.push_back({spread, pose(spread.size(), near(mid),
                                     float(frame.width * rng.uniform(0.7, 0.85) / spread.cols), rng, 5)});
        break;
    }
    }
    for (auto &[flat, q] : docs) {
        Doc doc;
        place(scene.image, flat, q, doc);
        scene.docs.push_back(doc);
    }
    if (kind == Kind::Hand)
        hand(scene.image, scene.docs.front().corners, rng);
    light(scene.image, rng);
    return scene;
}

double jaccard(const camproc::Quad &found, const Doc &truth)
{
    const cv::Mat toModel = truth.toFrame.inv();
    std::vector<cv::Point2f> f, model;
    cv::perspectiveTransform(std::vector<cv::Point2f>(found.begin(), found.end()), f, toModel);
    model = {{0, 0},
             {float(truth.flat.cols), 0},
             {float(truth.flat.cols), float(truth.flat.rows)},
             {0, float(truth.flat.rows)}};
    if (!cv::isContourConvex(f))
        return 0;
    const double i = camproc::overlapArea({f[0], f[1], f[2], f[3]}, {model[0], model[1], model[2], model[3]});
    const double u = cv::contourArea(f) + cv::contourArea(model) - i;
    return u > 0 ? i / u : 0;
}

double cornerError(const camproc::Quad &found, const Doc &truth)
{
    double worst = 0;
    for (int k = 0; k < 4; ++k)
        worst = std::max(worst, cv::norm(found[k] - truth.corners[k]));
    return worst;
}

double spineError(const std::vector<cv::Point2f> &spine, const Scene &book)
{
    if (spine.size() != 2 || book.docs.empty())
        return 1;
    std::vector<cv::Point2f> model;
    cv::perspectiveTransform(spine, model, book.docs.front().toFrame.inv());
    return std::abs((model[0].x + model[1].x) / 2 - book.spineX) / book.docs.front().flat.cols;
}

std::string name(Desk d)
{
    const char *n[] = {"wood", "plain", "pattern", "white"};
    return n[int(d)];
}

std::string name(Kind k)
{
    const char *n[] = {"page", "receipt", "idcard", "several", "book", "hand"};
    return n[int(k)];
}

} // namespace scenes

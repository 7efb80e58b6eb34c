#include "virtualscene.h"

#include <opencv2/freetype.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace camvirtual {

namespace {

const char *const kFontPaths[] = {
    "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
    "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc",
};

const char *const kEnglish[] = {
    "The quick brown fox jumps over the lazy dog near the riverbank.",
    "Please sign both copies of this agreement and return one to our office.",
    "All payments are due within thirty days of the invoice date.",
    "The committee will meet again on Thursday to review the annual budget.",
    "Results from the second quarter show a steady increase in sales.",
    "Keep this receipt as proof of purchase for warranty service.",
    "Chapter three describes the measurement method and its limits.",
    "The library is open from nine in the morning until eight at night.",
    "Each student must submit the report before the end of the term.",
    "Temperatures will fall sharply overnight with light snow expected.",
    "This document was scanned with an overhead document camera.",
    "Reading is to the mind what exercise is to the body.",
};

const char *const kChinese[] = {
    "本合同一式两份，甲乙双方各执一份，具有同等法律效力。",
    "会议定于下周四上午九点在三楼会议室举行，请准时参加。",
    "根据年度计划，第二季度的销售额比去年同期增长了百分之十二。",
    "请妥善保管本收据，作为售后服务和保修的凭证。",
    "图书馆开放时间为每天上午九点至晚上八点，节假日照常开放。",
    "本文件由高拍仪拍摄，用于测试文档裁切与图像增强效果。",
    "读书使人充实，讨论使人机智，笔记使人准确。",
    "天气预报显示今晚气温骤降，部分地区有小雪。",
    "学生须在学期结束前提交实验报告和课程总结。",
    "第三章介绍测量方法及其适用范围和误差来源。",
};

// Text on a document texture: FreeType with a CJK font when one is installed,
// else OpenCV's own Latin font (Chinese lines are then left out).
class TextPainter
{
public:
    TextPainter()
    {
        for (const char *path : kFontPaths) {
            try {
                auto ft = cv::freetype::createFreeType2();
                ft->loadFontData(path, 0);
                m_ft = ft;
                return;
            } catch (const cv::Exception &) {
            }
        }
    }
    bool hasCjk() const { return !m_ft.empty(); }

    int width(const std::string &text, int px) const
    {
        int base = 0;
        if (m_ft)
            return m_ft->getTextSize(text, px, -1, &base).width;
        return cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, px / 30.0, 1, &base).width;
    }

    // org is the left end of the baseline.
    void draw(cv::Mat &img, const std::string &text, cv::Point org, int px, cv::Scalar color) const
    {
        if (m_ft) {
            m_ft->putText(img, text, org, px, color, -1, cv::LINE_AA, true);
            return;
        }
        cv::putText(img, text, org, cv::FONT_HERSHEY_SIMPLEX, px / 30.0, color, std::max(1, px / 16),
                    cv::LINE_AA);
    }

private:
    cv::Ptr<cv::freetype::FreeType2> m_ft;
};

// Splits into words (ASCII runs with their trailing space) and single CJK
// characters, the units a line may break between.
std::vector<std::string> breakUnits(const std::string &text)
{
    std::vector<std::string> units;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            size_t j = i;
            while (j < text.size() && static_cast<unsigned char>(text[j]) < 0x80 && text[j] != ' ')
                ++j;
            while (j < text.size() && text[j] == ' ')
                ++j;
            if (j == i)
                ++j;
            units.push_back(text.substr(i, j - i));
            i = j;
        } else {
            size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            units.push_back(text.substr(i, len));
            i += len;
        }
    }
    return units;
}

// Draws text wrapped into [x, x+maxWidth]; returns the baseline after the last line.
int drawParagraph(cv::Mat &img, const TextPainter &tp, const std::string &text, int x, int y, int maxWidth,
                  int px, cv::Scalar color, int maxY, std::string *drawn = nullptr)
{
    const auto draw = [&](const std::string &line) {
        tp.draw(img, line, {x, y}, px, color);
        if (drawn)
            *drawn += line + "\n";
    };
    std::string line;
    for (const std::string &u : breakUnits(text)) {
        std::string next = line + u;
        if (!line.empty() && tp.width(next, px) > maxWidth) {
            if (y > maxY)
                return y;
            draw(line);
            y += px * 3 / 2;
            next = u;
        }
        line = next;
    }
    if (!line.empty() && y <= maxY) {
        draw(line);
        y += px * 3 / 2;
    }
    return y;
}

cv::Mat paper(cv::Size size, cv::Scalar tint, std::mt19937 &rng)
{
    cv::Mat img(size, CV_8UC3, tint);
    // Fibre-like low-frequency unevenness.
    cv::Mat low(8, 8, CV_8UC1);
    cv::RNG r(rng());
    r.fill(low, cv::RNG::UNIFORM, 0, 10);
    cv::resize(low, low, size, 0, 0, cv::INTER_CUBIC);
    cv::Mat low3;
    cv::cvtColor(low, low3, cv::COLOR_GRAY2BGR);
    cv::subtract(img, low3, img);
    return img;
}

std::string pick(const char *const *list, size_t n, std::mt19937 &rng)
{
    return list[rng() % n];
}

cv::Mat makePage(cv::Size size, const TextPainter &tp, std::mt19937 &rng, bool bookPage, int pageNo,
                 std::string *drawn = nullptr)
{
    cv::Mat img = paper(size, cv::Scalar(238, 243, 246), rng);
    const int w = size.width, h = size.height;
    const int margin = w / 10;
    const int px = std::max(8, w / 42);
    const cv::Scalar ink(35, 30, 30);
    int y = margin + px * 2;
    if (!bookPage) {
        y = drawParagraph(img, tp,
                          tp.hasCjk() ? "文档拍摄测试 Document Capture Test" : "Document Capture Test",
                          margin, y, w - 2 * margin, px * 2, cv::Scalar(20, 20, 20), h);
        y += px;
    }
    const int bottom = h - margin - px * 2;
    bool english = rng() % 2;
    int para = 0;
    while (y < bottom) {
        std::string text;
        const int sentences = 2 + rng() % 3;
        for (int s = 0; s < sentences; ++s) {
            if (english || !tp.hasCjk())
                text += pick(kEnglish, std::size(kEnglish), rng) + " ";
            else
                text += pick(kChinese, std::size(kChinese), rng);
        }
        y = drawParagraph(img, tp, text, margin, y, w - 2 * margin, px, ink, bottom, drawn);
        y += px / 2;
        english = !english;
        // A small bar chart as a figure after the second paragraph of a full page.
        if (!bookPage && ++para == 2 && y + h / 6 < bottom) {
            const int fh = h / 7, fw = w / 2, fx = margin + (w - 2 * margin - fw) / 2;
            cv::rectangle(img, cv::Rect(fx, y, fw, fh), ink, std::max(1, w / 600));
            const int bars = 6;
            for (int b = 0; b < bars; ++b) {
                const int bh = fh * (20 + static_cast<int>(rng() % 70)) / 100;
                const int bw = fw / (bars * 2);
                cv::rectangle(img, cv::Rect(fx + bw / 2 + b * 2 * bw, y + fh - bh, bw, bh - 2),
                              cv::Scalar(150 - b * 15, 90, 40 + b * 25), cv::FILLED);
            }
            y += fh + px * 2;
        }
    }
    tp.draw(img, std::to_string(pageNo), {w / 2 - px / 2, h - margin / 2}, px, ink);
    if (drawn)
        *drawn += std::to_string(pageNo) + "\n";
    return img;
}

cv::Mat makeReceipt(cv::Size size, const TextPainter &tp, std::mt19937 &rng)
{
    cv::Mat img = paper(size, cv::Scalar(240, 242, 244), rng);
    const int w = size.width, h = size.height;
    const int m = w / 12;
    const int px = std::max(8, w / 20);
    // Thermal print fades: a grey rather than black ink.
    const cv::Scalar ink(95, 90, 90);
    int y = m + px;
    tp.draw(img, "PAGELUX MARKET", {m + w / 8, y}, px * 5 / 4, ink);
    y += px * 2;
    if (tp.hasCjk()) {
        tp.draw(img, "购物小票  No. " + std::to_string(10000 + rng() % 90000), {m, y}, px, ink);
        y += px * 3 / 2;
    }
    tp.draw(img, "2024-03-18 14:" + std::to_string(10 + rng() % 50), {m, y}, px, ink);
    y += px * 2;
    static const char *const items[] = {"Milk 1L",      "Bread",    "Apples 1kg",   "Coffee beans",
                                        "Green tea",    "Rice 5kg", "Eggs x12",     "Notebook",
                                        "Ballpoint x3", "Soap",     "Orange juice", "Tissues"};
    int total = 0;
    const int count = 5 + rng() % 5;
    for (int i = 0; i < count && y < h * 2 / 3; ++i) {
        const int cents = 100 + static_cast<int>(rng() % 4000);
        total += cents;
        tp.draw(img, items[rng() % std::size(items)], {m, y}, px, ink);
        const std::string price = std::to_string(cents / 100) + "." + std::to_string(10 + cents % 90);
        tp.draw(img, price, {w - m - tp.width(price, px), y}, px, ink);
        y += px * 3 / 2;
    }
    cv::line(img, {m, y - px / 2}, {w - m, y - px / 2}, ink, std::max(1, w / 300));
    y += px;
    const std::string sum = std::to_string(total / 100) + "." + std::to_string(10 + total % 90);
    tp.draw(img, "TOTAL", {m, y}, px * 5 / 4, ink);
    tp.draw(img, sum, {w - m - tp.width(sum, px * 5 / 4), y}, px * 5 / 4, ink);
    y += px * 2;
    tp.draw(img, "Thank you for shopping!", {m, y}, px, ink);
    y += px;
    // Barcode.
    int x = m;
    const int barTop = std::min(y + px, h - m - h / 10);
    while (x < w - m) {
        const int bw = 1 + rng() % 3 * std::max(1, w / 250);
        if (rng() % 2)
            cv::rectangle(img, cv::Rect(x, barTop, bw, h / 12), ink, cv::FILLED);
        x += bw;
    }
    return img;
}

cv::Mat makeIdCard(cv::Size size, const TextPainter &tp, std::mt19937 &rng, bool front)
{
    cv::Mat img = paper(size, front ? cv::Scalar(236, 226, 206) : cv::Scalar(230, 232, 222), rng);
    const int w = size.width, h = size.height;
    // Guilloche background.
    for (int k = 0; k < 12; ++k) {
        std::vector<cv::Point> pts;
        const double phase = k * 0.5, amp = h * 0.04;
        for (int x = 0; x <= w; x += std::max(1, w / 80))
            pts.emplace_back(x,
                             static_cast<int>(h * (0.1 + k * 0.075) + amp * std::sin(x * 12.0 / w + phase)));
        cv::polylines(img, pts, false, cv::Scalar(215, 195, 170), 1, cv::LINE_AA);
    }
    const int px = std::max(8, h / 14);
    const cv::Scalar ink(40, 30, 30), label(150, 110, 60);
    const int m = w / 16;
    if (front) {
        const cv::Rect photo(w * 64 / 100, h * 15 / 100, w * 28 / 100, h * 58 / 100);
        cv::rectangle(img, photo, cv::Scalar(225, 222, 220), cv::FILLED);
        cv::circle(img, {photo.x + photo.width / 2, photo.y + photo.height * 2 / 5}, photo.width / 4,
                   cv::Scalar(140, 150, 170), cv::FILLED, cv::LINE_AA);
        cv::ellipse(img, {photo.x + photo.width / 2, photo.y + photo.height},
                    {photo.width * 4 / 10, photo.height * 4 / 10}, 0, 180, 360, cv::Scalar(80, 70, 70),
                    cv::FILLED, cv::LINE_AA);
        const bool cjk = tp.hasCjk();
        const char *rows[][2] = {
            {cjk ? "姓名" : "Name", cjk ? "张文华" : "ZHANG WENHUA"},
            {cjk ? "性别" : "Sex", cjk ? "男    民族  汉" : "M"},
            {cjk ? "出生" : "Born", cjk ? "1990 年 5 月 12 日" : "1990-05-12"},
            {cjk ? "住址" : "Address", cjk ? "北京市东城区样本路 8 号" : "8 Sample Road"}};
        int y = h * 22 / 100;
        for (auto &row : rows) {
            tp.draw(img, row[0], {m, y}, px, label);
            tp.draw(img, row[1], {m + px * 3, y}, px, ink);
            y += px * 2;
        }
        std::string number;
        for (int i = 0; i < 18; ++i)
            number += static_cast<char>('0' + rng() % 10);
        tp.draw(img, (cjk ? "公民身份号码  " : "No. ") + number, {m, h * 88 / 100}, px, ink);
    } else {
        cv::circle(img, {m + h / 5, h / 4}, h / 6, cv::Scalar(40, 40, 200), cv::FILLED, cv::LINE_AA);
        cv::circle(img, {m + h / 5, h / 4}, h / 10, cv::Scalar(60, 200, 230), cv::FILLED, cv::LINE_AA);
        const bool cjk = tp.hasCjk();
        tp.draw(img, cjk ? "中华人民共和国" : "SPECIMEN CARD", {m + h / 2, h / 4}, px * 3 / 2, ink);
        tp.draw(img, cjk ? "居民身份证  样本" : "IDENTITY CARD", {w / 4, h / 2}, px * 2, ink);
        tp.draw(img, cjk ? "签发机关  样本市公安局" : "Issued by Sample City", {w / 4, h * 72 / 100}, px,
                ink);
        tp.draw(img, cjk ? "有效期限  2020.01.01-2040.01.01" : "Valid 2020-2040", {w / 4, h * 86 / 100}, px,
                ink);
    }
    return img;
}

cv::Mat makePhoto(cv::Size size, std::mt19937 &rng)
{
    cv::Mat img(size, CV_8UC3, cv::Scalar(250, 250, 250));
    const int border = size.width / 25;
    cv::Rect inner(border, border, size.width - 2 * border, size.height - 2 * border);
    cv::Mat pic = img(inner);
    for (int y = 0; y < pic.rows; ++y) {
        const double t = static_cast<double>(y) / pic.rows;
        pic.row(y).setTo(cv::Scalar(230 - 60 * t, 170 - 30 * t, 90 + 40 * t));
    }
    const int hills = 3 + rng() % 3;
    for (int i = 0; i < hills; ++i) {
        const int cx = static_cast<int>(rng() % pic.cols), cy = pic.rows * (60 + i * 8) / 100;
        cv::ellipse(pic, {cx, cy + pic.rows / 3}, {pic.cols / 2, pic.rows / 2 - i * pic.rows / 20}, 0, 0, 360,
                    cv::Scalar(40 + i * 20, 120 + i * 25, 50 + i * 10), cv::FILLED, cv::LINE_AA);
    }
    cv::circle(pic, {pic.cols * 3 / 4, pic.rows / 4}, pic.rows / 9, cv::Scalar(120, 220, 255), cv::FILLED,
               cv::LINE_AA);
    return img;
}

cv::Mat makeDesk(cv::Size size, DeskKind kind, std::mt19937 &rng)
{
    cv::Mat desk(size, CV_8UC3);
    cv::RNG r(rng());
    switch (kind) {
    case DeskKind::Wood: {
        // Grain: noise stretched along x, bent by a slow wave.
        cv::Mat grain(size.height / 4 + 1, 16, CV_32F);
        r.fill(grain, cv::RNG::UNIFORM, 0.0, 1.0);
        cv::resize(grain, grain, size, 0, 0, cv::INTER_CUBIC);
        cv::GaussianBlur(grain, grain, cv::Size(0, 0), 1.0 + size.height / 900.0);
        const cv::Vec3f light(70, 120, 170), dark(30, 65, 110);
        for (int y = 0; y < size.height; ++y) {
            const float *g = grain.ptr<float>(y);
            cv::Vec3b *out = desk.ptr<cv::Vec3b>(y);
            for (int x = 0; x < size.width; ++x) {
                const float t =
                    std::clamp(g[x] * 0.7f + 0.15f * std::sin(y * 0.02f + x * 0.004f), 0.0f, 1.0f);
                const cv::Vec3f c = light * (1 - t) + dark * t;
                out[x] = cv::Vec3b(cv::saturate_cast<uchar>(c[0]), cv::saturate_cast<uchar>(c[1]),
                                   cv::saturate_cast<uchar>(c[2]));
            }
        }
        break;
    }
    case DeskKind::Plain:
        desk.setTo(cv::Scalar(95 + r.uniform(-15, 15), 100 + r.uniform(-15, 15), 105 + r.uniform(-15, 15)));
        break;
    case DeskKind::Pattern: {
        desk.setTo(cv::Scalar(120, 80, 60));
        const int cell = std::max(8, size.width / 24);
        for (int y = 0; y < size.height; y += cell)
            for (int x = (y / cell) % 2 * cell; x < size.width; x += 2 * cell)
                cv::rectangle(desk, cv::Rect(x, y, cell, cell), cv::Scalar(160, 130, 100), cv::FILLED);
        for (int x = 0; x < size.width; x += cell / 2)
            cv::line(desk, {x, 0}, {x, size.height}, cv::Scalar(90, 60, 45), 1);
        break;
    }
    case DeskKind::White:
        desk.setTo(cv::Scalar(218, 220, 222));
        break;
    }
    return desk;
}

struct Doc {
    std::string kind;
    cv::Mat texture; // BGR
    cv::Mat mask;    // 8UC1, 255 inside the document's own shape
    cv::Size2f sizeMm;
    double angle = 0;                            // degrees, on the desk
    cv::Point2f centre;                          // desk-plane position in frame pixels
    std::vector<std::vector<cv::Point2f>> tears; // texture pixels
};

cv::Mat fullMask(cv::Size size)
{
    return cv::Mat(size, CV_8UC1, cv::Scalar(255));
}

// Ragged line from a to b: each point wanders off the straight line by a random walk of
// at most `amp` pixels, pinned to zero at both ends.
std::vector<cv::Point2f> raggedLine(cv::Point2f a, cv::Point2f b, float amp, std::mt19937 &rng)
{
    const int steps = 40;
    const cv::Point2f along = b - a;
    const cv::Point2f normal = cv::Point2f(-along.y, along.x) / std::max(1.0f, float(cv::norm(along)));
    std::uniform_real_distribution<float> step(-0.35f, 0.35f);
    std::vector<cv::Point2f> line;
    float off = 0;
    for (int i = 0; i <= steps; ++i) {
        const float t = float(i) / steps;
        off = std::clamp(off + step(rng) * amp, -amp, amp);
        line.push_back(a + along * t + normal * (off * std::sin(float(CV_PI) * t)));
    }
    return line;
}

// Tears a corner off the sheet and bites a ragged stretch out of one of the two sides
// away from that corner. Outlines reach a pixel past the sheet so no sliver survives.
void tear(Doc &doc, std::mt19937 &rng)
{
    const float w = float(doc.texture.cols), h = float(doc.texture.rows), side = std::min(w, h);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int corner = int(rng() % 4); // TL, TR, BR, BL
    const cv::Point2f cornerPts[4] = {{-1, -1}, {w + 1, -1}, {w + 1, h + 1}, {-1, h + 1}};
    const cv::Point2f c = cornerPts[corner];
    const float sx = corner == 0 || corner == 3 ? 1.0f : -1.0f, sy = corner < 2 ? 1.0f : -1.0f;
    const float a = w * (0.10f + 0.10f * unit(rng)), b = h * (0.07f + 0.07f * unit(rng));
    std::vector<cv::Point2f> piece =
        raggedLine(c + cv::Point2f(sx * a, 0), c + cv::Point2f(0, sy * b), side * 0.012f, rng);
    piece.push_back(c);
    doc.tears.push_back(piece);

    // Sides: 0 top, 1 right, 2 bottom, 3 left; the corner touches sides `corner` and corner + 3.
    const int edge = (corner + 1 + int(rng() % 2)) % 4;
    const cv::Point2f ends[4][2] = {{{-1, -1}, {w + 1, -1}},
                                    {{w + 1, -1}, {w + 1, h + 1}},
                                    {{w + 1, h + 1}, {-1, h + 1}},
                                    {{-1, h + 1}, {-1, -1}}};
    const cv::Point2f e0 = ends[edge][0], e1 = ends[edge][1];
    const float start = 0.2f + 0.3f * unit(rng), length = 0.25f + 0.15f * unit(rng);
    const cv::Point2f p0 = e0 + (e1 - e0) * start, p1 = e0 + (e1 - e0) * (start + length);
    const cv::Point2f dir = (p1 - p0) / float(cv::norm(p1 - p0));
    const cv::Point2f inward(-dir.y, dir.x); // the sides run clockwise: inward is to their right
    const float depth = side * (0.015f + 0.02f * unit(rng));
    std::vector<cv::Point2f> bite = {p0};
    const std::vector<cv::Point2f> line = raggedLine(p0, p1, depth * 0.5f, rng);
    for (size_t i = 0; i < line.size(); ++i) {
        const float t = float(i) / float(line.size() - 1);
        bite.push_back(line[i] + inward * (depth * std::sqrt(std::max(0.0f, std::sin(float(CV_PI) * t)))));
    }
    bite.push_back(p1);
    doc.tears.push_back(bite);

    for (const auto &outline : doc.tears) {
        std::vector<cv::Point> poly;
        for (const cv::Point2f &p : outline)
            poly.emplace_back(cvRound(p.x), cvRound(p.y));
        cv::fillPoly(doc.mask, std::vector<std::vector<cv::Point>>{poly}, cv::Scalar(0));
    }
}

// Outline of an open spread in texture pixels: top-left, spine top, top-right, bottom-right,
// spine bottom, bottom-left.
using BookOutline = std::array<cv::Point2f, 6>;

BookOutline rectOutline(float w, float h, float dip)
{
    return {cv::Point2f(0, 0), {w / 2, dip}, {w, 0}, {w, h}, {w / 2, h - dip}, {0, h}};
}

// The gutter is darker where the paper turns away from the light.
void shadeGutter(cv::Mat &tex)
{
    const int w = tex.cols;
    for (int x = 0; x < w; ++x) {
        const float u = std::abs(2.0f * x / (w - 1) - 1.0f);
        const float shade = 1.0f - 0.45f * std::exp(-u * 18.0f);
        cv::Mat column = tex.col(x);
        column *= shade;
    }
}

void remapBook(Doc &doc, const cv::Mat &mapX, const cv::Mat &mapY)
{
    cv::Mat bent, mask;
    cv::remap(doc.texture, bent, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0, 0, 0));
    cv::remap(fullMask(doc.texture.size()), mask, mapX, mapY, cv::INTER_NEAREST, cv::BORDER_CONSTANT,
              cv::Scalar(0));
    doc.texture = bent;
    doc.mask = mask;
}

// Bends an open spread: the pages rise towards the spine, so seen from above
// the top and bottom edges dip inwards there.
BookOutline curveBook(Doc &doc)
{
    const int w = doc.texture.cols, h = doc.texture.rows;
    const float dip = h * 0.035f;
    cv::Mat mapX(h, w, CV_32F), mapY(h, w, CV_32F);
    for (int y = 0; y < h; ++y) {
        float *mx = mapX.ptr<float>(y), *my = mapY.ptr<float>(y);
        for (int x = 0; x < w; ++x) {
            const float u = std::abs(2.0f * x / (w - 1) - 1.0f); // 0 at spine, 1 at outer edge
            const float c = dip * (1 - u) * (1 - u);
            mx[x] = static_cast<float>(x);
            my[x] = (y - c) * h / (h - 2 * c);
        }
    }
    remapBook(doc, mapX, mapY);
    shadeGutter(doc.texture);
    return rectOutline(float(w), float(h), float(std::lround(dip)));
}

// Bows each page of a spread as a sheet rising from the spine, height z = A (1 - (1 - d)^3) at
// a share d of the page's horizontal extent, its length along the paper kept, seen by a camera
// at height f above the spine. Points at height z appear k = f / (f - z) times farther from
// the centre; everything is scaled by the largest k so the spread stays in its texture.
BookOutline bowBook(Doc &doc, uint32_t seed)
{
    const int w = doc.texture.cols, h = doc.texture.rows;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double f = w * (0.9 + 0.2 * unit(rng)), A = w * (0.06 + 0.05 * unit(rng));
    const double cx = w / 2.0, cy = h / 2.0, half = w / 2.0;
    // Horizontal extent xw of a page whose paper is `half` long.
    const int n = 4 * w;
    auto arc = [&](double xw, std::vector<double> *s) {
        double len = 0, zPrev = 0;
        for (int i = 1; i <= n; ++i) {
            const double d = double(i) / n, z = A * (1 - std::pow(1 - d, 3));
            len += std::hypot(xw / n, z - zPrev);
            zPrev = z;
            if (s)
                (*s)[size_t(i)] = len;
        }
        return len;
    };
    double xw = half;
    for (int it = 0; it < 6; ++it)
        xw *= half / arc(xw, nullptr);
    std::vector<double> s(size_t(n) + 1, 0.0), g(size_t(n) + 1), k(size_t(n) + 1);
    arc(xw, &s);
    for (int i = 0; i <= n; ++i) {
        const double d = double(i) / n;
        k[size_t(i)] = f / (f - A * (1 - std::pow(1 - d, 3)));
        g[size_t(i)] = xw * d * k[size_t(i)]; // distance from the spine as seen, before scaling
    }
    const double kmax = k.back();
    cv::Mat mapX(h, w, CV_32F), mapY(h, w, CV_32F);
    for (int x = 0; x < w; ++x) {
        const double seen = std::abs(x + 0.5 - cx) * kmax;
        float fx = -1, scale = 1;
        if (seen <= g.back()) {
            const size_t j =
                std::max<size_t>(1, size_t(std::lower_bound(g.begin(), g.end(), seen) - g.begin()));
            const double t = (seen - g[j - 1]) / std::max(1e-9, g[j] - g[j - 1]);
            const double along = s[j - 1] + t * (s[j] - s[j - 1]);
            fx = float(x + 0.5 < cx ? cx - along : cx + along) - 0.5f;
            scale = float(kmax / (k[j - 1] + t * (k[j] - k[j - 1])));
        }
        for (int y = 0; y < h; ++y) {
            mapX.at<float>(y, x) = fx;
            mapY.at<float>(y, x) = float(cy + (y + 0.5 - cy) * scale) - 0.5f;
        }
    }
    shadeGutter(doc.texture);
    remapBook(doc, mapX, mapY);
    const float top = float(cy * (1 - 1 / kmax));
    BookOutline o = rectOutline(float(w), float(h), top);
    o[0].x = o[5].x = float(cx - xw);
    o[2].x = o[3].x = float(cx + xw);
    return o;
}

cv::Point2f apply(const cv::Matx33d &h, cv::Point2f p)
{
    const cv::Vec3d v = h * cv::Vec3d(p.x, p.y, 1.0);
    return {static_cast<float>(v[0] / v[2]), static_cast<float>(v[1] / v[2])};
}

} // namespace

namespace {

template <typename T, size_t N>
bool parseName(const std::pair<const char *, T> (&names)[N], const std::string &name, T *out)
{
    for (const auto &n : names)
        if (name == n.first) {
            if (out)
                *out = n.second;
            return true;
        }
    return false;
}

} // namespace

bool parseSceneKind(const std::string &name, SceneKind *out)
{
    static const std::pair<const char *, SceneKind> names[] = {
        {"page", SceneKind::Page},     {"multi", SceneKind::Multi}, {"receipt", SceneKind::Receipt},
        {"idcard", SceneKind::IdCard}, {"book", SceneKind::Book},   {"photo", SceneKind::Photo},
        {"empty", SceneKind::Empty}};
    return parseName(names, name, out);
}

bool parseDeskKind(const std::string &name, DeskKind *out)
{
    static const std::pair<const char *, DeskKind> names[] = {{"wood", DeskKind::Wood},
                                                              {"plain", DeskKind::Plain},
                                                              {"pattern", DeskKind::Pattern},
                                                              {"white", DeskKind::White}};
    return parseName(names, name, out);
}

bool parseBookShape(const std::string &name, BookShape *out)
{
    static const std::pair<const char *, BookShape> names[] = {
        {"dip", BookShape::Dip}, {"bowed", BookShape::Bowed}, {"flat", BookShape::Flat}};
    return parseName(names, name, out);
}

struct SceneRenderer::Layout {
    SceneRequest request;
    cv::Mat desk;
    std::vector<Doc> docs;
    cv::Matx33d keystone;                     // desk plane -> frame (the camera looks slightly off vertical)
    cv::Mat light;                            // 8UC3 gain map, 255 = full light
    std::array<cv::Point2f, 6> bookOutline{}; // texture pixels, as curveBook gives it
    std::array<std::string, 2> bookText;
    double scale = 1; // frame pixels per millimetre on the desk

    // Texture -> frame homography of one document displaced by shift.
    cv::Matx33d homography(const Doc &doc, cv::Point2f shift) const
    {
        const double a = doc.angle * CV_PI / 180.0;
        const double sx = doc.sizeMm.width * scale / doc.texture.cols;
        const double sy = doc.sizeMm.height * scale / doc.texture.rows;
        const double c = std::cos(a), s = std::sin(a);
        const cv::Matx33d centre(1, 0, -doc.texture.cols / 2.0, 0, 1, -doc.texture.rows / 2.0, 0, 0, 1);
        const cv::Matx33d place(c * sx, -s * sy, doc.centre.x + shift.x, s * sx, c * sy,
                                doc.centre.y + shift.y, 0, 0, 1);
        return keystone * place * centre;
    }
};

SceneRenderer::SceneRenderer(const SceneRequest &request) : d(std::make_unique<Layout>())
{
    d->request = request;
    const int w = std::max(16, request.width), h = std::max(16, request.height);
    d->request.width = w;
    d->request.height = h;
    std::mt19937 rng(request.seed);
    d->desk = makeDesk({w, h}, request.desk, rng);

    // Document sizes in millimetres; textures are drawn at about the size they appear.
    struct Sheet {
        std::string kind;
        cv::Size2f mm;
        cv::Mat picture;
    };
    std::vector<Sheet> sheets;
    if (!request.documents.empty()) {
        for (const cv::Mat &pic : request.documents)
            if (!pic.empty() && pic.type() == CV_8UC3) {
                const float longSide = 210;
                const float ratio = static_cast<float>(pic.cols) / pic.rows;
                sheets.push_back({"picture",
                                  ratio >= 1 ? cv::Size2f(longSide, longSide / ratio)
                                             : cv::Size2f(longSide * ratio, longSide),
                                  pic});
            }
    } else {
        switch (request.scene) {
        case SceneKind::Page:
            sheets.push_back({"page", {210, 297}, {}});
            break;
        case SceneKind::Multi:
            sheets.push_back({"receipt", {80, 180}, {}});
            sheets.push_back({"idcard-front", {85.6f, 54}, {}});
            sheets.push_back({"photo", {152, 102}, {}});
            sheets.push_back({"note", {105, 148}, {}});
            break;
        case SceneKind::Receipt:
            sheets.push_back({"receipt", {80, 220}, {}});
            break;
        case SceneKind::IdCard:
            sheets.push_back({"idcard-front", {85.6f, 54}, {}});
            sheets.push_back({"idcard-back", {85.6f, 54}, {}});
            break;
        case SceneKind::Book:
            sheets.push_back({"book", {296, 210}, {}});
            break;
        case SceneKind::Photo:
            sheets.push_back({"photo", {152, 102}, {}});
            break;
        case SceneKind::Empty:
            break;
        }
    }

    // Grid of cells, one document per cell, all at one common scale.
    const int n = static_cast<int>(sheets.size());
    const int cols = n <= 1 ? 1 : n == 2 ? 2 : n <= 4 ? 2 : 3;
    const int rows = n <= 0 ? 1 : (n + cols - 1) / cols;
    const double cellW = static_cast<double>(w) / cols, cellH = static_cast<double>(h) / rows;
    const double maxAngle = n > 1 ? 14 : 6;
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<double> angles(n);
    d->scale = 1e9;
    for (int i = 0; i < n; ++i) {
        angles[i] = unit(rng) * maxAngle;
        const double a = std::abs(angles[i]) * CV_PI / 180.0;
        const double bw = sheets[i].mm.width * std::cos(a) + sheets[i].mm.height * std::sin(a);
        const double bh = sheets[i].mm.width * std::sin(a) + sheets[i].mm.height * std::cos(a);
        const double fill = n > 1 ? 0.78 : 0.84 + 0.04 * unit(rng);
        d->scale = std::min(d->scale, fill * std::min(cellW / bw, cellH / bh));
    }
    // A lone receipt or photo is not blown up to fill the frame.
    if (n == 1 && sheets[0].kind != "page" && sheets[0].kind != "book" && sheets[0].kind != "picture")
        d->scale *= 0.8;

    TextPainter tp;
    for (int i = 0; i < n; ++i) {
        Doc doc;
        doc.kind = sheets[i].kind;
        doc.sizeMm = sheets[i].mm;
        doc.angle = angles[i];
        const double slackX = cellW * 0.05, slackY = cellH * 0.05;
        doc.centre = cv::Point2f(static_cast<float>((i % cols + 0.5) * cellW + unit(rng) * slackX),
                                 static_cast<float>((i / cols + 0.5) * cellH + unit(rng) * slackY));
        const cv::Size tex(std::clamp(static_cast<int>(doc.sizeMm.width * d->scale), 64, 2600),
                           std::clamp(static_cast<int>(doc.sizeMm.height * d->scale), 64, 2600));
        if (doc.kind == "page" || doc.kind == "note")
            doc.texture = makePage(tex, tp, rng, false, 1 + i);
        else if (doc.kind == "receipt")
            doc.texture = makeReceipt(tex, tp, rng);
        else if (doc.kind == "idcard-front" || doc.kind == "idcard-back")
            doc.texture = makeIdCard(tex, tp, rng, doc.kind == "idcard-front");
        else if (doc.kind == "photo")
            doc.texture = makePhoto(tex, rng);
        else if (doc.kind == "picture")
            cv::resize(sheets[i].picture, doc.texture, tex, 0, 0, cv::INTER_AREA);
        else { // book: two pages side by side
            doc.texture.create(tex, CV_8UC3);
            const int half = tex.width / 2;
            makePage({half, tex.height}, tp, rng, true, 2 * i + 12, &d->bookText[0])
                .copyTo(doc.texture.colRange(0, half));
            makePage({tex.width - half, tex.height}, tp, rng, true, 2 * i + 13, &d->bookText[1])
                .copyTo(doc.texture.colRange(half, tex.width));
        }
        if (doc.kind == "book" && request.book == BookShape::Dip)
            d->bookOutline = curveBook(doc);
        else if (doc.kind == "book" && request.book == BookShape::Bowed)
            d->bookOutline = bowBook(doc, request.seed * 2246822519u + 3);
        else if (doc.kind == "book") {
            shadeGutter(doc.texture);
            doc.mask = fullMask(doc.texture.size());
            d->bookOutline = rectOutline(float(doc.texture.cols), float(doc.texture.rows), 0);
        } else
            doc.mask = fullMask(doc.texture.size());
        // A generator of its own, so that untorn scenes keep their exact layout.
        if (request.torn && doc.kind != "book" && doc.kind.rfind("idcard", 0) != 0) {
            std::mt19937 tearRng(request.seed * 2654435761u + static_cast<uint32_t>(i) + 1);
            tear(doc, tearRng);
        }
        d->docs.push_back(std::move(doc));
    }

    // Keystone: the far (top) edge of the desk appears a little narrower.
    const float inset = static_cast<float>(w * (0.015 + 0.02 * (unit(rng) + 1) / 2));
    const cv::Point2f src[4] = {{0, 0}, {float(w), 0}, {float(w), float(h)}, {0, float(h)}};
    const cv::Point2f dst[4] = {{inset, 0}, {w - inset, 0}, {float(w), float(h)}, {0, float(h)}};
    d->keystone = cv::Matx33d(cv::getPerspectiveTransform(src, dst));

    // Lamp light: brighter towards one corner, falling off to the edges.
    cv::Mat gain(48, 64, CV_32F);
    const double lx = 0.3 + 0.4 * (unit(rng) + 1) / 2, ly = 0.2 + 0.3 * (unit(rng) + 1) / 2;
    for (int y = 0; y < gain.rows; ++y)
        for (int x = 0; x < gain.cols; ++x) {
            const double dx = x / 63.0 - lx, dy = y / 47.0 - ly;
            gain.at<float>(y, x) =
                static_cast<float>(255.0 * (1.0 - 0.35 * std::min(1.0, dx * dx + dy * dy)));
        }
    cv::Mat gain8;
    gain.convertTo(gain8, CV_8U);
    cv::resize(gain8, gain8, {w, h}, 0, 0, cv::INTER_LINEAR);
    cv::cvtColor(gain8, d->light, cv::COLOR_GRAY2BGR);
}

SceneRenderer::~SceneRenderer() = default;

const SceneRequest &SceneRenderer::request() const
{
    return d->request;
}

RenderedScene SceneRenderer::render(cv::Point2f shift, bool hand, uint32_t noiseSeed) const
{
    const int w = d->request.width, h = d->request.height;
    RenderedScene out;
    cv::Mat canvas = d->desk.clone();
    const cv::Rect frame(0, 0, w, h);

    // Soft shadows first, from every document and the hand, on a small map.
    const int sf = 4;
    cv::Mat shadow(h / sf + 1, w / sf + 1, CV_8UC1, cv::Scalar(0));
    const cv::Matx33d down(1.0 / sf, 0, w * 0.004, 0, 1.0 / sf, h * 0.006, 0, 0, 1);
    for (const Doc &doc : d->docs) {
        cv::Mat m;
        cv::warpPerspective(doc.mask, m, down * d->homography(doc, shift), shadow.size(), cv::INTER_LINEAR,
                            cv::BORDER_CONSTANT);
        cv::max(shadow, m, shadow);
    }

    // The hand comes in from the bottom edge towards the first document.
    std::vector<cv::Point> arm;
    cv::Point palm;
    int palmR = std::max(4, std::min(w, h) / 12);
    if (hand) {
        const cv::Point2f target =
            d->docs.empty() ? cv::Point2f(w / 2.0f, h / 2.0f) : d->docs[0].centre + shift;
        palm = cv::Point(static_cast<int>(target.x), static_cast<int>(std::max(target.y, h * 0.55f)));
        arm = {{palm.x - palmR, palm.y},
               {palm.x + palmR, palm.y},
               {palm.x + palmR * 3 / 2, h + palmR},
               {palm.x - palmR * 3 / 2, h + palmR}};
        std::vector<cv::Point> small;
        for (const cv::Point &p : arm)
            small.emplace_back(p.x / sf + w / 200, p.y / sf + h / 100);
        cv::fillConvexPoly(shadow, small, cv::Scalar(255));
        cv::circle(shadow, cv::Point(palm.x / sf + w / 200, palm.y / sf + h / 100), palmR / sf,
                   cv::Scalar(255), cv::FILLED);
    }
    cv::GaussianBlur(shadow, shadow, cv::Size(0, 0), std::max(1.5, w / 400.0));
    cv::Mat shade;
    cv::subtract(cv::Scalar(255), shadow * 0.4, shade);
    cv::resize(shade, shade, {w, h}, 0, 0, cv::INTER_LINEAR);
    cv::cvtColor(shade, shade, cv::COLOR_GRAY2BGR);
    cv::multiply(canvas, shade, canvas, 1.0 / 255);

    for (size_t i = 0; i < d->docs.size(); ++i) {
        const Doc &doc = d->docs[i];
        const cv::Matx33d H = d->homography(doc, shift);
        const float tw = static_cast<float>(doc.texture.cols), th = static_cast<float>(doc.texture.rows);
        Quad q = {apply(H, {0, 0}), apply(H, {tw, 0}), apply(H, {tw, th}), apply(H, {0, th})};
        const auto &o = d->bookOutline;
        if (doc.kind == "book")
            q = {apply(H, o[0]), apply(H, o[2]), apply(H, o[3]), apply(H, o[5])};
        DocumentTruth truth{doc.kind, q, {}};
        for (const auto &outline : doc.tears) {
            truth.tears.emplace_back();
            for (const cv::Point2f &p : outline)
                truth.tears.back().push_back(apply(H, p));
        }
        out.truth.documents.push_back(truth);
        if (doc.kind == "book") {
            out.truth.hasBook = true;
            out.truth.pageText = d->bookText;
            out.truth.spineTop = apply(H, o[1]);
            out.truth.spineBottom = apply(H, o[4]);
            out.truth.leftPage = {q[0], out.truth.spineTop, out.truth.spineBottom, q[3]};
            out.truth.rightPage = {out.truth.spineTop, q[1], q[2], out.truth.spineBottom};
        }
        std::vector<cv::Point2f> qv(q.begin(), q.end());
        const cv::Rect roi = cv::boundingRect(qv) & frame;
        if (roi.empty())
            continue;
        const cv::Matx33d toRoi = cv::Matx33d(1, 0, -roi.x, 0, 1, -roi.y, 0, 0, 1) * H;
        cv::Mat tex, mask;
        cv::warpPerspective(doc.texture, tex, toRoi, roi.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        cv::warpPerspective(doc.mask, mask, toRoi, roi.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        tex.copyTo(canvas(roi), mask > 127);
    }

    if (hand) {
        const cv::Scalar skin(125, 150, 205);
        cv::fillConvexPoly(canvas, arm, skin, cv::LINE_AA);
        cv::circle(canvas, palm, palmR, skin, cv::FILLED, cv::LINE_AA);
        for (int f = -2; f <= 1; ++f)
            cv::ellipse(canvas, {palm.x + f * palmR / 2 + palmR / 4, palm.y - palmR},
                        {palmR / 5, palmR * 3 / 5}, 0, 0, 360, skin, cv::FILLED, cv::LINE_AA);
    }

    cv::multiply(canvas, d->light, canvas, 1.0 / 255);
    // Lens softness, then sensor noise.
    cv::GaussianBlur(canvas, canvas, cv::Size(3, 3), 0.8);
    cv::Mat noise(canvas.size(), CV_16SC3);
    cv::RNG(d->request.seed * 7919u + noiseSeed + 1).fill(noise, cv::RNG::NORMAL, 0, 2.5);
    cv::add(canvas, noise, canvas, cv::noArray(), CV_8UC3);
    out.image = canvas;
    return out;
}

RenderedScene renderScene(const SceneRequest &request)
{
    return SceneRenderer(request).render();
}

namespace {

// A w x h rectangle centred at c, turned by `degrees`.
Quad turned(cv::Point2f c, float w, float h, float degrees)
{
    const float a = degrees * float(CV_PI) / 180.f, cs = std::cos(a), sn = std::sin(a);
    Quad q;
    const cv::Point2f half[4] = {{-w / 2, -h / 2}, {w / 2, -h / 2}, {w / 2, h / 2}, {-w / 2, h / 2}};
    for (int k = 0; k < 4; ++k)
        q[size_t(k)] = c + cv::Point2f(half[k].x * cs - half[k].y * sn, half[k].x * sn + half[k].y * cs);
    return q;
}

// Lays the picture (inside `mask`) on the canvas with its corners on q; returns the mapping.
cv::Matx33d lay(cv::Mat &canvas, const cv::Mat &picture, const cv::Mat &mask, const Quad &q)
{
    const float w = float(picture.cols), h = float(picture.rows);
    const cv::Point2f src[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    const cv::Matx33d H(cv::getPerspectiveTransform(src, q.data()));
    cv::Mat warped, inside;
    cv::warpPerspective(picture, warped, H, canvas.size(), cv::INTER_AREA, cv::BORDER_CONSTANT);
    cv::warpPerspective(mask, inside, H, canvas.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
    warped.copyTo(canvas, inside > 127);
    return H;
}

// A soft shadow of the outline cast down and to the right.
void castShadow(cv::Mat &canvas, const Quad &q)
{
    cv::Mat shadow(canvas.size(), CV_8U, cv::Scalar(0));
    std::vector<cv::Point> poly;
    for (const cv::Point2f &p : q)
        poly.emplace_back(cvRound(p.x + canvas.cols * 0.004), cvRound(p.y + canvas.rows * 0.006));
    cv::fillConvexPoly(shadow, poly, cv::Scalar(90));
    cv::GaussianBlur(shadow, shadow, cv::Size(0, 0), canvas.cols / 300.0 + 1);
    cv::Mat shade;
    cv::cvtColor(255 - shadow, shade, cv::COLOR_GRAY2BGR);
    cv::multiply(canvas, shade, canvas, 1.0 / 255);
}

// Light falling off from the middle, lens softness and sensor noise.
void expose(cv::Mat &canvas, uint32_t seed)
{
    cv::Mat gain(canvas.size(), CV_32FC3);
    for (int y = 0; y < canvas.rows; ++y)
        for (int x = 0; x < canvas.cols; ++x) {
            const float dx = float(x) / canvas.cols - 0.45f, dy = float(y) / canvas.rows - 0.4f;
            const float g = 1.f - 0.3f * std::min(1.f, dx * dx + dy * dy);
            gain.at<cv::Vec3f>(y, x) = cv::Vec3f(g, g, g);
        }
    canvas.convertTo(canvas, CV_32FC3);
    canvas = canvas.mul(gain);
    canvas.convertTo(canvas, CV_8UC3);
    cv::GaussianBlur(canvas, canvas, cv::Size(3, 3), 0.8);
    cv::Mat noise(canvas.size(), CV_16SC3);
    cv::RNG(seed * 7919u + 1).fill(noise, cv::RNG::NORMAL, 0, 2.5);
    cv::add(canvas, noise, canvas, cv::noArray(), CV_8UC3);
}

// A ruled table of `rows` x `cols` cells with a word in each, over `area` of the page.
void drawTable(cv::Mat &page, cv::Rect area, int rows, int cols, const TextPainter &tp, std::mt19937 &rng)
{
    const cv::Scalar ink(40, 35, 35);
    const int t = std::max(2, page.cols / 300);
    page(area).setTo(cv::Scalar(240, 244, 246));
    cv::rectangle(page, area, ink, 2 * t);
    for (int r = 1; r < rows; ++r)
        cv::line(page, {area.x, area.y + area.height * r / rows},
                 {area.x + area.width, area.y + area.height * r / rows}, ink, t);
    for (int c = 1; c < cols; ++c)
        cv::line(page, {area.x + area.width * c / cols, area.y},
                 {area.x + area.width * c / cols, area.y + area.height}, ink, t);
    const int px = area.height / rows / 2;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            tp.draw(page, pick(kEnglish, std::size(kEnglish), rng).substr(0, 10),
                    {area.x + area.width * c / cols + px / 2, area.y + area.height * r / rows + px * 3 / 2},
                    px, ink);
}

// Where the line through a and b crosses the row y.
cv::Point2f atRow(cv::Point2f a, cv::Point2f b, float y)
{
    return a + (b - a) * ((y - a.y) / (b.y - a.y));
}

// A hand holding a document, its thumb reaching to `tip` over the document's side and its arm
// running out of the frame towards `from`; `size` is about the palm's width.
void drawHand(cv::Mat &canvas, cv::Point2f tip, cv::Point2f from, float size)
{
    const cv::Scalar skin(105, 135, 195);
    const cv::Point2f d = (from - tip) * (1.f / float(cv::norm(from - tip))), n(-d.y, d.x);
    const cv::Point2f palm = tip + d * (1.3f * size), end = from + d * size;
    const std::vector<cv::Point> arm{palm + n * (0.45f * size), end + n * (0.6f * size),
                                     end - n * (0.6f * size), palm - n * (0.45f * size)};
    cv::fillConvexPoly(canvas, arm, skin * 0.9, cv::LINE_AA);
    cv::circle(canvas, palm, int(0.55f * size), skin, cv::FILLED, cv::LINE_AA);
    const cv::Point2f thumb = tip + d * (0.5f * size);
    cv::ellipse(
        canvas,
        cv::RotatedRect(thumb, {1.1f * size, 0.32f * size}, std::atan2(d.y, d.x) * 180.f / float(CV_PI)),
        skin * 1.05, cv::FILLED, cv::LINE_AA);
}

// A room seen through the camera held level: a wall, a bright window with its bars, a cabinet,
// a sofa and the floor.
cv::Mat makeRoom(cv::Size size, std::mt19937 &rng)
{
    const int w = size.width, h = size.height;
    std::uniform_int_distribution<int> jitter(-w / 40, w / 40);
    cv::Mat room(size, CV_8UC3, cv::Scalar(150, 172, 188));
    cv::rectangle(room, cv::Rect(0, h * 3 / 4, w, h), cv::Scalar(55, 80, 105), cv::FILLED);
    const cv::Rect window(w * 62 / 100 + jitter(rng), h / 20, w * 30 / 100, h * 55 / 100);
    cv::rectangle(room, window, cv::Scalar(252, 252, 250), cv::FILLED);
    const int bar = std::max(3, w / 120);
    cv::rectangle(room, window, cv::Scalar(200, 205, 210), bar);
    cv::line(room, {window.x + window.width / 2, window.y}, {window.x + window.width / 2, window.br().y},
             cv::Scalar(200, 205, 210), bar);
    cv::line(room, {window.x, window.y + window.height / 2}, {window.br().x, window.y + window.height / 2},
             cv::Scalar(200, 205, 210), bar);
    cv::rectangle(room, cv::Rect(w / 20 + jitter(rng), h * 35 / 100, w / 4, h / 2), cv::Scalar(40, 62, 92),
                  cv::FILLED);
    cv::rectangle(room, cv::Rect(w * 6 / 10, h * 62 / 100, w / 2, h / 4), cv::Scalar(120, 105, 95),
                  cv::FILLED);
    return room;
}

} // namespace

RenderedScene renderHardScene(HardScene kind, uint32_t seed, cv::Size size)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(-1.f, 1.f);
    const float w = float(size.width), h = float(size.height);
    TextPainter tp;
    RenderedScene out;
    cv::Mat canvas =
        kind == HardScene::HeldSheet
            ? makeRoom(size, rng)
            : makeDesk(size, kind == HardScene::PhotoPage ? DeskKind::Plain : DeskKind::Wood, rng);
    Quad truth{};
    if (kind == HardScene::TablePage) {
        // Page width 85 % of the frame: its foot runs out of view.
        const float pw = 0.85f * w, ph = pw * 1.414f;
        cv::Mat page = makePage({int(pw / 2), int(ph / 2)}, tp, rng, false, 1);
        drawTable(page, cv::Rect(page.cols / 8, page.rows / 5, page.cols * 3 / 4, page.rows / 3), 8, 4, tp,
                  rng);
        const Quad q = turned({w / 2 + unit(rng) * w * 0.02f, 0.06f * h + ph / 2}, pw, ph, unit(rng) * 3.f);
        castShadow(canvas, q);
        lay(canvas, page, fullMask(page.size()), q);
        // In view: the sides down to the frame's bottom row.
        truth = {q[0], q[1], atRow(q[1], q[2], h - 1), atRow(q[0], q[3], h - 1)};
    } else if (kind == HardScene::FullPage) {
        const int variant = int((seed + 2) % 3);
        const float pw = variant == 2 ? 0.8f * w : 1.2f * w, ph = std::max(1.6f * h, pw * 1.414f);
        cv::Mat page = makePage({int(pw / 2), int(ph / 2)}, tp, rng, false, 1);
        drawTable(page, cv::Rect(page.cols / 8, page.rows * 3 / 10, page.cols / 2, page.rows / 4), 6, 3, tp,
                  rng);
        Quad q = turned({0, 0}, pw, ph, unit(rng) * 3.f);
        // Its left edge (and top edge) in view; the rest runs out of the frame.
        const cv::Point2f corner =
            variant == 1 ? cv::Point2f(0.12f * w, 0.1f * h)
                         : cv::Point2f(0.15f * w, 0.5f * (h - ph)) + cv::Point2f(0, unit(rng) * 0.02f * h);
        const cv::Point2f to = corner - q[0];
        for (cv::Point2f &p : q)
            p += to;
        castShadow(canvas, q);
        lay(canvas, page, fullMask(page.size()), q);
        const cv::Point2f top(w - 1, 0), bottom(w - 1, h - 1);
        if (variant == 0)
            truth = {atRow(q[0], q[3], 0), top, bottom, atRow(q[0], q[3], h - 1)};
        else if (variant == 1)
            truth = {q[0], q[0] + (q[1] - q[0]) * ((w - 1 - q[0].x) / (q[1].x - q[0].x)), bottom,
                     atRow(q[0], q[3], h - 1)};
        else
            truth = {atRow(q[0], q[3], 0), atRow(q[1], q[2], 0), atRow(q[1], q[2], h - 1),
                     atRow(q[0], q[3], h - 1)};
    } else if (kind == HardScene::HeldCard || kind == HardScene::HeldSheet) {
        const bool card = kind == HardScene::HeldCard;
        const float dw = card ? 0.55f * w : 0.7f * h / 1.414f, dh = card ? dw / 1.585f : 0.7f * h;
        truth = turned({(card ? 0.52f : 0.42f) * w + unit(rng) * 0.04f * w, 0.5f * h + unit(rng) * 0.04f * h},
                       dw, dh, unit(rng) * 5.f);
        // Seen a little from the side: the far side shorter.
        truth[1] += (truth[2] - truth[1]) * 0.03f;
        truth[2] += (truth[1] - truth[2]) * 0.03f;
        cv::Mat doc = card ? makeIdCard({int(dw), int(dh)}, tp, rng, true)
                           : makePage({int(dw), int(dh)}, tp, rng, false, 1);
        cv::Point2f tip, from;
        if (card) {
            // The second card, behind, runs out of view at the left.
            const cv::Point2f off(-0.5f * dw, -0.12f * dh);
            const Quad behind{
                truth[0] + off - cv::Point2f(0.3f * dw, 0), truth[0] + off + cv::Point2f(0.55f * dw, 0),
                truth[3] + off + cv::Point2f(0.55f * dw, 0), truth[3] + off - cv::Point2f(0.3f * dw, 0)};
            cv::Mat other = paper({int(dw), int(dh)}, cv::Scalar(215, 232, 222), rng);
            castShadow(canvas, behind);
            lay(canvas, other, fullMask(other.size()), behind);
            castShadow(canvas, truth);
            tip = (truth[0] + truth[3]) * 0.5f + (truth[1] - truth[0]) * 0.07f;
            from = {-0.1f * w, tip.y + 0.3f * h};
        } else {
            // Held up in the room's light, darker than the window.
            doc *= 0.85;
            tip = (truth[3] + truth[2]) * 0.5f + (truth[0] - truth[3]) * 0.06f;
            from = {tip.x + 0.1f * w, 1.1f * h};
        }
        lay(canvas, doc, fullMask(doc.size()), truth);
        drawHand(canvas, tip, from, 0.09f * w);
    } else if (kind == HardScene::PhotoPage) {
        const float ph = 0.84f * h, pw = ph / 1.414f;
        cv::Mat page = makePage({int(pw), int(ph)}, tp, rng, false, 1);
        const cv::Rect photo(page.cols / 8, page.rows * 3 / 10, page.cols * 3 / 4, page.rows * 2 / 5);
        makePhoto(photo.size(), rng).copyTo(page(photo));
        truth = turned({w / 2 + unit(rng) * w * 0.05f, h / 2}, pw, ph, unit(rng) * 6.f);
        castShadow(canvas, truth);
        lay(canvas, page, fullMask(page.size()), truth);
    } else if (kind == HardScene::TableEdge) {
        const float ph = 0.62f * h, pw = ph / 1.414f;
        truth = turned({w * 0.45f, h / 2 + unit(rng) * h * 0.04f}, pw, ph, unit(rng) * 4.f);
        // The table ends a little to the right of the sheet; the floor beyond is pale.
        const float edge = std::max(truth[1].x, truth[2].x) + w * (0.015f + 0.01f * unit(rng));
        const float lean = unit(rng) * w * 0.02f;
        const std::vector<cv::Point> floor{{int(edge + lean), 0},
                                           {size.width, 0},
                                           {size.width, size.height},
                                           {int(edge - lean), size.height}};
        cv::fillConvexPoly(canvas, floor, cv::Scalar(200, 208, 214), cv::LINE_AA);
        castShadow(canvas, truth);
        cv::Mat page = makePage({int(pw), int(ph)}, tp, rng, false, 1);
        lay(canvas, page, fullMask(page.size()), truth);
    } else {
        // Both pages of the spread, bent sharply near the gutter and shaded into it.
        const float ph = 0.94f * h, pw = ph / 1.414f;
        const int tw = int(pw), th = int(ph);
        cv::Mat spread(th, 2 * tw, CV_8UC3);
        makePage({tw, th}, tp, rng, true, 12).copyTo(spread.colRange(0, tw));
        makePage({tw, th}, tp, rng, true, 13).copyTo(spread.colRange(tw, 2 * tw));
        const float dip = 0.07f * ph;
        cv::Mat mapX(th, 2 * tw, CV_32F), mapY(th, 2 * tw, CV_32F);
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < 2 * tw; ++x) {
                const float u = std::abs(float(x - tw)) / float(tw), c = dip * std::pow(1.f - u, 4.f);
                mapX.at<float>(y, x) = float(x);
                mapY.at<float>(y, x) = (float(y) - c) * float(th) / (float(th) - 2 * c);
            }
        cv::Mat bent, mask;
        cv::remap(spread, bent, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        cv::remap(fullMask(spread.size()), mask, mapX, mapY, cv::INTER_NEAREST, cv::BORDER_CONSTANT);
        // The curl rounds both pages off into the gutter: the desk shows between them down to where
        // they meet, below the pages' edges beside it.
        const float meet = dip + 0.03f * ph;
        const int notch = tw / 15;
        for (const int apex : {int(meet), th - 1 - int(meet)}) {
            const int base = apex < th / 2 ? 0 : th - 1;
            cv::fillConvexPoly(mask,
                               std::vector<cv::Point>{{tw - notch, base}, {tw, apex}, {tw + notch, base}},
                               cv::Scalar(0), cv::LINE_AA);
        }
        for (int x = 0; x < 2 * tw; ++x) {
            cv::Mat column = bent.col(x);
            column *= 1.0 - 0.5 * std::exp(-std::abs(double(x - tw)) / tw * 25.0);
        }
        const Quad q = turned({w * 0.12f + pw, h / 2 + unit(rng) * h * 0.02f}, 2 * pw, ph, unit(rng) * 2.f);
        castShadow(canvas, q);
        // The edges of the pages below, seen past the page's outer edge.
        const cv::Point2f out(-0.03f * w, 0.02f * h);
        const std::vector<cv::Point> stack{q[0], q[0] + out, q[3] + out * 0.5f, q[3]};
        cv::fillConvexPoly(canvas, stack, cv::Scalar(200, 210, 215), cv::LINE_AA);
        for (int i = 1; i < 8; ++i)
            cv::line(canvas, q[0] + out * (i / 8.f), q[3] + out * (i / 16.f), cv::Scalar(170, 180, 185), 1,
                     cv::LINE_AA);
        const cv::Matx33d H = lay(canvas, bent, mask, q);
        truth = {q[0], apply(H, {float(tw), meet}), apply(H, {float(tw), float(th) - 1 - meet}), q[3]};
    }
    expose(canvas, seed);
    out.image = canvas;
    out.truth.documents.push_back({"page", truth, {}});
    return out;
}

} // namespace camvirtual

#include "ocrscore.h"

#include <algorithm>
#include <codecvt>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <unistd.h>
#include <vector>

std::u32string withoutSpace(const std::string &utf8)
{
    std::u32string out;
    for (char32_t c : std::wstring_convert<std::codecvt_utf8<char32_t>, char32_t>().from_bytes(utf8))
        if (c != U' ' && c != U'\n' && c != U'\t' && c != U'\f')
            out += c;
    return out;
}

double ocrCer(const cv::Mat &img, const std::u32string &truth)
{
    const std::string base = "/tmp/bench_ocrscore_" + std::to_string(getpid());
    cv::imwrite(base + ".png", img);
    const std::string cmd = "tesseract " + base + ".png " + base + " -l chi_sim+eng --psm 6 >/dev/null 2>&1";
    const bool ran = std::system(cmd.c_str()) == 0;
    std::ifstream in(base + ".txt");
    std::stringstream text;
    text << in.rdbuf();
    std::remove((base + ".png").c_str());
    std::remove((base + ".txt").c_str());
    if (!ran)
        return 1.0;
    const std::u32string read = withoutSpace(text.str());
    // Levenshtein distance, one row at a time.
    std::vector<size_t> row(read.size() + 1);
    for (size_t j = 0; j <= read.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= truth.size(); ++i) {
        size_t diag = row[0];
        row[0] = i;
        for (size_t j = 1; j <= read.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (truth[i - 1] != read[j - 1])});
            diag = up;
        }
    }
    return double(row[read.size()]) / truth.size();
}

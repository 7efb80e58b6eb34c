// Tesseract's reading of a picture scored against the text printed on it.
#ifndef BENCH_OCRSCORE_H
#define BENCH_OCRSCORE_H

#include <opencv2/core.hpp>
#include <string>

// Character error rate of Tesseract's reading (chi_sim+eng) of `img` against `truth`, white
// space ignored; 1 when Tesseract cannot run.
double ocrCer(const cv::Mat &img, const std::u32string &truth);

// UTF-8 to code points, white space left out.
std::u32string withoutSpace(const std::string &utf8);

#endif

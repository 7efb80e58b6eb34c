// Joining the two sides of an ID card into one picture.
#ifndef IMGSDK_COMBINE_H
#define IMGSDK_COMBINE_H

#include <string>

namespace imgsdk
{

enum class Layout { SideBySide, Stacked };

bool combinePictures(const std::string &front, const std::string &back, const std::string &out,
                     Layout layout);

} // namespace imgsdk

#endif

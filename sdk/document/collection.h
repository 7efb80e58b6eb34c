// The ordered list of pictures shared by the merge and OCR entry points.
#ifndef DOCSDK_COLLECTION_H
#define DOCSDK_COLLECTION_H

#include <string>
#include <vector>

namespace docsdk {

void collectionAdd(const std::string &path);
void collectionClear();
std::vector<std::string> collectionSnapshot();

} // namespace docsdk

#endif

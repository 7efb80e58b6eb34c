#include "collection.h"

#include "DocumentSDK.h"

#include <mutex>

namespace docsdk {
namespace {
std::mutex g_mutex;
std::vector<std::string> &files()
{
    static std::vector<std::string> list;
    return list;
}
} // namespace

void collectionAdd(const std::string &path)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    files().push_back(path);
}

void collectionClear()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    files().clear();
}

std::vector<std::string> collectionSnapshot()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return files();
}

} // namespace docsdk

extern "C" int addFile(const char *path)
{
    if (!path || !*path)
        return DOC_ERR_ARGUMENT;
    docsdk::collectionAdd(path);
    return DOC_OK;
}

extern "C" int deleteFile(void)
{
    docsdk::collectionClear();
    return DOC_OK;
}

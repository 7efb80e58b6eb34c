// ocrRecog: recognise the collected pictures and publish the documents only when all are complete.
#include "DocumentSDK.h"
#include "atomicfile.h"
#include "collection.h"
#include "picture.h"
#include "recognition.h"
#include "writers.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace docsdk
{
namespace ocr
{
namespace
{

struct Kind {
    const char *extension;
    bool (*write)(const std::vector<Page> &, const std::string &);
};

const Kind kKinds[] = {
    {"txt", writeText}, {"docx", writeDocx}, {"pdf", writeSearchablePdf}, {"ofd", writeOfd}};

std::mutex g_progressLock;
OcrProgressCallback g_progress = nullptr;
void *g_progressUser = nullptr;

void reportProgress(int page, int pages)
{
    std::lock_guard<std::mutex> lock(g_progressLock);
    if (g_progress)
        g_progress(page, pages, g_progressUser);
}

// A picture turned or replaced since it was recognised fails the job rather than give a page whose
// text and size do not match its picture.
bool anyPictureChanged(const std::vector<Page> &pages)
{
    QByteArray bytes;
    return std::any_of(pages.begin(), pages.end(), [&](const Page &page) { return !pageBytes(page, bytes); });
}

// One document per group of pictures, named after the group's first picture.
int runJob(const Kind &kind, const std::vector<std::vector<std::string>> &groups, std::string *firstName)
{
    for (const auto &group : groups)
        for (const std::string &picture : group)
            if (!pictureHeaderReadable(picture))
                return DOC_ERR_UNREADABLE_INPUT;

    // Fails fast on an unwritable folder, before minutes of recognition.
    std::vector<std::unique_ptr<sdkcommon::AtomicFile>> outputs;
    for (const auto &group : groups) {
        const QFileInfo first(QString::fromStdString(group.front()));
        const QString target = first.path() + '/' + first.completeBaseName() + '.' + kind.extension;
        outputs.push_back(std::make_unique<sdkcommon::AtomicFile>(target.toStdString()));
        if (!outputs.back()->open())
            return DOC_ERR_WRITE_FAILED;
    }

    Recognizer recognizer;
    if (const int status = recognizer.init())
        return status;
    size_t total = 0, done = 0;
    for (const auto &group : groups)
        total += group.size();
    for (size_t g = 0; g < groups.size(); ++g) {
        std::vector<Page> pages(groups[g].size());
        for (size_t i = 0; i < pages.size(); ++i) {
            reportProgress(int(++done), int(total));
            if (const int status = recognizer.recognise(groups[g][i], pages[i]))
                return status;
        }
        if (!kind.write(pages, outputs[g]->tempPath()))
            return anyPictureChanged(pages) ? DOC_ERR_UNREADABLE_INPUT : DOC_ERR_WRITE_FAILED;
    }

    for (size_t g = 0; g < outputs.size(); ++g) {
        if (!outputs[g]->commit(sdkcommon::WritePolicy::FreeName)) {
            for (size_t p = 0; p < g; ++p)
                outputs[p]->withdraw();
            return DOC_ERR_WRITE_FAILED;
        }
    }
    *firstName = QFileInfo(QString::fromStdString(outputs.front()->path())).fileName().toStdString();
    return DOC_OK;
}

} // namespace
} // namespace ocr
} // namespace docsdk

extern "C" int ocrRecog(int type, bool combine, char *name)
{
    using namespace docsdk;
    if (!name)
        return DOC_ERR_ARGUMENT;
    name[0] = '\0';
    if (type < 0 || type >= int(std::size(ocr::kKinds)))
        return DOC_ERR_UNKNOWN_TYPE;
    const std::vector<std::string> pictures = collectionSnapshot();
    if (pictures.empty())
        return DOC_ERR_NOTHING_COLLECTED;

    std::vector<std::vector<std::string>> groups;
    if (combine)
        groups.push_back(pictures);
    else
        for (const std::string &picture : pictures)
            groups.push_back({picture});

    std::string first;
    const int status = ocr::runJob(ocr::kKinds[type], groups, &first);
    // The job is over either way: the caller collects afresh for the next one.
    collectionClear();
    if (status == DOC_OK) {
        std::strncpy(name, first.c_str(), 255);
        name[255] = '\0';
    }
    return status;
}

extern "C" void setOcrProgressCallback(OcrProgressCallback callback, void *user)
{
    std::lock_guard<std::mutex> lock(docsdk::ocr::g_progressLock);
    docsdk::ocr::g_progress = callback;
    docsdk::ocr::g_progressUser = user;
}

/* Document library: collects pictures, merges them into a PDF and exports OCR results. */
#ifndef DOCUMENTSDK_H
#define DOCUMENTSDK_H

#if defined(__GNUC__)
#define DOCSDK_API __attribute__((visibility("default")))
#else
#define DOCSDK_API
#endif

#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum DocumentStatus {
    DOC_OK = 0,
    DOC_ERR_ARGUMENT = 1, /* null or empty argument; a PDF target that is one of the collected pictures */
    DOC_ERR_NOTHING_COLLECTED = 2,
    DOC_ERR_UNREADABLE_INPUT = 3, /* one or more pictures missing, corrupt or of an unknown kind */
    DOC_ERR_WRITE_FAILED = 4, /* the output could not be written (folder missing, unwritable, disk full) */
    DOC_ERR_NO_LANGUAGE_DATA = 5,
    DOC_ERR_OCR_FAILED = 6,
    DOC_ERR_UNKNOWN_TYPE = 7
};

/* Appends a picture to the collection. */
DOCSDK_API int addFile(const char *path);
/* Writes one PDF page per collected picture, in order, to output. */
DOCSDK_API int combinePDF(const char *output);
/* Empties the collection. */
DOCSDK_API int deleteFile(void);
/* Recognises the collected pictures and writes a document of the given kind
 * (0 text, 1 docx, 2 searchable PDF, 3 OFD) next to the first picture; the bare
 * file name comes back in name (256 bytes). */
DOCSDK_API int ocrRecog(int type, bool combine, char *name);
/* Called by ocrRecog on its own thread before each picture is recognised: picture
 * `page` (from 1) of `pages` in the job. One observer for the process; null removes it. */
typedef void (*OcrProgressCallback)(int page, int pages, void *user);
DOCSDK_API void setOcrProgressCallback(OcrProgressCallback callback, void *user);

#ifdef __cplusplus
}
#endif

#endif /* DOCUMENTSDK_H */

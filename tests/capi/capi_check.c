/* A plain program against the three libraries' C interfaces: built once as C11 and
 * once as C++ without Qt, it must compile, link and get statuses (not crashes)
 * back for bad arguments and an uninitialised camera library. */
#include "CamCaptureSDK.h"
#include "DocumentSDK.h"
#include "ImageSDK.h"

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void expect(const char *what, long got, long want)
{
    if (got != want) {
        fprintf(stderr, "%s: %ld, expected %ld\n", what, got, want);
        ++failures;
    }
}

int main(void)
{
    long count = -1;
    char path[CAM_PATH_SIZE] = "/nonexistent/capi.jpg";
    IMAGEPARAM param;
    memset(&param, 0, sizeof param);

    expect("Cam_GetDevCount before Cam_Init", Cam_GetDevCount(&count), ERROR_NOT_INITIALISED);
    expect("Cam_CameraCaptureFile before Cam_Init", Cam_CameraCaptureFile(0, path, &param), ERROR_NOT_INITIALISED);
    expect("Cam_Rotate with a non-right angle", Cam_Rotate(45), ERROR_BAD_ARGUMENT);

    expect("imageRotation of a null path", imageRotation(NULL, 90), IMG_ERR_ARGUMENT);
    expect("imageRotation by 45 degrees", imageRotation("/nonexistent/a.jpg", 45), IMG_ERR_ARGUMENT);
    expect("CombineImage of missing sides", CombineImage("/nonexistent/a.jpg", "/nonexistent/b.jpg", "/tmp/x.jpg", 0, 0, 0, 0, 0), -1);

    expect("combinePDF with nothing collected", combinePDF("/tmp/capi-never.pdf"), DOC_ERR_NOTHING_COLLECTED);
    char name[256] = "";
    expect("ocrRecog of an unknown kind", ocrRecog(9, true, name), DOC_ERR_UNKNOWN_TYPE);
    expect("deleteFile", deleteFile(), DOC_OK);
    return failures == 0 ? 0 : 1;
}

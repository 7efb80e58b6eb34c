// Camera library: device enumeration, live frames, capture to file and
// automatic capture for USB document cameras (V4L2) and the virtual camera.
//
// Every function returns a status (ERROR_GOOD on success) for any argument and
// in any state; none of them throws or crashes. Callbacks run on the library's
// own threads.
#ifndef CAMCAPTURESDK_H
#define CAMCAPTURESDK_H

#include "sdkrecords.h"

#if defined(CAMSDK_BUILD)
#define CAMSDK_API __attribute__((visibility("default")))
#else
#define CAMSDK_API
#endif

#define ERROR_GOOD 0
#define ERROR_FAILED 1           /* unexpected failure inside the library (out of memory, ...) */
#define ERROR_BAD_ARGUMENT 2     /* null pointer, index or value out of range */
#define ERROR_NO_DEVICE 3        /* no such device (or it has been unplugged) */
#define ERROR_NOT_STREAMING 4    /* the call needs a running stream */
#define ERROR_WRITE_FAILED 5     /* folder missing or not writable, disk full */
#define ERROR_BUFFER_TOO_SMALL 6 /* some written paths did not fit the 1024-byte buffer */
#define ERROR_OPEN_FAILED 7
#define ERROR_NOT_INITIALISED 8 /* Cam_Init has not succeeded yet */
#define ERROR_BUSY 9            /* the device streams already, or a call from a callback would deadlock */
#define ERROR_UNSUPPORTED 10    /* resolution or format the device does not offer */
#define ERROR_NO_FRAME 11       /* no usable frame arrived yet */
#define ERROR_INIT_FAILED 12

/* formatType of the frame callback: packed R, G, B bytes, rows back to back. */
#define CAM_FRAME_RGB24 0

#define CAM_PATH_SIZE 1024
#define CAM_NAME_SIZE 256

#ifdef __cplusplus
extern "C" {
#endif

typedef int (*CamFrameCallback)(void *data, int size, int width, int height, int formatType);
/* state 1: the scene started to change; 0: it has been still since and shows something new. */
typedef int (*CamAutoCaptureCallback)(long state);

CAMSDK_API long Cam_Init(void);
CAMSDK_API long Cam_GetDevCount(long *count);
CAMSDK_API long Cam_GetDevName(long devIndex, char *name); /* name: CAM_NAME_SIZE bytes */
CAMSDK_API long Cam_GetPIDVID(long devIndex, int *pid, int *vid);
CAMSDK_API long Cam_GetDevParams(long devIndex, bool *supportsBook);
/* Also selects devIndex for the calling thread's Cam_GetCameraResolutionName.
   format 0: the camera's preferred format. */
CAMSDK_API long Cam_GetCameraResolutionCount(long devIndex, long format, long *count);
CAMSDK_API long Cam_GetCameraResolutionName(long resIndex, long *width, long *height);
/* For the next start of that device; forgotten when it is unplugged. */
CAMSDK_API long Cam_SetCameraResolution(long devIndex, long width, long height);
CAMSDK_API long Cam_SetCameraFormat(long devIndex, long format);
CAMSDK_API long Cam_CameraCaptureStart(long devIndex, CamFrameCallback callback);
/* Returns once no frame or state callback of that stream runs or will run. */
CAMSDK_API long Cam_CameraCaptureStop(long devIndex);
/* devIndex 0: the streaming device. path: CAM_PATH_SIZE bytes, the target on input,
   the written paths joined by ';' on output. */
CAMSDK_API long Cam_CameraCaptureFile(long devIndex, char *path, IMAGEPARAM *param);
CAMSDK_API long Cam_AutoCapture(long devIndex, long mode, CamAutoCaptureCallback callback);
CAMSDK_API long Cam_PauseAutoCapture(long devIndex, long mode);
/* Live guides on the delivered preview frames: 1 the document outline, 2 every document
   outline, 3 the book spine; 0 (and the manual modes 4, 5) draw nothing. Captures never carry them. */
CAMSDK_API long Cam_SetAutoCrop(int mode);
/* 0, 90, 180 or 270 degrees clockwise (negative and larger multiples of 90 are folded). */
CAMSDK_API long Cam_Rotate(int rotation);

#ifdef __cplusplus
}
#endif

#endif

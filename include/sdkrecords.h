/* Records that cross into the camera library. Plain C (C11 or C++), no Qt: a C
 * program includes this through CamCaptureSDK.h; the application gets it through
 * datatype.h. */
#ifndef SDKRECORDS_H
#define SDKRECORDS_H

#include <assert.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif
#include <stddef.h>

typedef struct tagWATERPARAM {
    bool bIsWater;
    bool bIsWaterImage;
    char *szWaterImagePath;
    int nWaterPointX;
    int nWaterPointY;
    char *szWaterContent;
    char *szWaterFont;
    int nFontSize; // 0 automatic
    int nFontR;
    int nFontG;
    int nFontB;
    int nPositionCode; // 0 top, 1 centre, 2 oblique, 3 bottom
    int nOpacity;      // 0 semi-transparent, 1 opaque
    char *nColor;
} WATERPARAM;

typedef struct tagMANUALCROP {
    double dLeft;
    double dRight;
    double dTop;
    double dBottom;
} MANUALCROP;

typedef struct tagIMAGEPARAM {
    int nCropType; // 0 none, 1 single, 2 multiple, 3 book, 4 manual, 5 paging
    int nImageType;
    int nFillType;
    int nForeignRemovalType;
    int nRotate;
    WATERPARAM waterParam;
    bool bIsCoverFile;
    int nBookIndex;
    MANUALCROP manualCrop[10];
    int nShowWidth;
    int nShowHeight;
    float nXDPI;
    float nYDPI;
} IMAGEPARAM;

// The camera library and the application agree on this layout (64-bit target).
#if defined(__LP64__)
static_assert(sizeof(WATERPARAM) == 72, "WATERPARAM layout");
static_assert(offsetof(WATERPARAM, szWaterImagePath) == 8, "WATERPARAM layout");
static_assert(offsetof(WATERPARAM, szWaterContent) == 24, "WATERPARAM layout");
static_assert(offsetof(WATERPARAM, nColor) == 64, "WATERPARAM layout");
static_assert(sizeof(MANUALCROP) == 32, "MANUALCROP layout");
static_assert(offsetof(IMAGEPARAM, waterParam) == 24, "IMAGEPARAM layout");
static_assert(offsetof(IMAGEPARAM, bIsCoverFile) == 96, "IMAGEPARAM layout");
static_assert(offsetof(IMAGEPARAM, nBookIndex) == 100, "IMAGEPARAM layout");
static_assert(offsetof(IMAGEPARAM, manualCrop) == 104, "IMAGEPARAM layout");
static_assert(offsetof(IMAGEPARAM, nXDPI) == 432, "IMAGEPARAM layout");
static_assert(sizeof(IMAGEPARAM) == 440, "IMAGEPARAM layout");
#endif

#endif /* SDKRECORDS_H */

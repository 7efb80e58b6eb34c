// Records that cross into the camera library (fixed C layout) and the payload
// of the captured-image strip.
#ifndef DATATYPE_H
#define DATATYPE_H

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

typedef struct IMAGEPARAM {
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
} ImageParam;

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

// The list-item payload is a Qt value; libraries without Qt see only the C records.
#ifdef QT_CORE_LIB
#include <QMetaType>
#include <QString>

typedef struct {
    QString picPath;
    QString picName;
} PicItemData;
Q_DECLARE_METATYPE(PicItemData)
#endif

#endif // DATATYPE_H

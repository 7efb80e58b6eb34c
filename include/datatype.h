// The records shared with the camera library (fixed C layout) and the payload
// of the captured-image strip.
#ifndef DATATYPE_H
#define DATATYPE_H

#include "sdkrecords.h"

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

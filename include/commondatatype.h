// Records shared by the windows, the device worker and the settings store.
#ifndef COMMONDATATYPE_H
#define COMMONDATATYPE_H

#include <QString>
#include <QStringList>

typedef struct tagCAMERAPARAM {
    QString cameraName;
    QStringList cameraRelease;
} CAMERAPARAM;

typedef struct tagSCANNERPARAM {
    QString scannerName;
    QStringList scannerScanMode;
    QStringList scannerScanSource;
    QStringList scannerScanResolution;
    QStringList scannerScanPaperSize;
} SCANNERPARAM;

typedef struct tagDEVPARAM {
    int nType;         // 0 camera, 2 no device (placeholder)
    int nCurrentIndex; // index in the camera library's enumeration, -1 for the placeholder
    CAMERAPARAM cameraParam;
    SCANNERPARAM scannerParam;
} DEVPARAM;

typedef struct tagSAVENAMEPARAM {
    QString strSeparator;
    QString nameBase;
    int startNum;
} SAVENAMEPARAM;

typedef struct tagSETPARAM {
    QString savepath;
    SAVENAMEPARAM nameFormat;
    int nameformatType; // 0 date and time, 1 prefix + separator + number
    int saveType;       // 1 overwrite, 0 append a number
    bool IsScanVoice;
    bool IsErrorTip;
} SETPARAM;

typedef struct tagSCANNERSET {
    int scanmode;
    int colormode;
    int fileformat;
    int resolution;
    int size;
} SCANNERSET;

typedef struct tagIMAGESET {
    int cropmode;
    int filter;
    int edgemending;
    int rotation;
} IMAGESET;

typedef struct tagCamImageSet {
    QString fileformat;
    QString resolution;
    QString takemodleformat;
    int cropIndex;
    int imageIndex;
    int edgeMendingIndex;
    int foreignMatterIndex;
    int idCardModeIndex;
} CAMIMAGESET;

typedef struct tagCamModel {
    QString pid;
    QString vid;
    QString devType;
    QString devName;
} CAMMODEL;

// Size of the device table kept by the device worker and the home window.
enum { DEVICE_TABLE_SIZE = 256 };

#endif // COMMONDATATYPE_H

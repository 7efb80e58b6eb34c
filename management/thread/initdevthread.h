// Finds the connected document cameras, names them from the camera-model table
// and lists their resolutions into the device table.
#ifndef INITDEVTHREAD_H
#define INITDEVTHREAD_H

#include "commondatatype.h"
#include "ctoolhelper.h"

#include <QObject>
#include <QStringList>

class Initdevthread : public QObject
{
    Q_OBJECT

public:
    explicit Initdevthread(QObject *parent = nullptr);

    void InitHotDevParam();
    void setMultiThreadValue(bool value);

    DEVPARAM devparams[DEVICE_TABLE_SIZE];
    QStringList CamreaNameList;
    QStringList ScannerNameList;
    int cameracounts = 0;
    int scannercounts = 0;
    QVector<tagCamModel> CamModelList;
    CToolHelper thread_ctoolhelper;
    bool b_IsMultiThread = true;

signals:
    void signalScannerOver();
    void signalCameraOver();

public slots:
    void InitDevParam();

private:
    bool cameraSelected();
    void discoverCameras();
    void loadCameraModels();
    void setPlaceholder();
};

#endif // INITDEVTHREAD_H

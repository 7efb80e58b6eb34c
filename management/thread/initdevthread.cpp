#include "initdevthread.h"

#include "CamCaptureSDK.h"

#include <cstring>

Initdevthread::Initdevthread(QObject *parent) : QObject(parent)
{
    for (DEVPARAM &dev : devparams) {
        dev.nType = 0;
        dev.nCurrentIndex = 0;
    }
    thread_ctoolhelper.SettingAllSets();
}

void Initdevthread::setMultiThreadValue(bool value)
{
    b_IsMultiThread = value;
}

bool Initdevthread::cameraSelected()
{
    qWarning("Initdevthread::InitDevParam() __ 开始加载设备.");
    if (!thread_ctoolhelper.IsCameraType)
        return false;
    qWarning("*******************配置文件中 高拍仪选择为 true **********************");
    return true;
}

void Initdevthread::InitDevParam()
{
    if (!cameraSelected())
        return;
    const long status = Cam_Init();
    if (status != ERROR_GOOD) {
        cameracounts = -1;
        setPlaceholder();
        qWarning("Cam_Init返回错误:%d,初始化失败结束\n", static_cast<int>(status));
        if (b_IsMultiThread) {
            emit signalCameraOver();
            qWarning("初始化高拍仪线程结束信号已发送");
        }
        return;
    }
    discoverCameras();
}

void Initdevthread::InitHotDevParam()
{
    if (!cameraSelected())
        return;
    discoverCameras();
}

void Initdevthread::setPlaceholder()
{
    devparams[0].nType = 2;
    devparams[0].nCurrentIndex = -1;
    devparams[0].cameraParam.cameraName = "NULL";
    devparams[0].cameraParam.cameraRelease.clear();
    devparams[0].cameraParam.cameraRelease.append("NULL");
}

// Rows are read until the first one without a pid or a device name.
void Initdevthread::loadCameraModels()
{
    CamModelList = thread_ctoolhelper.readCameraModels(&tagCamModel::devName);
}

void Initdevthread::discoverCameras()
{
    long count = 0;
    Cam_GetDevCount(&count);
    loadCameraModels();

    if (count < 1) {
        setPlaceholder();
        qWarning("高拍仪可用数量为0");
    } else {
        // The table has room for DEVICE_TABLE_SIZE cameras; any beyond are not listed.
        const int listed = static_cast<int>(qMin<long>(count, DEVICE_TABLE_SIZE));
        qWarning("高拍仪数量为:%d", static_cast<int>(count));
        cameracounts = listed;
        for (int d = 0; d < listed; ++d) {
            char name[CAM_NAME_SIZE];
            std::memset(name, 0, sizeof(name));
            Cam_GetDevName(d, name);
            name[CAM_NAME_SIZE - 1] = '\0';

            int pid = 0, vid = 0;
            Cam_GetPIDVID(d, &pid, &vid);
            const QString hexPID = QString("%1").arg(pid & 0xffff, 4, 16, QChar('0'));
            const QString hexVID = QString("%1").arg(vid & 0xffff, 4, 16, QChar('0'));
            qWarning("11111111111111111pid=%s,vid=%s\n", qUtf8Printable(hexPID), qUtf8Printable(hexVID));

            for (const tagCamModel &model : CamModelList) {
                qWarning("11111 CamModelList.at(i).pid = %s, CamModelList.at(i).vid = %s",
                         qUtf8Printable(model.pid), qUtf8Printable(model.vid));
                if (model.pid.compare(hexPID, Qt::CaseInsensitive) == 0 &&
                    model.vid.compare(hexVID, Qt::CaseInsensitive) == 0) {
                    const QString old = QString::fromUtf8(name);
                    std::memset(name, 0, sizeof(name));
                    qWarning("11111111111111111name=%s,temp=%s\n", qUtf8Printable(model.devName),
                             qUtf8Printable(old));
                    qstrncpy(name, model.devName.toUtf8().constData(), sizeof(name));
                }
            }

            const QString cameraName = QString::fromUtf8(name);
            CamreaNameList.append(cameraName);
            devparams[d].nType = 0;
            devparams[d].nCurrentIndex = d;
            devparams[d].cameraParam.cameraName = cameraName;

            long resolutions = 0;
            Cam_GetCameraResolutionCount(d, 0, &resolutions);
            qWarning("GetCameraResolution is %ld\n", resolutions);
            for (long j = 0; j < resolutions; ++j) {
                long width = 0, height = 0;
                Cam_GetCameraResolutionName(j, &width, &height);
                qWarning("GetCameraResolutionName Width is %ld,Height is %ld\n", width, height);
                devparams[d].cameraParam.cameraRelease.append(QString::number(width) + "x" +
                                                              QString::number(height));
            }
        }
    }

    if (b_IsMultiThread)
        emit signalCameraOver();
    qWarning("初始化高拍仪线程结束信号已发送\n");
}

#include "ctoolhelper.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace
{
const char *const kMainGroup = "MainSettings";
const char *const kCamGroup = "CamSettings";

const QStringList &mainKeys()
{
    static const QStringList keys = {"FilePath", "NameFormatType", "NameBase", "StartNum",
                                     "SaveType", "ScanVoice",      "ErrorTips"};
    return keys;
}

const QStringList &cameraKeys()
{
    static const QStringList keys = {"FileFormat",
                                     "XResolution",
                                     "YResolution",
                                     "CropIndex",
                                     "ImageIndex",
                                     "EdgeMendingIndex",
                                     "ForeignMatterIndex",
                                     "WaterMarkType",
                                     "WaterImagePath",
                                     "WaterImageXPosition",
                                     "WaterImageYPosition",
                                     "WaterTextContent",
                                     "WaterTextSize",
                                     "WaterColorR",
                                     "WaterColorG",
                                     "WaterColorB",
                                     "WaterTransparentIndex",
                                     "WaterFormat",
                                     "BookExportIndex",
                                     "TakeModleFormat",
                                     "IDCardModeIndex",
                                     "WaterMarkColor"};
    return keys;
}

const QStringList &waterMarkKeys()
{
    static const QStringList keys = {"WaterMarkType",         "WaterImagePath",   "WaterImageXPosition",
                                     "WaterImageYPosition",   "WaterTextContent", "WaterTextSize",
                                     "WaterColorR",           "WaterColorG",      "WaterColorB",
                                     "WaterTransparentIndex", "WaterFormat"};
    return keys;
}
} // namespace

CToolHelper::CToolHelper() {}

QString CToolHelper::getSettingFilePath()
{
    return QCoreApplication::applicationDirPath() + "/icon.ini";
}

QString CToolHelper::readSettingValue(QString group, QString key)
{
    QSettings settings(getSettingFilePath(), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    return settings.value(group + "/" + key).toString();
}

void CToolHelper::setSettingFilePath(QString path)
{
    m_LastSettingPath = path;
}

// Only the instance that was given the path resolves to the real file; any
// other one ends up under "/tmp/", where reads see empty values.
QString CToolHelper::lastSettingPath()
{
    QString path = readSettingValue("LastSetting", "path");
    if (path.isEmpty() && !m_LastSettingPath.isEmpty())
        return m_LastSettingPath;
    return "/tmp/" + path;
}

int CToolHelper::readUserValue(const QString &group, const QString &key, QString &value)
{
    QString path = lastSettingPath();
    if (!FileExists(path))
        return -1;
    QSettings settings(path, QSettings::IniFormat);
    value = settings.value(group + "/" + key).toString();
    return 0;
}

int CToolHelper::writeUserValue(const QString &group, const QString &key, const QString &value)
{
    QString path = lastSettingPath();
    if (!FileExists(path))
        return -1;
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(group + "/" + key, value);
    settings.sync();
    return 0;
}

int CToolHelper::writeUserGroup(const QString &group, const QStringList &keys, const QStringList &values)
{
    if (values.size() < keys.size())
        return -1;
    QSettings settings(lastSettingPath(), QSettings::IniFormat);
    settings.beginGroup(group);
    for (int i = 0; i < keys.size(); ++i)
        settings.setValue(keys.at(i), values.at(i));
    settings.endGroup();
    settings.sync();
    return 0;
}

int CToolHelper::readMainValue(QString key, QString &value)
{
    return readUserValue(kMainGroup, key, value);
}

int CToolHelper::setMainValue(QStringList values)
{
    return writeUserGroup(kMainGroup, mainKeys(), values);
}

int CToolHelper::setSingleMainValue(QString key, QString value)
{
    return writeUserValue(kMainGroup, key, value);
}

int CToolHelper::setCameraValue(QStringList values)
{
    return writeUserGroup(kCamGroup, cameraKeys(), values);
}

int CToolHelper::setCameraWaterMarkValue(QStringList values)
{
    return writeUserGroup(kCamGroup, waterMarkKeys(), values);
}

int CToolHelper::setSingleCameraValue(QString key, QString value)
{
    return writeUserValue(kCamGroup, key, value);
}

int CToolHelper::readCameraValue(QString key, QString &value)
{
    return readUserValue(kCamGroup, key, value);
}

bool CToolHelper::readCameraModel(QString group, QString key, QString &value)
{
    QString path = QCoreApplication::applicationDirPath() + "/CamModel.ini";
    if (!FileExists(path))
        return false;
    QSettings settings(path, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    value = settings.value(group + "/" + key).toString();
    if (value.isEmpty()) {
        qWarning("CToolHelper::readCameraModel() 键值为空");
        return false;
    }
    qWarning("CToolHelper::readCameraModel() value is %s", qUtf8Printable(value));
    return true;
}

bool CToolHelper::FileExists(QString path)
{
    return QFileInfo::exists(path);
}

// A capture sound is a deployment choice; this build stays silent.
void CToolHelper::playSound(bool) {}

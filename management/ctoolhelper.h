// The one place the program reads and writes its INI files: the theme file
// (icon.ini), the user settings file and the camera-model table.
#ifndef CTOOLHELPER_H
#define CTOOLHELPER_H

#include <QString>
#include <QStringList>

class CToolHelper
{
public:
    CToolHelper();

    QString getSettingFilePath();
    QString readSettingValue(QString group, QString key);
    void setSettingFilePath(QString path);

    int readMainValue(QString key, QString &value);
    int setMainValue(QStringList values);
    int setSingleMainValue(QString key, QString value);

    int setCameraValue(QStringList values);
    int setCameraWaterMarkValue(QStringList values);
    int setSingleCameraValue(QString key, QString value);
    int readCameraValue(QString key, QString &value);

    bool readCameraModel(QString group, QString key, QString &value);
    bool FileExists(QString path);
    void playSound(bool);

    QString m_LastSettingPath;

private:
    QString lastSettingPath();
    int readUserValue(const QString &group, const QString &key, QString &value);
    int writeUserValue(const QString &group, const QString &key, const QString &value);
    int writeUserGroup(const QString &group, const QStringList &keys, const QStringList &values);
};

#endif // CTOOLHELPER_H

#include "ctoolhelper.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {
void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}
} // namespace

class TestCToolHelper : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void missingFilesGiveEmptyAndMinusOne();
    void pathResolution();
    void bulkWritesInOrderAndReadBack();
    void shortListsWriteNothing();
    void cameraModelTable();

private:
    QString appFile(const QString &name) const { return QCoreApplication::applicationDirPath() + "/" + name; }
    QTemporaryDir m_tmp;
};

void TestCToolHelper::init()
{
    QFile::remove(appFile("icon.ini"));
    QFile::remove(appFile("CamModel.ini"));
}

void TestCToolHelper::cleanup()
{
    init();
}

void TestCToolHelper::missingFilesGiveEmptyAndMinusOne()
{
    CToolHelper helper;
    QCOMPARE(helper.getSettingFilePath(), appFile("icon.ini"));
    QVERIFY(helper.readSettingValue("ProcessName", "nameString").isEmpty());

    // No remembered path and no configured one: "/tmp/" exists, so reads succeed empty.
    QString value = "untouched";
    QCOMPARE(helper.readMainValue("FilePath", value), 0);
    QVERIFY(value.isEmpty());

    helper.setSettingFilePath(m_tmp.path() + "/missing.ini");
    value = "untouched";
    QCOMPARE(helper.readMainValue("FilePath", value), -1);
    QCOMPARE(helper.readCameraValue("FileFormat", value), -1);
    QCOMPARE(value, QString("untouched"));
    QCOMPARE(helper.setSingleMainValue("StartNum", "5"), -1);
    QCOMPARE(helper.setSingleCameraValue("CropIndex", "5"), -1);
    QVERIFY(!QFile::exists(m_tmp.path() + "/missing.ini"));
}

void TestCToolHelper::pathResolution()
{
    // A configured path wins over the remembered one and is taken below /tmp.
    const QString name = QString("pagelux-ctoolhelper-%1.ini").arg(QCoreApplication::applicationPid());
    {
        QSettings icon(appFile("icon.ini"), QSettings::IniFormat);
        icon.setValue("LastSetting/path", name);
    }
    CToolHelper helper;
    helper.setSettingFilePath(m_tmp.path() + "/remembered.ini");
    QString value;
    QCOMPARE(helper.readMainValue("FilePath", value), -1);
    QCOMPARE(helper.setMainValue({"/a", "1", "Base", "3", "0", "1", "0"}), 0);
    QVERIFY(QFile::exists("/tmp/" + name));
    QVERIFY(!QFile::exists(m_tmp.path() + "/remembered.ini"));
    QCOMPARE(helper.readMainValue("NameBase", value), 0);
    QCOMPARE(value, QString("Base"));
    QFile::remove("/tmp/" + name);
}

void TestCToolHelper::bulkWritesInOrderAndReadBack()
{
    CToolHelper helper;
    helper.setSettingFilePath(m_tmp.path() + "/UILastSetting.ini");
    QCOMPARE(helper.setMainValue({"/home/用户/文档", "0", "扫描件", "7", "1", "0", "1", "extra"}), 0);
    QStringList cam, water;
    for (int i = 0; i < 22; ++i)
        cam << QString("v%1").arg(i);
    for (int i = 0; i < 11; ++i)
        water << QString("w%1").arg(i);
    QCOMPARE(helper.setCameraValue(cam), 0);
    QCOMPARE(helper.setCameraWaterMarkValue(water), 0);
    QCOMPARE(helper.setSingleMainValue("StartNum", "9"), 0);

    const QList<QPair<QString, QString>> main = {{"FilePath", "/home/用户/文档"},
                                                 {"NameFormatType", "0"},
                                                 {"NameBase", "扫描件"},
                                                 {"StartNum", "9"},
                                                 {"SaveType", "1"},
                                                 {"ScanVoice", "0"},
                                                 {"ErrorTips", "1"},
                                                 {"NoSuchKey", ""}};
    // The watermark keys are the camera keys 7 to 17; the others keep the camera list's values.
    const QList<QPair<QString, QString>> camera = {{"FileFormat", "v0"},       {"WaterMarkType", "w0"},
                                                   {"WaterTextContent", "w4"}, {"WaterFormat", "w10"},
                                                   {"BookExportIndex", "v18"}, {"WaterMarkColor", "v21"}};
    QString v;
    for (const auto &kv : main) {
        QCOMPARE(helper.readMainValue(kv.first, v), 0);
        QCOMPARE(v, kv.second);
    }
    for (const auto &kv : camera) {
        QCOMPARE(helper.readCameraValue(kv.first, v), 0);
        QCOMPARE(v, kv.second);
    }
    // The theme file is read as UTF-8 text.
    writeFile(appFile("icon.ini"), "[RunName]\nnameString=高拍仪 文档\n");
    QCOMPARE(helper.readSettingValue("RunName", "nameString"), QString("高拍仪 文档"));
}

void TestCToolHelper::shortListsWriteNothing()
{
    CToolHelper helper;
    const QString path = m_tmp.path() + "/short.ini";
    helper.setSettingFilePath(path);
    QCOMPARE(helper.setMainValue({"a", "b"}), -1);
    QCOMPARE(helper.setCameraValue(QVector<QString>(21, "x").toList()), -1);
    QCOMPARE(helper.setCameraWaterMarkValue(QVector<QString>(10, "x").toList()), -1);
    QVERIFY(!QFile::exists(path));
}

void TestCToolHelper::cameraModelTable()
{
    CToolHelper helper;
    QString value = "untouched";
    QVERIFY(!helper.readCameraModel("deviceInfo0", "pid", value));
    QCOMPARE(value, QString("untouched"));

    writeFile(appFile("CamModel.ini"), "[deviceInfo0]\npid=3F5A\nvid=1d6b\ndevType=\ndevName=高拍仪 S500\n");
    QVERIFY(helper.readCameraModel("deviceInfo0", "pid", value));
    QCOMPARE(value, QString("3F5A"));
    QVERIFY(helper.readCameraModel("deviceInfo0", "devName", value));
    QCOMPARE(value, QString("高拍仪 S500"));
    QVERIFY(!helper.readCameraModel("deviceInfo0", "devType", value));
    QVERIFY(!helper.readCameraModel("deviceInfo1", "pid", value));
}

QTEST_GUILESS_MAIN(TestCToolHelper)
#include "tst_ctoolhelper.moc"

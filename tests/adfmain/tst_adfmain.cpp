#include "adfmain.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QtTest>

namespace
{
QStringList g_log;
void captureLog(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    g_log << msg;
}
} // namespace

class TestADFmain : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void firstRunWritesDefaults();
    void secondStartKeepsEveryValue();
    void badStoredValuesAreRepaired();
    void saveFolderCreation();

private:
    QString settingsPath() const { return m_appDir + "/" + m_user + "/UILastSetting.ini"; }
    QMap<QString, QString> readAll() const;
    void closeWindow(ADFmain &w);

    QString m_appDir, m_home, m_user;
};

void TestADFmain::initTestCase()
{
    m_appDir = QCoreApplication::applicationDirPath();
    m_user = QString("plxtest%1").arg(QCoreApplication::applicationPid());
    m_home = "/home/" + m_user;
    QVERIFY(QDir().mkpath(m_home));
    qputenv("HOME", m_home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home + "/.config").toUtf8());
    QFile icon(m_appDir + "/icon.ini");
    QVERIFY(icon.open(QIODevice::WriteOnly));
    icon.write("[Set]\nIsScanVoice=1\nIsErrorTips=0\n[savePath]\nimagePath=/PageLux\n");
    icon.close();
    qInstallMessageHandler(captureLog);
}

void TestADFmain::init()
{
    g_log.clear();
    QDir(m_appDir + "/" + m_user).removeRecursively();
    QDir(m_home).removeRecursively();
    QVERIFY(QDir().mkpath(m_home + "/Documents"));
}

void TestADFmain::cleanup()
{
    QDir(m_appDir + "/" + m_user).removeRecursively();
}

void TestADFmain::cleanupTestCase()
{
    qInstallMessageHandler(nullptr);
    QFile::remove(m_appDir + "/icon.ini");
    QDir(m_home).removeRecursively();
}

QMap<QString, QString> TestADFmain::readAll() const
{
    QSettings ini(settingsPath(), QSettings::IniFormat);
    QMap<QString, QString> values;
    for (const QString &key : ini.allKeys())
        values[key] = ini.value(key).toString();
    return values;
}

void TestADFmain::closeWindow(ADFmain &w)
{
    QMetaObject::invokeMethod(&w, "onButtonCloseClicked");
}

void TestADFmain::firstRunWritesDefaults()
{
    {
        ADFmain w;
        QVERIFY(QFile::exists(settingsPath()));
        QVERIFY(QDir(m_home + "/Documents/PageLux").exists());
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(w.size(), QSize(900, 600));
    }
    QVERIFY(g_log.contains("ADFmain::ADFmain() __ 没有lastSetting,开始写入主界面参数."));
    QVERIFY(g_log.contains("ADFmain::ADFmain() __ 文件夹已成功创建"));
    QVERIFY(g_log.contains(" adfmain () -- nColor is 黑色\n"));
    const auto v = readAll();
    QCOMPARE(v.size(), 7 + 22);
    QCOMPARE(v["MainSettings/FilePath"], m_home + "/Documents/PageLux");
    QCOMPARE(v["MainSettings/NameFormatType"], QString("1"));
    QCOMPARE(v["MainSettings/NameBase"], QString("CameraImage"));
    QCOMPARE(v["MainSettings/StartNum"], QString("1"));
    QCOMPARE(v["MainSettings/SaveType"], QString("0"));
    QCOMPARE(v["MainSettings/ScanVoice"], QString("1"));
    QCOMPARE(v["MainSettings/ErrorTips"], QString("0"));
    QCOMPARE(v["CamSettings/FileFormat"], QString("jpg"));
    QCOMPARE(v["CamSettings/XResolution"], QString(""));
    QCOMPARE(v["CamSettings/WaterTextContent"], QString("WaterMark"));
    QCOMPARE(v["CamSettings/TakeModleFormat"], QString("手动"));
    QCOMPARE(v["CamSettings/WaterMarkColor"], QString("黑色"));
    QCOMPARE(v["CamSettings/WaterMarkType"], QString("0"));
}

void TestADFmain::secondStartKeepsEveryValue()
{
    {
        ADFmain first;
    }
    {
        QSettings ini(settingsPath(), QSettings::IniFormat);
        ini.setValue("MainSettings/NameBase", "扫描_合同");
        ini.setValue("MainSettings/StartNum", "42");
        ini.setValue("MainSettings/NameFormatType", "0");
        ini.setValue("CamSettings/XResolution", "1920");
        ini.setValue("CamSettings/YResolution", "1080");
        ini.setValue("CamSettings/WaterMarkType", "2");
        ini.setValue("CamSettings/WaterTextContent", "机密 Confidential");
        ini.setValue("CamSettings/WaterColorR", "200");
        ini.setValue("CamSettings/BookExportIndex", "3");
        ini.setValue("CamSettings/TakeModleFormat", "定时(5秒)");
        ini.setValue("CamSettings/WaterImagePath", "/pics/logo.png");
    }
    const auto before = readAll();
    g_log.clear();
    {
        ADFmain second;
        closeWindow(second);
    }
    QVERIFY(g_log.contains("ADFmain::ADFmain() __ UILastSetting 已存在,跳过初始化环节."));
    QVERIFY(g_log.contains("ADFmain::onButtonCloseClicked() __ 已完成lastSetting的写入.\n"));
    QCOMPARE(readAll(), before);

    // An image watermark is written back as type 1.
    QSettings(settingsPath(), QSettings::IniFormat).setValue("CamSettings/WaterMarkType", "1");
    {
        ADFmain third;
        closeWindow(third);
    }
    QCOMPARE(readAll()["CamSettings/WaterMarkType"], QString("1"));
}

void TestADFmain::badStoredValuesAreRepaired()
{
    {
        ADFmain first;
    }
    const QString longBase = QString("B").repeated(31);
    for (const char *startNum : {"0", "abc"}) {
        {
            QSettings ini(settingsPath(), QSettings::IniFormat);
            ini.setValue("MainSettings/StartNum", startNum);
            ini.setValue("MainSettings/NameBase", longBase);
            ini.setValue("CamSettings/WaterMarkType", "5"); // any other value is text
        }
        g_log.clear();
        {
            ADFmain w;
            closeWindow(w);
        }
        const auto v = readAll();
        QCOMPARE(v["MainSettings/StartNum"], QString("1"));
        QCOMPARE(v["MainSettings/NameBase"], longBase.left(30));
        QCOMPARE(v["CamSettings/WaterMarkType"], QString("2"));
        QVERIFY(g_log.contains("adfmain::adfmain() -- SetInfo.nameFormat.nameBase 长度超过30 "));
    }
}

void TestADFmain::saveFolderCreation()
{
    // Missing parents are created with the folder.
    QDir(m_home + "/Documents").removeRecursively();
    {
        ADFmain w;
        QVERIFY(QDir(m_home + "/Documents/PageLux").exists());
    }
    QVERIFY(g_log.contains("ADFmain::ADFmain() __ 文件夹已成功创建"));
    QVERIFY(QMetaType::type("PicItemData") != QMetaType::UnknownType);

    // A folder that cannot be made is reported; the settings are still written.
    cleanup();
    init();
    QDir(m_home + "/Documents").removeRecursively();
    QFile blocker(m_home + "/Documents");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        ADFmain w;
        closeWindow(w);
    }
    QVERIFY(g_log.contains("ADFmain::ADFmain() __ 文件夹创建失败"));
    QVERIFY(QFile::exists(settingsPath()));
    QCOMPARE(readAll()["MainSettings/FilePath"], m_home + "/Documents/PageLux");
}

QTEST_MAIN(TestADFmain)
#include "tst_adfmain.moc"

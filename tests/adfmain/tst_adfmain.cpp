#include "CamCaptureSDK.h"
#include "adfmain.h"
#include "nameformat.h"
#include "scanui.h"
#include "set.h"
#include "settingswindows.h"
#include "threadadditem.h"
#include "titlebar.h"
#include "twocameras.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSettings>
#include <QThread>
#include <QtTest>

#include <functional>

using twocameras::setPresent;

namespace {
QStringList g_log;
QMutex g_logMutex; // the discovery worker logs too
void captureLog(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    QMutexLocker lock(&g_logMutex);
    g_log << msg;
}
bool logged(const QString &line)
{
    QMutexLocker lock(&g_logMutex);
    return g_log.contains(line);
}
// Waits without running the event loop, so that nothing queued is delivered.
bool waitWithoutEvents(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(20000);
    while (!done() && !deadline.hasExpired())
        QThread::msleep(10);
    return done();
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
    void unmakeableSaveFolderIsReported();
    void selectorFollowsTheCameras();
    void noCameraAtStart();
    void hotPlugDuringDiscoveryWaitsForIt();
    void restoreGivesNormalSizeAtLastPosition();
    void closeButtonWritesSettingsAndCloses();
    void settingsWindowHoldsTheMouseAndPersists();
    void closingTakesTheSettingsWindowsAlong();
    void scannerWindowKeepsItsValues();

private:
    QString settingsPath() const { return m_appDir + "/" + m_user + "/UILastSetting.ini"; }
    QMap<QString, QString> readAll() const;
    void closeWindow(ADFmain &w);
    void setValues(const QMap<QString, QString> &values) const
    {
        QSettings ini(settingsPath(), QSettings::IniFormat);
        for (auto it = values.begin(); it != values.end(); ++it)
            ini.setValue(it.key(), it.value());
    }
    void replug(ADFmain &w, bool first, bool second);
    static TitleBar *titleBar(ADFmain &w) { return w.findChild<TitleBar *>(); }
    CToolHelper m_theme;

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
    // The shipped theme, with error tips off so that no message box can block a test.
    const QString icon = m_appDir + "/icon.ini";
    QFile::remove(icon);
    QVERIFY(QFile::copy(qEnvironmentVariable("PAGELUX_SOURCE_DIR") + "/deploy/icon.ini", icon));
    QFile::setPermissions(icon, QFile::ReadOwner | QFile::WriteOwner);
    {
        QSettings ini(icon, QSettings::IniFormat);
        ini.setIniCodec("UTF-8");
        ini.setValue("Set/IsErrorTips", "0");
        ini.setValue("Set/IsScanVoice", "1");
    }
    m_theme.SettingAllSets();
    QVERIFY(!m_theme.titlenodevstr.isEmpty());
    twocameras::configure();
    QCOMPARE(Cam_Init(), long(ERROR_GOOD));
    qInstallMessageHandler(captureLog);
}

void TestADFmain::init()
{
    setPresent(true, true);
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
    // A new account may have no Documents folder yet: the save folder comes with its parents.
    QVERIFY(QDir(m_home + "/Documents").removeRecursively());
    {
        ADFmain w;
        QVERIFY(QFile::exists(settingsPath()));
        QVERIFY(QDir(m_home + "/Documents/PageLux").exists());
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(w.size(), QSize(900, 600));
    }
    QVERIFY(QMetaType::type("PicItemData") != QMetaType::UnknownType);
    QVERIFY(g_log.contains("ADFmain::ADFmain() __ 没有lastSetting,开始写入主界面参数."));
    QVERIFY(g_log.contains("ADFmain::ADFmain() __ 文件夹已成功创建"));
    QVERIFY(g_log.contains(" adfmain () -- nColor is 黑色\n"));
    const auto v = readAll();
    QCOMPARE(v.size(), 7 + 22);
    const QMap<QString, QString> defaults = {{"MainSettings/FilePath", m_home + "/Documents/PageLux"},
                                             {"MainSettings/NameFormatType", "1"},
                                             {"MainSettings/NameBase", "CameraImage"},
                                             {"MainSettings/StartNum", "1"},
                                             {"MainSettings/SaveType", "0"},
                                             {"MainSettings/ScanVoice", "1"},
                                             {"MainSettings/ErrorTips", "0"},
                                             {"CamSettings/FileFormat", "jpg"},
                                             {"CamSettings/XResolution", ""},
                                             {"CamSettings/WaterTextContent", "WaterMark"},
                                             {"CamSettings/TakeModleFormat", "手动"},
                                             {"CamSettings/WaterMarkColor", "黑色"},
                                             {"CamSettings/WaterMarkType", "0"}};
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        QCOMPARE(v[it.key()], it.value());
}

void TestADFmain::secondStartKeepsEveryValue()
{
    {
        ADFmain first;
    }
    setValues({{"MainSettings/NameBase", "扫描_合同"},
               {"MainSettings/StartNum", "42"},
               {"MainSettings/NameFormatType", "0"},
               {"CamSettings/XResolution", "1920"},
               {"CamSettings/YResolution", "1080"},
               {"CamSettings/WaterMarkType", "2"},
               {"CamSettings/WaterTextContent", "机密 Confidential"},
               {"CamSettings/WaterColorR", "200"},
               {"CamSettings/BookExportIndex", "3"},
               {"CamSettings/TakeModleFormat", "定时(5秒)"},
               {"CamSettings/WaterImagePath", "/pics/logo.png"}});
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
        // A watermark type other than 0 and 1 is text.
        setValues({{"MainSettings/StartNum", startNum},
                   {"MainSettings/NameBase", longBase},
                   {"CamSettings/WaterMarkType", "5"}});
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

void TestADFmain::unmakeableSaveFolderIsReported()
{
    // Settings are still written when the folder cannot be made.
    QVERIFY(QDir(m_home + "/Documents").removeRecursively());
    QFile blocker(m_home + "/Documents");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        ADFmain w;
        closeWindow(w);
    }
    QVERIFY(g_log.contains("ADFmain::ADFmain() __ 文件夹创建失败"));
    QCOMPARE(readAll()["MainSettings/FilePath"], m_home + "/Documents/PageLux");
}

void TestADFmain::replug(ADFmain &w, bool first, bool second)
{
    setPresent(first, second);
    QMetaObject::invokeMethod(&w, "slotGetDeviceChanged", Q_ARG(QString, "/dev"));
}

void TestADFmain::selectorFollowsTheCameras()
{
    ADFmain w;
    TitleBar *bar = titleBar(w);
    QVERIFY(bar);
    QTRY_COMPARE_WITH_TIMEOUT(bar->m_comboSelect->count(), 2, 20000);
    char name[CAM_NAME_SIZE] = {};
    QCOMPARE(Cam_GetDevName(0, name), long(ERROR_GOOD));
    QCOMPARE(bar->m_comboSelect->itemText(0), QString::fromUtf8(name));
    QCOMPARE(bar->m_comboSelect->currentIndex(), 0);
    QVERIFY(!bar->m_comboSelect->isHidden());
    QVERIFY(!bar->m_capture->isHidden() && bar->m_capture->isEnabled());
    QVERIFY(bar->m_label->isHidden());
    QVERIFY(bar->m_scan->isHidden());
    QVERIFY(g_log.contains("ADFmain::slotInitCamDevThreadOver() __ 初始化设备完成,开始更新设备结构体参数."));

    replug(w, true, false);
    QCOMPARE(bar->m_comboSelect->count(), 1);
    replug(w, true, true);
    QCOMPARE(bar->m_comboSelect->count(), 2);
    QCOMPARE(bar->m_comboSelect->currentIndex(), 0);

    // A change that keeps the number of cameras leaves the user's choice alone.
    bar->m_comboSelect->setCurrentIndex(1);
    replug(w, true, true);
    QCOMPARE(bar->m_comboSelect->count(), 2);
    QCOMPARE(bar->m_comboSelect->currentIndex(), 1);

    // The last camera gone: the warning text takes the selector's place.
    replug(w, false, false);
    QVERIFY(bar->m_comboSelect->isHidden());
    QVERIFY(bar->m_capture->isHidden());
    QVERIFY(!bar->m_label->isHidden());
    QCOMPARE(bar->m_label->text(), m_theme.titlewarningstr);

    replug(w, false, true);
    QCOMPARE(bar->m_comboSelect->count(), 1);
    QVERIFY(bar->m_label->isHidden());
    QVERIFY(!bar->m_capture->isHidden());
}

void TestADFmain::noCameraAtStart()
{
    setPresent(false, false);
    ADFmain w;
    TitleBar *bar = titleBar(w);
    QTRY_VERIFY_WITH_TIMEOUT(g_log.contains("ADFmain::updateInitDevUI() __ end\n"), 20000);
    QVERIFY(!bar->m_label->isHidden());
    QCOMPARE(bar->m_label->text(), m_theme.titlenodevstr);
    QCOMPARE(bar->m_label->minimumWidth(), m_theme.minwidth);
    QVERIFY(bar->m_capture->isHidden());
    QVERIFY(bar->m_comboSelect->isHidden());
    QCOMPARE(bar->m_comboSelect->count(), 0);
}

void TestADFmain::hotPlugDuringDiscoveryWaitsForIt()
{
    ADFmain w;
    // The start-up discovery has listed both cameras, its result not yet taken in,
    // when one is unplugged and the /dev change arrives.
    QVERIFY(waitWithoutEvents([] { return logged("初始化高拍仪线程结束信号已发送\n"); }));
    QFile control(twocameras::controlPath());
    QVERIFY(control.open(QIODevice::WriteOnly | QIODevice::Truncate));
    control.write("device 2 absent\n");
    control.close();
    QVERIFY(waitWithoutEvents([] {
        long count = -1;
        return Cam_GetDevCount(&count) == ERROR_GOOD && count == 1;
    }));
    QMetaObject::invokeMethod(&w, "slotGetDeviceChanged", Q_ARG(QString, "/dev"));
    // The scan runs after the older result, not overwritten by it.
    QTRY_VERIFY_WITH_TIMEOUT(
        logged("ADFmain::slotInitCamDevThreadOver() __ 初始化设备完成,开始更新设备结构体参数."), 20000);
    QCOMPARE(titleBar(w)->m_comboSelect->count(), 1);
}

void TestADFmain::restoreGivesNormalSizeAtLastPosition()
{
    ADFmain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.move(40, 30);
    TitleBar *bar = titleBar(w);
    bar->m_pButtonMax->click();
    QCOMPARE(w.pos(), QPoint(0, 0));
    QCOMPARE(w.size(), QGuiApplication::primaryScreen()->availableGeometry().size());
    QVERIFY(bar->m_pButtonMax->isHidden());
    bar->m_pButtonRestore->click();
    QCOMPARE(w.size(), QSize(900, 600));
    QCOMPARE(w.pos(), QPoint(40, 30));
    QVERIFY(!bar->m_pButtonMax->isHidden());

    // The camera window hands back its state: maximised, then normal at its position.
    w.hide();
    QMetaObject::invokeMethod(&w, "slotShowADFUI", Q_ARG(bool, true), Q_ARG(QPoint, QPoint(70, 80)),
                              Q_ARG(QStringList, QStringList{"/p/a.jpg"}));
    QVERIFY(w.isVisible());
    QCOMPARE(w.size(), QGuiApplication::primaryScreen()->availableGeometry().size());
    QVERIFY(bar->m_pButtonMax->isHidden());
    QMetaObject::invokeMethod(&w, "slotShowADFUI", Q_ARG(bool, false), Q_ARG(QPoint, QPoint(70, 80)),
                              Q_ARG(QStringList, QStringList()));
    QCOMPARE(w.size(), QSize(900, 600));
    QCOMPARE(w.pos(), QPoint(70, 80));
}

void TestADFmain::closeButtonWritesSettingsAndCloses()
{
    ADFmain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSettings(settingsPath(), QSettings::IniFormat).setValue("MainSettings/NameBase", "changed-on-disk");
    g_log.clear();
    titleBar(w)->m_pButtonClose->click();
    QVERIFY(g_log.contains("ADFmain::onButtonCloseClicked() __ 已完成lastSetting的写入.\n"));
    QVERIFY(!w.isVisible());
    QCOMPARE(readAll()["MainSettings/NameBase"], QString("CameraImage"));
}

void TestADFmain::settingsWindowHoldsTheMouseAndPersists()
{
    ADFmain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    TitleBar *bar = titleBar(w);
    QTRY_COMPARE_WITH_TIMEOUT(bar->m_comboSelect->count(), 2, 20000);
    QSignalSpy mins(bar, SIGNAL(signalButtonMinClicked()));
    const QPoint minButton = bar->m_pButtonMin->mapTo(&w, bar->m_pButtonMin->rect().center());

    bar->m_pButtonSet->click();
    QPointer<Set> set = w.findChild<Set *>();
    QVERIFY(set && set->isVisible());
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, Qt::NoModifier, minButton);
    QCOMPARE(mins.count(), 0);
    bar->m_pButtonSet->click();
    QCOMPARE(w.findChildren<Set *>().size(), 1);

    const QString folder = m_home + "/新文件夹";
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QImage(40, 30, QImage::Format_RGB32).save(folder + "/page.jpg"));
    auto *list = w.findChild<QListWidget *>("centerwidget");
    QVERIFY(list);
    QTRY_COMPARE(list->count(), 0);
    {
        settingswindows::ModalWatch watch(folder);
        set->findChild<QPushButton *>("selectbtn")->click();
    }
    set->findChild<TitleBar *>()->m_pButtonClose->click();
    QTRY_VERIFY(set.isNull());
    // Written at once, and the list follows the new folder.
    QCOMPARE(readAll()["MainSettings/FilePath"], folder);
    QTRY_COMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->data(ItemNameRole).toString(), QString("page.jpg"));
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, Qt::NoModifier, minButton);
    QCOMPARE(mins.count(), 1);
}

void TestADFmain::closingTakesTheSettingsWindowsAlong()
{
    ADFmain w;
    w.show();
    titleBar(w)->m_pButtonSet->click();
    QPointer<Set> set = w.findChild<Set *>();
    QVERIFY(set);
    set->findChild<QPushButton *>("setFileNamebtn")->click();
    QPointer<NameFormat> naming = set->nameformatui;
    QVERIFY(naming && naming->isVisible());
    closeWindow(w);
    QTRY_VERIFY(set.isNull() && naming.isNull());
}

void TestADFmain::scannerWindowKeepsItsValues()
{
    ADFmain w;
    w.show();
    auto openScanner = [&w]() -> ScanUI * {
        QMetaObject::invokeMethod(&w, "onButtonFunctionClicked");
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *scan = qobject_cast<ScanUI *>(top))
                if (scan->isVisible())
                    return scan;
        return nullptr;
    };
    ScanUI *scan = openScanner();
    QVERIFY(scan);
    QVERIFY(!w.isVisible());
    scan->findChild<QComboBox *>("filterComboBox")->setCurrentIndex(3);
    scan->close();
    QVERIFY(w.isVisible());
    scan = openScanner();
    QVERIFY(scan);
    QCOMPARE(scan->findChild<QComboBox *>("filterComboBox")->currentIndex(), 3);
    scan->close();
}

QTEST_MAIN(TestADFmain)
#include "tst_adfmain.moc"

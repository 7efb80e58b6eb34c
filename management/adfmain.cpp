#include "adfmain.h"
#include "ui_adfmain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>

namespace
{
const int kWaterBufferSize = 256;
const int kNameBaseMax = 30;

bool flagOf(const QString &text)
{
    return text.toInt() != 0;
}
} // namespace

ADFmain::ADFmain(QWidget *parent) : QMainWindow(parent), ui(new Ui::ADFmain)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    resize(900, 600);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    NormalPoint = pos();

    std::memset(&watermarkInfo, 0, sizeof(watermarkInfo));
    SetInfo.nameformatType = 1;
    SetInfo.saveType = 0;
    SetInfo.IsScanVoice = false;
    SetInfo.IsErrorTip = false;
    SetInfo.nameFormat.startNum = 1;
    SetInfo.nameFormat.strSeparator = "_";
    camImageInfo.cropIndex = camImageInfo.imageIndex = camImageInfo.edgeMendingIndex = 0;
    camImageInfo.foreignMatterIndex = camImageInfo.idCardModeIndex = 0;

    initSettingFile();
}

ADFmain::~ADFmain()
{
    delete ui;
}

char *ADFmain::newWaterBuffer(const QString &text)
{
    m_waterBuffers.emplace_back(new char[kWaterBufferSize]());
    char *buffer = m_waterBuffers.back().get();
    qstrncpy(buffer, text.toUtf8().constData(), kWaterBufferSize);
    return buffer;
}

// The user settings file: resolve its path, write first-run defaults, read it back.
void ADFmain::initSettingFile()
{
    const QString home = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    printf("HomeLocation = %s\n", qPrintable(home));
    const QStringList parts = home.split("/");
    QString userName;
    if (home.contains("home")) {
        userName = parts.value(2);
        printf("**** home ****%s\n", qPrintable(userName));
    } else {
        userName = parts.value(1);
        printf("**** no home ****%s\n", qPrintable(userName));
    }
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString userPath = appDir + "/" + userName;
    printf("userpath=%s\n", qPrintable(userPath));
    fflush(stdout);
    if (!QDir(userPath).exists())
        QDir().mkdir(userPath);

    const QString configured = m_toolHelper.readSettingValue("LastSetting", "path");
    QString settingPath;
    if (configured.isEmpty()) {
        settingPath = userPath + "/UILastSetting.ini";
    } else {
        settingPath = configured;
        qWarning("lastSetting path is %s", qUtf8Printable(configured));
    }
    m_toolHelper.setSettingFilePath(settingPath);

    QString probe;
    if (m_toolHelper.readMainValue("FilePath", probe) != -1)
        qWarning("ADFmain::ADFmain() __ UILastSetting 已存在,跳过初始化环节.");
    else
        writeDefaultSettings(appDir);

    readLastSetting(appDir);
    if (SetInfo.nameFormat.nameBase.length() > kNameBaseMax) {
        qWarning("adfmain::adfmain() -- SetInfo.nameFormat.nameBase 长度超过30 ");
        SetInfo.nameFormat.nameBase = SetInfo.nameFormat.nameBase.left(kNameBaseMax);
    }
    std::memset(&ScanSet, 0, sizeof(ScanSet));
    std::memset(&ImageSet, 0, sizeof(ImageSet));
    filePath = SetInfo.savepath;
    qRegisterMetaType<PicItemData>("PicItemData");
}

void ADFmain::writeDefaultSettings(const QString &appDir)
{
    qWarning("ADFmain::ADFmain() __ 没有lastSetting,开始写入主界面参数.");
    SetInfo.savepath = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                       m_toolHelper.readSettingValue("savePath", "imagePath");
    SetInfo.nameformatType = 1;
    SetInfo.nameFormat.nameBase = "CameraImage";
    SetInfo.nameFormat.startNum = 1;
    SetInfo.nameFormat.strSeparator = "_";
    SetInfo.saveType = 0;
    SetInfo.IsScanVoice = flagOf(m_toolHelper.readSettingValue("Set", "IsScanVoice"));
    SetInfo.IsErrorTip = flagOf(m_toolHelper.readSettingValue("Set", "IsErrorTips"));
    m_toolHelper.setMainValue(mainSettingValues());

    qWarning("ADFmain::ADFmain() __ 没有lastSetting,开始写入拍摄界面参数\n");
    camImageInfo.fileformat = "jpg";
    camImageInfo.resolution.clear();
    camImageInfo.takemodleformat = "手动";
    camImageInfo.cropIndex = camImageInfo.imageIndex = camImageInfo.edgeMendingIndex = 0;
    camImageInfo.foreignMatterIndex = camImageInfo.idCardModeIndex = 0;
    watermarkInfo.bIsWater = false;
    watermarkInfo.bIsWaterImage = false;
    watermarkInfo.szWaterImagePath = newWaterBuffer();
    watermarkInfo.szWaterContent = newWaterBuffer("WaterMark");
    watermarkInfo.szWaterFont = newWaterBuffer(appDir + "/" + "simhei.ttf");
    watermarkInfo.nColor = newWaterBuffer("黑色");
    watermarkInfo.nWaterPointX = watermarkInfo.nWaterPointY = 0;
    watermarkInfo.nFontSize = 0;
    watermarkInfo.nFontR = watermarkInfo.nFontG = watermarkInfo.nFontB = 0;
    watermarkInfo.nOpacity = 0;
    watermarkInfo.nPositionCode = 0;
    bookExportIndex = 0;
    qWarning(" adfmain () -- nColor is %s\n", watermarkInfo.nColor);
    m_toolHelper.setCameraValue(cameraSettingValues(QString(), QString(), "0"));
    qWarning("ADFmain::ADFmain() __ 初始化写入lastSetting完成.\n");

    // Missing parents are created too: a new account may have no Documents folder yet.
    qWarning("ADFmain::ADFmain() __ 新建存储文件夹");
    if (QDir(SetInfo.savepath).exists()) {
        qWarning("ADFmain::ADFmain() __ 文件夹已存在");
    } else if (QDir().mkpath(SetInfo.savepath)) {
        qWarning("ADFmain::ADFmain() __ 文件夹已成功创建");
    } else {
        qWarning("ADFmain::ADFmain() __ 文件夹创建失败");
    }
}

void ADFmain::readLastSetting(const QString &appDir)
{
    qWarning("ADFmain::ADFmain() __ 开始读取 UILastSetting.\n");
    QString value;
    if (m_toolHelper.readMainValue("FilePath", value) == -1) {
        qWarning("ADFmain::ADFmain() __ UILastSetting 不存在,读取失败.\n");
        return;
    }
    SetInfo.savepath = value;
    auto readMain = [this](const char *key) {
        QString text;
        m_toolHelper.readMainValue(key, text);
        return text;
    };
    SetInfo.nameformatType = readMain("NameFormatType").toInt();
    SetInfo.nameFormat.nameBase = readMain("NameBase");
    const int startNum = readMain("StartNum").toInt();
    SetInfo.nameFormat.startNum = startNum != 0 ? startNum : 1;
    SetInfo.nameFormat.strSeparator = "_";
    SetInfo.saveType = readMain("SaveType").toInt();
    SetInfo.IsScanVoice = flagOf(readMain("ScanVoice"));
    SetInfo.IsErrorTip = flagOf(readMain("ErrorTips"));

    auto readCam = [this](const char *key) {
        QString text;
        m_toolHelper.readCameraValue(key, text);
        return text;
    };
    camImageInfo.takemodleformat = readCam("TakeModleFormat");
    camImageInfo.fileformat = readCam("FileFormat");
    camImageInfo.resolution = readCam("XResolution") + "x" + readCam("YResolution");
    camImageInfo.cropIndex = readCam("CropIndex").toInt();
    camImageInfo.imageIndex = readCam("ImageIndex").toInt();
    camImageInfo.edgeMendingIndex = readCam("EdgeMendingIndex").toInt();
    camImageInfo.foreignMatterIndex = readCam("ForeignMatterIndex").toInt();
    camImageInfo.idCardModeIndex = readCam("IDCardModeIndex").toInt();

    const int waterMarkType = readCam("WaterMarkType").toInt();
    watermarkInfo.bIsWater = waterMarkType != 0;
    watermarkInfo.bIsWaterImage = waterMarkType == 1;
    watermarkInfo.nWaterPointX = readCam("WaterImageXPosition").toInt();
    watermarkInfo.nWaterPointY = readCam("WaterImageYPosition").toInt();
    watermarkInfo.szWaterImagePath = newWaterBuffer(readCam("WaterImagePath"));
    watermarkInfo.szWaterContent = newWaterBuffer(readCam("WaterTextContent"));
    watermarkInfo.nColor = newWaterBuffer(readCam("WaterMarkColor"));
    watermarkInfo.szWaterFont = newWaterBuffer(appDir + "/" + "simhei.ttf");
    watermarkInfo.nFontSize = readCam("WaterTextSize").toInt();
    watermarkInfo.nFontR = readCam("WaterColorR").toInt();
    watermarkInfo.nFontG = readCam("WaterColorG").toInt();
    watermarkInfo.nFontB = readCam("WaterColorB").toInt();
    watermarkInfo.nOpacity = readCam("WaterTransparentIndex").toInt();
    watermarkInfo.nPositionCode = readCam("WaterFormat").toInt();
    bookExportIndex = readCam("BookExportIndex").toInt();
}

QStringList ADFmain::mainSettingValues() const
{
    return {SetInfo.savepath,
            QString::number(SetInfo.nameformatType),
            SetInfo.nameFormat.nameBase,
            QString::number(SetInfo.nameFormat.startNum),
            QString::number(SetInfo.saveType),
            QString::number(SetInfo.IsScanVoice ? 1 : 0),
            QString::number(SetInfo.IsErrorTip ? 1 : 0)};
}

QStringList ADFmain::cameraSettingValues(const QString &x, const QString &y,
                                         const QString &waterMarkType) const
{
    auto text = [](const char *buffer) { return buffer ? QString::fromUtf8(buffer) : QString(); };
    return {camImageInfo.fileformat,
            x,
            y,
            QString::number(camImageInfo.cropIndex),
            QString::number(camImageInfo.imageIndex),
            QString::number(camImageInfo.edgeMendingIndex),
            QString::number(camImageInfo.foreignMatterIndex),
            waterMarkType,
            text(watermarkInfo.szWaterImagePath),
            QString::number(watermarkInfo.nWaterPointX),
            QString::number(watermarkInfo.nWaterPointY),
            text(watermarkInfo.szWaterContent),
            QString::number(watermarkInfo.nFontSize),
            QString::number(watermarkInfo.nFontR),
            QString::number(watermarkInfo.nFontG),
            QString::number(watermarkInfo.nFontB),
            QString::number(watermarkInfo.nOpacity),
            QString::number(watermarkInfo.nPositionCode),
            QString::number(bookExportIndex),
            camImageInfo.takemodleformat,
            QString::number(camImageInfo.idCardModeIndex),
            text(watermarkInfo.nColor)};
}

void ADFmain::writeLastSetting()
{
    const QStringList size = camImageInfo.resolution.split("x");
    m_toolHelper.setMainValue(mainSettingValues());
    QString waterMarkType = "0";
    if (watermarkInfo.bIsWater)
        waterMarkType = watermarkInfo.bIsWaterImage ? "1" : "2";
    m_toolHelper.setCameraValue(cameraSettingValues(size.value(0), size.value(1), waterMarkType));
    qWarning("ADFmain::onButtonCloseClicked() __ 已完成lastSetting的写入.\n");
    m_settingsWritten = true;
}

void ADFmain::onButtonCloseClicked()
{
    writeLastSetting();
    close();
}

// A close that did not come through the title bar (window manager, Alt+F4)
// still keeps the user's settings.
void ADFmain::closeEvent(QCloseEvent *event)
{
    if (!m_settingsWritten)
        writeLastSetting();
    QMainWindow::closeEvent(event);
}

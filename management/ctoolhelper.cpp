#include "ctoolhelper.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

#include <vector>

namespace {
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

QVector<tagCamModel> CToolHelper::readCameraModels(QString tagCamModel::*required)
{
    QVector<tagCamModel> rows;
    for (int i = 0;; ++i) {
        const QString group = "deviceInfo" + QString::number(i);
        qWarning("**** i =%d, tmpGroup = %s *****", i, qUtf8Printable(group));
        tagCamModel row;
        if (!readCameraModel(group, "pid", row.pid)) {
            qWarning("**** i =%d, 没有读到 *****", i);
            return rows;
        }
        readCameraModel(group, "vid", row.vid);
        readCameraModel(group, "devType", row.devType);
        readCameraModel(group, "devName", row.devName);
        qWarning("**************devName=%s\n", qUtf8Printable(row.devName));
        if ((row.*required).isEmpty())
            return rows;
        rows.append(row);
    }
}

bool CToolHelper::FileExists(QString path)
{
    return QFileInfo::exists(path);
}

// A capture sound is a deployment choice; this build stays silent.
void CToolHelper::playSound(bool) {}

namespace {
// One row of the theme table: a group/key of icon.ini and the member(s) it
// fills. A colour row reads its three channel keys (prefix + R, G, B) and may
// also keep the channels as numbers.
struct ThemeEntry {
    enum Kind { Text, Number, Channel, Switch, Colour };

    ThemeEntry(const char *g, const char *k, QString CToolHelper::*m) : kind(Text), group(g), key(k), text(m)
    {
    }
    ThemeEntry(const char *g, const char *k, int CToolHelper::*m) : kind(Number), group(g), key(k), number(m)
    {
    }
    ThemeEntry(const char *g, const char *k, bool CToolHelper::*m) : kind(Switch), group(g), key(k), flag(m)
    {
    }
    ThemeEntry(const char *g, const char *prefix, QColor CToolHelper::*m, int CToolHelper::*r = nullptr,
               int CToolHelper::*gr = nullptr, int CToolHelper::*b = nullptr)
        : kind(Colour), group(g), key(prefix), colour(m), channels{r, gr, b}
    {
    }

    static ThemeEntry channel(const char *g, const char *k, int CToolHelper::*m)
    {
        ThemeEntry e(g, k, m);
        e.kind = Channel;
        return e;
    }

    Kind kind;
    const char *group;
    const char *key;
    QString CToolHelper::*text = nullptr;
    int CToolHelper::*number = nullptr;
    bool CToolHelper::*flag = nullptr;
    QColor CToolHelper::*colour = nullptr;
    int CToolHelper::*channels[3] = {nullptr, nullptr, nullptr};
};

// Non-numeric or missing text reads as 0.
int toNumber(const QString &text)
{
    return text.trimmed().toInt(nullptr, 10);
}

int toChannel(const QString &text)
{
    return qBound(0, toNumber(text), 255);
}

using T = CToolHelper;

// In the order of the file's documentation; each row is one read of icon.ini.
const std::vector<ThemeEntry> &themeTable()
{
    static const std::vector<ThemeEntry> table = {
        {"iconPath", "uipath", &T::uiiconpath},
        {"iconPath", "pdfpath", &T::pdficonpath},
        {"iconPath", "pdfenablepath", &T::pdfenablepath},
        {"iconPath", "pdfhovorpath", &T::pdfhovorpath},
        {"iconPath", "pdfdisablepath", &T::pdfdisablepath},
        {"iconPath", "camdevpath", &T::camdevpath},
        {"iconPath", "adfdevpath", &T::adfdevpath},
        {"iconPath", "setpath", &T::seticonpath},
        {"iconPath", "setpresspath", &T::setpressiconpath},
        {"iconPath", "minpath", &T::miniconpath},
        {"iconPath", "minpresspath", &T::minpressiconpath},
        {"iconPath", "maxpath", &T::maxiconpath},
        {"iconPath", "maxpresspath", &T::maxpressiconpath},
        {"iconPath", "restorepath", &T::restoreiconpath},
        {"iconPath", "restorepresspath", &T::restorepressiconpath},
        {"iconPath", "closepath", &T::closeiconpath},
        {"iconPath", "closepresspath", &T::closeendiconpath},
        {"iconPath", "closepresspath", &T::closepressiconpath},
        {"iconPath", "cameraleftpath", &T::lefticonpath},
        {"iconPath", "cameraleftpresspath", &T::leftpressiconpath},
        {"iconPath", "camerarightpath", &T::righticonpath},
        {"iconPath", "camerarightpresspath", &T::rightpressiconpath},
        {"iconPath", "enlargepath", &T::enlargeiconpath},
        {"iconPath", "enlargepresspath", &T::enlargepressiconpath},
        {"iconPath", "narrowpath", &T::narrowiconpath},
        {"iconPath", "narrowpresspath", &T::narrowpressiconpath},
        {"iconPath", "uirestorepath", &T::uirestoreiconpath},
        {"iconPath", "uirestorepresspath", &T::uirestorepressiconpath},
        {"iconPath", "cameracapturepath", &T::captureiconpath},
        {"iconPath", "cameracapturepresspath", &T::capturepressiconpath},
        {"iconPath", "colorpath", &T::coloriconpath},
        {"iconPath", "mainleftpath", &T::uileftpath},
        {"iconPath", "mainleftpresspath", &T::uileftpresspath},
        {"iconPath", "mainrightpath", &T::uirightpath},
        {"iconPath", "mainrightpresspath", &T::uirightpresspath},
        {"iconPath", "deletepath", &T::uideletepath},
        {"iconPath", "deletepresspath", &T::uideletepresspath},
        {"iconPath", "displaypath", &T::uilistpath},
        {"iconPath", "displaypresspath", &T::uilistpresspath},
        {"iconPath", "titlescaniconpath", &T::titlescanpath},
        {"iconPath", "titlecaptureiconpath", &T::titlecapturepath},
        {"iconPath", "titlescaniconpresspath", &T::titlescanpresspath},
        {"iconPath", "titlecaptureiconpresspath", &T::titlecapturepresspath},
        {"iconPath", "imagepath", &T::scanimage},
        {"iconPath", "previewpath", &T::previewiconpath},
        {"iconPath", "bmpimageicon", &T::imagebmp},
        {"iconPath", "pdfimageicon", &T::imagepdf},
        {"iconPath", "pngimageicon", &T::imagepng},
        {"iconPath", "tifimageicon", &T::imagetif},
        {"iconPath", "iamgeicon", &T::imagepath},
        {"iconPath", "jpgimageicon", &T::imagejpg},
        {"iconPath", "ofdiconpath", &T::imageofd},
        {"iconPath", "ofdiconpath", &T::imagenwd},
        {"iconPath", "ofdiconpath", &T::imagenpdf},
        {"iconPath", "watermarkTopNormalpath", &T::watermarkTopNormalpath},
        {"iconPath", "watermarkTopDisablepath", &T::watermarkTopDisablepath},
        {"iconPath", "watermarkTopSelectpath", &T::watermarkTopSelectpath},
        {"iconPath", "watermarkCenterNormalpath", &T::watermarkCenterNormalpath},
        {"iconPath", "watermarkCenterDisablepath", &T::watermarkCenterDisablepath},
        {"iconPath", "watermarkCenterSelectpath", &T::watermarkCenterSelectpath},
        {"iconPath", "watermarkObliqueNormalpath", &T::watermarkObliqueNormalpath},
        {"iconPath", "watermarkObliqueDisablepath", &T::watermarkObliqueDisablepath},
        {"iconPath", "watermarkObliqueSelectpath", &T::watermarkObliqueSelectpath},
        {"iconPath", "watermarkBottomNormalpath", &T::watermarkBottomNormalpath},
        {"iconPath", "watermarkBottomDisablepath", &T::watermarkBottomDisablepath},
        {"iconPath", "watermarkBottomSelectpath", &T::watermarkBottomSelectpath},
        {"iconPath", "camcapturenormalpath", &T::camcapturenormalpath},
        {"iconPath", "camcapturehovorpath", &T::camcapturehovorpath},
        {"iconPath", "camcapturepresspath", &T::camcapturepresspath},
        {"iconPath", "camimagenormalpath", &T::camimagenormalpath},
        {"iconPath", "camimagehovorpath", &T::camimagehovorpath},
        {"iconPath", "camimagepresspath", &T::camimagepresspath},
        {"iconPath", "comboBoxdownarrow", &T::comboBoxdownarrowpath},
        {"iconPath", "ocrpath", &T::ocrnormalpath},
        {"iconPath", "ocrpresspath", &T::ocrpresspath},
        {"iconPath", "ofdpath", &T::ofdnormalpath},
        {"iconPath", "ofdpresspath", &T::ofdpresspath},
        {"iconPath", "nwdpath", &T::nwdnormalpath},
        {"iconPath", "nwdpresspath", &T::nwdpresspath},
        {"iconPath", "npdfpath", &T::npdfnormalpath},
        {"iconPath", "npdfpresspath", &T::npdfpresspath},
        {"iconPath", "bookLefttoRight", &T::bookLefttoRightpath},
        {"iconPath", "bookRighttoLeft", &T::bookRighttoLeftpath},
        {"iconPath", "bookMerge", &T::bookMergepath},
        {"iconPath", "bookOnlyLeft", &T::bookOnlyLeftpath},
        {"iconPath", "bookOnlyRight", &T::bookOnlyRightpath},

        {"Set", "IsScanVoice", &T::IsScanVoice},
        {"Set", "IsErrorTips", &T::IsErrorTip},
        {"tempPath", "ocrpdfpbOut", &T::ocrpdfpboutpath},
        {"tempPath", "ocrofdpbOut", &T::ocrofdpboutpath},
        {"savePath", "imagePath", &T::savePath},

        {"colorMainUI", "", &T::uibackcolor},
        {"colorCameraUI", "", &T::camerauicolor},
        {"colorSetUI", "", &T::setuicolor},
        {"colorImageUI", "", &T::imageuicolor},
        {"colorNameFormatUI", "", &T::nameformatuicolor},
        {"colorMainItemSelected", "", &T::mainitemselectcolor, &T::mainitemselectR, &T::mainitemselectG,
         &T::mainitemselectB},
        {"colorCamItemSelected", "", &T::cameraitemselectcolor},
        {"colorCamItem", "", &T::cameraitemcolor},
        {"colorCameraBackground", "", &T::camerabackgroundcolor},
        {"colorMenuBackground", "", &T::menubackgroundcolor},
        {"colorMenuItem", "", &T::menuitemcolor},
        {"colorMenuItemHover", "", &T::menuitemhovercolor},
        {"colorMenuItemSelected", "", &T::menuitemselectcolor},
        {"colorDrawLine", "", &T::drawlinecolor},
        {"colorDrawRect", "", &T::drawrectcolor},
        {"colorDrawCrop", "", &T::drawCropcolor},
        {"colorDrawPagingLine", "", &T::drawPagingLinecolor},
        {"colorDrawPagingRect", "", &T::drawPagingRectcolor},
        {"colorSelectCrop", "", &T::selectCropcolor},
        {"colorMainListView", "", &T::mainlistviewcolor, &T::widget_R, &T::widget_G, &T::widget_B},
        {"colorCameraListView", "", &T::cameralistviewcolor},
        {"colorCameraCombBox", "", &T::cameracomboxcolor},
        {"colorTitleWarning", "", &T::titlewarningcolor},
        {"colorTabWidget", "tabBackground", &T::tabBackgroundcolor},
        {"colorTabWidget", "tabBorder", &T::tabBordercolor},
        {"colorTabWidget", "tabSelect", &T::tabSelectioncolor},
        {"colorComboBox", "comboBoxBackground", &T::comboBoxBackcolor},
        {"colorComboBox", "comboBocBorder", &T::comboBoxbordercolor},
        {"colorComboBox", "comboBoxSelectionBackground", &T::comboBoxSelectcolor},
        {"colorComboBox", "font", &T::comboBoxfontcolor},
        {"colorComboBox", "fontSelection", &T::comboBoxSelectfontcolor},
        {"colorComboBox", "backgroundcolor", &T::comboBackcolor},
        {"colorComboBox", "backgroundhover", &T::combohovercolor},
        {"colorLineEdit", "border", &T::lineeditBordercolor},
        {"colorRadiobutton", "background", &T::radiobuttonbackcolor},
        {"colorRadiobutton", "border", &T::radiobuttonbordercolor},

        ThemeEntry::channel("ColorTitle", "R", &T::title_background_R),
        ThemeEntry::channel("ColorTitle", "G", &T::title_background_G),
        ThemeEntry::channel("ColorTitle", "B", &T::title_background_B),
        ThemeEntry::channel("ColorButton", "title_normal_R", &T::title_normal_R),
        ThemeEntry::channel("ColorButton", "title_normal_G", &T::title_normal_G),
        ThemeEntry::channel("ColorButton", "title_normal_B", &T::title_normal_B),
        ThemeEntry::channel("ColorButton", "title_hovor_R", &T::title_hovor_R),
        ThemeEntry::channel("ColorButton", "title_hovor_G", &T::title_hovor_G),
        ThemeEntry::channel("ColorButton", "title_hovor_B", &T::title_hovor_B),
        ThemeEntry::channel("ColorButton", "title_pressed_R", &T::title_pressed_R),
        ThemeEntry::channel("ColorButton", "title_pressed_G", &T::title_pressed_G),
        ThemeEntry::channel("ColorButton", "title_pressed_B", &T::title_pressed_B),
        ThemeEntry::channel("ColorButton", "close_hovor_R", &T::close_hovor_R),
        ThemeEntry::channel("ColorButton", "close_hovor_G", &T::close_hovor_G),
        ThemeEntry::channel("ColorButton", "close_hovor_B", &T::close_hovor_B),
        ThemeEntry::channel("ColorButton", "close_pressed_R", &T::close_pressed_R),
        ThemeEntry::channel("ColorButton", "close_pressed_G", &T::close_pressed_G),
        ThemeEntry::channel("ColorButton", "close_pressed_B", &T::close_pressed_B),
        ThemeEntry::channel("ColorButton", "ui_normal_R", &T::ui_normal_R),
        ThemeEntry::channel("ColorButton", "ui_normal_G", &T::ui_normal_G),
        ThemeEntry::channel("ColorButton", "ui_normal_B", &T::ui_normal_B),
        ThemeEntry::channel("ColorButton", "ui_hovor_R", &T::ui_hovor_R),
        ThemeEntry::channel("ColorButton", "ui_hovor_G", &T::ui_hovor_G),
        ThemeEntry::channel("ColorButton", "ui_hovor_B", &T::ui_hovor_B),
        ThemeEntry::channel("ColorButton", "ui_pressed_R", &T::ui_pressed_R),
        ThemeEntry::channel("ColorButton", "ui_pressed_G", &T::ui_pressed_G),
        ThemeEntry::channel("ColorButton", "ui_pressed_B", &T::ui_pressed_B),

        {"widthDrawCrop", "width", &T::cropWidth},
        {"widthDrawLine", "width", &T::lineWidth},
        {"widthDrawRect", "width", &T::rectwidth},
        {"drawRectTransparent", "alpha", &T::rectalpha},
        {"widthDrawPagingLine", "width", &T::pagingLineWidth},
        {"widthDrawPagingRect", "width", &T::pagingRectWidth},
        {"TitleWarningString", "warningString", &T::titlewarningstr},
        {"TitleNODEV", "warningString", &T::titlenodevstr},
        {"TitleWarningSize", "minWidth", &T::minwidth},
        {"TitleWarningSize", "maxWidth", &T::maxwidth},

        {"WarningTips", "warningTitle", &T::warningTitle},
        {"WarningTips", "tipTitle", &T::tipTitle},
        {"WarningTips", "mksrtipTitle", &T::mksrtipTitle},
        {"WarningTips", "pdfNotSupported", &T::pdfNotSupported},
        {"WarningTips", "ocrpdfNotSupported", &T::ocrpdfNotSupported},
        {"WarningTips", "fileNotFound", &T::fileNotFound},
        {"WarningTips", "ocrMergeQuestion", &T::ocrMergeQuestion},
        {"WarningTips", "pdfMergeFileIsNull", &T::pdfMergeFileIsNull},
        {"WarningTips", "pdfMergeQuestion", &T::pdfMergeQuestion},
        {"WarningTips", "cropNotSupportRotation", &T::cropNotSupportRotation},
        {"WarningTips", "cropNotSupportEnlarge", &T::cropNotSupportEnlarge},
        {"WarningTips", "cropNotSupportNarrow", &T::cropNotSupportNarrow},
        {"WarningTips", "restoreOver", &T::restoreOver},
        {"WarningTips", "waterMarkLengthOverFlow", &T::waterMarkLengthOverFlow},
        {"WarningTips", "captureWaterMarkLengthOverFlow", &T::captureWaterMarkLengthOverFlow},
        {"WarningTips", "waterMarkLengthIsNull", &T::waterMarkLengthIsNull},
        {"WarningTips", "captureWaterMarkLengthIsNull", &T::captureWaterMarkLengthIsNull},
        {"WarningTips", "waterImagePathIsNotExist", &T::waterImagePathIsNotExist},
        {"WarningTips", "captureWaterImagePathIsNotExist", &T::captureWaterImagePathIsNotExist},
        {"WarningTips", "waterImagePathOverFlow", &T::waterImagePathOverFlow},
        {"WarningTips", "captureWaterImagePathOverFlow", &T::captureWaterImagePathOverFlow},
        {"WarningTips", "saveImagePathIsNotExist", &T::saveImagePathIsNotExist},
        {"WarningTips", "captureSaveImagePathIsNotExist", &T::captureSaveImagePathIsNotExist},
        {"WarningTips", "saveImagePathIsOverFlow", &T::saveImagePathIsOverFlow},
        {"WarningTips", "captureSaveImagePathIsOverFlow", &T::captureSaveImagePathIsOverFlow},
        {"WarningTips", "newfolderfailed", &T::newfolderfailed},
        {"WarningTips", "captureFailedPath", &T::captureFailedPath},
        {"WarningTips", "nameLengthOverFlow", &T::nameLengthOverFlow},
        {"WarningTips", "saveIamgePathIsNoWrite", &T::saveIamgePathIsNoWrite},
        {"WarningTips", "nameLengthIsNull", &T::nameformatnulltip},
        {"WarningTips", "idCardCannotCapture", &T::idcardCannotCapture},
        {"aboutTips", "softwareName", &T::softwareName},
        {"aboutTips", "versionNumber", &T::versionNumber},
        {"aboutTips", "aboutTip", &T::aboutTip},
        {"nameformatTips", "timeTip", &T::nameformatTimeTip},
        {"imagesetTips", "watermarkTip", &T::imagesetWaterTip},

        {"dialogHasParent", "hasParent", &T::dialogHasParent},
        {"IsManualCutting", "isManualCut", &T::bIsManualCut},
        {"IsImageSetting", "isImageSet", &T::bIsImageSet},
        {"IsRemove", "isRemoveHole", &T::bIsRemoveHole},
        {"IsPagingCutting", "isPaging", &T::bIsPaging},
        {"IsSupportOCR", "isSupport", &T::bIsSupportOCR},
        {"IsReturnKey", "isReturnKey", &T::bIsReturnKey},
        {"IsSupportIDCard", "isSupportIDCard", &T::bIsIDCard},
        {"IsSupportOtherColors", "isSupportOtherColors", &T::bIsSupportOtherColors},
        {"IsSupportContinuouShooting", "isSupportContinuous", &T::bIsSupportContinuousShooting},
        {"RunName", "nameString", &T::titlename},

        {"tooltips", "set", &T::settip},
        {"tooltips", "min", &T::mintip},
        {"tooltips", "max", &T::maxtip},
        {"tooltips", "restore", &T::restoretip},
        {"tooltips", "close", &T::closetip},
        {"tooltips", "mainturnleft", &T::turnlefttip},
        {"tooltips", "mainturnright", &T::turnrighttip},
        {"tooltips", "mainmergepdf", &T::mergepdftip},
        {"tooltips", "delete", &T::deletetip},
        {"tooltips", "display", &T::displaytip},
        {"tooltips", "camrestore", &T::camrestoretip},
        {"tooltips", "camenlarge", &T::camenlargetip},
        {"tooltips", "camnarrow", &T::camnarrowtip},
        {"tooltips", "camturnleft", &T::camturnlefttip},
        {"tooltips", "camturnright", &T::camturnrighttip},
        {"tooltips", "capture", &T::capturetip},
        {"tooltips", "scan", &T::scantip},
        {"tooltips", "ocrpdf", &T::ocrpdftip},
        {"tooltips", "ocrofd", &T::ocrofdtip},
        {"tooltips", "ocrnwd", &T::ocrnwdtip},
        {"tooltips", "ocrnpdf", &T::ocrnpdftip},
    };
    return table;
}
} // namespace

void CToolHelper::SettingAllSets()
{
    qWarning("CToolHelper::SettingAllSets() __ 开始读取配置文件样式.");
    IsCameraType = toNumber(readSettingValue("deviceType", "camera")) != 0;
    IsScannerType = toNumber(readSettingValue("deviceType", "scanner")) != 0;
    qWarning("CToolHelper::SettingAllSets() __ 选择是否加载高拍仪: %d", IsCameraType ? 1 : 0);
    qWarning("CToolHelper::SettingAllSets() __ 选择是否加载扫描仪: %d", IsScannerType ? 1 : 0);

    for (const ThemeEntry &e : themeTable()) {
        const QString group = QString::fromLatin1(e.group);
        const QString key = QString::fromLatin1(e.key);
        switch (e.kind) {
        case ThemeEntry::Text:
            this->*e.text = readSettingValue(group, key);
            break;
        case ThemeEntry::Number:
            this->*e.number = toNumber(readSettingValue(group, key));
            break;
        case ThemeEntry::Channel:
            this->*e.number = toChannel(readSettingValue(group, key));
            break;
        case ThemeEntry::Switch:
            this->*e.flag = toNumber(readSettingValue(group, key)) != 0;
            break;
        case ThemeEntry::Colour: {
            int rgb[3];
            const char *suffix[3] = {"R", "G", "B"};
            for (int i = 0; i < 3; ++i) {
                rgb[i] = toChannel(readSettingValue(group, key + suffix[i]));
                if (e.channels[i])
                    this->*e.channels[i] = rgb[i];
            }
            this->*e.colour = QColor(rgb[0], rgb[1], rgb[2]);
            break;
        }
        }
    }
    qWarning("CToolHelper::SettingAllSets() __ 读取配置文件样式完成.");
}

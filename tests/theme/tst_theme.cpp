// The theme table: every key of icon.ini lands in its member, a missing or
// damaged theme file leaves defined values, and the shipped theme is complete.
#include "ctoolhelper.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSettings>
#include <QTranslator>
#include <QtTest>

namespace
{
struct TextRow {
    const char *group;
    const char *key;
    QString CToolHelper::*member;
};
struct NumberRow {
    const char *group;
    const char *key;
    int CToolHelper::*member;
};
struct SwitchRow {
    const char *group;
    const char *key;
    bool CToolHelper::*member;
};
// A colour is stored as three keys: prefix + R, G and B.
struct ColourRow {
    const char *group;
    const char *prefix;
    QColor CToolHelper::*member;
};

const TextRow kTexts[] = {
    {"iconPath", "uipath", &CToolHelper::uiiconpath},
    {"iconPath", "pdfpath", &CToolHelper::pdficonpath},
    {"iconPath", "pdfenablepath", &CToolHelper::pdfenablepath},
    {"iconPath", "pdfhovorpath", &CToolHelper::pdfhovorpath},
    {"iconPath", "pdfdisablepath", &CToolHelper::pdfdisablepath},
    {"iconPath", "camdevpath", &CToolHelper::camdevpath},
    {"iconPath", "adfdevpath", &CToolHelper::adfdevpath},
    {"iconPath", "setpath", &CToolHelper::seticonpath},
    {"iconPath", "setpresspath", &CToolHelper::setpressiconpath},
    {"iconPath", "minpath", &CToolHelper::miniconpath},
    {"iconPath", "minpresspath", &CToolHelper::minpressiconpath},
    {"iconPath", "maxpath", &CToolHelper::maxiconpath},
    {"iconPath", "maxpresspath", &CToolHelper::maxpressiconpath},
    {"iconPath", "restorepath", &CToolHelper::restoreiconpath},
    {"iconPath", "restorepresspath", &CToolHelper::restorepressiconpath},
    {"iconPath", "closepath", &CToolHelper::closeiconpath},
    {"iconPath", "closepresspath", &CToolHelper::closeendiconpath},
    {"iconPath", "closepresspath", &CToolHelper::closepressiconpath},
    {"iconPath", "cameraleftpath", &CToolHelper::lefticonpath},
    {"iconPath", "cameraleftpresspath", &CToolHelper::leftpressiconpath},
    {"iconPath", "camerarightpath", &CToolHelper::righticonpath},
    {"iconPath", "camerarightpresspath", &CToolHelper::rightpressiconpath},
    {"iconPath", "enlargepath", &CToolHelper::enlargeiconpath},
    {"iconPath", "enlargepresspath", &CToolHelper::enlargepressiconpath},
    {"iconPath", "narrowpath", &CToolHelper::narrowiconpath},
    {"iconPath", "narrowpresspath", &CToolHelper::narrowpressiconpath},
    {"iconPath", "uirestorepath", &CToolHelper::uirestoreiconpath},
    {"iconPath", "uirestorepresspath", &CToolHelper::uirestorepressiconpath},
    {"iconPath", "cameracapturepath", &CToolHelper::captureiconpath},
    {"iconPath", "cameracapturepresspath", &CToolHelper::capturepressiconpath},
    {"iconPath", "colorpath", &CToolHelper::coloriconpath},
    {"iconPath", "mainleftpath", &CToolHelper::uileftpath},
    {"iconPath", "mainleftpresspath", &CToolHelper::uileftpresspath},
    {"iconPath", "mainrightpath", &CToolHelper::uirightpath},
    {"iconPath", "mainrightpresspath", &CToolHelper::uirightpresspath},
    {"iconPath", "deletepath", &CToolHelper::uideletepath},
    {"iconPath", "deletepresspath", &CToolHelper::uideletepresspath},
    {"iconPath", "displaypath", &CToolHelper::uilistpath},
    {"iconPath", "displaypresspath", &CToolHelper::uilistpresspath},
    {"iconPath", "titlescaniconpath", &CToolHelper::titlescanpath},
    {"iconPath", "titlecaptureiconpath", &CToolHelper::titlecapturepath},
    {"iconPath", "titlescaniconpresspath", &CToolHelper::titlescanpresspath},
    {"iconPath", "titlecaptureiconpresspath", &CToolHelper::titlecapturepresspath},
    {"iconPath", "imagepath", &CToolHelper::scanimage},
    {"iconPath", "previewpath", &CToolHelper::previewiconpath},
    {"iconPath", "bmpimageicon", &CToolHelper::imagebmp},
    {"iconPath", "pdfimageicon", &CToolHelper::imagepdf},
    {"iconPath", "pngimageicon", &CToolHelper::imagepng},
    {"iconPath", "tifimageicon", &CToolHelper::imagetif},
    {"iconPath", "iamgeicon", &CToolHelper::imagepath},
    {"iconPath", "jpgimageicon", &CToolHelper::imagejpg},
    {"iconPath", "ofdiconpath", &CToolHelper::imageofd},
    {"iconPath", "ofdiconpath", &CToolHelper::imagenwd},
    {"iconPath", "ofdiconpath", &CToolHelper::imagenpdf},
    {"iconPath", "watermarkTopNormalpath", &CToolHelper::watermarkTopNormalpath},
    {"iconPath", "watermarkTopDisablepath", &CToolHelper::watermarkTopDisablepath},
    {"iconPath", "watermarkTopSelectpath", &CToolHelper::watermarkTopSelectpath},
    {"iconPath", "watermarkCenterNormalpath", &CToolHelper::watermarkCenterNormalpath},
    {"iconPath", "watermarkCenterDisablepath", &CToolHelper::watermarkCenterDisablepath},
    {"iconPath", "watermarkCenterSelectpath", &CToolHelper::watermarkCenterSelectpath},
    {"iconPath", "watermarkObliqueNormalpath", &CToolHelper::watermarkObliqueNormalpath},
    {"iconPath", "watermarkObliqueDisablepath", &CToolHelper::watermarkObliqueDisablepath},
    {"iconPath", "watermarkObliqueSelectpath", &CToolHelper::watermarkObliqueSelectpath},
    {"iconPath", "watermarkBottomNormalpath", &CToolHelper::watermarkBottomNormalpath},
    {"iconPath", "watermarkBottomDisablepath", &CToolHelper::watermarkBottomDisablepath},
    {"iconPath", "watermarkBottomSelectpath", &CToolHelper::watermarkBottomSelectpath},
    {"iconPath", "camcapturenormalpath", &CToolHelper::camcapturenormalpath},
    {"iconPath", "camcapturehovorpath", &CToolHelper::camcapturehovorpath},
    {"iconPath", "camcapturepresspath", &CToolHelper::camcapturepresspath},
    {"iconPath", "camimagenormalpath", &CToolHelper::camimagenormalpath},
    {"iconPath", "camimagehovorpath", &CToolHelper::camimagehovorpath},
    {"iconPath", "camimagepresspath", &CToolHelper::camimagepresspath},
    {"iconPath", "comboBoxdownarrow", &CToolHelper::comboBoxdownarrowpath},
    {"iconPath", "ocrpath", &CToolHelper::ocrnormalpath},
    {"iconPath", "ocrpresspath", &CToolHelper::ocrpresspath},
    {"iconPath", "ofdpath", &CToolHelper::ofdnormalpath},
    {"iconPath", "ofdpresspath", &CToolHelper::ofdpresspath},
    {"iconPath", "nwdpath", &CToolHelper::nwdnormalpath},
    {"iconPath", "nwdpresspath", &CToolHelper::nwdpresspath},
    {"iconPath", "npdfpath", &CToolHelper::npdfnormalpath},
    {"iconPath", "npdfpresspath", &CToolHelper::npdfpresspath},
    {"iconPath", "bookLefttoRight", &CToolHelper::bookLefttoRightpath},
    {"iconPath", "bookRighttoLeft", &CToolHelper::bookRighttoLeftpath},
    {"iconPath", "bookMerge", &CToolHelper::bookMergepath},
    {"iconPath", "bookOnlyLeft", &CToolHelper::bookOnlyLeftpath},
    {"iconPath", "bookOnlyRight", &CToolHelper::bookOnlyRightpath},
    {"tempPath", "ocrpdfpbOut", &CToolHelper::ocrpdfpboutpath},
    {"tempPath", "ocrofdpbOut", &CToolHelper::ocrofdpboutpath},
    {"savePath", "imagePath", &CToolHelper::savePath},
    {"TitleWarningString", "warningString", &CToolHelper::titlewarningstr},
    {"TitleNODEV", "warningString", &CToolHelper::titlenodevstr},
    {"WarningTips", "warningTitle", &CToolHelper::warningTitle},
    {"WarningTips", "tipTitle", &CToolHelper::tipTitle},
    {"WarningTips", "mksrtipTitle", &CToolHelper::mksrtipTitle},
    {"WarningTips", "pdfNotSupported", &CToolHelper::pdfNotSupported},
    {"WarningTips", "ocrpdfNotSupported", &CToolHelper::ocrpdfNotSupported},
    {"WarningTips", "fileNotFound", &CToolHelper::fileNotFound},
    {"WarningTips", "ocrMergeQuestion", &CToolHelper::ocrMergeQuestion},
    {"WarningTips", "pdfMergeFileIsNull", &CToolHelper::pdfMergeFileIsNull},
    {"WarningTips", "pdfMergeQuestion", &CToolHelper::pdfMergeQuestion},
    {"WarningTips", "cropNotSupportRotation", &CToolHelper::cropNotSupportRotation},
    {"WarningTips", "cropNotSupportEnlarge", &CToolHelper::cropNotSupportEnlarge},
    {"WarningTips", "cropNotSupportNarrow", &CToolHelper::cropNotSupportNarrow},
    {"WarningTips", "restoreOver", &CToolHelper::restoreOver},
    {"WarningTips", "waterMarkLengthOverFlow", &CToolHelper::waterMarkLengthOverFlow},
    {"WarningTips", "captureWaterMarkLengthOverFlow", &CToolHelper::captureWaterMarkLengthOverFlow},
    {"WarningTips", "waterMarkLengthIsNull", &CToolHelper::waterMarkLengthIsNull},
    {"WarningTips", "captureWaterMarkLengthIsNull", &CToolHelper::captureWaterMarkLengthIsNull},
    {"WarningTips", "waterImagePathIsNotExist", &CToolHelper::waterImagePathIsNotExist},
    {"WarningTips", "captureWaterImagePathIsNotExist", &CToolHelper::captureWaterImagePathIsNotExist},
    {"WarningTips", "waterImagePathOverFlow", &CToolHelper::waterImagePathOverFlow},
    {"WarningTips", "captureWaterImagePathOverFlow", &CToolHelper::captureWaterImagePathOverFlow},
    {"WarningTips", "saveImagePathIsNotExist", &CToolHelper::saveImagePathIsNotExist},
    {"WarningTips", "captureSaveImagePathIsNotExist", &CToolHelper::captureSaveImagePathIsNotExist},
    {"WarningTips", "saveImagePathIsOverFlow", &CToolHelper::saveImagePathIsOverFlow},
    {"WarningTips", "captureSaveImagePathIsOverFlow", &CToolHelper::captureSaveImagePathIsOverFlow},
    {"WarningTips", "newfolderfailed", &CToolHelper::newfolderfailed},
    {"WarningTips", "captureFailedPath", &CToolHelper::captureFailedPath},
    {"WarningTips", "nameLengthOverFlow", &CToolHelper::nameLengthOverFlow},
    {"WarningTips", "saveIamgePathIsNoWrite", &CToolHelper::saveIamgePathIsNoWrite},
    {"WarningTips", "nameLengthIsNull", &CToolHelper::nameformatnulltip},
    {"WarningTips", "idCardCannotCapture", &CToolHelper::idcardCannotCapture},
    {"aboutTips", "softwareName", &CToolHelper::softwareName},
    {"aboutTips", "versionNumber", &CToolHelper::versionNumber},
    {"aboutTips", "aboutTip", &CToolHelper::aboutTip},
    {"nameformatTips", "timeTip", &CToolHelper::nameformatTimeTip},
    {"imagesetTips", "watermarkTip", &CToolHelper::imagesetWaterTip},
    {"RunName", "nameString", &CToolHelper::titlename},
    {"tooltips", "set", &CToolHelper::settip},
    {"tooltips", "min", &CToolHelper::mintip},
    {"tooltips", "max", &CToolHelper::maxtip},
    {"tooltips", "restore", &CToolHelper::restoretip},
    {"tooltips", "close", &CToolHelper::closetip},
    {"tooltips", "mainturnleft", &CToolHelper::turnlefttip},
    {"tooltips", "mainturnright", &CToolHelper::turnrighttip},
    {"tooltips", "mainmergepdf", &CToolHelper::mergepdftip},
    {"tooltips", "delete", &CToolHelper::deletetip},
    {"tooltips", "display", &CToolHelper::displaytip},
    {"tooltips", "camrestore", &CToolHelper::camrestoretip},
    {"tooltips", "camenlarge", &CToolHelper::camenlargetip},
    {"tooltips", "camnarrow", &CToolHelper::camnarrowtip},
    {"tooltips", "camturnleft", &CToolHelper::camturnlefttip},
    {"tooltips", "camturnright", &CToolHelper::camturnrighttip},
    {"tooltips", "capture", &CToolHelper::capturetip},
    {"tooltips", "scan", &CToolHelper::scantip},
    {"tooltips", "ocrpdf", &CToolHelper::ocrpdftip},
    {"tooltips", "ocrofd", &CToolHelper::ocrofdtip},
    {"tooltips", "ocrnwd", &CToolHelper::ocrnwdtip},
    {"tooltips", "ocrnpdf", &CToolHelper::ocrnpdftip},
};
const NumberRow kNumbers[] = {
    {"ColorTitle", "R", &CToolHelper::title_background_R},
    {"ColorTitle", "G", &CToolHelper::title_background_G},
    {"ColorTitle", "B", &CToolHelper::title_background_B},
    {"ColorButton", "title_normal_R", &CToolHelper::title_normal_R},
    {"ColorButton", "title_normal_G", &CToolHelper::title_normal_G},
    {"ColorButton", "title_normal_B", &CToolHelper::title_normal_B},
    {"ColorButton", "title_hovor_R", &CToolHelper::title_hovor_R},
    {"ColorButton", "title_hovor_G", &CToolHelper::title_hovor_G},
    {"ColorButton", "title_hovor_B", &CToolHelper::title_hovor_B},
    {"ColorButton", "title_pressed_R", &CToolHelper::title_pressed_R},
    {"ColorButton", "title_pressed_G", &CToolHelper::title_pressed_G},
    {"ColorButton", "title_pressed_B", &CToolHelper::title_pressed_B},
    {"ColorButton", "close_hovor_R", &CToolHelper::close_hovor_R},
    {"ColorButton", "close_hovor_G", &CToolHelper::close_hovor_G},
    {"ColorButton", "close_hovor_B", &CToolHelper::close_hovor_B},
    {"ColorButton", "close_pressed_R", &CToolHelper::close_pressed_R},
    {"ColorButton", "close_pressed_G", &CToolHelper::close_pressed_G},
    {"ColorButton", "close_pressed_B", &CToolHelper::close_pressed_B},
    {"ColorButton", "ui_normal_R", &CToolHelper::ui_normal_R},
    {"ColorButton", "ui_normal_G", &CToolHelper::ui_normal_G},
    {"ColorButton", "ui_normal_B", &CToolHelper::ui_normal_B},
    {"ColorButton", "ui_hovor_R", &CToolHelper::ui_hovor_R},
    {"ColorButton", "ui_hovor_G", &CToolHelper::ui_hovor_G},
    {"ColorButton", "ui_hovor_B", &CToolHelper::ui_hovor_B},
    {"ColorButton", "ui_pressed_R", &CToolHelper::ui_pressed_R},
    {"ColorButton", "ui_pressed_G", &CToolHelper::ui_pressed_G},
    {"ColorButton", "ui_pressed_B", &CToolHelper::ui_pressed_B},
    {"widthDrawCrop", "width", &CToolHelper::cropWidth},
    {"widthDrawLine", "width", &CToolHelper::lineWidth},
    {"widthDrawRect", "width", &CToolHelper::rectwidth},
    {"drawRectTransparent", "alpha", &CToolHelper::rectalpha},
    {"widthDrawPagingLine", "width", &CToolHelper::pagingLineWidth},
    {"widthDrawPagingRect", "width", &CToolHelper::pagingRectWidth},
    {"TitleWarningSize", "minWidth", &CToolHelper::minwidth},
    {"TitleWarningSize", "maxWidth", &CToolHelper::maxwidth},
};
const SwitchRow kSwitches[] = {
    {"deviceType", "camera", &CToolHelper::IsCameraType},
    {"deviceType", "scanner", &CToolHelper::IsScannerType},
    {"Set", "IsScanVoice", &CToolHelper::IsScanVoice},
    {"Set", "IsErrorTips", &CToolHelper::IsErrorTip},
    {"dialogHasParent", "hasParent", &CToolHelper::dialogHasParent},
    {"IsManualCutting", "isManualCut", &CToolHelper::bIsManualCut},
    {"IsImageSetting", "isImageSet", &CToolHelper::bIsImageSet},
    {"IsRemove", "isRemoveHole", &CToolHelper::bIsRemoveHole},
    {"IsPagingCutting", "isPaging", &CToolHelper::bIsPaging},
    {"IsSupportOCR", "isSupport", &CToolHelper::bIsSupportOCR},
    {"IsReturnKey", "isReturnKey", &CToolHelper::bIsReturnKey},
    {"IsSupportIDCard", "isSupportIDCard", &CToolHelper::bIsIDCard},
    {"IsSupportOtherColors", "isSupportOtherColors", &CToolHelper::bIsSupportOtherColors},
    {"IsSupportContinuouShooting", "isSupportContinuous", &CToolHelper::bIsSupportContinuousShooting},
};
const ColourRow kColours[] = {
    {"colorMainUI", "", &CToolHelper::uibackcolor},
    {"colorCameraUI", "", &CToolHelper::camerauicolor},
    {"colorSetUI", "", &CToolHelper::setuicolor},
    {"colorImageUI", "", &CToolHelper::imageuicolor},
    {"colorNameFormatUI", "", &CToolHelper::nameformatuicolor},
    {"colorMainItemSelected", "", &CToolHelper::mainitemselectcolor},
    {"colorCamItemSelected", "", &CToolHelper::cameraitemselectcolor},
    {"colorCamItem", "", &CToolHelper::cameraitemcolor},
    {"colorCameraBackground", "", &CToolHelper::camerabackgroundcolor},
    {"colorMenuBackground", "", &CToolHelper::menubackgroundcolor},
    {"colorMenuItem", "", &CToolHelper::menuitemcolor},
    {"colorMenuItemHover", "", &CToolHelper::menuitemhovercolor},
    {"colorMenuItemSelected", "", &CToolHelper::menuitemselectcolor},
    {"colorDrawLine", "", &CToolHelper::drawlinecolor},
    {"colorDrawRect", "", &CToolHelper::drawrectcolor},
    {"colorDrawCrop", "", &CToolHelper::drawCropcolor},
    {"colorDrawPagingLine", "", &CToolHelper::drawPagingLinecolor},
    {"colorDrawPagingRect", "", &CToolHelper::drawPagingRectcolor},
    {"colorSelectCrop", "", &CToolHelper::selectCropcolor},
    {"colorMainListView", "", &CToolHelper::mainlistviewcolor},
    {"colorCameraListView", "", &CToolHelper::cameralistviewcolor},
    {"colorCameraCombBox", "", &CToolHelper::cameracomboxcolor},
    {"colorTitleWarning", "", &CToolHelper::titlewarningcolor},
    {"colorTabWidget", "tabBackground", &CToolHelper::tabBackgroundcolor},
    {"colorTabWidget", "tabBorder", &CToolHelper::tabBordercolor},
    {"colorTabWidget", "tabSelect", &CToolHelper::tabSelectioncolor},
    {"colorComboBox", "comboBoxBackground", &CToolHelper::comboBoxBackcolor},
    {"colorComboBox", "comboBocBorder", &CToolHelper::comboBoxbordercolor},
    {"colorComboBox", "comboBoxSelectionBackground", &CToolHelper::comboBoxSelectcolor},
    {"colorComboBox", "font", &CToolHelper::comboBoxfontcolor},
    {"colorComboBox", "fontSelection", &CToolHelper::comboBoxSelectfontcolor},
    {"colorComboBox", "backgroundcolor", &CToolHelper::comboBackcolor},
    {"colorComboBox", "backgroundhover", &CToolHelper::combohovercolor},
    {"colorLineEdit", "border", &CToolHelper::lineeditBordercolor},
    {"colorRadiobutton", "background", &CToolHelper::radiobuttonbackcolor},
    {"colorRadiobutton", "border", &CToolHelper::radiobuttonbordercolor},
};

QString iniPath()
{
    return QCoreApplication::applicationDirPath() + "/icon.ini";
}

QString channelKey(const ColourRow &row, const char *channel)
{
    return QString::fromLatin1(row.prefix) + channel;
}

// Every distinct group/key pair of the table.
QSet<QString> allPairs()
{
    QSet<QString> pairs;
    for (const TextRow &r : kTexts)
        pairs.insert(QString("%1/%2").arg(r.group, r.key));
    for (const NumberRow &r : kNumbers)
        pairs.insert(QString("%1/%2").arg(r.group, r.key));
    for (const SwitchRow &r : kSwitches)
        pairs.insert(QString("%1/%2").arg(r.group, r.key));
    for (const ColourRow &r : kColours)
        for (const char *c : {"R", "G", "B"})
            pairs.insert(QString("%1/%2").arg(r.group, channelKey(r, c)));
    return pairs;
}

double luminance(const QColor &c)
{
    auto lin = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.red()) + 0.7152 * lin(c.green()) + 0.0722 * lin(c.blue());
}

double contrast(const QColor &a, const QColor &b)
{
    double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
} // namespace

class ThemeTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFile::remove(iniPath()); }
    void cleanup() { QFile::remove(iniPath()); }

    void everyKeyReachesItsMembers();
    void switchesFollowTheirOwnKey();
    void missingFileGivesDefinedDefaults();
    void garbageValuesReadAsZero();
    void damagedFiles();
    void shippedThemeIsComplete();
    void shippedImagesLoadAndAreAllUsed();
    void shippedColoursAreReadable();
    void translationIsBuilt();

private:
    // Writes a theme in which every text, number and channel is unique.
    void writeUniqueTheme();
    bool copyShippedTheme();
};

void ThemeTest::writeUniqueTheme()
{
    QSettings ini(iniPath(), QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    for (const TextRow &r : kTexts)
        ini.setValue(QString("%1/%2").arg(r.group, r.key), QString("值 %1 %2").arg(r.group, r.key));
    int n = 1;
    for (const NumberRow &r : kNumbers)
        ini.setValue(QString("%1/%2").arg(r.group, r.key), QString::number(n++));
    for (const ColourRow &r : kColours)
        for (const char *c : {"R", "G", "B"})
            ini.setValue(QString("%1/%2").arg(r.group, channelKey(r, c)), QString::number(n++));
    for (const SwitchRow &r : kSwitches)
        ini.setValue(QString("%1/%2").arg(r.group, r.key), "1");
    ini.sync();
    QCOMPARE(ini.status(), QSettings::NoError);
    QVERIFY(n < 256);
}

bool ThemeTest::copyShippedTheme()
{
    const QString source = qEnvironmentVariable("PAGELUX_SOURCE_DIR") + "/deploy/icon.ini";
    QFile::remove(iniPath());
    return QFile::copy(source, iniPath());
}

void ThemeTest::everyKeyReachesItsMembers()
{
    writeUniqueTheme();
    CToolHelper helper;
    helper.SettingAllSets();

    for (const TextRow &r : kTexts)
        QCOMPARE(helper.*r.member, QString("值 %1 %2").arg(r.group, r.key));
    int n = 1;
    for (const NumberRow &r : kNumbers) {
        QVERIFY2(helper.*r.member == n, qPrintable(QString("%1/%2").arg(r.group, r.key)));
        ++n;
    }
    for (const ColourRow &r : kColours) {
        QColor expected(n, n + 1, n + 2);
        QVERIFY2(helper.*r.member == expected, qPrintable(QString("%1/%2").arg(r.group, r.prefix)));
        QCOMPARE((helper.*r.member).alpha(), 255);
        n += 3;
    }
    for (const SwitchRow &r : kSwitches)
        QVERIFY2(helper.*r.member, qPrintable(QString("%1/%2").arg(r.group, r.key)));

    // Keys that fill several members.
    QCOMPARE(helper.closeendiconpath, helper.closepressiconpath);
    QCOMPARE(helper.imagenwd, helper.imageofd);
    QCOMPARE(helper.imagenpdf, helper.imageofd);
    QCOMPARE(QColor(helper.mainitemselectR, helper.mainitemselectG, helper.mainitemselectB),
             helper.mainitemselectcolor);
    QCOMPARE(QColor(helper.widget_R, helper.widget_G, helper.widget_B), helper.mainlistviewcolor);
    // The three names that are matched as they are spelt.
    QCOMPARE(helper.bIsSupportContinuousShooting, true);
    QCOMPARE(helper.imagepath, QString("值 iconPath iamgeicon"));
    QSettings ini(iniPath(), QSettings::IniFormat);
    QCOMPARE(helper.comboBoxbordercolor.red(), ini.value("colorComboBox/comboBocBorderR").toInt());
}

void ThemeTest::switchesFollowTheirOwnKey()
{
    // Each switch on alone: no other switch may follow it.
    for (const SwitchRow &on : kSwitches) {
        {
            QSettings ini(iniPath(), QSettings::IniFormat);
            for (const SwitchRow &r : kSwitches)
                ini.setValue(QString("%1/%2").arg(r.group, r.key), &r == &on ? "2" : "0");
        }
        CToolHelper helper;
        helper.SettingAllSets();
        for (const SwitchRow &r : kSwitches)
            QVERIFY2(helper.*r.member == (&r == &on), qPrintable(QString("%1/%2").arg(r.group, r.key)));
    }
}

void ThemeTest::missingFileGivesDefinedDefaults()
{
    // A helper that had a full theme and then finds none forgets every value.
    writeUniqueTheme();
    CToolHelper helper;
    helper.SettingAllSets();
    QVERIFY(QFile::remove(iniPath()));
    helper.SettingAllSets();

    for (const TextRow &r : kTexts)
        QVERIFY((helper.*r.member).isEmpty());
    for (const NumberRow &r : kNumbers)
        QCOMPARE(helper.*r.member, 0);
    for (const SwitchRow &r : kSwitches)
        QCOMPARE(helper.*r.member, false);
    for (const ColourRow &r : kColours) {
        QVERIFY((helper.*r.member).isValid());
        QCOMPARE(helper.*r.member, QColor(0, 0, 0, 255));
    }
    QCOMPARE(helper.mainitemselectR + helper.widget_B, 0);
}

void ThemeTest::garbageValuesReadAsZero()
{
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue("widthDrawCrop/width", "abc");
        ini.setValue("widthDrawLine/width", "");
        ini.setValue("widthDrawRect/width", " 12 ");
        ini.setValue("drawRectTransparent/alpha", "0x50");
        ini.setValue("IsSupportOCR/isSupport", "yes");
        ini.setValue("IsReturnKey/isReturnKey", "-1");
        ini.setValue("colorMainUI/R", "300");
        ini.setValue("colorMainUI/G", "-4");
        ini.setValue("colorMainUI/B", "12.5");
        ini.setValue("ColorTitle/R", "999");
    }
    CToolHelper helper;
    helper.SettingAllSets();
    QCOMPARE(helper.cropWidth, 0);
    QCOMPARE(helper.lineWidth, 0);
    QCOMPARE(helper.rectwidth, 12);
    QCOMPARE(helper.rectalpha, 0);
    QCOMPARE(helper.bIsSupportOCR, false);
    QCOMPARE(helper.bIsReturnKey, true);
    // Channels stay inside 0-255, so colours stay valid and opaque.
    QCOMPARE(helper.uibackcolor, QColor(255, 0, 0));
    QCOMPARE(helper.title_background_R, 255);
}

void ThemeTest::damagedFiles()
{
    // Binary garbage: nothing readable, nothing invented.
    {
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray junk;
        for (int i = 0; i < 4096; ++i)
            junk.append(char((i * 7919) % 251));
        f.write(junk);
    }
    CToolHelper helper;
    helper.SettingAllSets();
    QVERIFY(helper.uiiconpath.isEmpty());
    QCOMPARE(helper.uibackcolor, QColor(Qt::black));

    // A theme cut in the middle keeps what precedes the cut.
    QVERIFY(copyShippedTheme());
    QFile f(iniPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray all = f.readAll();
    f.close();
    int cut = all.indexOf("[WarningTips]");
    QVERIFY(cut > 0);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(all.left(cut + 30));
    f.close();
    helper.SettingAllSets();
    QVERIFY(helper.uiiconpath.startsWith(":/"));
    QVERIFY(helper.cropWidth > 0);
    QVERIFY(helper.softwareName.isEmpty());
    QVERIFY(helper.closetip.isEmpty());

    // A folder where the file should be reads like no file.
    QVERIFY(QFile::remove(iniPath()));
    QVERIFY(QDir().mkdir(iniPath()));
    helper.SettingAllSets();
    QVERIFY(helper.uiiconpath.isEmpty());
    QVERIFY(QDir().rmdir(iniPath()));
}

void ThemeTest::shippedThemeIsComplete()
{
    QVERIFY(copyShippedTheme());
    const QSet<QString> pairs = allPairs();
    QCOMPARE(pairs.size(), 303);
    CToolHelper helper;
    for (const QString &pair : pairs) {
        const QString value = helper.readSettingValue(pair.section('/', 0, 0), pair.section('/', 1));
        QVERIFY2(!value.trimmed().isEmpty(), qPrintable(pair));
    }

    helper.SettingAllSets();
    QVERIFY(helper.IsCameraType);
    QVERIFY(!helper.IsScannerType);
    for (const SwitchRow &r : kSwitches) {
        if (qstrcmp(r.group, "deviceType") != 0 && qstrcmp(r.group, "dialogHasParent") != 0)
            QVERIFY2(helper.*r.member, r.key);
    }
    QCOMPARE(helper.softwareName, QString("PageLux"));
    QVERIFY(!helper.versionNumber.isEmpty() && !helper.aboutTip.isEmpty());
    // Guides must be visible over the live picture.
    for (int width : {helper.cropWidth, helper.lineWidth, helper.pagingLineWidth})
        QVERIFY(width >= 1 && width <= 6);
    for (int band : {helper.rectwidth, helper.pagingRectWidth})
        QVERIFY(band >= 4);
    QVERIFY(helper.rectalpha >= 40 && helper.rectalpha <= 200);
    QVERIFY(helper.minwidth > 0 && helper.maxwidth >= helper.minwidth);
    // Texts shown to the user are Chinese, except the product name and version.
    for (const TextRow &r : kTexts) {
        const QString group = r.group;
        if (group != "WarningTips" && group != "tooltips")
            continue;
        const QString text = helper.*r.member;
        QVERIFY2(std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x4e00; }), r.key);
    }
}

void ThemeTest::shippedImagesLoadAndAreAllUsed()
{
    QVERIFY(copyShippedTheme());
    QSettings ini(iniPath(), QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    ini.beginGroup("iconPath");
    const QStringList keys = ini.childKeys();
    QCOMPARE(keys.size(), 83);
    QSet<QString> used;
    for (const QString &key : keys) {
        const QString path = ini.value(key).toString();
        QVERIFY2(path.startsWith(":/"), qPrintable(key));
        QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(key + " " + path));
        // Not a blank canvas.
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x)
                drawn = qAlpha(image.pixel(x, y)) > 0;
        QVERIFY2(drawn, qPrintable(path));
        used.insert(path);
    }
    // Title buttons are border images of 36 x 30 buttons: drawn at that size.
    for (const char *key : {"setpath", "minpath", "maxpath", "restorepath", "closepath", "closepresspath",
                            "titlescaniconpath", "titlecaptureiconpath", "displaypath"})
        QCOMPARE(QImageReader(ini.value(key).toString()).size(), QSize(36, 30));
    // No compiled-in image is left without a theme key.
    QDirIterator it(":/images", QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QVERIFY2(used.contains(path), qPrintable(path));
    }
}

void ThemeTest::shippedColoursAreReadable()
{
    QVERIFY(copyShippedTheme());
    QSettings ini(iniPath(), QSettings::IniFormat);
    for (const ColourRow &r : kColours)
        for (const char *c : {"R", "G", "B"}) {
            bool ok = false;
            int v = ini.value(QString("%1/%2").arg(r.group, channelKey(r, c))).toString().toInt(&ok);
            QVERIFY2(ok && v >= 0 && v <= 255, r.group);
        }
    for (const NumberRow &r : kNumbers) {
        if (qstrcmp(r.group, "ColorButton") != 0 && qstrcmp(r.group, "ColorTitle") != 0)
            continue;
        bool ok = false;
        int v = ini.value(QString("%1/%2").arg(r.group, r.key)).toString().toInt(&ok);
        QVERIFY2(ok && v >= 0 && v <= 255, r.key);
    }

    CToolHelper helper;
    helper.SettingAllSets();
    const QColor black(Qt::black);
    const QColor title(helper.title_background_R, helper.title_background_G, helper.title_background_B);
    QVERIFY(contrast(black, title) >= 7.0);
    QVERIFY(contrast(helper.comboBoxfontcolor, helper.comboBoxBackcolor) >= 7.0);
    QVERIFY(contrast(helper.comboBoxSelectfontcolor, helper.comboBoxSelectcolor) >= 4.5);
    QVERIFY(contrast(black, helper.titlewarningcolor) >= 7.0);
    // The selection must be visible against the list it is drawn on.
    QVERIFY(helper.mainitemselectcolor != helper.mainlistviewcolor);
    // A blue accent: the guides and the checked radio buttons.
    QVERIFY(helper.drawCropcolor.blue() > helper.drawCropcolor.red() + 100);
    QVERIFY(helper.radiobuttonbackcolor.blue() > helper.radiobuttonbackcolor.red() + 100);
    // The pressed close button stands out from the bar.
    const QColor closePressed(helper.close_pressed_R, helper.close_pressed_G, helper.close_pressed_B);
    QVERIFY(contrast(closePressed, title) >= 3.0);
}

void ThemeTest::translationIsBuilt()
{
    QTranslator translator;
    QVERIFY(translator.load(qEnvironmentVariable("PAGELUX_BIN_DIR") + "/pagelux_zh_CN.qm"));
    QVERIFY(!translator.isEmpty());
    QCOMPARE(translator.translate("main", "程序已经启动，请立刻关闭，并且重试！"),
             QString("程序已经启动，请立刻关闭，并且重试！"));
    // One text of every window.
    const QList<QPair<const char *, QString>> samples = {
        {"ADFmain", "功能设置"}, {"MainWindow", "拍  摄"}, {"NameFormat", "文件命名设置"},
        {"Set", "存储路径"},     {"ImageSet", "水印设置"}, {"ScanUI", "图像处理"},
    };
    for (const auto &sample : samples)
        QCOMPARE(translator.translate(sample.first, sample.second.toUtf8().constData()), sample.second);
}

QTEST_MAIN(ThemeTest)
#include "tst_theme.moc"

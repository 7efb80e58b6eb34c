// The theme: every key of icon.ini lands in its member, a missing or damaged
// theme file leaves defined values, the shipped theme is complete; and the title
// bar drawn with it (buttons per type, dragging, double click, painting, title).
#include "ctoolhelper.h"
#include "titlebar.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QComboBox>
#include <QImageReader>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {
using H = CToolHelper;
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
struct ChannelRow {
    const char *group;
    const char *prefix;
    int CToolHelper::*red, CToolHelper::*green, CToolHelper::*blue;
};
// A colour is stored as three keys: prefix + R, G and B.
struct ColourRow {
    const char *group;
    const char *prefix;
    QColor CToolHelper::*member;
};

const TextRow kTexts[] = {
    {"iconPath", "uipath", &H::uiiconpath},
    {"iconPath", "pdfpath", &H::pdficonpath},
    {"iconPath", "pdfenablepath", &H::pdfenablepath},
    {"iconPath", "pdfhovorpath", &H::pdfhovorpath},
    {"iconPath", "pdfdisablepath", &H::pdfdisablepath},
    {"iconPath", "camdevpath", &H::camdevpath},
    {"iconPath", "adfdevpath", &H::adfdevpath},
    {"iconPath", "setpath", &H::seticonpath},
    {"iconPath", "setpresspath", &H::setpressiconpath},
    {"iconPath", "minpath", &H::miniconpath},
    {"iconPath", "minpresspath", &H::minpressiconpath},
    {"iconPath", "maxpath", &H::maxiconpath},
    {"iconPath", "maxpresspath", &H::maxpressiconpath},
    {"iconPath", "restorepath", &H::restoreiconpath},
    {"iconPath", "restorepresspath", &H::restorepressiconpath},
    {"iconPath", "closepath", &H::closeiconpath},
    {"iconPath", "closepresspath", &H::closeendiconpath},
    {"iconPath", "closepresspath", &H::closepressiconpath},
    {"iconPath", "cameraleftpath", &H::lefticonpath},
    {"iconPath", "cameraleftpresspath", &H::leftpressiconpath},
    {"iconPath", "camerarightpath", &H::righticonpath},
    {"iconPath", "camerarightpresspath", &H::rightpressiconpath},
    {"iconPath", "enlargepath", &H::enlargeiconpath},
    {"iconPath", "enlargepresspath", &H::enlargepressiconpath},
    {"iconPath", "narrowpath", &H::narrowiconpath},
    {"iconPath", "narrowpresspath", &H::narrowpressiconpath},
    {"iconPath", "uirestorepath", &H::uirestoreiconpath},
    {"iconPath", "uirestorepresspath", &H::uirestorepressiconpath},
    {"iconPath", "cameracapturepath", &H::captureiconpath},
    {"iconPath", "cameracapturepresspath", &H::capturepressiconpath},
    {"iconPath", "colorpath", &H::coloriconpath},
    {"iconPath", "mainleftpath", &H::uileftpath},
    {"iconPath", "mainleftpresspath", &H::uileftpresspath},
    {"iconPath", "mainrightpath", &H::uirightpath},
    {"iconPath", "mainrightpresspath", &H::uirightpresspath},
    {"iconPath", "deletepath", &H::uideletepath},
    {"iconPath", "deletepresspath", &H::uideletepresspath},
    {"iconPath", "displaypath", &H::uilistpath},
    {"iconPath", "displaypresspath", &H::uilistpresspath},
    {"iconPath", "titlescaniconpath", &H::titlescanpath},
    {"iconPath", "titlecaptureiconpath", &H::titlecapturepath},
    {"iconPath", "titlescaniconpresspath", &H::titlescanpresspath},
    {"iconPath", "titlecaptureiconpresspath", &H::titlecapturepresspath},
    {"iconPath", "imagepath", &H::scanimage},
    {"iconPath", "previewpath", &H::previewiconpath},
    {"iconPath", "bmpimageicon", &H::imagebmp},
    {"iconPath", "pdfimageicon", &H::imagepdf},
    {"iconPath", "pngimageicon", &H::imagepng},
    {"iconPath", "tifimageicon", &H::imagetif},
    {"iconPath", "iamgeicon", &H::imagepath},
    {"iconPath", "jpgimageicon", &H::imagejpg},
    {"iconPath", "ofdiconpath", &H::imageofd},
    {"iconPath", "ofdiconpath", &H::imagenwd},
    {"iconPath", "ofdiconpath", &H::imagenpdf},
    {"iconPath", "watermarkTopNormalpath", &H::watermarkTopNormalpath},
    {"iconPath", "watermarkTopDisablepath", &H::watermarkTopDisablepath},
    {"iconPath", "watermarkTopSelectpath", &H::watermarkTopSelectpath},
    {"iconPath", "watermarkCenterNormalpath", &H::watermarkCenterNormalpath},
    {"iconPath", "watermarkCenterDisablepath", &H::watermarkCenterDisablepath},
    {"iconPath", "watermarkCenterSelectpath", &H::watermarkCenterSelectpath},
    {"iconPath", "watermarkObliqueNormalpath", &H::watermarkObliqueNormalpath},
    {"iconPath", "watermarkObliqueDisablepath", &H::watermarkObliqueDisablepath},
    {"iconPath", "watermarkObliqueSelectpath", &H::watermarkObliqueSelectpath},
    {"iconPath", "watermarkBottomNormalpath", &H::watermarkBottomNormalpath},
    {"iconPath", "watermarkBottomDisablepath", &H::watermarkBottomDisablepath},
    {"iconPath", "watermarkBottomSelectpath", &H::watermarkBottomSelectpath},
    {"iconPath", "camcapturenormalpath", &H::camcapturenormalpath},
    {"iconPath", "camcapturehovorpath", &H::camcapturehovorpath},
    {"iconPath", "camcapturepresspath", &H::camcapturepresspath},
    {"iconPath", "camimagenormalpath", &H::camimagenormalpath},
    {"iconPath", "camimagehovorpath", &H::camimagehovorpath},
    {"iconPath", "camimagepresspath", &H::camimagepresspath},
    {"iconPath", "comboBoxdownarrow", &H::comboBoxdownarrowpath},
    {"iconPath", "ocrpath", &H::ocrnormalpath},
    {"iconPath", "ocrpresspath", &H::ocrpresspath},
    {"iconPath", "ofdpath", &H::ofdnormalpath},
    {"iconPath", "ofdpresspath", &H::ofdpresspath},
    {"iconPath", "nwdpath", &H::nwdnormalpath},
    {"iconPath", "nwdpresspath", &H::nwdpresspath},
    {"iconPath", "npdfpath", &H::npdfnormalpath},
    {"iconPath", "npdfpresspath", &H::npdfpresspath},
    {"iconPath", "bookLefttoRight", &H::bookLefttoRightpath},
    {"iconPath", "bookRighttoLeft", &H::bookRighttoLeftpath},
    {"iconPath", "bookMerge", &H::bookMergepath},
    {"iconPath", "bookOnlyLeft", &H::bookOnlyLeftpath},
    {"iconPath", "bookOnlyRight", &H::bookOnlyRightpath},
    {"tempPath", "ocrpdfpbOut", &H::ocrpdfpboutpath},
    {"tempPath", "ocrofdpbOut", &H::ocrofdpboutpath},
    {"savePath", "imagePath", &H::savePath},
    {"TitleWarningString", "warningString", &H::titlewarningstr},
    {"TitleNODEV", "warningString", &H::titlenodevstr},
    {"WarningTips", "warningTitle", &H::warningTitle},
    {"WarningTips", "tipTitle", &H::tipTitle},
    {"WarningTips", "mksrtipTitle", &H::mksrtipTitle},
    {"WarningTips", "pdfNotSupported", &H::pdfNotSupported},
    {"WarningTips", "ocrpdfNotSupported", &H::ocrpdfNotSupported},
    {"WarningTips", "fileNotFound", &H::fileNotFound},
    {"WarningTips", "ocrMergeQuestion", &H::ocrMergeQuestion},
    {"WarningTips", "pdfMergeFileIsNull", &H::pdfMergeFileIsNull},
    {"WarningTips", "pdfMergeQuestion", &H::pdfMergeQuestion},
    {"WarningTips", "cropNotSupportRotation", &H::cropNotSupportRotation},
    {"WarningTips", "cropNotSupportEnlarge", &H::cropNotSupportEnlarge},
    {"WarningTips", "cropNotSupportNarrow", &H::cropNotSupportNarrow},
    {"WarningTips", "restoreOver", &H::restoreOver},
    {"WarningTips", "waterMarkLengthOverFlow", &H::waterMarkLengthOverFlow},
    {"WarningTips", "captureWaterMarkLengthOverFlow", &H::captureWaterMarkLengthOverFlow},
    {"WarningTips", "waterMarkLengthIsNull", &H::waterMarkLengthIsNull},
    {"WarningTips", "captureWaterMarkLengthIsNull", &H::captureWaterMarkLengthIsNull},
    {"WarningTips", "waterImagePathIsNotExist", &H::waterImagePathIsNotExist},
    {"WarningTips", "captureWaterImagePathIsNotExist", &H::captureWaterImagePathIsNotExist},
    {"WarningTips", "waterImagePathOverFlow", &H::waterImagePathOverFlow},
    {"WarningTips", "captureWaterImagePathOverFlow", &H::captureWaterImagePathOverFlow},
    {"WarningTips", "saveImagePathIsNotExist", &H::saveImagePathIsNotExist},
    {"WarningTips", "captureSaveImagePathIsNotExist", &H::captureSaveImagePathIsNotExist},
    {"WarningTips", "saveImagePathIsOverFlow", &H::saveImagePathIsOverFlow},
    {"WarningTips", "captureSaveImagePathIsOverFlow", &H::captureSaveImagePathIsOverFlow},
    {"WarningTips", "newfolderfailed", &H::newfolderfailed},
    {"WarningTips", "captureFailedPath", &H::captureFailedPath},
    {"WarningTips", "nameLengthOverFlow", &H::nameLengthOverFlow},
    {"WarningTips", "saveIamgePathIsNoWrite", &H::saveIamgePathIsNoWrite},
    {"WarningTips", "nameLengthIsNull", &H::nameformatnulltip},
    {"WarningTips", "idCardCannotCapture", &H::idcardCannotCapture},
    {"aboutTips", "softwareName", &H::softwareName},
    {"aboutTips", "versionNumber", &H::versionNumber},
    {"aboutTips", "aboutTip", &H::aboutTip},
    {"nameformatTips", "timeTip", &H::nameformatTimeTip},
    {"imagesetTips", "watermarkTip", &H::imagesetWaterTip},
    {"RunName", "nameString", &H::titlename},
    {"tooltips", "set", &H::settip},
    {"tooltips", "min", &H::mintip},
    {"tooltips", "max", &H::maxtip},
    {"tooltips", "restore", &H::restoretip},
    {"tooltips", "close", &H::closetip},
    {"tooltips", "mainturnleft", &H::turnlefttip},
    {"tooltips", "mainturnright", &H::turnrighttip},
    {"tooltips", "mainmergepdf", &H::mergepdftip},
    {"tooltips", "delete", &H::deletetip},
    {"tooltips", "display", &H::displaytip},
    {"tooltips", "camrestore", &H::camrestoretip},
    {"tooltips", "camenlarge", &H::camenlargetip},
    {"tooltips", "camnarrow", &H::camnarrowtip},
    {"tooltips", "camturnleft", &H::camturnlefttip},
    {"tooltips", "camturnright", &H::camturnrighttip},
    {"tooltips", "capture", &H::capturetip},
    {"tooltips", "scan", &H::scantip},
    {"tooltips", "ocrpdf", &H::ocrpdftip},
    {"tooltips", "ocrofd", &H::ocrofdtip},
    {"tooltips", "ocrnwd", &H::ocrnwdtip},
    {"tooltips", "ocrnpdf", &H::ocrnpdftip},
};
const NumberRow kNumbers[] = {
    {"widthDrawCrop", "width", &H::cropWidth},
    {"widthDrawLine", "width", &H::lineWidth},
    {"widthDrawRect", "width", &H::rectwidth},
    {"drawRectTransparent", "alpha", &H::rectalpha},
    {"widthDrawPagingLine", "width", &H::pagingLineWidth},
    {"widthDrawPagingRect", "width", &H::pagingRectWidth},
    {"TitleWarningSize", "minWidth", &H::minwidth},
    {"TitleWarningSize", "maxWidth", &H::maxwidth},
};
// Title and button colours are kept as three numbers: prefix + R, G and B.
const ChannelRow kChannels[] = {
    {"ColorTitle", "", &H::title_background_R, &H::title_background_G, &H::title_background_B},
    {"ColorButton", "title_normal_", &H::title_normal_R, &H::title_normal_G, &H::title_normal_B},
    {"ColorButton", "title_hovor_", &H::title_hovor_R, &H::title_hovor_G, &H::title_hovor_B},
    {"ColorButton", "title_pressed_", &H::title_pressed_R, &H::title_pressed_G, &H::title_pressed_B},
    {"ColorButton", "close_hovor_", &H::close_hovor_R, &H::close_hovor_G, &H::close_hovor_B},
    {"ColorButton", "close_pressed_", &H::close_pressed_R, &H::close_pressed_G, &H::close_pressed_B},
    {"ColorButton", "ui_normal_", &H::ui_normal_R, &H::ui_normal_G, &H::ui_normal_B},
    {"ColorButton", "ui_hovor_", &H::ui_hovor_R, &H::ui_hovor_G, &H::ui_hovor_B},
    {"ColorButton", "ui_pressed_", &H::ui_pressed_R, &H::ui_pressed_G, &H::ui_pressed_B},
};
const SwitchRow kSwitches[] = {
    {"deviceType", "camera", &H::IsCameraType},
    {"deviceType", "scanner", &H::IsScannerType},
    {"Set", "IsScanVoice", &H::IsScanVoice},
    {"Set", "IsErrorTips", &H::IsErrorTip},
    {"dialogHasParent", "hasParent", &H::dialogHasParent},
    {"IsManualCutting", "isManualCut", &H::bIsManualCut},
    {"IsImageSetting", "isImageSet", &H::bIsImageSet},
    {"IsRemove", "isRemoveHole", &H::bIsRemoveHole},
    {"IsPagingCutting", "isPaging", &H::bIsPaging},
    {"IsSupportOCR", "isSupport", &H::bIsSupportOCR},
    {"IsReturnKey", "isReturnKey", &H::bIsReturnKey},
    {"IsSupportIDCard", "isSupportIDCard", &H::bIsIDCard},
    {"IsSupportOtherColors", "isSupportOtherColors", &H::bIsSupportOtherColors},
    {"IsSupportContinuouShooting", "isSupportContinuous", &H::bIsSupportContinuousShooting},
};
const ColourRow kColours[] = {
    {"colorMainUI", "", &H::uibackcolor},
    {"colorCameraUI", "", &H::camerauicolor},
    {"colorSetUI", "", &H::setuicolor},
    {"colorImageUI", "", &H::imageuicolor},
    {"colorNameFormatUI", "", &H::nameformatuicolor},
    {"colorMainItemSelected", "", &H::mainitemselectcolor},
    {"colorCamItemSelected", "", &H::cameraitemselectcolor},
    {"colorCamItem", "", &H::cameraitemcolor},
    {"colorCameraBackground", "", &H::camerabackgroundcolor},
    {"colorMenuBackground", "", &H::menubackgroundcolor},
    {"colorMenuItem", "", &H::menuitemcolor},
    {"colorMenuItemHover", "", &H::menuitemhovercolor},
    {"colorMenuItemSelected", "", &H::menuitemselectcolor},
    {"colorDrawLine", "", &H::drawlinecolor},
    {"colorDrawRect", "", &H::drawrectcolor},
    {"colorDrawCrop", "", &H::drawCropcolor},
    {"colorDrawPagingLine", "", &H::drawPagingLinecolor},
    {"colorDrawPagingRect", "", &H::drawPagingRectcolor},
    {"colorSelectCrop", "", &H::selectCropcolor},
    {"colorMainListView", "", &H::mainlistviewcolor},
    {"colorCameraListView", "", &H::cameralistviewcolor},
    {"colorCameraCombBox", "", &H::cameracomboxcolor},
    {"colorTitleWarning", "", &H::titlewarningcolor},
    {"colorTabWidget", "tabBackground", &H::tabBackgroundcolor},
    {"colorTabWidget", "tabBorder", &H::tabBordercolor},
    {"colorTabWidget", "tabSelect", &H::tabSelectioncolor},
    {"colorComboBox", "comboBoxBackground", &H::comboBoxBackcolor},
    {"colorComboBox", "comboBocBorder", &H::comboBoxbordercolor},
    {"colorComboBox", "comboBoxSelectionBackground", &H::comboBoxSelectcolor},
    {"colorComboBox", "font", &H::comboBoxfontcolor},
    {"colorComboBox", "fontSelection", &H::comboBoxSelectfontcolor},
    {"colorComboBox", "backgroundcolor", &H::comboBackcolor},
    {"colorComboBox", "backgroundhover", &H::combohovercolor},
    {"colorLineEdit", "border", &H::lineeditBordercolor},
    {"colorRadiobutton", "background", &H::radiobuttonbackcolor},
    {"colorRadiobutton", "border", &H::radiobuttonbordercolor},
};

QString iniPath()
{
    return QCoreApplication::applicationDirPath() + "/icon.ini";
}

QString pairName(const char *group, const QString &key)
{
    return QString("%1/%2").arg(group, key);
}

// Every distinct group/key pair of the table, with whether it is a colour channel.
QHash<QString, bool> allPairs()
{
    QHash<QString, bool> pairs;
    for (const TextRow &r : kTexts)
        pairs.insert(pairName(r.group, r.key), false);
    for (const NumberRow &r : kNumbers)
        pairs.insert(pairName(r.group, r.key), false);
    for (const SwitchRow &r : kSwitches)
        pairs.insert(pairName(r.group, r.key), false);
    for (const char *c : {"R", "G", "B"}) {
        for (const ChannelRow &r : kChannels)
            pairs.insert(pairName(r.group, r.prefix + QString(c)), true);
        for (const ColourRow &r : kColours)
            pairs.insert(pairName(r.group, r.prefix + QString(c)), true);
    }
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

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}
// A shown frameless window with a bar across its top.
struct Window {
    explicit Window(TitleButtonType type)
    {
        widget.setWindowFlags(Qt::FramelessWindowHint);
        widget.resize(600, 400);
        widget.move(100, 100);
        bar = new TitleBar(&widget);
        bar->setButtonType(type);
        widget.show();
    }
    QWidget widget;
    TitleBar *bar;
};

void sendMouse(QWidget *target, QEvent::Type type, QPoint global)
{
    QMouseEvent event(type, target->mapFromGlobal(global), global, Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Press at a point of the bar, move by delta, release; returns how far the window went.
QPoint drag(Window &w, QPoint delta)
{
    const QPoint before = w.widget.pos();
    QPoint start = w.bar->mapToGlobal(QPoint(300, 20));
    sendMouse(w.bar, QEvent::MouseButtonPress, start);
    sendMouse(w.bar, QEvent::MouseMove, start + delta);
    sendMouse(w.bar, QEvent::MouseButtonRelease, start + delta);
    return w.widget.pos() - before;
}

QImage paintedBar(TitleBar *bar)
{
    QImage image(bar->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // Only the bar's own painting: no background, no children.
    bar->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}
} // namespace

class ThemeTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFile::remove(iniPath()); }
    void cleanup()
    {
        QDir().rmdir(iniPath());
        QFile::remove(iniPath());
    }

    void everyKeyReachesItsMembers();
    void switchesFollowTheirOwnKey();
    void unreadableThemeForgetsEveryValue_data();
    void unreadableThemeForgetsEveryValue();
    void garbageValues();
    void truncatedThemeKeepsWhatPrecedesTheCut();
    void shippedThemeIsComplete();
    void shippedImagesLoadAndAreAllUsed();
    void shippedColoursAreReadable();
    void translationIsBuilt();
    void construction();
    void buttonTypes_data();
    void buttonTypes();
    void buttonsEmitTheirSignals();
    void maximiseAndRestoreSwapButtons();
    void dragging();
    void doubleClick_data();
    void doubleClick();
    void painting();
    void widthFollowsParent();
    void titleContentAndIcon();
    void rollingTitle();
    void styleSheetFiles();

private:
    // Writes a theme in which every text, number and channel is unique.
    void writeUniqueTheme();
    void copyShippedTheme();
};

void ThemeTest::writeUniqueTheme()
{
    QSettings ini(iniPath(), QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    for (const TextRow &r : kTexts)
        ini.setValue(pairName(r.group, r.key), QString("值 %1 %2").arg(r.group, r.key));
    int n = 1;
    for (const NumberRow &r : kNumbers)
        ini.setValue(pairName(r.group, r.key), n++);
    for (const ChannelRow &r : kChannels)
        for (const char *c : {"R", "G", "B"})
            ini.setValue(pairName(r.group, r.prefix + QString(c)), n++);
    for (const ColourRow &r : kColours)
        for (const char *c : {"R", "G", "B"})
            ini.setValue(pairName(r.group, r.prefix + QString(c)), n++);
    for (const SwitchRow &r : kSwitches)
        ini.setValue(pairName(r.group, r.key), "1");
    ini.sync();
    QCOMPARE(ini.status(), QSettings::NoError);
    QVERIFY(n < 256);
}

void ThemeTest::copyShippedTheme()
{
    QFile::remove(iniPath());
    QVERIFY(QFile::copy(qEnvironmentVariable("PAGELUX_SOURCE_DIR") + "/deploy/icon.ini", iniPath()));
}

void ThemeTest::everyKeyReachesItsMembers()
{
    writeUniqueTheme();
    CToolHelper helper;
    helper.SettingAllSets();

    for (const TextRow &r : kTexts)
        QCOMPARE(helper.*r.member, QString("值 %1 %2").arg(r.group, r.key));
    int n = 1;
    for (const NumberRow &r : kNumbers)
        QVERIFY2(helper.*r.member == n++, r.key);
    for (const ChannelRow &r : kChannels) {
        QVERIFY2(helper.*r.red == n && helper.*r.green == n + 1 && helper.*r.blue == n + 2, r.prefix);
        n += 3;
    }
    for (const ColourRow &r : kColours) {
        QVERIFY2(helper.*r.member == QColor(n, n + 1, n + 2), r.group);
        QCOMPARE((helper.*r.member).alpha(), 255);
        n += 3;
    }
    for (const SwitchRow &r : kSwitches)
        QVERIFY2(helper.*r.member, r.key);

    // Keys that fill several members.
    QCOMPARE(helper.closeendiconpath, helper.closepressiconpath);
    QCOMPARE(helper.imagenwd, helper.imageofd);
    QCOMPARE(helper.imagenpdf, helper.imageofd);
    QCOMPARE(QColor(helper.mainitemselectR, helper.mainitemselectG, helper.mainitemselectB),
             helper.mainitemselectcolor);
    QCOMPARE(QColor(helper.widget_R, helper.widget_G, helper.widget_B), helper.mainlistviewcolor);
}

void ThemeTest::switchesFollowTheirOwnKey()
{
    // Each switch on alone: no other switch may follow it.
    for (const SwitchRow &on : kSwitches) {
        {
            QSettings ini(iniPath(), QSettings::IniFormat);
            for (const SwitchRow &r : kSwitches)
                ini.setValue(pairName(r.group, r.key), &r == &on ? "2" : "0");
        }
        CToolHelper helper;
        helper.SettingAllSets();
        for (const SwitchRow &r : kSwitches)
            QVERIFY2(helper.*r.member == (&r == &on), r.key);
    }
}

void ThemeTest::unreadableThemeForgetsEveryValue_data()
{
    QTest::addColumn<int>("damage");
    QTest::newRow("missing") << 0;
    QTest::newRow("binary") << 1;
    QTest::newRow("folder") << 2;
}

void ThemeTest::unreadableThemeForgetsEveryValue()
{
    // A helper that had a full theme and then cannot read one keeps nothing of it.
    QFETCH(int, damage);
    writeUniqueTheme();
    CToolHelper helper;
    helper.SettingAllSets();
    QVERIFY(QFile::remove(iniPath()));
    if (damage == 1) {
        QByteArray junk;
        for (int i = 0; i < 4096; ++i)
            junk.append(char((i * 7919) % 251));
        writeFile(iniPath(), junk);
    } else if (damage == 2) {
        QVERIFY(QDir().mkdir(iniPath()));
    }
    helper.SettingAllSets();

    for (const TextRow &r : kTexts)
        QVERIFY2((helper.*r.member).isEmpty(), r.key);
    for (const NumberRow &r : kNumbers)
        QCOMPARE(helper.*r.member, 0);
    for (const ChannelRow &r : kChannels)
        QCOMPARE(helper.*r.red + helper.*r.green + helper.*r.blue, 0);
    for (const SwitchRow &r : kSwitches)
        QCOMPARE(helper.*r.member, false);
    for (const ColourRow &r : kColours)
        QCOMPARE(helper.*r.member, QColor(0, 0, 0, 255));
    QCOMPARE(helper.mainitemselectR + helper.widget_B, 0);
}

void ThemeTest::garbageValues()
{
    const QList<QPair<const char *, const char *>> values = {
        {"widthDrawCrop/width", "abc"},    {"widthDrawLine/width", ""},
        {"widthDrawRect/width", " 12 "},   {"drawRectTransparent/alpha", "0x50"},
        {"IsSupportOCR/isSupport", "yes"}, {"IsReturnKey/isReturnKey", "-1"},
        {"colorMainUI/R", "300"},          {"colorMainUI/G", "-4"},
        {"colorMainUI/B", "12.5"},         {"ColorTitle/R", "999"}};
    {
        QSettings ini(iniPath(), QSettings::IniFormat);
        for (const auto &kv : values)
            ini.setValue(kv.first, kv.second);
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

void ThemeTest::truncatedThemeKeepsWhatPrecedesTheCut()
{
    copyShippedTheme();
    QFile f(iniPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    f.close();
    const int cut = all.indexOf("[WarningTips]");
    QVERIFY(cut > 0);
    writeFile(iniPath(), all.left(cut + 30));
    CToolHelper helper;
    helper.SettingAllSets();
    QVERIFY(helper.uiiconpath.startsWith(":/"));
    QVERIFY(helper.cropWidth > 0);
    QVERIFY(helper.softwareName.isEmpty());
    QVERIFY(helper.closetip.isEmpty());
}

void ThemeTest::shippedThemeIsComplete()
{
    copyShippedTheme();
    const QHash<QString, bool> pairs = allPairs();
    QCOMPARE(pairs.size(), 303);
    CToolHelper helper;
    for (auto it = pairs.begin(); it != pairs.end(); ++it) {
        const QString value = helper.readSettingValue(it.key().section('/', 0, 0), it.key().section('/', 1));
        QVERIFY2(!value.trimmed().isEmpty(), qPrintable(it.key()));
        // Colours must not depend on the reader's clamping.
        bool ok = false;
        const int channel = value.toInt(&ok);
        QVERIFY2(!it.value() || (ok && channel >= 0 && channel <= 255), qPrintable(it.key()));
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
        const QString text = helper.*r.member;
        if (group == "WarningTips" || group == "tooltips")
            QVERIFY2(std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x4e00; }),
                     r.key);
    }
}

void ThemeTest::shippedImagesLoadAndAreAllUsed()
{
    copyShippedTheme();
    QSettings ini(iniPath(), QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    ini.beginGroup("iconPath");
    const QStringList keys = ini.childKeys();
    QCOMPARE(keys.size(), 83);
    QSet<QString> used;
    for (const QString &key : keys) {
        const QString path = ini.value(key).toString();
        QVERIFY2(path.startsWith(":/"), qPrintable(key));
        const QImage image = QImage(path).convertToFormat(QImage::Format_Alpha8);
        QVERIFY2(!image.isNull(), qPrintable(key + " " + path));
        // Not a blank canvas.
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x)
                drawn = image.constScanLine(y)[x] > 0;
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
    copyShippedTheme();
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

void ThemeTest::construction()
{
    QWidget parent;
    TitleBar bar(&parent);
    QCOMPARE(bar.minimumHeight(), 40);
    QCOMPARE(bar.maximumHeight(), 40);
    QCOMPARE(bar.m_pIcon->size(), QSize(16, 16));
    QCOMPARE(bar.m_pButtonClose->minimumSize(), QSize(36, 30));
    QCOMPARE(bar.m_pButtonClose->maximumSize(), QSize(36, 30));
    QCOMPARE(bar.m_pTitleContent->objectName(), QString("TitleContent"));

    // Left to right.
    auto *layout = bar.layout();
    QList<QWidget *> widgets;
    for (int i = 0; i < layout->count(); ++i)
        if (layout->itemAt(i)->widget())
            widgets << layout->itemAt(i)->widget();
    QList<QWidget *> expected = {
        bar.m_pIcon,          bar.m_pTitleContent, bar.m_comboSelect,     bar.m_capture,    bar.m_scan,
        bar.m_label,          bar.m_list,          bar.m_pButtonfunction, bar.m_pButtonSet, bar.m_pButtonMin,
        bar.m_pButtonRestore, bar.m_pButtonMax,    bar.m_pButtonClose};
    QCOMPARE(widgets, expected);
}

void ThemeTest::buttonTypes_data()
{
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QString>("hidden");
    const QString allButClose = "min restore max set function select list capture scan";
    QTest::newRow("min") << QList<int>{MIN_BUTTON} << "restore max";
    QTest::newRow("min-max") << QList<int>{MIN_MAX_BUTTON} << "restore";
    QTest::newRow("only-close") << QList<int>{ONLY_CLOSE_BUTTON} << allButClose;
    // A later type never shows again what an earlier one hid.
    QTest::newRow("only-close, then min-max") << QList<int>{ONLY_CLOSE_BUTTON, MIN_MAX_BUTTON} << allButClose;
}

void ThemeTest::buttonTypes()
{
    QFETCH(QList<int>, types);
    QFETCH(QString, hidden);
    QWidget parent;
    TitleBar bar(&parent);
    for (int type : types)
        bar.setButtonType(TitleButtonType(type));
    const QMap<QString, QWidget *> children = {
        {"min", bar.m_pButtonMin},     {"restore", bar.m_pButtonRestore},
        {"max", bar.m_pButtonMax},     {"close", bar.m_pButtonClose},
        {"set", bar.m_pButtonSet},     {"function", bar.m_pButtonfunction},
        {"select", bar.m_comboSelect}, {"list", bar.m_list},
        {"capture", bar.m_capture},    {"scan", bar.m_scan},
        {"label", bar.m_label},        {"title", bar.m_pTitleContent},
    };
    const QStringList hiddenNames = hidden.split(' ');
    for (auto it = children.begin(); it != children.end(); ++it)
        QVERIFY2(it.value()->isHidden() == hiddenNames.contains(it.key()), qPrintable(it.key()));
}

void ThemeTest::buttonsEmitTheirSignals()
{
    Window w(MIN_MAX_BUTTON);
    TitleBar *bar = w.bar;
    const QList<QPair<QPushButton *, const char *>> pairs = {
        {bar->m_pButtonMin, SIGNAL(signalButtonMinClicked())},
        {bar->m_pButtonClose, SIGNAL(signalButtonCloseClicked())},
        {bar->m_pButtonSet, SIGNAL(signalButtonSetClicked())},
        {bar->m_pButtonfunction, SIGNAL(signalButtonFunctionClicked())},
    };
    for (const auto &p : pairs) {
        QSignalSpy spy(bar, p.second);
        QSignalSpy max(bar, SIGNAL(signalButtonMaxClicked()));
        QTest::mouseClick(p.first, Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(max.count(), 0);
        // Only signals: the window itself is untouched.
        QVERIFY(w.widget.isVisible());
        QVERIFY(!bar->m_pButtonMax->isHidden());
    }
}

void ThemeTest::maximiseAndRestoreSwapButtons()
{
    Window w(MIN_MAX_BUTTON);
    QSignalSpy maxSpy(w.bar, SIGNAL(signalButtonMaxClicked()));
    QSignalSpy restoreSpy(w.bar, SIGNAL(signalButtonRestoreClicked()));

    QTest::mouseClick(w.bar->m_pButtonMax, Qt::LeftButton);
    QCOMPARE(maxSpy.count(), 1);
    QVERIFY(w.bar->m_pButtonMax->isHidden());
    QVERIFY(w.bar->m_pButtonRestore->isVisible());

    QTest::mouseClick(w.bar->m_pButtonRestore, Qt::LeftButton);
    QCOMPARE(restoreSpy.count(), 1);
    QVERIFY(w.bar->m_pButtonRestore->isHidden());
    QVERIFY(w.bar->m_pButtonMax->isVisible());
    QCOMPARE(maxSpy.count(), 1);
}

void ThemeTest::dragging()
{
    {
        Window w(MIN_MAX_BUTTON);
        QCOMPARE(drag(w, QPoint(30, 20)), QPoint(30, 20));
        // Moves after the release do nothing.
        const QPoint pos = w.widget.pos();
        sendMouse(w.bar, QEvent::MouseMove, w.bar->mapToGlobal(QPoint(10, 10)));
        QCOMPARE(w.widget.pos(), pos);
        // A maximised window (restore button shown) is not dragged.
        w.bar->onButtonMaxClicked();
        QCOMPARE(drag(w, QPoint(40, 15)), QPoint(0, 0));
        w.bar->onButtonRestoreClicked();
        QCOMPARE(drag(w, QPoint(-25, 5)), QPoint(-25, 5));
    }
    for (TitleButtonType type : {MIN_BUTTON, ONLY_CLOSE_BUTTON}) {
        Window w(type);
        QCOMPARE(drag(w, QPoint(12, -7)), QPoint(12, -7));
        // The max/restore state of another type does not matter.
        w.bar->onButtonMaxClicked();
        QCOMPARE(drag(w, QPoint(5, 5)), QPoint(5, 5));
    }
    // Several steps of one drag add up.
    Window w(ONLY_CLOSE_BUTTON);
    const QPoint before = w.widget.pos();
    QPoint p = w.bar->mapToGlobal(QPoint(200, 10));
    sendMouse(w.bar, QEvent::MouseButtonPress, p);
    for (int i = 1; i <= 5; ++i)
        sendMouse(w.bar, QEvent::MouseMove, p + QPoint(3 * i, 2 * i));
    sendMouse(w.bar, QEvent::MouseButtonRelease, p + QPoint(15, 10));
    QCOMPARE(w.widget.pos() - before, QPoint(15, 10));
}

void ThemeTest::doubleClick_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("switches");
    QTest::newRow("min") << int(MIN_BUTTON) << false;
    QTest::newRow("min-max") << int(MIN_MAX_BUTTON) << true;
    QTest::newRow("only-close") << int(ONLY_CLOSE_BUTTON) << false;
}

void ThemeTest::doubleClick()
{
    QFETCH(int, type);
    QFETCH(bool, switches);
    Window w{TitleButtonType(type)};
    QSignalSpy maxSpy(w.bar, SIGNAL(signalButtonMaxClicked()));
    QSignalSpy restoreSpy(w.bar, SIGNAL(signalButtonRestoreClicked()));
    const bool maxHidden = w.bar->m_pButtonMax->isHidden();

    sendMouse(w.bar, QEvent::MouseButtonDblClick, w.bar->mapToGlobal(QPoint(250, 20)));
    QCOMPARE(maxSpy.count(), switches ? 1 : 0);
    QCOMPARE(w.bar->m_pButtonMax->isHidden(), switches ? true : maxHidden);
    sendMouse(w.bar, QEvent::MouseButtonDblClick, w.bar->mapToGlobal(QPoint(250, 20)));
    QCOMPARE(restoreSpy.count(), switches ? 1 : 0);
    QCOMPARE(w.bar->m_pButtonMax->isHidden(), maxHidden);
}

void ThemeTest::painting()
{
    QWidget parent;
    parent.resize(400, 200);
    TitleBar bar(&parent);
    bar.resize(400, 40);

    // Never coloured: only the bottom line is painted.
    QImage image = paintedBar(&bar);
    QCOMPARE(qAlpha(image.pixel(200, 10)), 0);
    QCOMPARE(qAlpha(image.pixel(200, 30)), 0);
    const QRgb line = image.pixel(200, 39);
    QVERIFY(qAlpha(line) > 0);
    const QColor unmultiplied(qRed(line) * 255 / qAlpha(line), qGreen(line) * 255 / qAlpha(line),
                              qBlue(line) * 255 / qAlpha(line));
    QVERIFY(qAbs(unmultiplied.red() - 227) <= 2 && qAbs(unmultiplied.blue() - 227) <= 2);

    // Coloured: the whole bar is filled, the line still shows at the bottom.
    bar.setBackgroundColor(10, 120, 200, false);
    image = paintedBar(&bar);
    QCOMPARE(image.pixel(5, 5), qRgb(10, 120, 200));
    QCOMPARE(image.pixel(395, 30), qRgb(10, 120, 200));
    QVERIFY(image.pixel(200, 39) != qRgb(10, 120, 200));

    // Transparent again: nothing but the line.
    bar.setBackgroundColor(10, 120, 200, true);
    image = paintedBar(&bar);
    QCOMPARE(qAlpha(image.pixel(5, 5)), 0);
}

void ThemeTest::widthFollowsParent()
{
    QWidget parent;
    parent.resize(600, 400);
    TitleBar *bar = new TitleBar(&parent);
    bar->setTitleWidth(600);
    QCOMPARE(bar->width(), 600);

    parent.resize(900, 400);
    QCOMPARE(bar->width(), 600);
    bar->grab();
    QCOMPARE(bar->width(), 900);

    bar->setWindowBorderWidth(6);
    parent.resize(700, 400);
    bar->grab();
    QCOMPARE(bar->width(), 694);
    QCOMPARE(bar->minimumWidth(), 694);
    QCOMPARE(bar->maximumWidth(), 694);
}

void ThemeTest::titleContentAndIcon()
{
    QWidget parent;
    TitleBar bar(&parent);
    bar.setTitleContent("文件命名设置", 9);
    QCOMPARE(bar.m_pTitleContent->text(), QString("文件命名设置"));
    const QFont font = bar.m_pTitleContent->font();
    QCOMPARE(font.family(), QString("Microsoft YaHei"));
    QCOMPARE(font.weight(), 75);
    QCOMPARE(font.pointSize(), 9);
    QCOMPARE(bar.m_pTitleContent->palette().color(QPalette::WindowText), QColor(Qt::black));

    // Scaled to exactly the size asked for, whatever the source's aspect.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QImage wide(50, 20, QImage::Format_RGB32);
    wide.fill(Qt::red);
    const QString png = dir.filePath("wide.png");
    QVERIFY(wide.save(png));
    bar.setTitleIcon(png, QSize(30, 30));
    QCOMPARE(bar.m_pIcon->pixmap(Qt::ReturnByValue).size(), QSize(30, 30));
    QCOMPARE(bar.m_pIcon->pixmap(Qt::ReturnByValue).toImage().pixel(15, 15), qRgb(255, 0, 0));

    bar.setTitleIcon(":/images/app/pagelux.svg", QSize(16, 16));
    const QImage icon = bar.m_pIcon->pixmap(Qt::ReturnByValue).toImage();
    QCOMPARE(icon.size(), QSize(16, 16));
    QVERIFY(qAlpha(icon.pixel(8, 8)) > 0);

    // Missing and corrupt files leave an empty icon.
    bar.setTitleIcon(dir.filePath("missing.png"), QSize(16, 16));
    QVERIFY(bar.m_pIcon->pixmap(Qt::ReturnByValue).isNull());
    writeFile(dir.filePath("corrupt.png"), "\x89PNG\r\n\x1a\n garbage");
    bar.setTitleIcon(dir.filePath("corrupt.png"), QSize(16, 16));
    QVERIFY(bar.m_pIcon->pixmap(Qt::ReturnByValue).isNull());
}

void ThemeTest::rollingTitle()
{
    QWidget parent;
    TitleBar bar(&parent);
    bar.setTitleContent("ABCDE", 9);
    // The position is shared by every bar; run it round to the start first.
    int guard = 0;
    do {
        bar.onRollTitle();
    } while (bar.m_pTitleContent->text() != "ABCDE" && ++guard < 100);
    QCOMPARE(bar.m_pTitleContent->text(), QString("ABCDE"));

    QStringList shown;
    for (int i = 0; i < 7; ++i) {
        bar.onRollTitle();
        shown << bar.m_pTitleContent->text();
    }
    QCOMPARE(shown, QStringList({"BCDE", "CDE", "DE", "E", "", "ABCDE", "BCDE"}));

    // Started, the timer rolls the title by itself.
    bar.setTitleRoll();
    const QString now = bar.m_pTitleContent->text();
    QTRY_VERIFY_WITH_TIMEOUT(bar.m_pTitleContent->text() != now, 5000);
}

void ThemeTest::styleSheetFiles()
{
    QWidget parent;
    TitleBar bar(&parent);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString qss = dir.filePath("bar.qss");
    writeFile(qss, "QLabel#TitleContent{color:rgb(1,2,3);}");
    bar.setStyleSheet("QPushButton{border:none;}");
    bar.loadStyleSheet(qss);
    QCOMPARE(bar.styleSheet(), QString("QPushButton{border:none;}QLabel#TitleContent{color:rgb(1,2,3);}"));

    // Files that cannot be opened change nothing.
    bar.loadStyleSheet(dir.filePath("missing.qss"));
    bar.loadStyleSheet(qss + "/inside-a-file.qss");
    QCOMPARE(bar.styleSheet(), QString("QPushButton{border:none;}QLabel#TitleContent{color:rgb(1,2,3);}"));
}

QTEST_MAIN(ThemeTest)
#include "tst_theme.moc"

// The one place the program reads and writes its INI files: the theme file
// (icon.ini), the user settings file and the camera-model table.
#ifndef CTOOLHELPER_H
#define CTOOLHELPER_H

#include "commondatatype.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <QVector>

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
    // The rows "deviceInfo0", "deviceInfo1", ... of the camera-model file, read up to
    // the first row without a pid or without the required field.
    QVector<tagCamModel> readCameraModels(QString tagCamModel::*required);
    bool FileExists(QString path);
    void playSound(bool);

    QString m_LastSettingPath;

    // Theme: the whole table of icon.ini, read by SettingAllSets(). Without a
    // theme file every text is empty, every number 0, every switch false and
    // every colour opaque black.
    void SettingAllSets();

    // Image paths.
    QString uiiconpath, pdficonpath, pdfenablepath, pdfhovorpath, pdfdisablepath, camdevpath, adfdevpath;
    QString seticonpath, setpressiconpath, miniconpath, minpressiconpath, maxiconpath, maxpressiconpath;
    QString restoreiconpath, restorepressiconpath, closeiconpath, closeendiconpath, closepressiconpath;
    QString lefticonpath, leftpressiconpath, righticonpath, rightpressiconpath;
    QString enlargeiconpath, enlargepressiconpath, narrowiconpath, narrowpressiconpath;
    QString uirestoreiconpath, uirestorepressiconpath, captureiconpath, capturepressiconpath, coloriconpath;
    QString uileftpath, uileftpresspath, uirightpath, uirightpresspath, uideletepath, uideletepresspath;
    QString uilistpath, uilistpresspath;
    QString titlescanpath, titlecapturepath, titlescanpresspath, titlecapturepresspath;
    QString scanimage, previewiconpath;
    QString imagebmp, imagepdf, imagepng, imagetif, imagepath, imagejpg, imageofd, imagenwd, imagenpdf;
    QString watermarkTopNormalpath, watermarkTopDisablepath, watermarkTopSelectpath;
    QString watermarkCenterNormalpath, watermarkCenterDisablepath, watermarkCenterSelectpath;
    QString watermarkObliqueNormalpath, watermarkObliqueDisablepath, watermarkObliqueSelectpath;
    QString watermarkBottomNormalpath, watermarkBottomDisablepath, watermarkBottomSelectpath;
    QString camcapturenormalpath, camcapturehovorpath, camcapturepresspath;
    QString camimagenormalpath, camimagehovorpath, camimagepresspath;
    QString comboBoxdownarrowpath;
    QString ocrnormalpath, ocrpresspath, ofdnormalpath, ofdpresspath, nwdnormalpath, nwdpresspath;
    QString npdfnormalpath, npdfpresspath;
    QString bookLefttoRightpath, bookRighttoLeftpath, bookMergepath, bookOnlyLeftpath, bookOnlyRightpath;

    // Texts.
    QString ocrpdfpboutpath, ocrofdpboutpath, savePath;
    QString titlewarningstr, titlenodevstr, titlename;
    QString warningTitle, tipTitle, mksrtipTitle, pdfNotSupported, ocrpdfNotSupported, fileNotFound;
    QString ocrMergeQuestion, pdfMergeFileIsNull, pdfMergeQuestion;
    QString cropNotSupportRotation, cropNotSupportEnlarge, cropNotSupportNarrow, restoreOver;
    QString waterMarkLengthOverFlow, captureWaterMarkLengthOverFlow;
    QString waterMarkLengthIsNull, captureWaterMarkLengthIsNull;
    QString waterImagePathIsNotExist, captureWaterImagePathIsNotExist;
    QString waterImagePathOverFlow, captureWaterImagePathOverFlow;
    QString saveImagePathIsNotExist, captureSaveImagePathIsNotExist;
    QString saveImagePathIsOverFlow, captureSaveImagePathIsOverFlow;
    QString newfolderfailed, captureFailedPath, nameLengthOverFlow, saveIamgePathIsNoWrite;
    QString nameformatnulltip, idcardCannotCapture;
    QString softwareName, versionNumber, aboutTip, nameformatTimeTip, imagesetWaterTip;
    QString settip, mintip, maxtip, restoretip, closetip, turnlefttip, turnrighttip, mergepdftip;
    QString deletetip, displaytip, camrestoretip, camenlargetip, camnarrowtip, camturnlefttip;
    QString camturnrighttip, capturetip, scantip, ocrpdftip, ocrofdtip, ocrnwdtip, ocrnpdftip;

    // Colours (opaque).
    QColor uibackcolor, camerauicolor, setuicolor, imageuicolor, nameformatuicolor;
    QColor mainitemselectcolor, cameraitemselectcolor, cameraitemcolor, camerabackgroundcolor;
    QColor menubackgroundcolor, menuitemcolor, menuitemhovercolor, menuitemselectcolor;
    QColor drawlinecolor, drawrectcolor, drawCropcolor, drawPagingLinecolor, drawPagingRectcolor;
    QColor selectCropcolor, mainlistviewcolor, cameralistviewcolor, cameracomboxcolor, titlewarningcolor;
    QColor tabBackgroundcolor, tabBordercolor, tabSelectioncolor;
    QColor comboBoxBackcolor, comboBoxbordercolor, comboBoxSelectcolor, comboBoxfontcolor;
    QColor comboBoxSelectfontcolor, comboBackcolor, combohovercolor;
    QColor lineeditBordercolor, radiobuttonbackcolor, radiobuttonbordercolor;

    // Colour channels (0-255).
    int mainitemselectR = 0, mainitemselectG = 0, mainitemselectB = 0;
    int title_background_R = 0, title_background_G = 0, title_background_B = 0;
    int title_normal_R = 0, title_normal_G = 0, title_normal_B = 0;
    int title_hovor_R = 0, title_hovor_G = 0, title_hovor_B = 0;
    int title_pressed_R = 0, title_pressed_G = 0, title_pressed_B = 0;
    int close_hovor_R = 0, close_hovor_G = 0, close_hovor_B = 0;
    int close_pressed_R = 0, close_pressed_G = 0, close_pressed_B = 0;
    int ui_normal_R = 0, ui_normal_G = 0, ui_normal_B = 0;
    int ui_hovor_R = 0, ui_hovor_G = 0, ui_hovor_B = 0;
    int ui_pressed_R = 0, ui_pressed_G = 0, ui_pressed_B = 0;
    int widget_R = 0, widget_G = 0, widget_B = 0;

    // Sizes.
    int cropWidth = 0, lineWidth = 0, rectwidth = 0, rectalpha = 0;
    int pagingLineWidth = 0, pagingRectWidth = 0, minwidth = 0, maxwidth = 0;

    // Switches.
    bool IsCameraType = false, IsScannerType = false, IsScanVoice = false, IsErrorTip = false;
    bool dialogHasParent = false, bIsManualCut = false, bIsImageSet = false, bIsRemoveHole = false;
    bool bIsPaging = false, bIsSupportOCR = false, bIsReturnKey = false, bIsIDCard = false;
    bool bIsSupportOtherColors = false, bIsSupportContinuousShooting = false;

private:
    QString lastSettingPath();
    int readUserValue(const QString &group, const QString &key, QString &value);
    int writeUserValue(const QString &group, const QString &key, const QString &value);
    int writeUserGroup(const QString &group, const QStringList &keys, const QStringList &values);
};

#endif // CTOOLHELPER_H

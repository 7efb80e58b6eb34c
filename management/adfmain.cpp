#include "adfmain.h"
#include "ui_adfmain.h"

#include "CamCaptureSDK.h"
#include "initdevthread.h"
#include "mainwindow.h"
#include "nameformat.h"
#include "scanui.h"
#include "set.h"
#include "titlebar.h"
#include "windowstyle.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>

QDateTime closeStartTime;
QDateTime closeEndTime;
QMutex MutexDataBuffLock;
const int g_ItemWidth = 108;
const int g_ItemHeight = 120;

namespace {
const int kNameBaseMax = 30;
const QSize kNormalSize(900, 600);

bool flagOf(const QString &text)
{
    return text.toInt() != 0;
}

QString rgb(const QColor &c)
{
    return QString("%1,%2,%3").arg(c.red()).arg(c.green()).arg(c.blue());
}
} // namespace

ADFmain::ADFmain(QWidget *parent) : QMainWindow(parent), ui(new Ui::ADFmain)
{
    ui->setupUi(this);
    m_toolHelper.SettingAllSets();
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
    for (DEVPARAM &dev : DevsInfo) {
        dev.nType = 0;
        dev.nCurrentIndex = 0;
    }
    currentDevInfo = DevsInfo[0];

    const QString appDir = QCoreApplication::applicationDirPath();
    initSettingFile(appDir);

    m_vecDevType.clear();
    initADFmainUI();
    initConnection();

    readLastSetting(appDir);
    filePath = SetInfo.savepath;
    qRegisterMetaType<PicItemData>("PicItemData");

    startDeviceDiscovery();

    updateImageTimer = new QTimer(this);
    filters << "*.png"
            << "*.jpg"
            << "*.bmp"
            << "*.tiff"
            << "*.pdf";

    fileSystemWater = new QFileSystemWatcher(this);
    watcher = new QFileSystemWatcher(this);
    watcher->addPath("/dev");
    connect(watcher, SIGNAL(directoryChanged(QString)), this, SLOT(slotGetDeviceChanged(QString)));
}

ADFmain::~ADFmain()
{
    stopDiscoveryThread();
    delete initDevthread.data();
    delete _initDevThread;
    delete ui;
}

void ADFmain::initADFmainUI()
{
    resize(kNormalSize);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->geometry();
        move((desk.width() - width()) / 2, (desk.height() - height()) / 2);
    }
    NormalPoint = pos();
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setWindowTitle(m_toolHelper.titlename);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, m_toolHelper.uibackcolor);
    setPalette(pal);
    setAutoFillBackground(true);
    setWindowIcon(QIcon(m_toolHelper.uiiconpath));

    adfmaintitle = new TitleBar(this);
    adfmaintitle->setTitleIcon(m_toolHelper.uiiconpath, QSize(16, 16));
    if (!m_toolHelper.titlename.isEmpty())
        adfmaintitle->setTitleContent(m_toolHelper.titlename, 9);
    adfmaintitle->setBackgroundColor(m_toolHelper.title_background_R, m_toolHelper.title_background_G,
                                     m_toolHelper.title_background_B, false);
    adfmaintitle->setButtonType(MIN_MAX_BUTTON);

    const CToolHelper &t = m_toolHelper;
    adfmaintitle->m_comboSelect->setItemDelegate(new QStyledItemDelegate(adfmaintitle->m_comboSelect));
    // Camera names are long ("model + serial"); the selector grows with them.
    adfmaintitle->m_comboSelect->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    adfmaintitle->m_comboSelect->setMinimumSize(180, 30);
    adfmaintitle->m_comboSelect->setStyleSheet(
        QString("QComboBox QAbstractItemView{background:rgba(%1,1);border:1px solid rgba(%2,1);"
                "font:10px;selection-color:rgb(%3);color:rgb(%4);}"
                "QComboBox QAbstractItemView::item{height: 20px;}"
                "QComboBox QAbstractItemView::item:selected{background-color: rgb(%5);}"
                "QComboBox {border:none;border-radius:6px;background-color:rgb(%6);}"
                "QComboBox:hover {background-color:rgb(%7)}"
                "QComboBox::drop-down {width:30px; border:none;}QComboBox::down-arrow {image:url(%8)}")
            .arg(rgb(t.comboBoxBackcolor), rgb(t.comboBoxbordercolor), rgb(t.comboBoxSelectfontcolor),
                 rgb(t.comboBoxfontcolor), rgb(t.comboBoxSelectcolor), rgb(t.comboBackcolor),
                 rgb(t.combohovercolor), t.comboBoxdownarrowpath));

    auto styleButton = [this](QPushButton *button, const QString &normal, const QString &pressed,
                              const QString &tip) {
        button->setFixedSize(36, 30);
        button->setToolTip(tip);
        button->setStyleSheet(titleButtonStyle(normal, normal, pressed));
    };
    styleButton(adfmaintitle->m_capture, t.titlecapturepath, t.titlecapturepresspath, t.capturetip);
    styleButton(adfmaintitle->m_list, t.uilistpath, t.uilistpresspath, t.displaytip);
    styleButton(adfmaintitle->m_scan, t.titlescanpath, t.titlescanpresspath, t.scantip);
    styleButton(adfmaintitle->m_pButtonSet, t.seticonpath, t.setpressiconpath, t.settip);
    styleButton(adfmaintitle->m_pButtonMin, t.miniconpath, t.minpressiconpath, t.mintip);
    styleButton(adfmaintitle->m_pButtonMax, t.maxiconpath, t.maxpressiconpath, t.maxtip);
    styleButton(adfmaintitle->m_pButtonRestore, t.restoreiconpath, t.restorepressiconpath, t.restoretip);
    styleButton(adfmaintitle->m_pButtonClose, t.closeiconpath, t.closepressiconpath, t.closetip);
    adfmaintitle->m_pButtonClose->setIconSize(QSize(13, 13));
    adfmaintitle->m_pButtonfunction->setFixedSize(80, 30);
    adfmaintitle->m_pButtonfunction->setText("功能设置");
    adfmaintitle->m_pButtonfunction->hide();
    adfmaintitle->m_scan->hide();

    // The document list comes below the title bar.
    auto *layout = new QVBoxLayout(ui->centralwidget);
    layout->setContentsMargins(0, 40, 0, 0);
}

QString ADFmain::titleButtonStyle(const QString &normal, const QString &hover, const QString &pressed) const
{
    return WindowStyle::titleButton(m_toolHelper, normal, hover, pressed);
}

void ADFmain::initConnection()
{
    connect(adfmaintitle, SIGNAL(signalButtonMinClicked()), this, SLOT(onButtonMinClicked()));
    connect(adfmaintitle, SIGNAL(signalButtonMaxClicked()), this, SLOT(onButtonMaxClicked()));
    connect(adfmaintitle, SIGNAL(signalButtonRestoreClicked()), this, SLOT(onButtonRestoreClicked()));
    connect(adfmaintitle, SIGNAL(signalButtonCloseClicked()), this, SLOT(onButtonCloseClicked()));
    connect(adfmaintitle, SIGNAL(signalButtonFunctionClicked()), this, SLOT(onButtonFunctionClicked()));
    connect(adfmaintitle, SIGNAL(signalButtonSetClicked()), this, SLOT(onButtonSetClicked()));
    connect(adfmaintitle->m_comboSelect, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedDevnameADF(int)));
    connect(adfmaintitle->m_capture, SIGNAL(clicked()), this, SLOT(onADFBtnCaptureClicked()));
    connect(this, SIGNAL(signalTitleBigger()), adfmaintitle, SLOT(onButtonMaxClicked()));
    connect(this, SIGNAL(signalTileNormal()), adfmaintitle, SLOT(onButtonRestoreClicked()));
}

void ADFmain::startDeviceDiscovery()
{
    // Without cameras in the theme the worker never reports.
    m_bDiscoveryRunning = m_toolHelper.IsCameraType;
    initDevthread = new Initdevthread();
    _initDevThread = new QThread();
    initDevthread->moveToThread(_initDevThread);
    connect(_initDevThread, SIGNAL(started()), initDevthread, SLOT(InitDevParam()));
    connect(_initDevThread, SIGNAL(finished()), initDevthread, SLOT(deleteLater()));
    connect(initDevthread, SIGNAL(signalCameraOver()), this, SLOT(slotInitCamDevThreadOver()),
            Qt::QueuedConnection);
    _initDevThread->start(QThread::InheritPriority);
}

void ADFmain::stopDiscoveryThread()
{
    if (_initDevThread && _initDevThread->isRunning()) {
        _initDevThread->quit();
        _initDevThread->wait();
    }
}

void ADFmain::copyDevices(const Initdevthread &worker, int count)
{
    const int rows = count > 0 ? count : 1;
    for (int i = 0; i < rows; ++i)
        DevsInfo[i] = worker.devparams[i];
}

void ADFmain::slotInitCamDevThreadOver()
{
    if (!initDevthread)
        return;
    qWarning("ADFmain::slotInitCamDevThreadOver() __ 初始化设备完成,开始更新设备结构体参数.");
    cameraCounts = initDevthread->cameracounts;
    copyDevices(*initDevthread, cameraCounts);
    if (!m_toolHelper.IsScannerType)
        stopDiscoveryThread();
    updateInitDevUI();
    m_bDiscoveryRunning = false;
    if (m_bHotPlugPending) {
        m_bHotPlugPending = false;
        slotGetDeviceChanged(QString());
    }
}

void ADFmain::showDeviceWarning(const QString &text)
{
    adfmaintitle->m_capture->hide();
    adfmaintitle->m_comboSelect->hide();
    QLabel *label = adfmaintitle->m_label;
    label->setStyleSheet(QString("QLabel{background: rgb(%1);}").arg(rgb(m_toolHelper.titlewarningcolor)));
    label->setText(text);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(QFont("Microsoft YaHei", 20, QFont::Normal));
    label->setMinimumWidth(m_IsMaxScren ? m_toolHelper.maxwidth : m_toolHelper.minwidth);
    label->show();
}

void ADFmain::updateInitDevUI()
{
    qWarning("ADFmain::updateInitDevUI() __ cameraCounts is %d,scannerCounts is %d\n", cameraCounts,
             scannerCounts);
    adfmaintitle->m_scan->hide();
    if (cameraCounts == 0) {
        showDeviceWarning(m_toolHelper.titlenodevstr);
    } else if (cameraCounts > 0) {
        adfmaintitle->m_capture->show();
        adfmaintitle->m_comboSelect->show();
        adfmaintitle->m_capture->setEnabled(true);
        adfmaintitle->m_scan->hide();
        adfmaintitle->m_label->hide();
    } else {
        showDeviceWarning(m_toolHelper.titlewarningstr);
    }

    // Refilling the selector must not count as the user picking a device.
    const bool picked = m_bCurrentDevChange;
    adfmaintitle->m_comboSelect->blockSignals(true);
    adfmaintitle->m_comboSelect->clear();
    adfmaintitle->m_comboSelect->clearEditText();
    m_vecDevType.clear();
    for (int i = 0; i < cameraCounts; ++i) {
        m_vecDevType.push_back(DevsInfo[i].nType);
        adfmaintitle->m_comboSelect->addItem(DevsInfo[i].cameraParam.cameraName);
    }
    adfmaintitle->m_comboSelect->setCurrentIndex(0);
    adfmaintitle->m_comboSelect->blockSignals(false);
    m_bCurrentDevChange = picked;

    currentDevInfo = DevsInfo[0];
    qWarning("ADFmain::updateInitDevUI() __ end\n");
}

void ADFmain::comboboxCurrentIndexChangedDevnameADF(int index)
{
    if (index < 0 || index >= DEVICE_TABLE_SIZE)
        return;
    m_bCurrentDevChange = true;
    adfmaintitle->m_comboSelect->setCurrentIndex(index);
    if (DevsInfo[index].nType == 0) {
        adfmaintitle->m_pButtonfunction->hide();
        adfmaintitle->m_scan->hide();
        adfmaintitle->m_capture->show();
    } else if (DevsInfo[index].nType == 1) {
        adfmaintitle->m_pButtonfunction->show();
        adfmaintitle->m_scan->show();
        adfmaintitle->m_capture->hide();
        adfmaintitle->m_scan->setEnabled(true);
    }
    currentDevInfo = DevsInfo[index];
}

// Any change in /dev may be a camera coming or going; the virtual camera leaves
// no trace there, so tests call this slot directly.
void ADFmain::slotGetDeviceChanged(QString)
{
    // A scan beside the start-up discovery would enumerate at the same time and
    // then be overwritten by that older result: it runs once the result is in.
    if (m_bDiscoveryRunning) {
        m_bHotPlugPending = true;
        return;
    }
    Initdevthread scan;
    scan.setMultiThreadValue(false);
    scan.InitHotDevParam();
    const int n = scan.cameracounts;
    if (cameraCounts < n) {
        cameraCounts = n;
        copyDevices(scan, n);
        updateInitDevUI();
    } else if (cameraCounts > n) {
        cameraCounts = n;
        copyDevices(scan, n);
        if (n <= 0)
            cameraCounts = -1;
        updateInitDevUI();
        if (m_IsCaptureOpen)
            emit signalHotPlugChanged(false);
    }
}

// The camera window is not part of this build yet: the press only keeps the
// bookkeeping that window relies on.
void ADFmain::onADFBtnCaptureClicked()
{
    if (updateImageTimer->isActive())
        updateImageTimer->stop();
    if (m_IsCaptureOpen)
        return;
    if (!m_IsMaxScren)
        NormalPoint = pos();
    m_IsCaptureOpen = true;
    if (!m_bCurrentDevChange)
        currentDevInfo = DevsInfo[0];
    qWarning("ADFmain::onADFBtnCaptureClicked() __ %s",
             qUtf8Printable(currentDevInfo.cameraParam.cameraName));
    createCameraWindow(true);

    const long status = Cam_GetDevParams(currentDevInfo.nCurrentIndex, &mainWindow->bIsSupportBook);
    qWarning("mainWindow :: status = %ld", status);
    const CToolHelper &t = m_toolHelper;
    mainWindow->bIsWaterMark = t.bIsImageSet;
    mainWindow->UpdateCutting(mainWindow->bIsSupportBook, t.bIsManualCut, t.bIsPaging);
    mainWindow->UpdateImageSetting(t.bIsImageSet);
    mainWindow->UpdateRemoveHole(t.bIsRemoveHole);
    mainWindow->UpdateIDCardMode();
    mainWindow->UpdateContinuousShooting();

    int pid = 0, vid = 0;
    Cam_GetPIDVID(currentDevInfo.nCurrentIndex, &pid, &vid);
    const QString hexVID = QString("%1").arg(vid, 4, 16, QChar('0')).toLower();
    const QString hexPID = QString("%1").arg(pid, 4, 16, QChar('0')).toLower();
    printf("hexVID = %s, hexPID = %s\n", qPrintable(hexVID), qPrintable(hexPID));
    fflush(stdout);
    // Plain cameras without the document algorithms: only the picture is saved.
    const bool plain = (hexVID == "232b" && hexPID == "ff7d") || (hexVID == "0ac8" && hexPID == "3420");
    for (QWidget *control : {static_cast<QWidget *>(mainWindow->cutmethodcombo),
                             static_cast<QWidget *>(mainWindow->imageeffectcombo),
                             static_cast<QWidget *>(mainWindow->colorBtn)})
        control->setEnabled(!plain);
    if (plain) {
        for (QWidget *control : {mainWindow->edgemendingcombo, mainWindow->foreignmattercombo,
                                 mainWindow->idcardmodecombo, mainWindow->uninterruptedmodlecombo})
            control->setEnabled(false);
    }
    mainWindow->b_IsHideImageAlgorithm = plain;
    mainWindow->UpdateIsHideImageAlgorithm();

    placeCameraWindow();
    mainWindow->show();
    hide();
}

// Opening steps 4 and 5: a new camera window with copies of the records.
void ADFmain::createCameraWindow(bool bIsShow)
{
    mainWindow = new MainWindow(currentDevInfo, SetInfo, watermarkInfo, camImageInfo, bIsShow, bookExportIndex,
                                rotationindex, nullptr);
    mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    connect(mainWindow, SIGNAL(signalUpdateCameraParam(CAMIMAGESET, WATERPARAM, int, int, int)), this,
            SLOT(slotUpdateCameraParam(CAMIMAGESET, WATERPARAM, int, int, int)));
    connect(mainWindow, SIGNAL(signalShowADFUI(bool, QPoint, QStringList)), this,
            SLOT(slotShowADFUI(bool, QPoint, QStringList)), Qt::DirectConnection);
    connect(mainWindow, SIGNAL(signalCameraopen()), this, SLOT(slotCameraOpen()));
    connect(this, SIGNAL(signalHotPlugChanged(bool)), mainWindow, SLOT(hotPlugsChanged(bool)));
}

// Opening step 10: the camera window takes the home window's place and state.
void ADFmain::placeCameraWindow()
{
    mainWindow->NormalPosition = NormalPoint;
    if (m_IsMaxScren) {
        emit mainWindow->signalTitleBigger();
        mainWindow->move(0, 0);
        mainWindow->NormalPosition = NormalPoint;
    } else {
        mainWindow->move(NormalPoint);
    }
}

// At exit, without an open camera window, one is built without starting the
// camera and closed again at once; it reports nothing back.
void ADFmain::HideCaptureUI()
{
    if (m_IsCaptureOpen)
        return;
    if (!m_IsMaxScren)
        NormalPoint = pos();
    if (!m_bCurrentDevChange)
        currentDevInfo = DevsInfo[0];
    createCameraWindow(false);
    qWarning("mainWindow :: status = %ld", 0L);
    placeCameraWindow();
    mainWindow->show();
    mainWindow->close();
}

// Runs inside the camera window's closing: the home window takes the screen back
// and remembers what was captured for the document list.
void ADFmain::slotShowADFUI(bool CameraUIIsMax, QPoint position, QStringList camList)
{
    m_camImages.clear();
    NormalPoint = position;
    if (CameraUIIsMax) {
        if (!m_IsMaxScren) {
            emit signalTitleBigger();
            NormalPoint = position;
        }
    } else if (m_IsMaxScren) {
        emit signalTileNormal();
    } else {
        move(NormalPoint);
    }
    closeEndTime = QDateTime::currentDateTime();
    const qint64 elapsed = closeStartTime.isValid() ? closeStartTime.msecsTo(closeEndTime) : 0;
    qWarning("ADFmain::slotShowADFUI() __ %lld.%03lld s", elapsed / 1000, elapsed % 1000);
    show();
    m_camImages.append(camList);
}

void ADFmain::onButtonScanClicked() {}

void ADFmain::slotCameraOpen()
{
    m_IsCaptureOpen = false;
}

void ADFmain::onButtonSetClicked()
{
    if (m_IsSetOpen)
        return;
    m_IsSetOpen = true;
    if (!m_bCurrentDevChange)
        currentDevInfo = DevsInfo[0];
    int pid = 0, vid = 0;
    if (currentDevInfo.cameraParam.cameraName != "NULL") {
        const long status = Cam_GetPIDVID(currentDevInfo.nCurrentIndex, &pid, &vid);
        qWarning("ADFmain::onButtonSetClicked() -- Get PID&VID states is %ld, pid = %04X, vid = %04X",
                 static_cast<long>(status != 0), pid, vid);
    }
    installEventFilter(this);
    setui = new Set(SetInfo, currentDevInfo, pid, vid, this);
    setui->setAttribute(Qt::WA_DeleteOnClose);
    connect(setui, SIGNAL(singleEnableSetBtnUI()), this, SLOT(slotadfEnableSetBtnUI()));
    connect(setui, SIGNAL(updateSetParam(SETPARAM, bool)), this, SLOT(updateSetParamSlot(SETPARAM, bool)));
    setui->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    if (updateImageTimer->isActive())
        updateImageTimer->stop();
    adfmaintitle->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    centralWidget()->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    setui->show();
}

void ADFmain::slotadfEnableSetBtnUI()
{
    m_IsSetOpen = false;
    adfmaintitle->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    centralWidget()->setAttribute(Qt::WA_TransparentForMouseEvents, false);
}

// The settings are written at once, so a crash later in the session keeps them.
void ADFmain::updateSetParamSlot(SETPARAM setParam, bool bIsReloadImages)
{
    SetInfo.IsErrorTip = setParam.IsErrorTip;
    SetInfo.IsScanVoice = setParam.IsScanVoice;
    SetInfo.nameFormat.nameBase = setParam.nameFormat.nameBase;
    SetInfo.nameFormat.startNum = setParam.nameFormat.startNum;
    SetInfo.nameFormat.strSeparator = setParam.nameFormat.strSeparator;
    SetInfo.nameformatType = setParam.nameformatType;
    SetInfo.savepath = setParam.savepath;
    SetInfo.saveType = setParam.saveType;
    filePath = SetInfo.savepath;
    m_toolHelper.setMainValue(mainSettingValues());
    if (bIsReloadImages)
        reloadDocumentList();
}

// The one place the document list is rebuilt from filePath after the working
// folder changed or the scanner window handed the screen back.
void ADFmain::reloadDocumentList()
{
    if (updateImageTimer->isActive())
        updateImageTimer->stop();
    qWarning("ADFmain::reloadDocumentList() __ %s", qUtf8Printable(filePath));
}

// The home window's exit takes the settings windows with it, unchecked.
void ADFmain::closeSettingsWindows()
{
    if (!m_IsSetOpen || !setui)
        return;
    if (setui->m_bIsNameFormatUI && setui->nameformatui)
        setui->nameformatui->close();
    setui->close();
}

void ADFmain::slotUpdateCameraParam(CAMIMAGESET camImage, WATERPARAM water, int startNum, int bookIndex,
                                    int rotateIndex)
{
    camImageInfo = camImage;
    // The camera window's buffers die with it: keep copies of the texts.
    watermarkInfo = water;
    setWaterTexts(QString::fromUtf8(water.szWaterImagePath), QString::fromUtf8(water.szWaterContent),
                  QString::fromUtf8(water.szWaterFont), QString::fromUtf8(water.nColor));
    if (startNum != 0)
        SetInfo.nameFormat.startNum = startNum;
    bookExportIndex = bookIndex;
    rotationindex = rotateIndex;
    qWarning("ADFmain::slotUpdateCameraParam()__已更新拍摄界面参数.");
}

void ADFmain::onButtonFunctionClicked()
{
    scanui = new ScanUI(currentDevInfo, SetInfo, ScanSet, ImageSet, nullptr);
    scanui->setAttribute(Qt::WA_DeleteOnClose);
    connect(scanui, SIGNAL(signalScanUIClosed()), this, SLOT(slotScanUIClosed()), Qt::UniqueConnection);
    scanui->setGeometry(frameGeometry());
    scanui->show();
    connect(scanui, SIGNAL(signalScanModeChanged(int)), this, SLOT(slotScanModeChanged(int)));
    connect(scanui, SIGNAL(signalColorModeChanged(int)), this, SLOT(slotColorModeChanged(int)));
    connect(scanui, SIGNAL(signalFileFormatChanged(int)), this, SLOT(slotFileFormatChanged(int)));
    connect(scanui, SIGNAL(signalResolutionChanged(int)), this, SLOT(slotResolutionChanged(int)));
    connect(scanui, SIGNAL(signalScanSizeChanged(int)), this, SLOT(slotScanSizeChanged(int)));
    connect(scanui, SIGNAL(signalCutMethodChanged(int)), this, SLOT(slotCutMethodChanged(int)));
    connect(scanui, SIGNAL(signalFilterChanged(int)), this, SLOT(slotFilterChanged(int)));
    connect(scanui, SIGNAL(signalEdgeMendingChanged(int)), this, SLOT(slotEdgeMendingChanged(int)));
    connect(scanui, SIGNAL(signalRotationChanged(int)), this, SLOT(slotRotationChanged(int)));
    hide();
}

void ADFmain::slotScanUIClosed()
{
    reloadDocumentList();
    show();
}

void ADFmain::slotScanModeChanged(int value)
{
    ScanSet.scanmode = value;
}
void ADFmain::slotColorModeChanged(int value)
{
    ScanSet.colormode = value;
}
void ADFmain::slotFileFormatChanged(int value)
{
    ScanSet.fileformat = value;
}
void ADFmain::slotResolutionChanged(int value)
{
    ScanSet.resolution = value;
}
void ADFmain::slotScanSizeChanged(int value)
{
    ScanSet.size = value;
}
void ADFmain::slotCutMethodChanged(int value)
{
    ImageSet.cropmode = value;
}
void ADFmain::slotFilterChanged(int value)
{
    ImageSet.filter = value;
}
void ADFmain::slotEdgeMendingChanged(int value)
{
    ImageSet.edgemending = value;
}
void ADFmain::slotRotationChanged(int value)
{
    ImageSet.rotation = value;
}

void ADFmain::onButtonMinClicked()
{
    if (!m_IsMaxScren)
        NormalPoint = pos();
    m_OldWindowState = static_cast<int>(windowState());
    showMinimized();
    m_WindowState = 1;
}

void ADFmain::onButtonMaxClicked()
{
    NormalPoint = pos();
    m_WindowState = 2;
    m_IsMaxScren = true;
    adfmaintitle->m_label->setMinimumWidth(m_toolHelper.maxwidth);
    move(0, 0);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        resize(screen->availableGeometry().size());
    show();
}

void ADFmain::onButtonRestoreClicked()
{
    m_IsMaxScren = false;
    m_WindowState = 0;
    move(NormalPoint);
    adfmaintitle->m_label->setMinimumWidth(m_toolHelper.minwidth);
    resize(kNormalSize);
    show();
}

void ADFmain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
}

bool ADFmain::eventFilter(QObject *watched, QEvent *event)
{
    if (m_IsSetOpen) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            return true;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void ADFmain::paintEvent(QPaintEvent *event)
{
    QMainWindow::paintEvent(event);
}

void ADFmain::setWaterTexts(const QString &imagePath, const QString &content, const QString &font,
                            const QString &color)
{
    constexpr size_t size = sizeof(m_waterContent);
    auto copy = [size](char *buffer, const QString &text) {
        std::memset(buffer, 0, size);
        qstrncpy(buffer, text.toUtf8().constData(), size);
        return buffer;
    };
    watermarkInfo.szWaterImagePath = copy(m_waterImagePath, imagePath);
    watermarkInfo.szWaterContent = copy(m_waterContent, content);
    watermarkInfo.szWaterFont = copy(m_waterFont, font);
    watermarkInfo.nColor = copy(m_waterColor, color);
}

// The user settings file: resolve its path, write first-run defaults, read it back.
void ADFmain::initSettingFile(const QString &appDir)
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
}

void ADFmain::writeDefaultSettings(const QString &appDir)
{
    qWarning("ADFmain::ADFmain() __ 没有lastSetting,开始写入主界面参数.");
    SetInfo.savepath =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + m_toolHelper.savePath;
    SetInfo.nameformatType = 1;
    SetInfo.nameFormat.nameBase = "CameraImage";
    SetInfo.nameFormat.startNum = 1;
    SetInfo.nameFormat.strSeparator = "_";
    SetInfo.saveType = 0;
    SetInfo.IsScanVoice = m_toolHelper.IsScanVoice;
    SetInfo.IsErrorTip = m_toolHelper.IsErrorTip;
    m_toolHelper.setMainValue(mainSettingValues());

    qWarning("ADFmain::ADFmain() __ 没有lastSetting,开始写入拍摄界面参数\n");
    camImageInfo.fileformat = "jpg";
    camImageInfo.resolution.clear();
    camImageInfo.takemodleformat = "手动";
    camImageInfo.cropIndex = camImageInfo.imageIndex = camImageInfo.edgeMendingIndex = 0;
    camImageInfo.foreignMatterIndex = camImageInfo.idCardModeIndex = 0;
    watermarkInfo.bIsWater = false;
    watermarkInfo.bIsWaterImage = false;
    setWaterTexts(QString(), "WaterMark", appDir + "/" + "simhei.ttf", "黑色");
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
    } else {
        readStoredValues(appDir, value);
    }
    if (SetInfo.nameFormat.nameBase.length() > kNameBaseMax) {
        qWarning("adfmain::adfmain() -- SetInfo.nameFormat.nameBase 长度超过30 ");
        SetInfo.nameFormat.nameBase = SetInfo.nameFormat.nameBase.left(kNameBaseMax);
    }
    std::memset(&ScanSet, 0, sizeof(ScanSet));
    std::memset(&ImageSet, 0, sizeof(ImageSet));
}

void ADFmain::readStoredValues(const QString &appDir, const QString &savePath)
{
    SetInfo.savepath = savePath;
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
    setWaterTexts(readCam("WaterImagePath"), readCam("WaterTextContent"), appDir + "/" + "simhei.ttf",
                  readCam("WaterMarkColor"));
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
    HideCaptureUI();
    closeSettingsWindows();
    writeLastSetting();
    stopDiscoveryThread();
    close();
}

// A close that did not come through the title bar (window manager, Alt+F4)
// still keeps the user's settings.
void ADFmain::closeEvent(QCloseEvent *event)
{
    if (!m_settingsWritten) {
        HideCaptureUI();
        closeSettingsWindows();
        writeLastSetting();
        stopDiscoveryThread();
    }
    QMainWindow::closeEvent(event);
}

#include "adfmain.h"
#include "ui_adfmain.h"

#include "CamCaptureSDK.h"
#include "DocumentSDK.h"
#include "ImageSDK.h"
#include "initdevthread.h"
#include "mainitemdelegate.h"
#include "mainwindow.h"
#include "mergepdfthread.h"
#include "mylistwidget.h"
#include "nameformat.h"
#include "ocrthread.h"
#include "scanui.h"
#include "set.h"
#include "threadadditem.h"
#include "titlebar.h"
#include "windowstyle.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidgetItem>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStringBuilder>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <algorithm>

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
// Sort keys of the table: a name ignoring case, a time, a byte count.
const int kSortRole = Qt::UserRole + 4;
const int kSecondPassTick = 15;
const int kFolderSettleMs = 250;
// Screenfuls of picture cells kept around the view.
const int kPictureScreens = 4;

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
    filters << "*.png"
            << "*.jpg"
            << "*.bmp"
            << "*.tiff"
            << "*.pdf";
    initSettingFile(appDir);

    m_vecDevType.clear();
    initADFmainUI();
    initConnection();
    addMaskWidgetUI();

    readLastSetting(appDir);
    filePath = SetInfo.savepath;
    qRegisterMetaType<PicItemData>("PicItemData");

    startDeviceDiscovery();

    updateImageTimer = new QTimer(this);
    connect(updateImageTimer, SIGNAL(timeout()), this, SLOT(slotUpdateSingleImage()), Qt::QueuedConnection);
    m_pictureReader = new QFutureWatcher<QImage>(this);
    connect(m_pictureReader, SIGNAL(finished()), this, SLOT(slotPictureRead()));
    fileSystemWater = new QFileSystemWatcher(this);
    connect(fileSystemWater, SIGNAL(directoryChanged(QString)), this, SLOT(slotDirectoryChanged(QString)));
    m_folderSettleTimer = new QTimer(this);
    m_folderSettleTimer->setSingleShot(true);
    m_folderSettleTimer->setInterval(kFolderSettleMs);
    connect(m_folderSettleTimer, SIGNAL(timeout()), this, SLOT(slotFolderSettled()));
    initUIPictures();

    watcher = new QFileSystemWatcher(this);
    watcher->addPath("/dev");
    connect(watcher, SIGNAL(directoryChanged(QString)), this, SLOT(slotGetDeviceChanged(QString)));
}

ADFmain::~ADFmain()
{
    stopDiscoveryThread();
    stopDocumentThread(_mergeThread);
    stopDocumentThread(_ocrthread);
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
    initDocumentArea(layout);
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
    initDocumentConnections();
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
    for (QWidget *control :
         {static_cast<QWidget *>(mainWindow->cutmethodcombo),
          static_cast<QWidget *>(mainWindow->imageeffectcombo), static_cast<QWidget *>(mainWindow->colorBtn)})
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
    mainWindow = new MainWindow(currentDevInfo, SetInfo, watermarkInfo, camImageInfo, bIsShow,
                                bookExportIndex, rotationindex, nullptr);
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
    appendCapturedFiles(camList);
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
    if (!thumbnailPageShown() || bIsReloadImages)
        reloadDocumentList();
    if (thumbnailPageShown() && !updateImageTimer->isActive())
        updateImageTimer->start(kSecondPassTick);
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
    adjustFileTable();
}

void ADFmain::onButtonRestoreClicked()
{
    m_IsMaxScren = false;
    m_WindowState = 0;
    move(NormalPoint);
    adfmaintitle->m_label->setMinimumWidth(m_toolHelper.minwidth);
    resize(kNormalSize);
    show();
    adjustFileTable();
}

void ADFmain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && windowState() == Qt::WindowMaximized) {
        const QSize list = centerwidget->size();
        askForCells((list.width() / (g_ItemWidth + 10)) * (list.height() / (g_ItemHeight + 10) + 1));
        m_picNumber *= 2;
    }
}

bool ADFmain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == centerwidget && event->type() == QEvent::Resize) {
        updateEmptyHint();
        fillVisibleArea();
    }
    if (m_IsSetOpen && WindowStyle::isMouseInput(event))
        return true;
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
    if (m_toolHelper.readMainValue("FilePath", probe) != -1) {
        qWarning("ADFmain::ADFmain() __ UILastSetting 已存在,跳过初始化环节.");
    } else {
        writeDefaultSettings(appDir);
        probe = SetInfo.savepath;
    }
    startEarlyListing(probe);
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
    if (threadAddItem)
        threadAddItem->setFlagFunction(false);
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

// ---------------------------------------------------------------------------
// Document list: thumbnails (page 0) and table (page 1) of the working folder,
// page rotation and deletion, the busy mask.

void ADFmain::initDocumentArea(QVBoxLayout *layout)
{
    const CToolHelper &t = m_toolHelper;
    centerStackWidget = new QStackedWidget(ui->centralwidget);

    centerwidget = new MyListWidget(centerStackWidget);
    centerwidget->setObjectName("centerwidget");
    centerwidget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    centerwidget->setFrameShape(QFrame::NoFrame);
    centerwidget->setViewMode(QListView::IconMode);
    centerwidget->setMovement(QListView::Static);
    centerwidget->setResizeMode(QListView::Adjust);
    centerwidget->setUniformItemSizes(true);
    // Laid out in one pass (cells of one size cost little): a batched layout starts
    // again from the first row whenever cells are added and shrinks the scroll range
    // meanwhile, which threw a view scrolled far down back up.
    centerwidget->setLayoutMode(QListView::SinglePass);
    centerwidget->setSpacing(10);
    centerwidget->setSelectionMode(QAbstractItemView::ExtendedSelection);
    centerwidget->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A screen smaller than the list's usual minimum still takes the whole window.
    QSize listMinimum(850, 480);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        listMinimum = listMinimum.boundedTo(screen->availableGeometry().size() - QSize(0, 100));
    centerwidget->setMinimumSize(listMinimum);
    centerwidget->setItemDelegate(new MainItemDelegate(centerwidget));
    const QString selected =
        QString("%1,%2,%3").arg(t.mainitemselectR).arg(t.mainitemselectG).arg(t.mainitemselectB);
    centerwidget->setStyleSheet(
        QString("QListView{background:rgb(%1,255);}").arg(rgb(t.mainlistviewcolor)) +
        QString("QListWidget::item:hover{background:rgb(%1);padding-top:0px; padding-bottom:0px;border:none;"
                "border-radius:10px; }QListWidget::item:selected{background:rgb(%2);border:none;"
                "border-radius:10px; }")
            .arg(selected, selected));
    centerwidget->installEventFilter(this);

    // Shown over an empty list, so an empty folder does not look broken.
    m_emptyHint =
        new QLabel("当前文件夹中还没有文档\n点击标题栏的拍摄按钮开始拍摄", centerwidget->viewport());
    m_emptyHint->setAlignment(Qt::AlignCenter);
    m_emptyHint->setStyleSheet("QLabel{color:rgb(140,148,160);font-size:15px;background:transparent;}");
    m_emptyHint->hide();

    fileTableWidget = new QTableView(centerStackWidget);
    fileTableWidget->setObjectName("fileTableWidget");
    fileModel = new QStandardItemModel(0, 4, this);
    fileModel->setHorizontalHeaderLabels({tr("名称"), tr("修改日期"), tr("类型"), tr("大小")});
    fileproxyModel = new QSortFilterProxyModel(this);
    fileproxyModel->setSourceModel(fileModel);
    fileproxyModel->setSortRole(kSortRole);
    fileTableWidget->setSortingEnabled(false);
    fileTableWidget->setModel(fileproxyModel);
    fileTableWidget->sortByColumn(1, Qt::AscendingOrder);
    fileTableWidget->setSortingEnabled(true);
    fileTableWidget->verticalHeader()->setDefaultSectionSize(30);
    fileTableWidget->verticalHeader()->hide();
    fileTableWidget->setShowGrid(false);
    fileTableWidget->setFrameShape(QFrame::NoFrame);
    fileTableWidget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fileTableWidget->setSelectionBehavior(QAbstractItemView::SelectRows);
    fileTableWidget->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fileTableWidget->setWordWrap(false);
    fileTableWidget->setStyleSheet(
        QString(
            "QTableView{background:rgb(%1,255);}QTableView::item::selected{background:rgb(%2);color:black;}")
            .arg(rgb(t.mainlistviewcolor), selected));
    fileTableWidget->horizontalHeader()->setHighlightSections(false);
    adjustFileTable();

    centerStackWidget->addWidget(centerwidget);
    centerStackWidget->addWidget(fileTableWidget);
    centerStackWidget->setCurrentIndex(0);

    auto *toolRow = new QWidget(ui->centralwidget);
    toolRow->setFixedHeight(60);
    auto *bottomlayout = new QHBoxLayout(toolRow);
    bottomlayout->setContentsMargins(16, 0, 17, 0);
    bottomlayout->setSpacing(6);
    leftbtn = addToolButton("leftbtn", t.uileftpath, t.uileftpath, t.uileftpresspath, t.turnlefttip);
    rightbtn = addToolButton("rightbtn", t.uirightpath, t.uirightpath, t.uirightpresspath, t.turnrighttip);
    deletebtn = addToolButton("deletebtn", t.uideletepath, t.uideletepath, t.uideletepresspath, t.deletetip);
    mergepdf = addToolButton("mergepdf", t.pdficonpath, t.pdfhovorpath, t.pdfenablepath, t.mergepdftip);
    txtbtn = addToolButton("txtbtn", t.ocrnormalpath, t.ocrnormalpath, t.ocrpresspath, t.ocrpdftip);
    nwdbtn = addToolButton("nwdbtn", t.nwdnormalpath, t.nwdnormalpath, t.nwdpresspath, t.ocrnwdtip);
    ofdbtn = addToolButton("ofdbtn", t.ofdnormalpath, t.ofdnormalpath, t.ofdpresspath, t.ocrofdtip);
    npdfbtn = addToolButton("npdfbtn", t.npdfnormalpath, t.npdfnormalpath, t.npdfpresspath, t.ocrnpdftip);
    for (QPushButton *button : {leftbtn, rightbtn, deletebtn, mergepdf, txtbtn, nwdbtn, ofdbtn, npdfbtn}) {
        button->setParent(toolRow);
        button->setGraphicsEffect(new QGraphicsOpacityEffect(button));
        bottomlayout->addWidget(button);
    }
    bottomlayout->addStretch();
    // Saving happens at capture time; the button has nothing to do here and stays hidden.
    savebtn = new QPushButton(toolRow);
    savebtn->setFixedSize(40, 40);
    savebtn->setIconSize(QSize(20, 20));
    savebtn->hide();
    bottomlayout->addWidget(savebtn);

    // Scanner entries are not discovered by this build: their two buttons stay hidden.
    scanbtn = new QPushButton(tr("扫描"), ui->centralwidget);
    capbtn = new QPushButton(tr("拍摄"), ui->centralwidget);
    scanbtn->setFixedSize(100, 40);
    capbtn->setFixedSize(100, 40);
    scanbtn->hide();
    capbtn->hide();

    enableButtonSlot(QItemSelection(), QItemSelection());
    layout->setSpacing(0);
    layout->addWidget(centerStackWidget, 1);
    layout->addWidget(toolRow);
}

QPushButton *ADFmain::addToolButton(const char *name, const QString &normal, const QString &hover,
                                    const QString &pressed, const QString &tip)
{
    auto *button = new QPushButton;
    button->setObjectName(name);
    button->setFixedSize(40, 40);
    button->setToolTip(tip);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(WindowStyle::toolButton(m_toolHelper, normal, hover, pressed));
    return button;
}

void ADFmain::initDocumentConnections()
{
    connect(centerwidget->selectionModel(), SIGNAL(selectionChanged(QItemSelection, QItemSelection)), this,
            SLOT(enableButtonSlot(QItemSelection, QItemSelection)));
    connect(fileTableWidget->selectionModel(), SIGNAL(selectionChanged(QItemSelection, QItemSelection)), this,
            SLOT(enableButtonSlot(QItemSelection, QItemSelection)));
    connect(adfmaintitle->m_list, SIGNAL(clicked()), this, SLOT(onButtonDisplayClicked()));
    connect(leftbtn, SIGNAL(clicked()), this, SLOT(onButtonLeftClicked()));
    connect(rightbtn, SIGNAL(clicked()), this, SLOT(onButtonRightClicked()));
    connect(deletebtn, SIGNAL(clicked()), this, SLOT(onButtonDeleteClicked()));
    connect(mergepdf, SIGNAL(clicked()), this, SLOT(onButtonMergepdfClicked()));
    connect(txtbtn, SIGNAL(clicked()), this, SLOT(onButtonTXTClicked()));
    connect(nwdbtn, SIGNAL(clicked()), this, SLOT(onButtonNWDClicked()));
    connect(npdfbtn, SIGNAL(clicked()), this, SLOT(onButtonNPDFClicked()));
    connect(ofdbtn, SIGNAL(clicked()), this, SLOT(onButtonOFDClicked()));
    connect(centerwidget, SIGNAL(doubleClicked(QModelIndex)), this, SLOT(imgListPressed(QModelIndex)));
    connect(fileTableWidget, SIGNAL(doubleClicked(QModelIndex)), this, SLOT(imgListPressed(QModelIndex)));
    connect(scanbtn, SIGNAL(clicked(bool)), this, SLOT(onButtonScanClicked()));
    connect(centerwidget, SIGNAL(msliderChanged(int)), this, SLOT(onScrollBarMoved(int)));
    connect(centerwidget, SIGNAL(reachedBottom()), this, SLOT(slotListReachedBottom()));
}

void ADFmain::addMaskWidgetUI()
{
    maskWidget = new QWidget(this);
    maskWidget->setObjectName("maskWidget");
    maskWidget->setAttribute(Qt::WA_StyledBackground);
    maskWidget->setStyleSheet("QWidget{background-color:rgba(0,0,0,0.5);}");
    maskLabel = new QLabel("处理中，请稍等...", maskWidget);
    maskLabel->setStyleSheet("color:white;background:transparent;font-size:16px;");
    maskLabel->setAlignment(Qt::AlignCenter);
    auto *column = new QVBoxLayout(maskWidget);
    column->addStretch();
    column->addWidget(maskLabel);
    column->addStretch();
    maskWidget->hide();
}

void ADFmain::showBusyMask(const QString &text)
{
    maskLabel->setText(text);
    maskWidget->setGeometry(rect());
    maskWidget->raise();
    maskWidget->show();
}

void ADFmain::hideBusyMask()
{
    maskWidget->hide();
}

bool ADFmain::thumbnailPageShown() const
{
    return centerStackWidget->currentIndex() == 0;
}

// Cells that fit the list, plus one row.
int ADFmain::screenfulCount() const
{
    const QSize size = centerwidget->size().expandedTo(centerwidget->minimumSize());
    return (size.width() / (g_ItemWidth + 10)) * (size.height() / (g_ItemHeight + 10) + 1);
}

FolderListing ADFmain::getPathPictures(bool withTimes)
{
    ImagePathList.clear();
    qWarning("开始获取当前路径下的图片...");
    dir.setPath(filePath);
    qWarning("当前路径: %s", qUtf8Printable(filePath));
    // Unsorted: the thumbnails are ordered by read time and the table sorts itself.
    FolderListing listing = listWorkingFolder(withTimes);
    ImageNameList = listing.names;
    ImagePathList = listing.paths;
    n_imagecount = ImageNameList.count();
    qWarning("图片个数: %d", n_imagecount);
    if (n_imagecount == 0)
        qWarning("当前路径没有图片,无需显示");
    return listing;
}

// Ten thousand documents take longer to list than the window takes to build, so the
// listing starts as soon as the folder is known.
void ADFmain::startEarlyListing(const QString &folder)
{
    m_earlyFolder = folder;
    m_earlyListing = QtConcurrent::run(&ThreadAddItem::readFolder, folder, filters, true);
}

// The early listing when it is of this folder, else a listing made now.
FolderListing ADFmain::listWorkingFolder(bool withTimes)
{
    const bool early = withTimes && !m_earlyFolder.isEmpty() && m_earlyFolder == filePath;
    const QFuture<FolderListing> pending = m_earlyListing;
    m_earlyListing = QFuture<FolderListing>();
    m_earlyFolder.clear();
    if (!early)
        return ThreadAddItem::readFolder(filePath, filters, withTimes);
    const FolderListing listing = pending.result();
    // What changed between that listing and the watch is caught up with as any change is.
    watchFolder();
    if (ThreadAddItem::changeTime(filePath) != listing.changed)
        m_folderSettleTimer->start();
    return listing;
}

void ADFmain::initUIPictures()
{
    m_rebuildStart = QDateTime::currentDateTime();
    selectItems = centerwidget->selectionModel()->selectedIndexes();
    centerwidget->clear();
    m_pictureCells.clear();
    m_ImageCount = 0;
    m_changedNum = 0;
    m_currentCount = 0;
    if (threadAddItem) {
        // The old worker may still be inside its first pass: stop it and cut it off.
        threadAddItem->setFlagFunction(false);
        threadAddItem->clearAllParam();
        threadAddItem->disconnect(this);
        disconnect(this, SIGNAL(signalStartAddItem(int)), threadAddItem, nullptr);
        threadAddItem->deleteLater();
    }
    // The new worker loads its icons while the early listing may still be running.
    threadAddItem = new ThreadAddItem(filePath, this);
    threadAddItem->setDocuments(getPathPictures(true).files);
    const int picturesNum = screenfulCount();
    qWarning("************picturesNum is %d**************", picturesNum);
    m_picNumber = picturesNum;
    connect(this, SIGNAL(signalStartAddItem(int)), threadAddItem, SLOT(slotStartLoad(int)),
            Qt::QueuedConnection);
    connect(threadAddItem, SIGNAL(signalItemOver(QListWidgetItem *, QWidget *, bool, bool)), this,
            SLOT(slotItemOver(QListWidgetItem *, QWidget *, bool, bool)), Qt::DirectConnection);
    connect(threadAddItem, SIGNAL(signalThreadOver()), this, SLOT(slotAddCameraImages()),
            Qt::DirectConnection);
    m_firstChanged = true;
    m_bIsAddCamImages = false;
    watchFolder();
    updateEmptyHint();
    m_cellsAsked = 0;
    askForCells(picturesNum);
}

// Cells asked of the first pass so far, whether built yet or still queued.
void ADFmain::askForCells(int count)
{
    m_cellsAsked += count;
    emit signalStartAddItem(count);
}

void ADFmain::slotItemOver(QListWidgetItem *item, QWidget *widget, bool IsSelected, bool IsStartTimer)
{
    Q_UNUSED(widget) // cells are painted by the list's delegate
    centerwidget->addItem(item);
    if (item->data(ItemReplacedRole).toString() == "1")
        keepPictureCell(item);
    if (++m_ImageCount == 1) {
        item->setSelected(true);
        updateEmptyHint();
    }
    if (IsSelected) {
        centerwidget->clearSelection();
        item->setSelected(true);
        centerwidget->scrollToItem(item, QAbstractItemView::PositionAtTop);
    }
    // Cells arrive one by one; the window answers the user in between.
    QCoreApplication::processEvents();
    const qint64 ms = m_rebuildStart.msecsTo(QDateTime::currentDateTime());
    qWarning("******************* interTime = %lld, interTimeMS = %lld **********\n", ms / 1000, ms);
    if (IsStartTimer && m_firstChanged) {
        m_firstChanged = false;
        if (!updateImageTimer->isActive())
            updateImageTimer->start(kSecondPassTick);
    }
}

// One picture cell per tick; cells that already show their picture are passed over.
void ADFmain::slotUpdateSingleImage()
{
    // One picture at a time, until its cell is built: a read whose thread has ended may
    // still have its result on the way, and a new read would drop it.
    if (!m_readingName.isEmpty())
        return;
    while (++m_currentCount <= m_ImageCount && m_currentCount <= m_picNumber &&
           centerwidget->count() >= m_currentCount) {
        QListWidgetItem *item = centerwidget->item(m_currentCount - 1);
        if (item->data(ItemReplacedRole).toString() != "0")
            continue;
        const QString name = item->data(ItemNameRole).toString();
        qWarning("slotUpdateSingleImage() -- %s\n", qUtf8Printable(name));
        // Decoding is the slow part: it runs on a pool thread, so scrolling and clicks
        // are served meanwhile; the cell is built when the picture is in.
        m_readingRow = m_currentCount - 1;
        m_readingName = name;
        m_pictureReader->setFuture(
            QtConcurrent::run(&ThreadAddItem::readPicture, item->data(ItemPathRole).toString()));
        return;
    }
    qWarning("***************计时器关闭****************\n");
    updateImageTimer->stop();
}

void ADFmain::slotPictureRead()
{
    QListWidgetItem *item = centerwidget->item(m_readingRow);
    if (!item || item->data(ItemNameRole).toString() != m_readingName)
        item = findCell(m_readingName); // the list changed meanwhile
    if (item && item->data(ItemReplacedRole).toString() == "0")
        showPictureCell(item, threadAddItem->pictureCell(m_readingName, m_pictureReader->result()));
    m_readingName.clear();
}

void ADFmain::slotAddCameraImages()
{
    m_bIsAddCamImages = true;
    for (QStringList *names : {&m_camImages, &m_PDFOCRImages}) {
        for (const QString &name : qAsConst(*names))
            addDocumentCell(name, true);
        names->clear();
    }
    if (!updateImageTimer->isActive())
        updateImageTimer->start(kSecondPassTick);
}

QListWidgetItem *ADFmain::findCell(const QString &name) const
{
    for (int i = centerwidget->count() - 1; i >= 0; --i) {
        if (centerwidget->item(i)->data(ItemNameRole).toString() == name)
            return centerwidget->item(i);
    }
    return nullptr;
}

// A new document gets a picture cell at the end of the list at once.
void ADFmain::addDocumentCell(const QString &name, bool select)
{
    if (QListWidgetItem *item = findCell(name)) {
        if (select) {
            centerwidget->clearSelection();
            item->setSelected(true);
            centerwidget->scrollToItem(item);
        }
        return;
    }
    if (!QFileInfo::exists(filePath + "/" + name))
        return;
    if (ImageNameList.contains(name)) {
        threadAddItem->removeName(name); // waiting for the first pass: it comes now
    } else {
        ImageNameList.append(name);
        ImagePathList.append(filePath + "/" + name);
    }
    threadAddItem->AddSingelItem(name, select);
}

void ADFmain::removeDocument(const QString &name)
{
    const int i = ImageNameList.indexOf(name);
    if (i >= 0) {
        qWarning("****** delete *** ImageNameList.removeAt(i) = %s\n", qUtf8Printable(name));
        ImageNameList.removeAt(i);
        ImagePathList.removeAt(i);
    }
    if (threadAddItem)
        threadAddItem->removeName(name);
    if (QListWidgetItem *item = findCell(name)) {
        if (item->data(ItemReplacedRole).toString() == "1") {
            --m_changedNum;
            m_pictureCells.removeOne(item);
        }
        delete centerwidget->takeItem(centerwidget->row(item));
        --m_ImageCount;
        --m_cellsAsked;
    }
}

void ADFmain::showPictureCell(QListWidgetItem *item, const QPixmap &picture)
{
    item->setData(Qt::DecorationRole, picture);
    if (item->data(ItemReplacedRole).toString() != "1") {
        item->setData(ItemReplacedRole, "1");
        keepPictureCell(item);
    }
}

// Pictures are kept for the cells around the view only: far away ones go back to
// their icon, so memory does not grow with the folder however far one scrolls.
void ADFmain::keepPictureCell(QListWidgetItem *item)
{
    ++m_changedNum;
    m_pictureCells.append(item);
    const int kept = kPictureScreens * screenfulCount();
    if (m_pictureCells.count() <= kept + screenfulCount())
        return;
    // Trimmed a screenful at a time, so that the rows are looked up now and then only.
    const int top = std::max(0, centerwidget->indexAt(QPoint(20, 20)).row());
    QVector<QPair<int, QListWidgetItem *>> byDistance;
    byDistance.reserve(m_pictureCells.count());
    for (QListWidgetItem *cell : qAsConst(m_pictureCells))
        byDistance.append({std::abs(centerwidget->row(cell) - top), cell});
    std::sort(byDistance.begin(), byDistance.end());
    m_pictureCells.clear();
    for (int i = 0; i < byDistance.count(); ++i) {
        QListWidgetItem *cell = byDistance.at(i).second;
        if (i < kept) {
            m_pictureCells.append(cell);
            continue;
        }
        cell->setData(Qt::DecorationRole,
                      threadAddItem->loadImageFunction(cell->data(ItemPathRole).toString(), QSize(88, 88)));
        cell->setData(ItemReplacedRole, "0");
        --m_changedNum;
    }
}

void ADFmain::appendCapturedFiles(const QStringList &names)
{
    m_camImages.append(names);
    showAppendedFiles();
}

void ADFmain::appendProducedFiles(const QStringList &names)
{
    m_PDFOCRImages.append(names);
    showAppendedFiles();
}

// Before the first pass has ended the new files wait for its end, so that
// they come after the documents already listed.
void ADFmain::showAppendedFiles()
{
    if (!thumbnailPageShown()) {
        m_camImages.clear();
        m_PDFOCRImages.clear();
        initUIFile();
        return;
    }
    if (!updateImageTimer->isActive())
        updateImageTimer->start(kSecondPassTick);
    centerwidget->scrollToBottom();
    if (m_bIsAddCamImages)
        slotAddCameraImages();
}

void ADFmain::reloadDocumentList()
{
    qWarning("ADFmain::reloadDocumentList() __ %s", qUtf8Printable(filePath));
    updateImageTimer->stop();
    if (thumbnailPageShown()) {
        if (threadAddItem)
            threadAddItem->setFlagFunction(false);
        initUIPictures();
    } else {
        initUIFile();
    }
}

void ADFmain::updateEmptyHint()
{
    const bool empty = centerwidget->count() == 0;
    m_emptyHint->setGeometry(centerwidget->viewport()->rect());
    m_emptyHint->setVisible(empty);
}

void ADFmain::initUIFile()
{
    m_camImages.clear();
    m_PDFOCRImages.clear();
    m_bIsAddCamImages = false;
    m_firstChanged = true;
    getPathPictures();
    fileModel->removeRows(0, fileModel->rowCount());
    fileTableWidget->setSortingEnabled(false);
    for (const QString &path : qAsConst(ImagePathList))
        appendFileRow(path);
    fileTableWidget->setSortingEnabled(true);
    watchFolder();
}

int ADFmain::appendFileRow(const QString &path)
{
    static const QMimeDatabase mimeTypes;
    const QFileInfo info(path);
    auto *name = new QStandardItem(info.fileName());
    name->setData(info.fileName(), ItemNameRole);
    name->setData(info.absoluteFilePath(), ItemPathRole);
    name->setData(info.fileName().toLower(), kSortRole);
    const QDateTime modified = info.lastModified();
    auto *date = new QStandardItem(modified.toString("yyyy-MM-dd hh:mm:ss"));
    date->setData(modified.toMSecsSinceEpoch(), kSortRole);
    auto *type = new QStandardItem(mimeTypes.mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment());
    type->setData(type->text(), kSortRole);
    auto *size = new QStandardItem(readableFilesize(quint64(info.size())));
    size->setData(info.size(), kSortRole);
    size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const int row = fileModel->rowCount();
    fileModel->appendRow({name, date, type, size});
    return row;
}

void ADFmain::addFileItems(QString path)
{
    const int row = appendFileRow(path);
    fileTableWidget->setCurrentIndex(fileproxyModel->index(row, 0));
    fileTableWidget->scrollTo(fileTableWidget->currentIndex());
}

QString ADFmain::readableFilesize(quint64 filesize)
{
    static const char *units[] = {"B", "KB", "MB", "GB", "TB", "PB"};
    double size = double(filesize);
    quint64 rest = 0;
    int unit = 0;
    while (size >= 1024 && unit < 5) {
        rest = quint64(size) % 1024;
        size /= 1024;
        ++unit;
    }
    QString text = QString::number(quint64(size));
    if (rest > 0)
        text += "." + QString::number(rest).left(2);
    return text + units[unit];
}

void ADFmain::adjustFileTable()
{
    // The table sits in the window's layout, which gives it the window's width.
    fileTableWidget->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
}

void ADFmain::onButtonDisplayClicked()
{
    if (threadAddItem)
        threadAddItem->setFlagFunction(false);
    displayType += 1;
    if (displayType % 2) {
        centerStackWidget->setCurrentIndex(1);
        centerwidget->clearSelection();
        updateListUI(1);
    } else {
        centerStackWidget->setCurrentIndex(0);
        fileTableWidget->clearSelection();
        updateListUI(0);
    }
    if (displayType == 2)
        displayType = 0;
}

void ADFmain::updateListUI(int page)
{
    updateImageTimer->stop();
    if (page == 0) {
        initUIPictures();
    } else {
        initUIFile();
        fileTableWidget->setCurrentIndex(fileproxyModel->index(0, 0));
    }
}

void ADFmain::enableButtonSlot(QItemSelection, QItemSelection)
{
    const bool any =
        centerwidget->selectionModel()->hasSelection() || fileTableWidget->selectionModel()->hasSelection();
    for (QPushButton *button : {leftbtn, rightbtn, deletebtn, mergepdf, txtbtn, ofdbtn, nwdbtn, npdfbtn}) {
        button->setEnabled(any);
        // The icons have no disabled look of their own: a disabled button fades.
        static_cast<QGraphicsOpacityEffect *>(button->graphicsEffect())->setOpacity(any ? 1.0 : 0.35);
    }
}

QStringList ADFmain::getListSelectedPicture()
{
    ListWidgetItemSelected.clear();
    SelectedNameList.clear();
    QStringList paths;
    ListWidgetItemSelected = centerwidget->selectedItems();
    for (QListWidgetItem *item : qAsConst(ListWidgetItemSelected)) {
        paths << item->data(ItemPathRole).toString();
        SelectedNameList << item->data(ItemNameRole).toString();
    }
    return paths;
}

QStringList ADFmain::getListSelectedFile()
{
    SelectedNameList.clear();
    QStringList paths;
    for (const QModelIndex &index : fileTableWidget->selectionModel()->selectedRows(0)) {
        const QString name = fileproxyModel->index(index.row(), 0).data().toString();
        paths << QString("%1/%2").arg(filePath, name);
        SelectedNameList << name;
    }
    return paths;
}

void ADFmain::imgListPressed(QModelIndex index)
{
    QString path;
    if (thumbnailPageShown()) {
        if (QListWidgetItem *item = centerwidget->currentItem())
            path = item->data(ItemPathRole).toString();
    } else {
        path = fileproxyModel->index(index.row(), 0).data(ItemPathRole).toString();
    }
    if (!path.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// The second pass follows the view: it goes on from the first row shown.
void ADFmain::onScrollBarMoved(int)
{
    decodeVisibleCells();
}

void ADFmain::decodeVisibleCells()
{
    const int row = centerwidget->indexAt(QPoint(20, 20)).row();
    if (row >= 0)
        m_currentCount = row;
    m_picNumber = std::max(m_picNumber, m_currentCount + screenfulCount());
    if (m_changedNum < m_ImageCount && !updateImageTimer->isActive())
        updateImageTimer->start(kSecondPassTick);
}

// The end of the list is in view: the next screenful of documents follows.
void ADFmain::slotListReachedBottom()
{
    if (threadAddItem && threadAddItem->pendingCount() > 0)
        askForCells(screenfulCount());
}

// A larger list (maximised, resized) is filled up to what it shows.
void ADFmain::fillVisibleArea()
{
    const int shown = screenfulCount() + std::max(0, centerwidget->indexAt(QPoint(20, 20)).row());
    if (threadAddItem && threadAddItem->pendingCount() > 0 && m_cellsAsked < shown)
        askForCells(shown - m_cellsAsked);
    decodeVisibleCells();
}

bool ADFmain::mainImageRotation(char *path, int rotation)
{
    return imageRotation(path, rotation) == IMG_OK;
}

void ADFmain::onButtonLeftClicked()
{
    rotateSelection(-90, "ADFmain::onButtonLeftClicked()");
}

void ADFmain::onButtonRightClicked()
{
    rotateSelection(90, "ADFmain::onButtonRightClicked()");
}

void ADFmain::rotateSelection(int angle, const char *who)
{
    const bool thumbnails = thumbnailPageShown();
    selectList.clear();
    selectList = thumbnails ? getListSelectedPicture() : getListSelectedFile();
    if (selectList.isEmpty()) {
        qWarning("%s-- 未选中", who);
        return;
    }
    for (const QString &path : qAsConst(selectList)) {
        if (path.endsWith("pdf", Qt::CaseInsensitive)) {
            if (SetInfo.IsErrorTip)
                QMessageBox::warning(this, tr(qUtf8Printable(m_toolHelper.warningTitle)),
                                     tr(qUtf8Printable(m_toolHelper.pdfNotSupported)), QMessageBox::Yes);
            else
                qWarning("旋转时选中了pdf文件，无错误提示已自动返回");
            return;
        }
    }
    QStringList missing, failed;
    for (const QString &path : qAsConst(selectList)) {
        if (!QFileInfo::exists(path))
            missing << path;
        else if (!mainImageRotation(path.toUtf8().data(), angle))
            failed << path;
        else
            ThreadAddItem::forgetThumbnail(path); // it may be of the same second
    }
    if (!failed.isEmpty())
        reportFailed("以下文件未能旋转，文件保持原样：", failed);
    if (!missing.isEmpty()) {
        reportMissingAndReload(missing);
        return;
    }
    if (thumbnails) {
        // The cells are redrawn from the rewritten files; the selection stays.
        for (int j = 0; j < ListWidgetItemSelected.count(); ++j) {
            showPictureCell(ListWidgetItemSelected.at(j),
                            threadAddItem->UpdateSingel(SelectedNameList.at(j)));
        }
    } else {
        // The rotated files are the newest: with the table sorted by date they are at
        // its end; they are found by name, whatever the sort.
        initUIFile();
        QList<int> rows;
        for (int row = 0; row < fileproxyModel->rowCount(); ++row) {
            if (SelectedNameList.contains(fileproxyModel->index(row, 0).data().toString()))
                rows << row;
        }
        selectTableRows(rows);
        fileTableWidget->scrollToBottom();
    }
}

void ADFmain::selectTableRows(const QList<int> &rows)
{
    fileTableWidget->clearSelection();
    QItemSelection selection;
    for (int row : rows) {
        if (row < fileproxyModel->rowCount())
            selection.select(fileproxyModel->index(row, 0),
                             fileproxyModel->index(row, fileproxyModel->columnCount() - 1));
    }
    if (!rows.isEmpty() && rows.first() < fileproxyModel->rowCount())
        fileTableWidget->selectionModel()->setCurrentIndex(fileproxyModel->index(rows.first(), 0),
                                                           QItemSelectionModel::NoUpdate);
    fileTableWidget->selectionModel()->select(selection, QItemSelectionModel::Select);
}

void ADFmain::reportFailed(const QString &text, const QStringList &paths)
{
    const QString message = text + "\n" + paths.join("\n");
    qWarning("%s", qUtf8Printable(message));
    if (SetInfo.IsErrorTip)
        QMessageBox::warning(this, tr(qUtf8Printable(m_toolHelper.warningTitle)), message, QMessageBox::Yes);
}

// Some selected files went away behind the program's back: the others have been
// handled; the user is told which ones and the page is read again.
void ADFmain::reportMissingAndReload(const QStringList &missing)
{
    QString text = m_toolHelper.fileNotFound + "\n";
    for (const QString &path : missing)
        text += path + "\n";
    if (SetInfo.IsErrorTip)
        QMessageBox::warning(this, tr(qUtf8Printable(m_toolHelper.warningTitle)), text, QMessageBox::Yes);
    else
        qWarning("%s", qUtf8Printable(text));
    reloadDocumentList();
}

void ADFmain::onButtonDeleteClicked()
{
    const bool thumbnails = thumbnailPageShown();
    const QStringList paths = thumbnails ? getListSelectedPicture() : getListSelectedFile();
    QList<int> rows;
    if (thumbnails) {
        for (QListWidgetItem *item : qAsConst(ListWidgetItemSelected))
            rows << centerwidget->row(item);
    } else {
        for (const QModelIndex &index : fileTableWidget->selectionModel()->selectedRows(0))
            rows << index.row();
    }
    std::sort(rows.begin(), rows.end());
    if (paths.isEmpty())
        return;
    QStringList missing, failed;
    for (const QString &path : paths) {
        if (!QFileInfo::exists(path))
            missing << path;
        else if (!QFile::remove(path))
            failed << path;
        else
            ThreadAddItem::forgetThumbnail(path);
    }
    if (!failed.isEmpty())
        reportFailed("以下文件未能删除：", failed);
    if (!missing.isEmpty()) {
        reportMissingAndReload(missing);
    } else if (thumbnails) {
        for (int j = 0; j < ListWidgetItemSelected.count(); ++j) {
            if (!failed.contains(paths.at(j)))
                removeDocument(SelectedNameList.at(j));
        }
    } else {
        initUIFile();
    }
    // The documents that moved up into the freed places become the selection.
    if (thumbnails) {
        centerwidget->clearSelection();
        for (int row : qAsConst(rows)) {
            if (row < centerwidget->count())
                centerwidget->item(row)->setSelected(true);
        }
        updateEmptyHint();
    } else {
        selectTableRows(rows);
    }
}

// Files added, removed or renamed by other programs: the list follows without a
// rebuild, keeping the selection and the scroll position.
void ADFmain::slotDirectoryChanged(QString)
{
    qWarning("ADFmain::slotDirectoryChanged(QString path) __ changed!");
    m_folderSettleTimer->start();
}

void ADFmain::watchFolder()
{
    const QStringList watched = fileSystemWater->directories();
    if (watched == QStringList(filePath))
        return;
    if (!watched.isEmpty())
        fileSystemWater->removePaths(watched);
    if (QFileInfo(filePath).isDir())
        fileSystemWater->addPath(filePath);
}

void ADFmain::slotFolderSettled()
{
    if (!QFileInfo(filePath).isDir()) {
        reloadDocumentList();
        return;
    }
    QStringList onDisk = ThreadAddItem::listFolder(filePath, filters);
    std::sort(onDisk.begin(), onDisk.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    const QSet<QString> present(onDisk.begin(), onDisk.end());
    QStringList removed;
    for (const QString &name : qAsConst(ImageNameList)) {
        if (!present.contains(name))
            removed << name;
    }
    const QSet<QString> listed(ImageNameList.begin(), ImageNameList.end());
    QStringList added;
    for (const QString &name : onDisk) {
        // Files of a capture or an export are added by their own path.
        if (!listed.contains(name) && !m_camImages.contains(name) && !m_PDFOCRImages.contains(name))
            added << name;
    }
    if (removed.isEmpty() && added.isEmpty())
        return;
    if (thumbnailPageShown()) {
        for (const QString &name : qAsConst(removed))
            removeDocument(name);
        const int waiting = threadAddItem->pendingCount();
        for (const QString &name : qAsConst(added)) {
            ImageNameList.append(name);
            ImagePathList.append(filePath + "/" + name);
            threadAddItem->appendName(name);
        }
        // With documents still waiting for the first pass the new ones queue behind them.
        if (waiting == 0 && !added.isEmpty())
            askForCells(added.count());
        updateEmptyHint();
        decodeVisibleCells();
    } else {
        for (const QString &name : qAsConst(removed)) {
            ImagePathList.removeAll(filePath + "/" + name);
            ImageNameList.removeAll(name);
            const QModelIndexList rows =
                fileModel->match(fileModel->index(0, 0), ItemNameRole, name, 1, Qt::MatchExactly);
            if (!rows.isEmpty())
                fileModel->removeRow(rows.first().row());
        }
        for (const QString &name : qAsConst(added)) {
            ImageNameList.append(name);
            ImagePathList.append(filePath + "/" + name);
            appendFileRow(filePath + "/" + name);
        }
    }
}

// The selection of the page shown, ready for a merge or an OCR export: PDFs are
// dropped (the user is asked whether to go on without them), missing files abort
// with their names listed. Empty when there is nothing to do, or a job still runs:
// the document library serves one job at a time.
QStringList ADFmain::prepareDocumentJob(const char *who, const char *emptyLog, const QString &question,
                                        const QString &nothingLeft)
{
    if (documentJobRunning()) {
        qWarning("%s __ 已有合并或OCR任务在运行，本次操作被拒绝", who);
        return {};
    }
    listSelectedMerge = thumbnailPageShown() ? getListSelectedPicture() : getListSelectedFile();
    if (listSelectedMerge.isEmpty()) {
        qWarning("%s", emptyLog);
        return {};
    }
    bool pdfDropped = false;
    QStringList missing;
    for (int j = 0; j < listSelectedMerge.size();) {
        const QString path = listSelectedMerge.at(j);
        const bool isPdf = path.endsWith("pdf");
        if (!isPdf && QFileInfo::exists(path)) {
            ++j;
            continue;
        }
        if (isPdf) {
            pdfDropped = true;
        } else {
            qWarning("文件不存在！ %s", qUtf8Printable(path));
            missing << path;
        }
        listSelectedMerge.removeAt(j);
        SelectedNameList.removeAt(j);
    }
    if (!missing.isEmpty()) {
        reportMissingAndReload(missing);
        return {};
    }
    if (pdfDropped && SetInfo.IsErrorTip) {
        if (listSelectedMerge.isEmpty()) {
            QMessageBox::warning(this, tr(qUtf8Printable(m_toolHelper.warningTitle)), tr(qUtf8Printable(nothingLeft)),
                                 QMessageBox::Yes);
        } else if (QMessageBox::question(this, tr(qUtf8Printable(m_toolHelper.tipTitle)),
                                         tr(qUtf8Printable(question)), QMessageBox::Yes | QMessageBox::No)
                   == QMessageBox::No) {
            return {};
        }
    }
    return listSelectedMerge;
}

void ADFmain::onButtonMergepdfClicked()
{
    const QStringList pictures = prepareDocumentJob("ADFmain::onButtonMergepdfClicked()",
                                                    "ADFmain::onButtonMergepdfClicked() -- 合并文件为空",
                                                    m_toolHelper.pdfMergeQuestion, m_toolHelper.pdfMergeFileIsNull);
    if (pictures.isEmpty() || SelectedNameList.isEmpty())
        return;
    qWarning("开始合并PDF.....................");
    showBusyMask("正在合并PDF，请稍等...");
    mergeThread = new MergePDFThread(pictures, SelectedNameList.first(), QStringList(), SetInfo.saveType != 0);
    _mergeThread = new QThread;
    mergeThread->moveToThread(_mergeThread);
    connect(_mergeThread, SIGNAL(started()), mergeThread, SLOT(startMerge()));
    connect(_mergeThread, SIGNAL(finished()), mergeThread, SLOT(deleteLater()));
    connect(mergeThread, SIGNAL(signalOver(QString, QStringList)), this, SLOT(slotMergeOver(QString, QStringList)),
            Qt::QueuedConnection);
    _mergeThread->start();
    qWarning("合并PDF结束.....................");
}

void ADFmain::slotMergeOver(QString filename, QStringList list)
{
    qWarning("ADFmain::slotMergeOver start\n");
    const int status = mergeThread ? mergeThread->status() : DOC_OK;
    stopDocumentThread(_mergeThread);
    hideBusyMask();
    if (!list.isEmpty())
        reportFailed(m_toolHelper.fileNotFound, list);
    // The library writes the pictures it could read: such a PDF is listed all the same.
    if (status != DOC_OK)
        reportJobFailed("合并PDF未完成：", status);
    qWarning("ADFmain::slotMergeOver() -- filename is %s", qUtf8Printable(filename));
    if (!filename.isEmpty() && QFileInfo::exists(filePath + "/" + filename))
        appendProducedFiles({filename});
}

void ADFmain::onButtonTXTClicked()
{
    startOCR(0, "ADFmain::onButtonTXTClicked()");
}

void ADFmain::onButtonNWDClicked()
{
    startOCR(1, "ADFmain::onButtonNWDClicked()");
}

void ADFmain::onButtonNPDFClicked()
{
    startOCR(2, "ADFmain::onButtonNPDFClicked()");
}

void ADFmain::onButtonOFDClicked()
{
    startOCR(3, "ADFmain::onButtonOFDClicked()");
}

void ADFmain::startOCR(int type, const char *who)
{
    qWarning("%s __ start.", who);
    const QByteArray emptyLog = QByteArray(who) + " __ 文件列表错误！";
    const QStringList pictures =
        prepareDocumentJob(who, emptyLog.constData(), m_toolHelper.ocrMergeQuestion, m_toolHelper.ocrpdfNotSupported);
    if (pictures.isEmpty())
        return;
    qWarning("开始OCR识别.....................");
    showBusyMask("正在进行OCR识别，请稍等...");
    ocrthread = new OCRThread(type, 1, pictures);
    _ocrthread = new QThread;
    ocrthread->moveToThread(_ocrthread);
    connect(_ocrthread, SIGNAL(started()), ocrthread, SLOT(slotStartOCRThread()));
    connect(_ocrthread, SIGNAL(finished()), ocrthread, SLOT(deleteLater()));
    connect(ocrthread, SIGNAL(signalOCRThreadOver(int)), this, SLOT(slotOCROver(int)), Qt::QueuedConnection);
    connect(ocrthread, SIGNAL(signalOCRProgress(int, int)), this, SLOT(slotOCRProgress(int, int)),
            Qt::QueuedConnection);
    _ocrthread->start();
}

void ADFmain::slotOCROver(int result)
{
    qWarning("ADFmain::slotOCROverresult start\n");
    const QString name = ocrthread ? QString::fromUtf8(ocrthread->m_fileName) : QString();
    stopDocumentThread(_ocrthread);
    hideBusyMask();
    if (result != DOC_OK) {
        reportJobFailed("OCR识别失败：", result);
        return;
    }
    qWarning("ADFmain::slotOCROver OCR识别成功");
    // Only a PDF is a document of the list; text, DOCX and OFD are not shown.
    if (name.endsWith("pdf"))
        appendProducedFiles({name});
}

void ADFmain::slotOCRProgress(int page, int pages)
{
    qWarning("ADFmain::slotOCRProgress %d/%d", page, pages);
    if (maskWidget->isVisible())
        maskLabel->setText(QString("正在进行OCR识别（第 %1 页，共 %2 页），请稍等...").arg(page).arg(pages));
}

// The worker has reported; its thread ends and takes the worker with it.
void ADFmain::stopDocumentThread(QThread *&thread)
{
    if (!thread)
        return;
    thread->quit();
    thread->wait();
    delete thread;
    thread = nullptr;
}

void ADFmain::reportJobFailed(const QString &what, int status)
{
    const QString message = what + MergePDFThread::statusText(status);
    qWarning("%s", qUtf8Printable(message));
    if (SetInfo.IsErrorTip)
        QMessageBox::warning(this, tr(qUtf8Printable(m_toolHelper.warningTitle)), message, QMessageBox::Yes);
}

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "CamCaptureSDK.h"
#include "ImageSDK.h"
#include "camitemdelegate.h"
#include "getscannerinfothread.h"
#include "imageset.h"
#include "titlebar.h"
#include "windowstyle.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <cstring>

QImage *g_Camimage = nullptr;
MainWindow *g_Camself = nullptr;
QMutex MutexCamDataBuffLock;
long g_count = 1;
QPoint g_StaticStart;
QPoint g_StaticMove;
int g_idCardNumber = 0;
QString g_path;
int g_TimerMaxNumber = 0;
int g_CurrentTimerNumber = 0;
// Defined with the home window: the moment the camera window closed.
extern QDateTime closeStartTime;

namespace {
const QSize kNormalSize(900, 600);
// Where the preview area starts in the window: below the title bar, inside the margin.
const int kPreviewLeft = 16;
const int kPreviewTop = 57;
const int kZoomStep = 50;
// A drag shorter than this on either side becomes a square of this size.
const int kMinCropSide = 30;
const int kDefaultCropSide = 100;

const char *const kNoCut = "不裁切";
const char *const kSingleCut = "单图裁切";
const char *const kMultiCut = "多图裁切";
const char *const kBook = "拍书";
const char *const kManualCut = "手动裁切";
const char *const kPaging = "分页裁切";
const char *const kManualMode = "手动";

// Crop mode the camera library takes for a cut-method text.
int cropModeOf(const QString &text)
{
    static const QStringList modes = {kNoCut, kSingleCut, kMultiCut, kBook, kManualCut, kPaging};
    const int mode = modes.indexOf(text);
    return mode < 0 ? 0 : mode;
}

// The foreign-matter removal the camera library takes for an item text.
int foreignTypeOf(const QString &text)
{
    return text == "去除手指" ? 1 : text == "去除装订孔" ? 2 : 0;
}

// Cut methods whose capture may write several files.
bool isMultiOutput(const QString &method, int bookIndex)
{
    return method == kMultiCut || method == kManualCut || method == kPaging ||
           (method == kBook && (bookIndex == 0 || bookIndex == 1));
}

const int kMaxSaveDirLength = 71;
const int kMaxWaterText = 30;
const int kMaxWaterImagePath = 100;
const int kNumberWrap = 10000;
const QSize kThumbSize(30, 30);

int rotationOf(int index)
{
    return std::abs(index % 4) * 90;
}

QColor withAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

void selectText(QComboBox *box, const QString &text)
{
    const int index = box->findText(text);
    box->setCurrentIndex(index < 0 ? 0 : index);
}
} // namespace

int ReceiveImage(void *data, int, int w, int h, int)
{
    if (w <= 0 || h <= 0)
        return 0;
    {
        QMutexLocker lock(&MutexCamDataBuffLock);
        if (!g_Camimage || g_Camimage->width() != w || g_Camimage->height() != h) {
            delete g_Camimage;
            g_Camimage = new QImage(w, h, QImage::Format_RGB888);
        }
        if (data && !g_Camimage->isNull()) {
            const auto *src = static_cast<const uchar *>(data);
            const int row = w * 3;
            if (g_Camimage->bytesPerLine() == row) {
                std::memcpy(g_Camimage->bits(), src, size_t(row) * size_t(h));
            } else {
                for (int y = 0; y < h; ++y)
                    std::memcpy(g_Camimage->scanLine(y), src + size_t(y) * size_t(row), size_t(row));
            }
        }
    }
    if (g_Camself)
        g_Camself->requestPreviewRepaint();
    return 0;
}

MainWindow::MainWindow(DEVPARAM cameraParam, SETPARAM setParam, WATERPARAM watermarkset,
                       CAMIMAGESET camImageset, bool bIsShow, int bookindex, int rotateIndex, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow)
{
    // 1. Form, timer; flags, counters and zoom start cleared by their initialisers.
    ui->setupUi(this);
    captureTimer = new QTimer(this);
    // 2. Rotation from the stored counter.
    rotationindex = rotateIndex;
    rotation = rotationOf(rotationindex);
    // 3. Theme.
    m_toolHelper.SettingAllSets();
    // 4. Watermark.
    waterparam = watermarkset;
    IsWaterMark = waterparam.bIsWater;
    qWarning("mainwindow -- nColor is %s\n", waterparam.nColor ? waterparam.nColor : "");
    // 5. Records.
    ImageInfo = camImageset;
    setinfo = setParam;
    BookIndex = bookindex;
    qWarning("MainWindow::MainWindow() __ BookIndex is %d.", BookIndex);
    // 6.
    setFocusPolicy(Qt::StrongFocus);
    ImageIndex = "0";
    qWarning("MainWindow::MainWindow() __ 保存路径为: %s", qUtf8Printable(setinfo.savepath));
    // 7. Window, device, panel.
    initMainUI();
    devdisplayname = cameraParam.cameraParam.cameraName;
    ListCameraResolvings = cameraParam.cameraParam.cameraRelease;
    devindex = cameraParam.nCurrentIndex;
    initCameraUI();
    // 8. Options from the stored records.
    selectFromImageInfo();
    // 9.
    g_Camself = this;
    addMaskWidgetUI();
    initConnection();
    if (bIsShow)
        initCameraDev();
    addTimerMaskWidgetUI();
    printf("************ mainwindow  222222 ***********\n");
    fflush(stdout);
}

MainWindow::~MainWindow()
{
    // A window closed without the close sequence (the home window's hidden
    // build at exit) still stops its stream before the frame goes; a window
    // already replaced by a newer one leaves that one's stream alone.
    if (g_Camself == this) {
        if (!bIsClose)
            stopStream();
        g_Camself = nullptr;
    }
    delete ui;
}

void MainWindow::selectFromImageInfo()
{
    selectText(fileformatcombo, ImageInfo.fileformat);
    selectText(resolvingcombo, ImageInfo.resolution);
    selectText(uninterruptedmodlecombo, ImageInfo.takemodleformat);
    const int crop = ImageInfo.cropIndex;
    cutmethodcombo->setCurrentIndex(crop > 0 && crop < cutmethodcombo->count() ? crop : 0);
    comboboxCurrentIndexChangedCutmethod(ImageInfo.cropIndex);
    imageeffectcombo->setCurrentIndex(ImageInfo.imageIndex);
    edgemendingcombo->setCurrentIndex(ImageInfo.edgeMendingIndex);
    foreignmattercombo->setCurrentIndex(ImageInfo.foreignMatterIndex);
    idcardmodecombo->setCurrentIndex(ImageInfo.idCardModeIndex);
}

// ---------------------------------------------------------------- camera stream

void MainWindow::setResolutionFromText(long &width, long &height) const
{
    const QString text = resolvingcombo->currentText();
    const int x = text.indexOf('x');
    if (x < 0) {
        width = height = 0;
        return;
    }
    width = text.left(x).toLong();
    height = text.mid(x + 1).toLong();
}

long MainWindow::initCameraDev()
{
    long count = 0;
    Cam_GetCameraResolutionCount(devindex, 0, &count);
    setResolutionFromText(resolvingwidth, resolvingheight);
    long status = Cam_SetCameraResolution(devindex, resolvingwidth, resolvingheight);
    if (status != 0) {
        qWarning("MainWindow::initCameraDev() __ 分辨率设置失败,返回错误码:%ld\n", status);
        return ERROR_INIT_FAILED;
    }
    status = Cam_SetCameraFormat(devindex, 0);
    if (status != 0) {
        qWarning("MainWindow::initCameraDev() __ 设置图像格式失败,返回错误码: %ld\n", status);
        return ERROR_INIT_FAILED;
    }
    status = Cam_CameraCaptureStart(devindex, ReceiveImage);
    if (status != 0) {
        qWarning("MainWindow::initCameraDev() __ 捕获失败,返回错误码: %ld", status);
        return ERROR_OPEN_FAILED;
    }
    updateImageRotation(rotation);
    printf("MainWindow::initCameraDev() __ 初始化高拍仪设备成功\n");
    fflush(stdout);
    return 0;
}

// The stream stops before the frame goes: the library calls back into it until then.
void MainWindow::stopStream()
{
    if (m_bLastIsUninterrupted)
        Cam_PauseAutoCapture(devindex, -1);
    Cam_CameraCaptureStop(devindex);
    QMutexLocker lock(&MutexCamDataBuffLock);
    delete g_Camimage;
    g_Camimage = nullptr;
}

int MainWindow::ResetCameraResolution(int index)
{
    if (b_IsHideImageAlgorithm)
        return 0;
    Cam_CameraCaptureStop(index);
    if (m_bLastIsUninterrupted)
        Cam_PauseAutoCapture(devindex, -1);
    {
        QMutexLocker lock(&MutexCamDataBuffLock);
        delete g_Camimage;
        g_Camimage = nullptr;
    }
    setResolutionFromText(resolvingwidth, resolvingheight);
    long status = Cam_SetCameraResolution(index, resolvingwidth, resolvingheight);
    if (status != 0) {
        qWarning("分辨率设置失败,返回错误码:%ld\n", status);
        return ERROR_INIT_FAILED;
    }
    status = Cam_SetCameraFormat(index, 0);
    if (status != 0) {
        qWarning("设置图像格式失败,返回错误码: %ld\n", status);
        return ERROR_INIT_FAILED;
    }
    Cam_SetAutoCrop(cropModeOf(cutmethodcombo->currentText()));
    status = Cam_CameraCaptureStart(index, ReceiveImage);
    if (status != 0) {
        qWarning("捕获失败,返回错误码: %ld", status);
        return ERROR_OPEN_FAILED;
    }
    return 0;
}

void MainWindow::comboboxCurrentIndexChangedResolution(int index)
{
    qDebug("MainWindow::comboboxCurrentIndexChangedResolution() __ 重设分辨率为:%d\n", index);
    ResetCameraResolution(int(devindex));
    if (isManualCrop())
        clearCropRects();
    // Automatic detection ends with the stream: start it again on the new one.
    if (m_bLastIsUninterrupted && !b_IsHideImageAlgorithm)
        Cam_AutoCapture(devindex, 0, autoCapture);
    update();
}

void MainWindow::rotateBy(int step)
{
    if (cutmethodcombo->currentText() == kBook) {
        warnUser(m_toolHelper.tipTitle, m_toolHelper.cropNotSupportRotation);
        return;
    }
    rotationindex += step;
    rotation = rotationOf(rotationindex);
    emit ImageRotation(rotation);
    // Keeps the counter between 1 and 7 so that it never crosses 0.
    if (std::abs(rotationindex) == 8 || rotationindex == 0)
        rotationindex = 4;
}

void MainWindow::onBtnleftrotationClicked()
{
    rotateBy(-1);
}

void MainWindow::onBtnrightrotationClicked()
{
    rotateBy(1);
}

void MainWindow::updateImageRotation(int degrees)
{
    Cam_Rotate(degrees);
    m_bIsRotation = isManualCrop();
}

void MainWindow::hotPlugsChanged(bool present)
{
    qWarning("MainWindow::hotPlugsChanged() \n");
    if (!present)
        onButtonCloseClicked();
}

void MainWindow::onButtonCloseClicked()
{
    if (bIsClose)
        return;
    // A capture still running finishes first and its files join the strip.
    if (_getScannerInfoThread && _getScannerInfoThread->isRunning()) {
        _getScannerInfoThread->quit();
        _getScannerInfoThread->wait();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    // 1.-2. Stop the camera, then the countdown.
    bIsClose = true;
    stopStream();
    if (captureTimer->isActive()) {
        printf("关闭定时器\n");
        fflush(stdout);
        captureTimer->stop();
    }
    // 3. The choices go back to the home window for the next opening.
    ImageInfo.cropIndex = cutmethodcombo->currentIndex();
    ImageInfo.edgeMendingIndex = edgemendingcombo->currentIndex();
    ImageInfo.fileformat = fileformatcombo->currentText();
    ImageInfo.foreignMatterIndex = foreignmattercombo->currentIndex();
    ImageInfo.imageIndex = imageeffectcombo->currentIndex();
    ImageInfo.resolution = resolvingcombo->currentText();
    ImageInfo.takemodleformat = uninterruptedmodlecombo->currentText();
    ImageInfo.idCardModeIndex = idcardmodecombo->currentIndex();
    // 4.
    emit signalUpdateCameraParam(ImageInfo, waterparam, nImageIndex, BookIndex, rotationindex);
    emit signalCameraopen();
    // 5.-6.
    if (!m_IsmaxScreen)
        NormalPosition = pos();
    m_PictureNameList.clear();
    for (int row = 0; row < listview->count(); ++row) {
        const QString name = listview->item(row)->data(Qt::UserRole + 1).toString();
        m_PictureNameList << name;
        qWarning("****** mainwindow picture name is %s\n", qUtf8Printable(name));
    }
    // 7.
    closeStartTime = QDateTime::currentDateTime();
    close();
    emit signalShowADFUI(m_IsmaxScreen, NormalPosition, m_PictureNameList);
}

// ---------------------------------------------------------------- capture options

void MainWindow::UpdateCutting(bool book, bool manual, bool paging)
{
    qWarning("MainWindow::UpdateCutting() -- start.");
    cutmethodcombo->clear();
    cutmethodcombo->addItems({kNoCut, kSingleCut, kMultiCut});
    if (book) {
        cutmethodcombo->addItem(kBook);
        qWarning("MainWindow::UpdateCutting() -- 支持拍书,支持手裁");
    } else {
        qWarning("MainWindow::UpdateCutting() -- 不支持拍书");
    }
    if (manual)
        cutmethodcombo->addItem(kManualCut);
    else
        qWarning("MainWindow::UpdateCutting() -- 不支持手裁");
    if (paging) {
        cutmethodcombo->addItem(kPaging);
        qWarning("MainWindow::UpdateCutting() -- 支持分页");
    } else {
        qWarning("MainWindow::UpdateCutting() -- 不支持分页");
    }
    const int crop = ImageInfo.cropIndex;
    cutmethodcombo->setCurrentIndex(crop > 0 && crop < cutmethodcombo->count() ? crop : 0);
    edgemendingcombo->setCurrentIndex(ImageInfo.edgeMendingIndex);
    foreignmattercombo->setCurrentIndex(ImageInfo.foreignMatterIndex);
}

void MainWindow::UpdateImageSetting(bool b)
{
    const bool shown = bIsSupportBook || b;
    colorBtn->setVisible(shown);
    imagelabel->setVisible(shown);
}

void MainWindow::UpdateRemoveHole(bool b)
{
    const bool shown = b || bIsSupportBook;
    foreignmatterlabel->setVisible(shown);
    foreignmattercombo->setVisible(shown);
}

void MainWindow::UpdateIDCardMode()
{
    idcardmodecombo->setCurrentIndex(ImageInfo.idCardModeIndex);
    if (!m_toolHelper.bIsIDCard)
        idcardmodecombo->setCurrentIndex(0);
    idcardmodelabel->setVisible(m_toolHelper.bIsIDCard);
    idcardmodecombo->setVisible(m_toolHelper.bIsIDCard);
}

void MainWindow::UpdateContinuousShooting()
{
    uninterruptedmodlelabel->setVisible(m_toolHelper.bIsSupportContinuousShooting);
    uninterruptedmodlecombo->setVisible(m_toolHelper.bIsSupportContinuousShooting);
}

void MainWindow::UpdateIsHideImageAlgorithm()
{
    if (b_IsHideImageAlgorithm)
        Cam_SetAutoCrop(0);
}

void MainWindow::comboboxCurrentIndexChangedCutmethod(int)
{
    const QString method = cutmethodcombo->currentText();
    const int mode = cropModeOf(method);
    qWarning("裁切重设为:%d\n", mode);
    Cam_SetAutoCrop(mode);

    QMutexLocker lock(&MutexCamDataBuffLock);
    const bool cut = method != kNoCut;
    if (!cut) {
        edgemendingcombo->setCurrentIndex(0);
        foreignmattercombo->setCurrentIndex(0);
    }
    edgemendingcombo->setEnabled(cut);
    foreignmattercombo->setEnabled(cut);
    if (method != kSingleCut)
        idcardmodecombo->setCurrentIndex(0);
    idcardmodecombo->setEnabled(method == kSingleCut);

    const int remembered = foreignmattercombo->currentIndex();
    qWarning("****** Index is %d\n", remembered);
    auto restoreRemembered = [this, remembered] {
        const int count = foreignmattercombo->count();
        foreignmattercombo->setCurrentIndex(remembered > 0 && remembered < count ? remembered : 0);
    };
    foreignmattercombo->clear();
    foreignmattercombo->addItem("无");
    if (method != kBook) {
        if (m_toolHelper.bIsRemoveHole && cut) {
            foreignmattercombo->addItem("去除装订孔");
            foreignmattercombo->setEnabled(true);
            qWarning("foreignmattercombo->count() is %d", foreignmattercombo->count());
            restoreRemembered();
        } else {
            foreignmattercombo->setCurrentIndex(0);
            foreignmattercombo->setEnabled(false);
        }
    } else {
        foreignmattercombo->addItem("去除手指");
        if (m_toolHelper.bIsRemoveHole)
            foreignmattercombo->addItem("去除装订孔");
        restoreRemembered();
        // The book is split at its spine as it lies: the picture goes upright.
        rotationindex = 4;
        rotation = 0;
    }
    lock.unlock();
    if (method == kBook)
        emit ImageRotation(0);
    qWarning("MainWindow::comboboxCurrentIndexChangedCutmethod() __ Cam_SetAutoCrop end\n");
}

void MainWindow::onBtnImageSetClicked()
{
    if (m_IsOpenImageSetting)
        return;
    m_IsOpenImageSetting = true;
    installEventFilter(this);
    imagesetui = new ImageSet(waterparam, setinfo, BookIndex, this);
    connect(imagesetui, SIGNAL(signalChangeStatus()), this, SLOT(slotChangeMopenImageSetting()));
    connect(imagesetui, SIGNAL(signalIsWaterMark(bool, bool)), this, SLOT(slotIsWaterMark(bool, bool)));
    connect(imagesetui, SIGNAL(signalUpdateWaterMarkParam(WATERPARAM)), this,
            SLOT(slotUpdateWaterMarkParam(WATERPARAM)));
    connect(imagesetui, SIGNAL(signalUpdateBookExportParam(int)), this, SLOT(slotUpdateBookExportParam(int)));
    imagesetui->UpdateBook(bIsSupportBook);
    imagesetui->UpdateWaterMark(bIsWaterMark);
    imagesetui->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    imagesetui->setAttribute(Qt::WA_DeleteOnClose);
    m_titleBar->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    centralWidget()->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    imagesetui->show();
}

void MainWindow::slotIsWaterMark(bool add, bool image)
{
    IsWaterMark = add;
    IsImageWaterMark = add && image;
    qWarning("更新水印状态,是否添加: %d, 是否有图片水印: %d", IsWaterMark, IsImageWaterMark);
}

void MainWindow::slotUpdateWaterMarkParam(WATERPARAM w)
{
    waterparam.bIsWater = w.bIsWater;
    waterparam.bIsWaterImage = w.bIsWaterImage;
    waterparam.nWaterPointX = w.nWaterPointX;
    waterparam.nWaterPointY = w.nWaterPointY;
    waterparam.nFontSize = w.nFontSize;
    waterparam.nFontR = w.nFontR;
    waterparam.nFontG = w.nFontG;
    waterparam.nFontB = w.nFontB;
    waterparam.nPositionCode = w.nPositionCode;
    waterparam.nOpacity = w.nOpacity;
    auto copy = [](char *buffer, const char *text) {
        std::memset(buffer, 0, sizeof(m_waterContent));
        if (text)
            qstrncpy(buffer, text, sizeof(m_waterContent));
        return buffer;
    };
    // The sender's texts may live no longer than its window.
    waterparam.nColor = copy(m_waterColor, w.nColor);
    waterparam.szWaterContent = copy(m_waterContent, w.szWaterContent);
    waterparam.szWaterFont = copy(m_waterFont, w.szWaterFont);
    waterparam.szWaterImagePath = copy(m_waterImagePath, w.szWaterImagePath);
}

void MainWindow::slotUpdateBookExportParam(int index)
{
    BookIndex = index;
    qWarning("MainWindow::slotUpdateBookExportParam() __ BookIndex is %d", BookIndex);
}

void MainWindow::slotChangeMopenImageSetting()
{
    m_IsOpenImageSetting = false;
    m_titleBar->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    centralWidget()->setAttribute(Qt::WA_TransparentForMouseEvents, false);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (m_IsOpenImageSetting && WindowStyle::isMouseInput(event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- live preview

bool MainWindow::isManualCrop() const
{
    return cutmethodcombo->currentText() == kManualCut;
}

void MainWindow::clearCropRects()
{
    QMutexLocker lock(&MutexCamDataBuffLock);
    m_StartPosition.clear();
    m_EndPosition.clear();
    m_MovePointList.clear();
    g_count = 1;
}

void MainWindow::requestPreviewRepaint()
{
    if (!m_repaintPending.exchange(true))
        QMetaObject::invokeMethod(this, "slotRepaintPreview", Qt::QueuedConnection);
}

// Only the picture changes from frame to frame; a new frame size (a resolution
// change) clears the whole preview area once.
void MainWindow::slotRepaintPreview()
{
    m_repaintPending = false;
    QSize frameSize;
    {
        QMutexLocker lock(&MutexCamDataBuffLock);
        if (g_Camimage)
            frameSize = g_Camimage->size();
    }
    if (frameSize == m_paintedFrameSize && !m_ImageRect.isEmpty())
        repaint(m_ImageRect);
    else
        repaint(topleftwidget->geometry().translated(centralWidget()->pos()));
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    QMainWindow::paintEvent(event);
    QPainter painter(this);
    const QRect area(kPreviewLeft, kPreviewTop, topleftwidget->width(), topleftwidget->height());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(m_toolHelper.comboBoxbordercolor, 1));
    painter.setBrush(m_toolHelper.cameralistviewcolor);
    painter.drawRoundedRect(QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    painter.setRenderHint(QPainter::Antialiasing, false);

    QMutexLocker lock(&MutexCamDataBuffLock);
    if (!g_Camimage) {
        m_bIsShowImage = false;
        capture->setEnabled(false);
        return;
    }
    m_bIsShowImage = true;
    bool captureEnabled = true;
    if (!b_IsHideImageAlgorithm) {
        if (isManualCrop())
            nVideoScaleSize = 0;
        captureEnabled = uninterruptedmodlecombo->currentText() == kManualMode;
    }
    capture->setEnabled(captureEnabled);

    const double iw = g_Camimage->width(), ih = g_Camimage->height();
    const double W = topleftwidget->width(), H = topleftwidget->height();
    const double ratio = iw / ih;
    double dw, dh;
    if ((iw >= ih && !m_IsmaxScreen) || ratio > 1.7) {
        dw = W - 16;
        dh = dw / ratio;
    } else {
        dh = H;
        dw = dh * ratio;
    }
    const double maxW = m_IsmaxScreen ? desktopRect.width() - 330 : 570;
    const double maxH = m_IsmaxScreen ? desktopRect.height() - 160 : 440;
    if (dw > maxW) {
        dw = maxW;
        dh = dw / ratio;
    } else if (dh > maxH) {
        dh = maxH;
        dw = dh * ratio;
    }
    const QRect target(int(kPreviewLeft + (W - dw) / 2), int(kPreviewTop + (H - dh) / 2), int(dw), int(dh));
    QRect source(0, 0, int(iw), int(ih));
    const double s = nVideoScaleSize;
    if (s != -999.0) {
        const double sh = iw >= ih ? (W + s) * ratio : H + s;
        const double my = (s / 2) * (ih / sh);
        const double mx = my * ratio;
        source = QRect(int(mx), int(my), int(iw - 2 * mx), int(ih - 2 * my)) & g_Camimage->rect();
    }
    if (source.isEmpty() || target.isEmpty())
        return;
    // The shown part of the frame is turned into 32-bit pixels once, which the
    // painter scales smoothly about twice as fast as it scales 24-bit ones.
    const int bpl = g_Camimage->bytesPerLine();
    const QImage shown(g_Camimage->constBits() + source.y() * bpl + source.x() * 3, source.width(),
                       source.height(), bpl, QImage::Format_RGB888);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, shown.convertToFormat(QImage::Format_RGB32));
    m_paintedFrameSize = g_Camimage->size();
    m_ContrastRect = m_ImageRect;
    m_ImageRect = target;

    bool startMode = false, resetMode = false, followMask = false;
    if (!b_IsHideImageAlgorithm) {
        if (!m_bIsFirstUpdateUninter) {
            startMode = m_toolHelper.bIsSupportContinuousShooting;
            resetMode = !startMode;
            m_bIsFirstUpdateUninter = true;
        }
        followMask = m_ImageRect.x() != m_ContrastRect.x() || m_ImageRect.y() != m_ContrastRect.y();
        const QString method = cutmethodcombo->currentText();
        const CToolHelper &t = m_toolHelper;
        if (method == kBook)
            drawGuideBand(painter, target, t.drawrectcolor, t.rectwidth, t.drawlinecolor, t.lineWidth);
        if (method == kPaging)
            drawGuideBand(painter, target, t.drawPagingRectcolor, t.pagingRectWidth, t.drawPagingLinecolor,
                          t.pagingLineWidth);
        if (method == kManualCut) {
            drawManualCrop(painter, target);
        } else {
            m_StartPosition.clear();
            m_EndPosition.clear();
            m_MovePointList.clear();
            g_count = 1;
        }
    }
    lock.unlock();
    // Outside the frame lock: the receivers may take it.
    if (resetMode)
        uninterruptedmodlecombo->setCurrentIndex(0);
    if (startMode)
        emit signalFirstUpdateUninterruptedMode(uninterruptedmodlecombo->currentIndex());
    if (followMask)
        emit signalUpdateCaptureTimerMaskWidget();
}

void MainWindow::drawGuideBand(QPainter &painter, const QRect &target, const QColor &bandColor, int bandWidth,
                               const QColor &lineColor, int lineWidth) const
{
    const int centre = target.x() + target.width() / 2;
    const QColor band = withAlpha(bandColor, m_toolHelper.rectalpha);
    painter.setPen(QPen(band, 1));
    painter.setBrush(band);
    painter.drawRect(centre - bandWidth / 2, target.y(), bandWidth, target.height());
    painter.setPen(QPen(withAlpha(lineColor, 255), lineWidth, Qt::DashLine));
    painter.drawLine(centre, target.y() + 1, centre, target.y() + target.height() - 1);
}

// Called under the frame lock.
void MainWindow::drawManualCrop(QPainter &painter, const QRect &target)
{
    painter.setPen(QPen(withAlpha(m_toolHelper.drawCropcolor, 255), m_toolHelper.cropWidth));
    painter.setBrush(Qt::NoBrush);
    const QPoint corner = target.topLeft();
    const QPoint far = corner + QPoint(kDefaultCropSide, kDefaultCropSide);
    if (m_StartPosition.isEmpty() && m_MovePointList.isEmpty()) {
        appendTrimmed(m_StartPosition, corner);
        appendTrimmed(m_MovePointList, far);
        appendTrimmed(m_EndPosition, far);
        m_bIsDrawOver = true;
    }
    const int n = qMin(m_StartPosition.size(), m_MovePointList.size());
    QList<QRect> rects;
    for (int i = 0; i < n; ++i) {
        if (m_bIsRotation && m_bIsDrawOver) {
            // The picture turned under the rectangle: start again from the default square.
            m_StartPosition[0] = corner;
            m_MovePointList[0] = far;
            if (m_EndPosition.isEmpty())
                m_EndPosition << far;
            else
                m_EndPosition[0] = far;
        }
        const QPoint a = m_StartPosition.at(i), b = m_MovePointList.at(i);
        rects << QRect(a.x(), a.y(), b.x() - a.x(), b.y() - a.y());
    }
    // What will not be kept is dimmed, so the chosen part stands out.
    QPainterPath outside;
    outside.setFillRule(Qt::OddEvenFill);
    outside.addRect(target);
    for (const QRect &r : rects)
        outside.addRect(r.normalized() & target);
    painter.fillPath(outside, QColor(0, 0, 0, 70));
    for (const QRect &r : rects)
        painter.drawRect(r);
}

void MainWindow::appendTrimmed(QList<QPoint> &list, const QPoint &p) const
{
    while (!list.isEmpty() && list.size() >= g_count)
        list.removeFirst();
    list.append(p);
}

void MainWindow::onBtnEnlargeClicked()
{
    if (isManualCrop()) {
        warnUser(m_toolHelper.tipTitle, m_toolHelper.cropNotSupportEnlarge);
        return;
    }
    if (nVideoScaleSize == -999.0)
        nVideoScaleSize = 0;
    nVideoScaleSize = qMin(nVideoScaleSize + kZoomStep, double(VIDEO_MAX_SIZE));
}

void MainWindow::onBtnNarrowClicked()
{
    if (isManualCrop()) {
        warnUser(m_toolHelper.tipTitle, m_toolHelper.cropNotSupportNarrow);
        return;
    }
    if (nVideoScaleSize == -999.0)
        nVideoScaleSize = 0;
    nVideoScaleSize = qMax(nVideoScaleSize - kZoomStep, double(VIDEO_MIN_SIZE));
}

void MainWindow::onBtnImgrestoreClicked()
{
    if (nVideoScaleSize == 0) {
        warnUser(m_toolHelper.tipTitle, m_toolHelper.restoreOver);
        return;
    }
    nVideoScaleSize = 0;
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    const QPoint p = event->pos();
    if (!isManualCrop() || !m_ImageRect.contains(p))
        return QMainWindow::mousePressEvent(event);
    QMutexLocker lock(&MutexCamDataBuffLock);
    m_bIsDrawOver = false;
    m_bIsRotation = false;
    m_bIsPress = true;
    qWarning("mousePressEvent() -- event pos is x=%d,y=%d", p.x(), p.y());
    if (!m_StartPosition.isEmpty() && m_StartPosition.size() >= g_count)
        g_StaticStart = m_StartPosition.takeFirst();
    m_StartPosition.append(p);
    if (!m_MovePointList.isEmpty() && m_MovePointList.size() >= g_count)
        g_StaticMove = m_MovePointList.takeFirst();
    qWarning("mousePressEvent() -- end");
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint p = event->pos();
    if (!isManualCrop() || !m_bIsPress || !m_ImageRect.contains(p))
        return QMainWindow::mouseMoveEvent(event);
    {
        QMutexLocker lock(&MutexCamDataBuffLock);
        if (m_MovePointList.size() >= g_count)
            m_MovePointList.removeAt(int(g_count) - 1);
        m_MovePointList.append(p);
    }
    update(m_ImageRect);
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint p = event->pos();
    if (!isManualCrop() || !m_bIsPress)
        return QMainWindow::mouseReleaseEvent(event);
    QMutexLocker lock(&MutexCamDataBuffLock);
    if (m_ImageRect.contains(p)) {
        qWarning("mouseReleaseEvent() -- end pos is x=%d,y=%d", p.x(), p.y());
        const QPoint start = m_StartPosition.isEmpty() ? p : m_StartPosition.last();
        const int dx = p.x() - start.x(), dy = p.y() - start.y();
        if (dx == 0 || dy == 0) {
            appendTrimmed(m_StartPosition, g_StaticStart);
            appendTrimmed(m_MovePointList, g_StaticMove);
            appendTrimmed(m_EndPosition, g_StaticMove);
        } else if (std::abs(dx) >= kMinCropSide && std::abs(dy) >= kMinCropSide) {
            // The release is the drag's last point as well.
            appendTrimmed(m_MovePointList, p);
            appendTrimmed(m_EndPosition, p);
        } else {
            const QPoint end(start.x() + (dx < 0 ? -kMinCropSide : kMinCropSide),
                             start.y() + (dy < 0 ? -kMinCropSide : kMinCropSide));
            appendTrimmed(m_EndPosition, end);
            appendTrimmed(m_MovePointList, end);
        }
    } else if (m_MovePointList.isEmpty()) {
        qWarning("m_MovePointList is NULL!!!!!!!!");
    } else {
        const int last = qMin(int(g_count), m_MovePointList.size()) - 1;
        m_EndPosition.append(m_MovePointList.at(last));
        while (m_EndPosition.size() > g_count)
            m_EndPosition.removeFirst();
    }
    m_bIsPress = false;
    m_bIsDrawOver = true;
    lock.unlock();
    update(m_ImageRect);
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    const int row = listview->currentRow();
    switch (event->key()) {
    case Qt::Key_Left:
        listview->clearSelection();
        listview->setCurrentRow(row - 1 > 0 ? row - 1 : 0);
        break;
    case Qt::Key_Right:
        listview->clearSelection();
        listview->setCurrentRow(qMin(row + 1, listview->count() - 1));
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        onButtonCaptureClicked(); // also while the button is disabled
        break;
    default:
        QMainWindow::keyPressEvent(event);
        break;
    }
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (maskWidget)
        maskWidget->setGeometry(rect());
}

// ---------------------------------------------------------------- capture

bool MainWindow::IsDirExist(QString path)
{
    const bool exists = !path.isEmpty() && QDir(path).exists();
    qWarning("路径检验完毕,当前路径状态: %d", exists);
    return exists;
}

bool MainWindow::isIdCardCapture() const
{
    return cutmethodcombo->currentText() == kSingleCut && idcardmodecombo->currentText() != "无" &&
           m_toolHelper.bIsIDCard;
}

void MainWindow::onButtonCaptureClicked()
{
    if (m_bIsCapturing || bIsClose)
        return;
    const CToolHelper &t = m_toolHelper;
    auto ask = [this](const QString &title, const QString &text) {
        return QMessageBox::question(this, tr(title.toUtf8().constData()), tr(text.toUtf8().constData()),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    // 1. Busy overlay.
    maskLabel->setText("处理中，请稍等...");
    maskWidget->setGeometry(rect());
    maskWidget->raise();
    maskWidget->show();

    // 2. The save folder must exist (made on request).
    if (!IsDirExist(setinfo.savepath)) {
        if (setinfo.IsErrorTip) {
            if (!ask(t.tipTitle, t.captureSaveImagePathIsNotExist)) {
                warnUser(t.warningTitle, t.captureFailedPath);
                return onButtonCloseClicked();
            }
            qWarning("MainWindow::onButtonCaptureClicked() __ 用户选择新建文件夹");
            if (!QDir().mkpath(setinfo.savepath)) {
                warnUser(t.warningTitle, t.newfolderfailed);
                return onButtonCloseClicked();
            }
        } else if (!QDir().mkpath(setinfo.savepath)) {
            qWarning("MainWindow::onButtonCaptureClicked() __ 文件夹创建失败!!!!未拍摄图片！！");
            return onButtonCloseClicked();
        }
        qWarning("MainWindow::onButtonCaptureClicked() __ 文件夹已成功创建");
    }
    // 3. Writable, and short enough for the library's path buffer.
    if (setinfo.savepath.length() < kMaxSaveDirLength) {
        if (!QFileInfo(setinfo.savepath).isWritable()) {
            if (setinfo.IsErrorTip)
                warnUser(t.warningTitle, t.saveIamgePathIsNoWrite);
            else
                qWarning("用户权限不够，无错误提示，需重新选择路径");
            return onButtonCloseClicked();
        }
    } else if (setinfo.IsErrorTip) {
        if (!ask(t.tipTitle, t.captureSaveImagePathIsOverFlow)) {
            warnUser(t.warningTitle, t.captureFailedPath);
            return onButtonCloseClicked();
        }
        qWarning("MainWindow::onButtonCaptureClicked() __ 用户选择保存在默认路径");
        setinfo.savepath = "/tmp";
    } else {
        setinfo.savepath = "/tmp";
    }

    // 4. Target name.
    const QString ext = fileformatcombo->currentText();
    const QString method = cutmethodcombo->currentText();
    if (setinfo.nameformatType == 1) {
        const int index = ImageIndex.toInt();
        const int number = index != 0 ? index : setinfo.nameFormat.startNum;
        if (index != 0 && (method == kMultiCut || method == kPaging || method == kBook)) {
            qWarning(
                "MainWindow::onButtonCaptureClicke() __ setinfo.nameFormat.startNum is %d,imageIndex is %d",
                setinfo.nameFormat.startNum, index);
            qWarning("MainWindow::onButtonCaptureClicke() __ ntemp is %d", number);
        }
        savepath = QString("%1/%2%3%4.%5")
                       .arg(setinfo.savepath, setinfo.nameFormat.nameBase, setinfo.nameFormat.strSeparator,
                            QString::number(number), ext);
    } else if (setinfo.nameformatType == 0) {
        savepath = QString("%1/%2.%3")
                       .arg(setinfo.savepath, QDateTime::currentDateTime().toString("yyyyMMddhhmmss"), ext);
        qWarning("MainWindow::onButtonCaptureClicked() __ savepath is %s", qUtf8Printable(savepath));
    } else {
        qWarning("MainWindow::onButtonCaptureClicked() __ setinfo 信息错误,请查看初始化");
        maskWidget->hide();
        return;
    }
    qWarning("MainWindow::onButtonCaptureClicked() __ saveType is %d", setinfo.saveType);

    // 5.-6. Processing choices and watermark.
    IMAGEPARAM param;
    std::memset(&param, 0, sizeof(param));
    param.bIsCoverFile = setinfo.saveType != 0;
    if (!b_IsHideImageAlgorithm && !fillCaptureParam(param)) {
        maskWidget->hide();
        return;
    }

    // 7. ID-card sides go to fixed temporary files until both are there.
    QString target = savepath;
    if (isIdCardCapture()) {
        target = g_idCardNumber == 0 ? "/tmp/a.jpg" : "/tmp/b.jpg";
        g_idCardNumber = g_idCardNumber == 0 ? 1 : 0;
        QFile::remove(target);
    }

    // 8. The library writes the file on a thread of its own.
    m_bIsCapturing = true;
    getScannerInfoThread = new GetScannerInfoThread(param, target, QString(), 0, nullptr);
    _getScannerInfoThread = new QThread();
    getScannerInfoThread->moveToThread(_getScannerInfoThread);
    connect(_getScannerInfoThread, SIGNAL(started()), getScannerInfoThread, SLOT(slotSaveImg()));
    connect(_getScannerInfoThread, SIGNAL(finished()), getScannerInfoThread, SLOT(deleteLater()));
    connect(_getScannerInfoThread, SIGNAL(finished()), _getScannerInfoThread, SLOT(deleteLater()));
    connect(getScannerInfoThread, SIGNAL(signalOver(QString)), this, SLOT(slotSaveImgThreadOver(QString)));
    _getScannerInfoThread->start();
}

// Fills the processing part of the record; false when the watermark refuses the capture.
bool MainWindow::fillCaptureParam(IMAGEPARAM &param)
{
    const QString method = cutmethodcombo->currentText();
    param.nCropType = cropModeOf(method);
    param.nImageType = imageeffectcombo->currentIndex();
    param.nFillType = param.nCropType != 0 ? edgemendingcombo->currentIndex() : 0;
    param.nForeignRemovalType = param.nCropType != 0 ? foreignTypeOf(foreignmattercombo->currentText()) : 0;
    param.nRotate = rotation;
    param.nBookIndex = BookIndex;
    qWarning("ImageParam : imageparam.nCropType = %d; imageparam.nFillType = %d; "
             "imageparam.nForeignRemovalType = %d",
             param.nCropType, param.nFillType, param.nForeignRemovalType);
    long w = 0, h = 0;
    setResolutionFromText(w, h);
    const bool quarter = rotation == 90 || rotation == 270;
    if (method == kPaging) {
        param.nShowWidth = int(w);
        param.nShowHeight = int(h);
        const double across = quarter ? h : w, down = quarter ? w : h;
        param.manualCrop[0] = {0, across / 2, 0, down};
        param.manualCrop[1] = {across / 2, across, 0, down};
    } else if (method == kManualCut) {
        const QRect r = m_ImageRect;
        const double sx = r.width() > 0 ? double(quarter ? h : w) / r.width() : 0;
        const double sy = r.height() > 0 ? double(quarter ? w : h) / r.height() : 0;
        QMutexLocker lock(&MutexCamDataBuffLock);
        const int n = qMin(qMin(m_StartPosition.size(), m_EndPosition.size()), 10);
        for (int j = 0; j < n; ++j) {
            const QPoint a = m_StartPosition.at(j), b = m_EndPosition.at(j);
            param.manualCrop[j] = {(a.x() - r.x()) * sx, (b.x() - r.x()) * sx, (a.y() - r.y()) * sy,
                                   (b.y() - r.y()) * sy};
        }
        if (n == 0)
            param.nCropType = 0;
    }
    if (!IsWaterMark)
        return true;
    WATERPARAM &wm = param.waterParam;
    wm = waterparam; // the worker copies the texts into buffers of its own
    return checkWaterMark();
}

bool MainWindow::checkWaterMark()
{
    const CToolHelper &t = m_toolHelper;
    if (waterparam.bIsWaterImage) {
        const QString path =
            QString::fromUtf8(waterparam.szWaterImagePath ? waterparam.szWaterImagePath : "");
        if (path.isEmpty() || !QFileInfo::exists(path)) {
            warnUser(t.warningTitle, t.captureWaterImagePathIsNotExist);
            return false;
        }
        if (path.length() > kMaxWaterImagePath) {
            qWarning("图片水印路径过长,拍摄失败");
            warnUser(t.warningTitle, t.captureWaterImagePathOverFlow);
            return false;
        }
    } else if (waterparam.bIsWater) {
        const int length =
            QString::fromUtf8(waterparam.szWaterContent ? waterparam.szWaterContent : "").length();
        if (length > kMaxWaterText) {
            qWarning("文字水印输入长度将超出30,请注意检验!");
            warnUser(t.warningTitle, t.captureWaterMarkLengthOverFlow);
            return false;
        }
        if (length < 1) {
            qWarning("文字水印无文字");
            warnUser(t.warningTitle, t.captureWaterMarkLengthIsNull);
            return false;
        }
    }
    return true;
}

void MainWindow::stopCaptureThread()
{
    if (_getScannerInfoThread && _getScannerInfoThread->isRunning()) {
        _getScannerInfoThread->quit();
        _getScannerInfoThread->wait();
    }
}

void MainWindow::slotSaveImgThreadOver(QString szPath)
{
    qWarning("********slotSaveImgThreadOver()--11111*******\n");
    m_bIsCapturing = false;
    maskWidget->hide();
    QStringList saved;
    const QString method = cutmethodcombo->currentText();
    if (!b_IsHideImageAlgorithm && isIdCardCapture()) {
        if (g_idCardNumber == 1) {
            qWarning("********g_idCardNumber==1*******\n");
            maskLabel->setText("请翻背面，再点击拍摄按钮...");
            maskWidget->setGeometry(m_ImageRect);
            maskWidget->raise();
            maskWidget->show();
            stopCaptureThread();
            return;
        }
        qWarning("********g_idCardNumber==0*******\n");
        const int mode = idcardmodecombo->currentText() == "正反面(上下竖拼)" ? 1 : 0;
        qWarning(mode == 0 ? "********CombineImage 正反面(左右横拍) *******\n"
                           : "********CombineImage 正反面(上下竖拼) *******\n");
        if (CombineImage("/tmp/a.jpg", "/tmp/b.jpg", savepath.toUtf8().constData(), mode, 0, 0, 0, 0) == -1) {
            warnUser(m_toolHelper.tipTitle, m_toolHelper.idcardCannotCapture);
            stopCaptureThread();
            return;
        }
        saved << savepath;
    } else if (!b_IsHideImageAlgorithm && isMultiOutput(method, BookIndex)) {
        for (const QString &piece : szPath.split(';', Qt::SkipEmptyParts)) {
            qWarning("MainWindow::slotSaveImgThreadOver path is %s\n", qUtf8Printable(piece));
            saved << piece;
        }
    } else {
        qWarning("MainWindow::slotSaveImgThreadOver() -- szPath is %s", qUtf8Printable(szPath));
        saved << szPath;
    }
    for (const QString &path : saved) {
        // A capture that wrote nothing leaves the target in the buffer: no entry for it.
        if (!QFileInfo::exists(path)) {
            qWarning("MainWindow::slotSaveImgThreadOver() -- %s was not written", qUtf8Printable(path));
            continue;
        }
        listViewImagePath << path;
        addItem(path);
    }
    if (!listViewImagePath.isEmpty())
        nextNumberFrom(listViewImagePath.last());
    stopCaptureThread();
    m_toolHelper.playSound(setinfo.IsScanVoice);
    if (b_IsHideImageAlgorithm)
        return;
    const QString mode = uninterruptedmodlecombo->currentText();
    if (mode != kManualMode && mode != "自动" && !captureTimer->isActive()) {
        printf("拍照结束，重新开启定时器\n");
        fflush(stdout);
        captureTimer->start(captureTickMs);
    } else if (mode == "自动") {
        TimerNumberLabel->hide();
        TimerAutoTipLabel->show();
        timerMaskWidget->show();
    }
}

// The next number follows the last saved name: "<base><sep><n>[(k)].<ext>" gives n + 1.
void MainWindow::nextNumberFrom(const QString &path)
{
    const QString name = path.mid(path.lastIndexOf('/') + 1);
    const bool tiff = path.endsWith("tiff");
    if (tiff)
        qWarning("1MainWindow::slotSaveImgThreadOver tmp1 is %s", qUtf8Printable(name));
    const QString stem = name.left(name.length() - (tiff ? 5 : 4));
    if (tiff)
        qWarning("2MainWindow::slotSaveImgThreadOver tmp1 is %s", qUtf8Printable(stem));
    QString last = stem.split('_').last();
    if (last.contains('('))
        last = last.left(last.indexOf('('));
    const int value = last.toInt();
    qWarning("MainWindow::slotSaveImgThreadOver nCount1 is %d", value);
    int next = value + 1;
    if (next > kNumberWrap)
        next = 1;
    ImageIndex = QString::number(next);
    nImageIndex = next;
    qWarning("MainWindow::slotSaveImgThreadOver nCount is %s,tmp1 is %s\n", qUtf8Printable(ImageIndex),
             qUtf8Printable(last));
}

// ---------------------------------------------------------------- continuous shooting

int autoCapture(long state)
{
    if (state == 1) {
        printf("******* autoCapture state == 1******* \n");
    } else if (state == 0) {
        printf("******* autoCapture state == 0******* \n");
        if (g_Camself && !g_Camself->captureTimer->isActive()) {
            printf("*** 开启定时 ***\n");
            emit g_Camself->signalStartCaptureTimer(); // queued to the window's thread
        }
    }
    fflush(stdout);
    return 0;
}

void MainWindow::setCaptureOptionsEnabled(bool enabled)
{
    for (QWidget *w :
         std::initializer_list<QWidget *>{resolvingcombo, fileformatcombo, cutmethodcombo, imageeffectcombo,
                                          edgemendingcombo, foreignmattercombo, idcardmodecombo, colorBtn})
        w->setEnabled(enabled);
}

void MainWindow::placeTimerMask()
{
    timerMaskWidget->setGeometry(m_ImageRect);
    TimerNumberLabel->setFixedSize(int(m_ImageRect.width() * 0.9), int(m_ImageRect.height() * 0.9));
    timerMaskWidget->raise();
}

void MainWindow::comboBoxCurrentIndexChangedUninterruptedMode(int)
{
    if (b_IsHideImageAlgorithm)
        return;
    if (captureTimer->isActive()) {
        printf("关闭定时器");
        captureTimer->stop();
    }
    if (m_bLastIsUninterrupted)
        Cam_PauseAutoCapture(devindex, -1);
    const QString mode = uninterruptedmodlecombo->currentText();
    if (mode == kManualMode) {
        printf("手动，隐藏遮罩\n");
        fflush(stdout);
        timerMaskWidget->hide();
        m_bLastIsUninterrupted = false;
        for (QComboBox *box : {resolvingcombo, fileformatcombo, cutmethodcombo, imageeffectcombo})
            box->setEnabled(true);
        // Re-applies the fill, foreign-matter and ID-card rules of the cut method.
        comboboxCurrentIndexChangedCutmethod(cutmethodcombo->currentIndex());
        colorBtn->setEnabled(true);
        return;
    }
    if (mode == "自动") {
        printf("自动\n");
        g_TimerMaxNumber = 3;
        Cam_AutoCapture(devindex, 0, autoCapture);
        TimerAutoTipLabel->show();
        TimerNumberLabel->hide();
        setCaptureOptionsEnabled(false);
        m_bLastIsUninterrupted = true;
    } else if (mode == "定时(5秒)" || mode == "定时(7秒)") {
        const bool five = mode == "定时(5秒)";
        printf(five ? "定时5秒\n" : "定时7秒\n");
        g_TimerMaxNumber = five ? 5 : 7;
        TimerNumberLabel->setText(QString::number(g_TimerMaxNumber));
        TimerAutoTipLabel->hide();
        TimerNumberLabel->show();
        setCaptureOptionsEnabled(false);
        m_bLastIsUninterrupted = false;
    }
    fflush(stdout);
    // Before the first frame there is no picture to count down over: the first
    // frame starts the mode again.
    if (!m_bIsShowImage)
        return;
    g_CurrentTimerNumber = g_TimerMaxNumber;
    placeTimerMask();
    timerMaskWidget->show();
    printf("显示遮罩\n");
    fflush(stdout);
    if (mode != "自动" && !captureTimer->isActive())
        captureTimer->start(captureTickMs);
}

void MainWindow::slotStartCaptureTimer()
{
    printf("slotStartCaptureTimer() -- start\n");
    fflush(stdout);
    if (captureTimer->isActive())
        return;
    placeTimerMask();
    TimerNumberLabel->setText(QString::number(g_TimerMaxNumber));
    TimerAutoTipLabel->hide();
    TimerNumberLabel->show();
    timerMaskWidget->show();
    captureTimer->start(captureTickMs);
}

void MainWindow::slotCaptureTimeOut()
{
    printf("slotCaptureTimeOut() -- g_CurrentTimerNumber = %d\n", g_CurrentTimerNumber);
    fflush(stdout);
    --g_CurrentTimerNumber;
    if (g_CurrentTimerNumber > 0) {
        TimerNumberLabel->setText(QString::number(g_CurrentTimerNumber));
        placeTimerMask();
        TimerNumberLabel->show();
        TimerAutoTipLabel->hide();
        timerMaskWidget->show();
        return;
    }
    timerMaskWidget->hide();
    if (captureTimer->isActive()) {
        printf("slotCaptureTimeOut() -- 关闭定时器\n");
        captureTimer->stop();
    }
    onButtonCaptureClicked();
    g_CurrentTimerNumber = g_TimerMaxNumber + 1;
}

void MainWindow::slotUpdateCaptureTimerMaskWidget()
{
    if (!timerMaskWidget->isVisible())
        return;
    placeTimerMask();
    timerMaskWidget->show();
}

// ---------------------------------------------------------------- strip

void MainWindow::addItem(QString path)
{
    auto *item = new QListWidgetItem;
    PicItemData data;
    data.picPath = path;
    data.picName = QFileInfo(path).fileName();
    item->setData(Qt::UserRole + 1, data.picName);
    item->setData(Qt::UserRole + 2, data.picPath);

    auto *cell = new QWidget;
    cell->setStyleSheet("QWidget{background-color:transparent;}");
    auto *layout = new QVBoxLayout(cell);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *label = new QLabel(cell);
    layout->addWidget(label, 0, Qt::AlignCenter);

    // A scaled decode: an 8 MP JPEG is read at an eighth of its size, not whole.
    QImageReader reader(path);
    const QSize full = reader.size();
    if (full.isValid() && (full.width() >= 31 || full.height() >= 31))
        reader.setScaledSize(full.scaled(kThumbSize, Qt::KeepAspectRatio));
    QPixmap thumb = QPixmap::fromImage(reader.read());
    if (thumb.isNull()) {
        const CToolHelper &t = m_toolHelper;
        const QString kind = path.right(3);
        const QString icon = path.right(4) == "tiff" ? t.imagetif
                             : kind == "pdf"         ? t.imagepdf
                             : kind == "png"         ? t.imagepng
                             : kind == "jpg"         ? t.imagejpg
                             : kind == "bmp"         ? t.imagebmp
                                                     : QString();
        thumb = QPixmap(icon);
        if (!thumb.isNull())
            thumb = thumb.scaled(kThumbSize, Qt::KeepAspectRatio, Qt::FastTransformation);
    }
    label->setPixmap(thumb);
    label->setFixedSize(thumb.size());
    listview->addItem(item);
    listview->setItemWidget(item, cell);
    if (path == g_path) {
        listview->removeItemWidget(item);
        delete item;
    }
    g_path = path;
    listview->setCurrentRow(listview->count() - 1);
}

QStringList MainWindow::getListSelectedFile()
{
    QStringList paths;
    for (QListWidgetItem *item : listview->selectedItems())
        paths << item->data(Qt::UserRole + 2).toString();
    return paths;
}

void MainWindow::imgListPressed(QModelIndex index)
{
    const QString path = listViewImagePath.value(index.row());
    if (!path.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void MainWindow::slotListViewContextMenu(QPoint pos)
{
    if (listview->itemAt(pos))
        listViewMenu->exec(QCursor::pos());
}

void MainWindow::slotTableViewMenuDelFile()
{
    qWarning("ssssss  MainWindow::slotTableViewMenuDelFile() -- start ");
    const QStringList selected = getListSelectedFile();
    qWarning("list is %s", qUtf8Printable(selected.join(",")));
    if (selected.isEmpty())
        return;
    for (const QString &path : selected)
        if (QFileInfo::exists(path))
            QFile::remove(path);
    listViewImagePath.removeAll(selected.first());
    if (listViewImagePath.isEmpty())
        listview->clear();
    else
        delete listview->takeItem(listview->currentRow());
}

// ---------------------------------------------------------------- window state

void MainWindow::onButtonMinClicked()
{
    if (!m_IsmaxScreen)
        NormalPosition = pos();
    m_OldWindowState = int(windowState());
    showMinimized();
    m_WindowState = 1;
}

void MainWindow::onButtonMaxClicked()
{
    NormalPosition = pos();
    m_WindowState = 2;
    m_IsmaxScreen = true;
    if (QScreen *screen = QGuiApplication::primaryScreen())
        desktopRect = screen->availableGeometry();
    move(0, 0);
    resize(desktopRect.size());
    show();
    // The picture moves: a hand-drawn rectangle no longer lies on what it framed.
    if (isManualCrop())
        clearCropRects();
}

void MainWindow::onButtonRestoreClicked()
{
    m_IsmaxScreen = false;
    m_WindowState = 0;
    move(NormalPosition);
    resize(kNormalSize);
    show();
    if (isManualCrop())
        clearCropRects();
}

void MainWindow::warnUser(const QString &title, const QString &text)
{
    if (setinfo.IsErrorTip)
        QMessageBox::warning(this, tr(title.toUtf8().constData()), tr(text.toUtf8().constData()));
}

// ---------------------------------------------------------------- layout

void MainWindow::initMainUI()
{
    const CToolHelper &t = m_toolHelper;
    WindowStyle::frameWindow(this, t, kNormalSize, t.camerabackgroundcolor);
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    NormalPosition = pos();

    m_titleBar = new TitleBar(this);
    m_titleBar->setTitleIcon(t.uiiconpath, QSize(16, 16));
    if (!t.titlename.isEmpty())
        m_titleBar->setTitleContent(t.titlename, 9);
    m_titleBar->setBackgroundColor(t.title_background_R, t.title_background_G, t.title_background_B, false);
    m_titleBar->setButtonType(MIN_MAX_BUTTON);
    // The home window's tools have no place here; the device is named in the panel.
    for (QWidget *w :
         {static_cast<QWidget *>(m_titleBar->m_comboSelect), static_cast<QWidget *>(m_titleBar->m_capture),
          static_cast<QWidget *>(m_titleBar->m_scan), static_cast<QWidget *>(m_titleBar->m_list),
          static_cast<QWidget *>(m_titleBar->m_pButtonfunction),
          static_cast<QWidget *>(m_titleBar->m_pButtonSet)})
        w->hide();
    auto styleButton = [this](QPushButton *button, const QString &normal, const QString &pressed,
                              const QString &tip) {
        button->setFixedSize(36, 30);
        button->setToolTip(tip);
        button->setStyleSheet(WindowStyle::titleButton(m_toolHelper, normal, normal, pressed));
    };
    styleButton(m_titleBar->m_pButtonMin, t.miniconpath, t.minpressiconpath, t.mintip);
    styleButton(m_titleBar->m_pButtonMax, t.maxiconpath, t.maxpressiconpath, t.maxtip);
    styleButton(m_titleBar->m_pButtonRestore, t.restoreiconpath, t.restorepressiconpath, t.restoretip);
    styleButton(m_titleBar->m_pButtonClose, t.closeiconpath, t.closepressiconpath, t.closetip);
}

void MainWindow::setcomboBoxStyle(QComboBox *box)
{
    box->setFixedSize(200, 26);
    box->setItemDelegate(new QStyledItemDelegate(box));
    // A disabled box (plain cameras, "no cut") must look disabled.
    box->setStyleSheet(
        WindowStyle::comboBox(m_toolHelper) +
        "QComboBox:disabled{color:rgb(160,166,176);}"
        "QComboBox QAbstractItemView{outline:0px;}QComboBox QAbstractItemView::item{height:24px;}");
}

QComboBox *MainWindow::addOptionRow(QGridLayout *grid, const QString &text, const QStringList &items,
                                    QLabel **label)
{
    const int row = grid->rowCount();
    auto *name = new QLabel(text, optionPanel);
    auto *box = new QComboBox(optionPanel);
    box->addItems(items);
    setcomboBoxStyle(box);
    grid->addWidget(name, row, 0);
    grid->addWidget(box, row, 1);
    if (label)
        *label = name;
    return box;
}

QPushButton *MainWindow::addToolButton(QWidget *parent, const QString &normal, const QString &pressed,
                                       const QString &tip)
{
    auto *button = new QPushButton(parent);
    button->setFixedSize(40, 40);
    button->setIconSize(QSize(40, 40));
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(tip);
    button->setStyleSheet(QString("QPushButton{border-image: url(%1);outline:none;}"
                                  "QPushButton:hover{border-image: url(%2);outline:none;}"
                                  "QPushButton:pressed{border-image: url(%2);outline:none;}")
                              .arg(normal, pressed));
    return button;
}

void MainWindow::initCameraUI()
{
    const CToolHelper &t = m_toolHelper;
    auto *columns = new QHBoxLayout(ui->centralwidget);
    columns->setContentsMargins(kPreviewLeft, kPreviewTop, 16, 14);
    columns->setSpacing(12);

    // Picture and strip. The picture is painted by the window under the
    // transparent preview area, so the tool buttons float over it.
    auto *left = new QVBoxLayout;
    left->setSpacing(8);
    topleftwidget = new QWidget(ui->centralwidget);
    topleftwidget->setObjectName("topleftwidget");
    topleftwidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto *tools = new QHBoxLayout(topleftwidget);
    tools->setContentsMargins(0, 0, 0, 12);
    tools->setSpacing(10);
    tools->addStretch();
    restore = addToolButton(topleftwidget, t.uirestoreiconpath, t.uirestorepressiconpath, t.camrestoretip);
    enlarge = addToolButton(topleftwidget, t.enlargeiconpath, t.enlargepressiconpath, t.camenlargetip);
    narrow = addToolButton(topleftwidget, t.narrowiconpath, t.narrowpressiconpath, t.camnarrowtip);
    leftrotation = addToolButton(topleftwidget, t.lefticonpath, t.leftpressiconpath, t.camturnlefttip);
    rightrotation = addToolButton(topleftwidget, t.righticonpath, t.rightpressiconpath, t.camturnrighttip);
    for (QPushButton *b : {restore, enlarge, narrow, leftrotation, rightrotation})
        tools->addWidget(b, 0, Qt::AlignBottom);
    tools->addStretch();
    left->addWidget(topleftwidget, 1);

    listview = new QListWidget(ui->centralwidget);
    listview->setSelectionMode(QAbstractItemView::SingleSelection);
    listview->setViewMode(QListView::IconMode);
    listview->setMovement(QListView::Static);
    listview->setResizeMode(QListView::Adjust);
    listview->setWrapping(false);
    listview->setFlow(QListView::LeftToRight);
    listview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listview->setFixedHeight(58);
    listview->setSpacing(6);
    listview->setSortingEnabled(false);
    listview->setContextMenuPolicy(Qt::CustomContextMenu);
    listview->setFocusPolicy(Qt::NoFocus);
    listview->horizontalScrollBar()->setStyleSheet("QScrollBar{height:10px;}");
    listview->setStyleSheet(QString("QListWidget{background:rgb(%1);outline:0px;border:1px solid rgb(%2);"
                                    "border-radius:8px;}"
                                    "QListWidget::item{background:transparent;border:0px;}"
                                    "QListWidget::item:hover{background:rgb(%3);}")
                                .arg(WindowStyle::rgb(t.cameralistviewcolor),
                                     WindowStyle::rgb(t.comboBoxbordercolor),
                                     WindowStyle::rgb(t.cameraitemselectcolor)));
    listview->setItemDelegate(new CamItemDelegate(listview));
    listViewMenu = new QMenu(this);
    listViewMenu->setStyleSheet(QString("QMenu{background:rgb(%1)}QMenu::item:hover{background:rgb(%2)}"
                                        "QMenu::item:selected{background:rgb(%3)}")
                                    .arg(WindowStyle::rgb(t.menubackgroundcolor),
                                         WindowStyle::rgb(t.menuitemhovercolor),
                                         WindowStyle::rgb(t.menuitemselectcolor)));
    left->addWidget(listview);
    columns->addLayout(left, 1);

    // Option column.
    optionPanel = new QFrame(ui->centralwidget);
    optionPanel->setObjectName("optionPanel");
    optionPanel->setFixedWidth(306);
    optionPanel->setStyleSheet(
        QString("QFrame#optionPanel{background:rgb(%1);border:1px solid rgb(%2);border-radius:8px;}"
                "QLabel{color:rgb(%3);background:transparent;}")
            .arg(WindowStyle::rgb(t.cameralistviewcolor), WindowStyle::rgb(t.comboBoxbordercolor),
                 WindowStyle::rgb(t.comboBoxfontcolor)));
    auto *panel = new QVBoxLayout(optionPanel);
    panel->setContentsMargins(16, 16, 16, 16);
    panel->setSpacing(12);
    devName = new QLabel(QString("设备名称：\n") + devdisplayname, optionPanel);
    devName->setWordWrap(true);
    devName->setStyleSheet("font-weight:bold;");
    panel->addWidget(devName);
    auto *rule = new QFrame(optionPanel);
    rule->setFixedHeight(1);
    rule->setStyleSheet(
        QString("background:rgb(%1);border:none;").arg(WindowStyle::rgb(t.comboBoxbordercolor)));
    panel->addWidget(rule);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(10);
    fileformatcombo = addOptionRow(grid, "文件格式：", {"jpg", "bmp", "png", "tiff", "pdf"}, nullptr);
    resolvingcombo = addOptionRow(grid, "分辨率：", ListCameraResolvings, nullptr);
    cutmethodcombo = addOptionRow(grid, "裁切方式：", {kNoCut, kSingleCut, kMultiCut}, nullptr);
    imageeffectcombo = addOptionRow(
        grid, "图像效果：",
        {"彩色原色", "灰度图片", "黑白文档", "彩色文档", "红印文档", "蓝印文档", "彩色照片", "票据增强"},
        nullptr);
    uninterruptedmodlecombo = addOptionRow(
        grid, "连拍模式：", {kManualMode, "自动", "定时(5秒)", "定时(7秒)"}, &uninterruptedmodlelabel);
    edgemendingcombo = addOptionRow(grid, "补边：", {"不填充", "自动填充白色", "自动填充周边色"}, nullptr);
    foreignmattercombo =
        addOptionRow(grid, "异物去除：", {"无", "去除手指", "去除装订孔"}, &foreignmatterlabel);
    idcardmodecombo =
        addOptionRow(grid, "证件模式：", {"无", "正反面(左右横拍)", "正反面(上下竖拼)"}, &idcardmodelabel);
    const int settingsRow = grid->rowCount();
    imagelabel = new QLabel("图像设置", optionPanel);
    colorBtn = new QPushButton(optionPanel);
    colorBtn->setFixedSize(32, 32);
    colorBtn->setFocusPolicy(Qt::NoFocus);
    colorBtn->setStyleSheet(QString("QPushButton{border-image: url(%1);outline:none;}"
                                    "QPushButton:hover{border-image: url(%2);outline:none;}"
                                    "QPushButton:pressed{border-image: url(%3);outline:none;}")
                                .arg(t.camimagenormalpath, t.camimagehovorpath, t.camimagepresspath));
    grid->addWidget(imagelabel, settingsRow, 0);
    grid->addWidget(colorBtn, settingsRow, 1, Qt::AlignLeft);
    panel->addLayout(grid);
    panel->addStretch();

    capture = new QPushButton("拍  摄", optionPanel);
    capture->setFixedHeight(40);
    capture->setFocusPolicy(Qt::NoFocus);
    capture->setToolTip(t.capturetip);
    capture->setEnabled(false);
    capture->setStyleSheet(
        QString("QPushButton{border-image: url(%1);color:white;font-size:16px;font-weight:bold;outline:none;}"
                "QPushButton:hover{border-image: url(%2);}"
                "QPushButton:pressed{border-image: url(%3);}"
                "QPushButton:disabled{color:rgba(255,255,255,0.6);}")
            .arg(t.camcapturenormalpath, t.camcapturehovorpath, t.camcapturepresspath));
    panel->addWidget(capture);
    columns->addWidget(optionPanel);
}

void MainWindow::addMaskWidgetUI()
{
    maskWidget = new QWidget(this);
    maskWidget->setObjectName("maskWidget");
    maskWidget->setAttribute(Qt::WA_StyledBackground);
    maskWidget->setStyleSheet("QWidget{background-color:rgba(0,0,0,0.5);}");
    maskWidget->setGeometry(rect());
    auto *layout = new QVBoxLayout(maskWidget);
    maskLabel = new QLabel("处理中，请稍等...", maskWidget);
    maskLabel->setStyleSheet("color:white;background:transparent;");
    layout->addStretch();
    layout->addWidget(maskLabel, 0, Qt::AlignCenter);
    layout->addStretch();
    maskWidget->hide();
}

void MainWindow::addTimerMaskWidgetUI()
{
    timerMaskWidget = new QWidget(this);
    timerMaskWidget->setObjectName("timerMaskWidget");
    timerMaskWidget->setAttribute(Qt::WA_StyledBackground);
    timerMaskWidget->setStyleSheet("QWidget{background-color:rgba(0,0,0,0.1);}");
    auto *layout = new QVBoxLayout(timerMaskWidget);
    // The digit takes nine tenths of the picture: no margins, so the caption still fits.
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    TimerNumberLabel = new QLabel("0", timerMaskWidget);
    TimerNumberLabel->setStyleSheet("font:250px;color:rgba(0,0,255,0.5);background:transparent;");
    TimerNumberLabel->setAlignment(Qt::AlignCenter);
    TimerTextLabel = new QLabel("连拍中...", timerMaskWidget);
    TimerTextLabel->setStyleSheet("font:25px;color:rgba(0,0,255,0.5);background:transparent;");
    TimerAutoTipLabel = new QLabel("自动检测中...", timerMaskWidget);
    TimerAutoTipLabel->setStyleSheet("font:50px;color:rgba(0,0,255,0.5);background:transparent;");
    // The caption goes on top: the tool buttons float over the picture's bottom edge.
    layout->addWidget(TimerTextLabel, 0, Qt::AlignHCenter | Qt::AlignTop);
    layout->addWidget(TimerNumberLabel, 0, Qt::AlignCenter);
    layout->addWidget(TimerAutoTipLabel, 0, Qt::AlignCenter);
    timerMaskWidget->hide();
}

void MainWindow::initConnection()
{
    connect(m_titleBar, SIGNAL(signalButtonMinClicked()), this, SLOT(onButtonMinClicked()));
    connect(m_titleBar, SIGNAL(signalButtonMaxClicked()), this, SLOT(onButtonMaxClicked()));
    connect(m_titleBar, SIGNAL(signalButtonRestoreClicked()), this, SLOT(onButtonRestoreClicked()));
    connect(m_titleBar, SIGNAL(signalButtonCloseClicked()), this, SLOT(onButtonCloseClicked()));
    // Maximising from outside (the home window was maximised) goes through the
    // bar so that its maximise and restore buttons follow.
    connect(this, SIGNAL(signalTitleBigger()), m_titleBar, SLOT(onButtonMaxClicked()));
    connect(this, SIGNAL(ImageRotation(int)), this, SLOT(updateImageRotation(int)));
    connect(resolvingcombo, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedResolution(int)));
    connect(cutmethodcombo, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedCutmethod(int)));
    connect(leftrotation, SIGNAL(clicked()), this, SLOT(onBtnleftrotationClicked()));
    connect(rightrotation, SIGNAL(clicked()), this, SLOT(onBtnrightrotationClicked()));
    connect(enlarge, SIGNAL(clicked()), this, SLOT(onBtnEnlargeClicked()));
    connect(narrow, SIGNAL(clicked()), this, SLOT(onBtnNarrowClicked()));
    connect(restore, SIGNAL(clicked()), this, SLOT(onBtnImgrestoreClicked()));
    connect(colorBtn, SIGNAL(clicked()), this, SLOT(onBtnImageSetClicked()));
    connect(capture, SIGNAL(clicked()), this, SLOT(onButtonCaptureClicked()));
    connect(uninterruptedmodlecombo, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboBoxCurrentIndexChangedUninterruptedMode(int)));
    connect(this, SIGNAL(signalFirstUpdateUninterruptedMode(int)), this,
            SLOT(comboBoxCurrentIndexChangedUninterruptedMode(int)));
    connect(this, SIGNAL(signalStartCaptureTimer()), this, SLOT(slotStartCaptureTimer()));
    connect(captureTimer, SIGNAL(timeout()), this, SLOT(slotCaptureTimeOut()));
    connect(this, SIGNAL(signalUpdateCaptureTimerMaskWidget()), this,
            SLOT(slotUpdateCaptureTimerMaskWidget()));
    connect(listview, SIGNAL(doubleClicked(QModelIndex)), this, SLOT(imgListPressed(QModelIndex)));
    connect(listview, SIGNAL(customContextMenuRequested(QPoint)), this,
            SLOT(slotListViewContextMenu(QPoint)));
    connect(listViewMenu->addAction("删除"), SIGNAL(triggered()), this, SLOT(slotTableViewMenuDelFile()));
}

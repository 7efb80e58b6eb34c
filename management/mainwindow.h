// The camera window: live picture of the open camera with zoom and a hand-drawn
// crop rectangle, the capture options, and the hand-back of what was captured and
// chosen to the home window when it closes.
#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "commondatatype.h"
#include "ctoolhelper.h"
#include "datatype.h"

#include <QList>
#include <QMainWindow>
#include <QModelIndex>
#include <QMutex>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QStringList>

#include <atomic>

class ImageSet;
class QComboBox;
class QGridLayout;
class QImage;
class QLabel;
class QListWidget;
class QPainter;
class QPushButton;
class QMenu;
class QThread;
class QTimer;
class GetScannerInfoThread;
class TitleBar;

namespace Ui {
class MainWindow;
}

class MainWindow;

// The open camera's latest frame (null until the first frame and after a stop) and
// the window the library's callbacks report to.
extern QImage *g_Camimage;
extern MainWindow *g_Camself;
// The frame lock: guards g_Camimage and the three crop point lists.
extern QMutex MutexCamDataBuffLock;
// The most crop rectangles the lists hold; back to 1 whenever they are cleared.
extern long g_count;
// The rectangle replaced by the last press, so that a mere click can restore it.
extern QPoint g_StaticStart;
extern QPoint g_StaticMove;

// Frame callback of the camera library (its own thread): packed RGB888 rows.
int ReceiveImage(void *data, int size, int w, int h, int nFormatType);

// Which ID-card side the next capture takes (0 front, 1 back), and the path the
// strip added last.
extern int g_idCardNumber;
extern QString g_path;
// Countdown of continuous shooting: where it starts (5 or 7 timed, 3 after a
// detection) and where it stands.
extern int g_TimerMaxNumber;
extern int g_CurrentTimerNumber;

// Automatic-capture callback of the camera library (its own thread).
int autoCapture(long state);

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(DEVPARAM cameraParam, SETPARAM setParam, WATERPARAM watermarkset, CAMIMAGESET camImageset,
               bool bIsShow, int bookindex, int rotateIndex, QWidget *parent = nullptr);
    ~MainWindow() override;

    long initCameraDev();
    int ResetCameraResolution(int index);

    // Device-dependent switches the home window applies right after construction.
    void UpdateCutting(bool bIsSupportBook, bool bIsManualCut, bool bIsPaging);
    void UpdateImageSetting(bool b);
    void UpdateRemoveHole(bool b);
    void UpdateIDCardMode();
    void UpdateContinuousShooting();
    void UpdateIsHideImageAlgorithm();

    // Asks for a repaint of the picture; safe from any thread, coalesced.
    void requestPreviewRepaint();

    // Set by the home window before the Update* calls.
    bool bIsSupportBook = false;
    bool bIsWaterMark = false;
    bool b_IsHideImageAlgorithm = false;
    QPoint NormalPosition;

    // The option boxes and buttons the home window and the capture code reach.
    QComboBox *fileformatcombo = nullptr;
    QComboBox *resolvingcombo = nullptr;
    QComboBox *cutmethodcombo = nullptr;
    QComboBox *imageeffectcombo = nullptr;
    QComboBox *uninterruptedmodlecombo = nullptr;
    QComboBox *edgemendingcombo = nullptr;
    QComboBox *foreignmattercombo = nullptr;
    QComboBox *idcardmodecombo = nullptr;
    QPushButton *colorBtn = nullptr;
    QPushButton *capture = nullptr;
    QListWidget *listview = nullptr;

    // Camera state.
    long devindex = 0;
    int devType = 0;
    long resolvingwidth = 0;
    long resolvingheight = 0;
    QString devdisplayname;
    QStringList ListCameraResolvings;
    int rotation = 0;
    int rotationindex = 0;
    CAMIMAGESET ImageInfo;
    SETPARAM setinfo;
    WATERPARAM waterparam;
    bool IsWaterMark = false;
    bool IsImageWaterMark = false;
    int BookIndex = 0;
    int nImageIndex = 0;
    QString ImageIndex;
    bool bIsClose = false;
    bool m_IsmaxScreen = false;
    QStringList m_PictureNameList;
    QString savepath;              // target of the current capture
    QStringList listViewImagePath; // every saved path, in the strip's order
    GetScannerInfoThread *getScannerInfoThread = nullptr;
    QPointer<QThread> _getScannerInfoThread;
    // One capture at a time: a trigger while one runs (Return held down, a
    // countdown, a detection) would write into the same name.
    bool m_bIsCapturing = false;
    int captureTickMs = 1000; // one countdown step
    bool m_bLastIsUninterrupted = false;
    QTimer *captureTimer = nullptr;

    // Preview state.
    double nVideoScaleSize = -999.0; // -999 never zoomed, 0 no zoom
    const int VIDEO_MAX_SIZE = 400;
    const int VIDEO_MIN_SIZE = 0;
    QRect m_ImageRect;
    QRect m_ContrastRect;
    QList<QPoint> m_StartPosition;
    QList<QPoint> m_EndPosition;
    QList<QPoint> m_MovePointList;
    bool m_bIsPress = false;
    bool m_bIsDrawOver = false;
    bool m_bIsRotation = false;
    bool m_bIsShowImage = false;
    bool m_bIsFirstUpdateUninter = false;
    QRect desktopRect;
    int m_WindowState = 0;
    int m_OldWindowState = 0;
    bool m_IsOpenImageSetting = false;
    QPointer<ImageSet> imagesetui; // deletes itself when closed

signals:
    void signalUpdateCameraParam(CAMIMAGESET camImage, WATERPARAM water, int imageIndex, int bookIndex,
                                 int rotationIndex);
    void signalCameraopen();
    void signalShowADFUI(bool isMax, QPoint position, QStringList names);
    void ImageRotation(int degrees);
    void signalFirstUpdateUninterruptedMode(int index);
    void signalUpdateCaptureTimerMaskWidget();
    void signalTitleBigger();
    void signalStartCaptureTimer();

public slots:
    void comboboxCurrentIndexChangedResolution(int index);
    void comboboxCurrentIndexChangedCutmethod(int index);
    void onBtnleftrotationClicked();
    void onBtnrightrotationClicked();
    void updateImageRotation(int degrees);
    void hotPlugsChanged(bool present);
    void onButtonCloseClicked();
    void onButtonMinClicked();
    void onButtonMaxClicked();
    void onButtonRestoreClicked();
    void onBtnEnlargeClicked();
    void onBtnNarrowClicked();
    void onBtnImgrestoreClicked();
    void onBtnImageSetClicked();
    void slotIsWaterMark(bool add, bool image);
    void slotUpdateWaterMarkParam(WATERPARAM w);
    void slotUpdateBookExportParam(int index);
    void slotChangeMopenImageSetting();
    void onButtonCaptureClicked();
    void slotSaveImgThreadOver(QString szPath);
    void imgListPressed(QModelIndex index);
    void slotListViewContextMenu(QPoint pos);
    void slotTableViewMenuDelFile();
    void comboBoxCurrentIndexChangedUninterruptedMode(int index);
    void slotStartCaptureTimer();
    void slotCaptureTimeOut();
    void slotUpdateCaptureTimerMaskWidget();

public:
    bool IsDirExist(QString path);
    void addItem(QString path);
    QStringList getListSelectedFile();

private slots:
    void slotRepaintPreview();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void initMainUI();
    void initCameraUI();
    void addMaskWidgetUI();
    void addTimerMaskWidgetUI();
    void initConnection();
    void selectFromImageInfo();
    QComboBox *addOptionRow(QGridLayout *grid, const QString &text, const QStringList &items, QLabel **label);
    QPushButton *addToolButton(QWidget *parent, const QString &normal, const QString &pressed,
                               const QString &tip);
    void setcomboBoxStyle(QComboBox *box);
    void warnUser(const QString &title, const QString &text);
    bool isManualCrop() const;
    void clearCropRects();
    bool isIdCardCapture() const;
    bool fillCaptureParam(IMAGEPARAM &param);
    bool checkWaterMark();
    void stopCaptureThread();
    void nextNumberFrom(const QString &path);
    void placeTimerMask();
    void setCaptureOptionsEnabled(bool enabled);
    void stopStream();
    void rotateBy(int step);
    void setResolutionFromText(long &width, long &height) const;
    void appendTrimmed(QList<QPoint> &list, const QPoint &p) const;
    void drawGuideBand(QPainter &painter, const QRect &target, const QColor &bandColor, int bandWidth,
                       const QColor &lineColor, int lineWidth) const;
    void drawManualCrop(QPainter &painter, const QRect &target);

    Ui::MainWindow *ui;
    CToolHelper m_toolHelper;
    TitleBar *m_titleBar = nullptr;
    QWidget *topleftwidget = nullptr;
    QWidget *optionPanel = nullptr;
    QLabel *devName = nullptr;
    QLabel *imagelabel = nullptr;
    QLabel *foreignmatterlabel = nullptr;
    QLabel *idcardmodelabel = nullptr;
    QLabel *uninterruptedmodlelabel = nullptr;
    QPushButton *restore = nullptr;
    QPushButton *enlarge = nullptr;
    QPushButton *narrow = nullptr;
    QPushButton *leftrotation = nullptr;
    QPushButton *rightrotation = nullptr;
    QWidget *maskWidget = nullptr;
    QLabel *maskLabel = nullptr;
    QWidget *timerMaskWidget = nullptr;
    QLabel *TimerNumberLabel = nullptr;
    QLabel *TimerTextLabel = nullptr;
    QLabel *TimerAutoTipLabel = nullptr;
    QMenu *listViewMenu = nullptr;

    // The four 256-byte watermark texts waterparam points at once the image
    // settings have sent theirs; until then it shares the home window's.
    char m_waterImagePath[256] = {};
    char m_waterContent[256] = {};
    char m_waterFont[256] = {};
    char m_waterColor[256] = {};

    std::atomic<bool> m_repaintPending{false};
    QSize m_paintedFrameSize;
};

#endif // MAINWINDOW_H

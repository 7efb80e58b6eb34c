// The home window: owns the user's working records, finds the cameras, follows
// USB hot-plug and shows the document list of the working folder.
#ifndef ADFMAIN_H
#define ADFMAIN_H

#include "commondatatype.h"
#include "ctoolhelper.h"
#include "datatype.h"

#include <QDateTime>
#include <QMainWindow>
#include <QMutex>
#include <QPoint>
#include <QPointer>
#include <QStringList>

#include <vector>

class Initdevthread;
class MainWindow;
class QFileSystemWatcher;
class ScanUI;
class Set;
class QThread;
class QTimer;
class TitleBar;

namespace Ui {
class ADFmain;
}

// When the camera window closed and when the home window reappeared.
extern QDateTime closeStartTime;
extern QDateTime closeEndTime;
extern QMutex MutexDataBuffLock;
// Thumbnail cell of the document list.
extern const int g_ItemWidth;
extern const int g_ItemHeight;

class ADFmain : public QMainWindow
{
    Q_OBJECT

public:
    explicit ADFmain(QWidget *parent = nullptr);
    ~ADFmain() override;

signals:
    void signalStartAddItem(int count);
    void signalTitleBigger();
    void signalTileNormal();
    void signalHotPlugChanged(bool present);

public slots:
    void onButtonMinClicked();
    void onButtonMaxClicked();
    void onButtonRestoreClicked();
    void onButtonCloseClicked();
    void onButtonFunctionClicked();
    void onButtonSetClicked();
    void comboboxCurrentIndexChangedDevnameADF(int index);
    void onADFBtnCaptureClicked();
    void onButtonScanClicked();
    void slotInitCamDevThreadOver();
    void slotGetDeviceChanged(QString path);
    void slotCameraOpen();
    void slotShowADFUI(bool CameraUIIsMax, QPoint position, QStringList camList);
    void slotadfEnableSetBtnUI();
    void slotScanUIClosed();
    void updateSetParamSlot(SETPARAM setParam, bool bIsReloadImages);
    void slotUpdateCameraParam(CAMIMAGESET camImage, WATERPARAM water, int startNum, int bookIndex,
                               int rotateIndex);
    void slotScanModeChanged(int value);
    void slotColorModeChanged(int value);
    void slotFileFormatChanged(int value);
    void slotResolutionChanged(int value);
    void slotScanSizeChanged(int value);
    void slotCutMethodChanged(int value);
    void slotFilterChanged(int value);
    void slotEdgeMendingChanged(int value);
    void slotRotationChanged(int value);

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void initSettingFile(const QString &appDir);
    void writeDefaultSettings(const QString &appDir);
    void readLastSetting(const QString &appDir);
    void readStoredValues(const QString &appDir, const QString &savePath);
    void writeLastSetting();
    void initADFmainUI();
    void initConnection();
    void startDeviceDiscovery();
    void updateInitDevUI();
    void showDeviceWarning(const QString &text);
    void copyDevices(const Initdevthread &worker, int count);
    void stopDiscoveryThread();
    void createCameraWindow(bool bIsShow);
    void placeCameraWindow();
    void HideCaptureUI();
    void setWaterTexts(const QString &imagePath, const QString &content, const QString &font,
                       const QString &color);
    QStringList mainSettingValues() const;
    QStringList cameraSettingValues(const QString &x, const QString &y, const QString &waterMarkType) const;
    QString titleButtonStyle(const QString &normal, const QString &hover, const QString &pressed) const;
    void closeSettingsWindows();
    void reloadDocumentList();

    Ui::ADFmain *ui;
    CToolHelper m_toolHelper;
    TitleBar *adfmaintitle = nullptr;
    QPointer<MainWindow> mainWindow; // deletes itself when closed
    QPointer<ScanUI> scanui;
    QPointer<Set> setui;
    QString filePath;
    int bookExportIndex = 0;
    int rotation = 0;
    int rotationindex = 0;
    QPointer<Initdevthread> initDevthread; // gone once its thread has finished
    QThread *_initDevThread = nullptr;
    DEVPARAM DevsInfo[DEVICE_TABLE_SIZE];
    DEVPARAM currentDevInfo;
    bool m_bCurrentDevChange = false;
    // The start-up discovery has not reported yet; a hot-plug scan meanwhile waits for it.
    bool m_bDiscoveryRunning = false;
    bool m_bHotPlugPending = false;
    std::vector<int> m_vecDevType;
    int cameraCounts = 0;
    int scannerCounts = 0;
    SETPARAM SetInfo;
    SCANNERSET ScanSet;
    IMAGESET ImageSet;
    bool m_IsScannerOpen = false;
    bool m_IsCaptureOpen = false;
    bool m_IsSetOpen = false;
    bool m_IsMaxScren = false;
    QStringList mainlastSetting;
    WATERPARAM watermarkInfo;
    CAMIMAGESET camImageInfo;
    QFileSystemWatcher *fileSystemWater = nullptr;
    QFileSystemWatcher *watcher = nullptr;
    QStringList filters;
    QPoint NormalPoint;
    int m_WindowState = 0;
    int m_OldWindowState = 0;
    QTimer *updateImageTimer = nullptr;
    QStringList m_camImages;

    // The 256-byte texts watermarkInfo points at, owned for the window's life.
    char m_waterImagePath[256] = {};
    char m_waterContent[256] = {};
    char m_waterFont[256] = {};
    char m_waterColor[256] = {};
    bool m_settingsWritten = false;
};

#endif // ADFMAIN_H

// The home window: owns the user's working records, finds the cameras, follows
// USB hot-plug and shows the document list of the working folder.
#ifndef ADFMAIN_H
#define ADFMAIN_H

#include "commondatatype.h"
#include "ctoolhelper.h"
#include "datatype.h"

#include <QDateTime>
#include <QDir>
#include <QFutureWatcher>
#include <QImage>
#include <QItemSelection>
#include <QMainWindow>
#include <QMutex>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QVector>

#include <vector>

struct FolderListing;
class Initdevthread;
class MainWindow;
class MergePDFThread;
class OCRThread;
class MyListWidget;
class QFileSystemWatcher;
class QLabel;
class QListWidgetItem;
class QPushButton;
class QSortFilterProxyModel;
class QStackedWidget;
class QStandardItemModel;
class QTableView;
class ScanUI;
class Set;
class QThread;
class QTimer;
class QVBoxLayout;
class ThreadAddItem;
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

    // Document list. Files just written into the working folder by a capture, or by
    // a merge or OCR export, are added to the page shown (and selected).
    void appendCapturedFiles(const QStringList &names);
    void appendProducedFiles(const QStringList &names);
    // Rebuilds the page shown from the working folder (filePath).
    void reloadDocumentList();
    // Covers the window while a long job runs.
    void showBusyMask(const QString &text);
    void hideBusyMask();
    // A merge or OCR export is running (the document library serves one job at a time).
    bool documentJobRunning() const { return _mergeThread || _ocrthread; }
    static QString readableFilesize(quint64 filesize);

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

    // Document list and page operations.
    void slotItemOver(QListWidgetItem *item, QWidget *widget, bool IsSelected, bool IsStartTimer);
    void slotUpdateSingleImage();
    void slotAddCameraImages();
    void enableButtonSlot(QItemSelection selected, QItemSelection deselected);
    void onButtonDisplayClicked();
    void updateListUI(int page);
    void onScrollBarMoved(int value);
    void imgListPressed(QModelIndex index);
    void adjustFileTable();
    void onButtonLeftClicked();
    void onButtonRightClicked();
    void onButtonDeleteClicked();
    void slotDirectoryChanged(QString path);

    // PDF merge and OCR export of the selection, one job at a time.
    void onButtonMergepdfClicked();
    void slotMergeOver(QString filename, QStringList list);
    void onButtonTXTClicked();
    void onButtonNWDClicked();
    void onButtonNPDFClicked();
    void onButtonOFDClicked();
    void slotOCROver(int result);
    void slotOCRProgress(int page, int pages);

private slots:
    void slotListReachedBottom();
    void slotFolderSettled();
    void slotPictureRead();

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

    // Document list.
    void initDocumentArea(QVBoxLayout *layout);
    QPushButton *addToolButton(const char *name, const QString &normal, const QString &hover,
                               const QString &pressed, const QString &tip);
    void initDocumentConnections();
    void addMaskWidgetUI();
    // The documents of the working folder; with times, ready for the thumbnail order too.
    FolderListing getPathPictures(bool withTimes = false);
    void startEarlyListing(const QString &folder);
    FolderListing listWorkingFolder(bool withTimes);
    void initUIPictures();
    void initUIFile();
    void addFileItems(QString path);
    int appendFileRow(const QString &path);
    QStringList getListSelectedPicture();
    QStringList getListSelectedFile();
    bool mainImageRotation(char *path, int rotation);
    void rotateSelection(int angle, const char *who);
    void reportMissingAndReload(const QStringList &missing);
    void reportFailed(const QString &text, const QStringList &paths);
    void selectTableRows(const QList<int> &rows);
    bool thumbnailPageShown() const;
    int screenfulCount() const;
    void decodeVisibleCells();
    void fillVisibleArea();
    void askForCells(int count);
    QListWidgetItem *findCell(const QString &name) const;
    void addDocumentCell(const QString &name, bool select);
    void removeDocument(const QString &name);
    void showPictureCell(QListWidgetItem *item, const QPixmap &picture);
    void keepPictureCell(QListWidgetItem *item);
    void showAppendedFiles();
    void watchFolder();
    void updateEmptyHint();
    QStringList prepareDocumentJob(const char *who, const char *emptyLog, const QString &question,
                                   const QString &nothingLeft);
    void startOCR(int type, const char *who);
    void stopDocumentThread(QThread *&thread);
    void reportJobFailed(const QString &what, int status);

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

    // Document list (thumbnail page 0, table page 1).
    QPushButton *ofdbtn = nullptr, *txtbtn = nullptr, *nwdbtn = nullptr, *npdfbtn = nullptr;
    QPushButton *rightbtn = nullptr, *leftbtn = nullptr, *deletebtn = nullptr, *mergepdf = nullptr;
    QPushButton *scanbtn = nullptr, *savebtn = nullptr, *capbtn = nullptr;
    MyListWidget *centerwidget = nullptr;
    QStackedWidget *centerStackWidget = nullptr;
    QTableView *fileTableWidget = nullptr;
    QStandardItemModel *fileModel = nullptr;
    QSortFilterProxyModel *fileproxyModel = nullptr;
    QLabel *m_emptyHint = nullptr;
    QWidget *maskWidget = nullptr;
    QLabel *maskLabel = nullptr;
    QDir dir;
    int n_imagecount = 0;
    QStringList ImagePathList, ImageNameList;
    QStringList selectList, SelectedNameList;
    QList<QListWidgetItem *> ListWidgetItemSelected;
    QModelIndexList selectItems;
    QStringList m_PDFOCRImages;
    int displayType = 0;
    ThreadAddItem *threadAddItem = nullptr;
    int m_ImageCount = 0;
    int m_currentCount = 0;
    int m_picNumber = 0;
    int m_changedNum = 0;
    bool m_bIsAddCamImages = false;
    bool m_firstChanged = false;
    QDateTime m_rebuildStart;
    QList<QListWidgetItem *> m_pictureCells;
    int m_cellsAsked = 0;
    // The second pass's picture being read off the GUI thread, and its cell.
    QFutureWatcher<QImage> *m_pictureReader = nullptr;
    int m_readingRow = -1;
    QString m_readingName;
    // Other programs' changes to the working folder settle before the list follows them.
    QTimer *m_folderSettleTimer = nullptr;
    // The working folder listed on a pool thread while the window is built.
    QFuture<FolderListing> m_earlyListing;
    QString m_earlyFolder;
    // The merge or OCR job running, if any; each worker deletes itself when its thread ends.
    QStringList listSelectedMerge;
    QPointer<MergePDFThread> mergeThread;
    QThread *_mergeThread = nullptr;
    QPointer<OCRThread> ocrthread;
    QThread *_ocrthread = nullptr;

    // The 256-byte texts watermarkInfo points at, owned for the window's life.
    char m_waterImagePath[256] = {};
    char m_waterContent[256] = {};
    char m_waterFont[256] = {};
    char m_waterColor[256] = {};
    bool m_settingsWritten = false;
};

#endif // ADFMAIN_H

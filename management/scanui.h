// The scanner settings window: nine lists whose every change is stored in the
// window's copies of the scanner records and reported at once by signal.
#ifndef SCANUI_H
#define SCANUI_H

#include "commondatatype.h"
#include "ctoolhelper.h"

#include <QMainWindow>

class QComboBox;
class QLabel;
class QPushButton;
class TitleBar;

namespace Ui {
class ScanUI;
}

class ScanUI : public QMainWindow
{
    Q_OBJECT

public:
    ScanUI(tagDEVPARAM devparam, tagSETPARAM setparam, tagSCANNERSET scannerset, tagIMAGESET imageset,
           QWidget *parent = nullptr);
    ~ScanUI() override;

signals:
    void signalScanModeChanged(int index);
    void signalColorModeChanged(int index);
    void signalFileFormatChanged(int index);
    void signalResolutionChanged(int index);
    void signalScanSizeChanged(int index);
    void signalCutMethodChanged(int index);
    void signalFilterChanged(int index);
    void signalEdgeMendingChanged(int index);
    void signalRotationChanged(int index);
    void signalScanUIClosed();

public slots:
    void onBtnMinClicked();
    void onBtnMaxClicked();
    void onBtnRestoreClicked();
    void onBtnCloseClicked();
    void onBtnPreviewClicked();
    void onBtnScanClicked();
    void comboboxCurrentIndexChangedScanMode(int index);
    void comboboxCurrentIndexChangedColorMode(int index);
    void comboboxCurrentIndexChangedFileFormat(int index);
    void comboboxCurrentIndexChangedResolution(int index);
    void comboboxCurrentIndexChangedScanSize(int index);
    void comboboxCurrentIndexChangedCutMethod(int index);
    void comboboxCurrentIndexChangedFilter(int index);
    void comboboxCurrentIndexChangedEdgeMending(int index);
    void comboboxCurrentIndexChangedRotation(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void initScanUI(const tagDEVPARAM &devparam);
    void initConnectin();
    QPushButton *imageButton(const QString &text, const QString &image);

    Ui::ScanUI *ui;
    TitleBar *scantitle = nullptr;
    QComboBox *scanmodeComboBox = nullptr;
    QComboBox *colormodeComboBox = nullptr;
    QComboBox *fileformatComboBox = nullptr;
    QComboBox *resolutionComboBox = nullptr;
    QComboBox *scansizeComboBox = nullptr;
    QComboBox *cutmethodComboBox = nullptr;
    QComboBox *filterComboBox = nullptr;
    QComboBox *edgemendingComboBox = nullptr;
    QComboBox *rotationComboBox = nullptr;
    QPushButton *previewbtn = nullptr;
    QPushButton *scanbtn = nullptr;
    QLabel *scanlabel = nullptr;
    QString labelname;
    QString labelstate;
    QString savePath;
    int devindex;
    bool m_IsOpenScanner = false;
    bool IsCloseScanner = false;
    SCANNERSET ScannerSetInfo;
    IMAGESET ImageSetInfo;
    CToolHelper m_toolhelper;
};

#endif // SCANUI_H

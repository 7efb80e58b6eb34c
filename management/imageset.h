// The image settings window of the camera window: the watermark (none, an
// image at a point, or a text with size, colour, transparency and placement)
// and how the two pages of a book are exported. It edits copies and sends
// them back on OK; the camera window applies them at capture time.
#ifndef IMAGESET_H
#define IMAGESET_H

#include "commondatatype.h"
#include "ctoolhelper.h"
#include "datatype.h"

#include <QMainWindow>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class TitleBar;

namespace Ui {
class ImageSet;
}

class ImageSet : public QMainWindow
{
    Q_OBJECT

public:
    ImageSet(tagWATERPARAM waterparam, tagSETPARAM setinfo, int bookexportindex, QWidget *parent = nullptr);
    ~ImageSet() override;

    // Without book support or without watermarks the matching page goes.
    void UpdateBook(bool supported);
    void UpdateWaterMark(bool supported);

signals:
    // The record's texts point at buffers that live only while this signal is delivered.
    void signalUpdateWaterMarkParam(WATERPARAM param);
    void signalIsWaterMark(bool isWater, bool isWaterImage);
    void signalUpdateBookExportParam(int index);
    void signalChangeStatus();
    void signalDisableCenterWidget();
    void signalEnableCenterWidget();
    void signalDisableImageWidget();
    void signalEnableImageWidget();
    void signalUpdateImageUI();

public slots:
    void onButtonCloseClicked();
    void onButtonWaterMarkGroupClicked();
    void onButtontopformatClicked();
    void onButtoncenterformatClicked();
    void onButtontotalformatClicked();
    void onButtonbottomformatClicked();
    void onButtonMakeSureClicked();
    void onButtonCancelClicked();
    void onButtonFileChooseClicked();
    void onLineEditXLineChanged(QString text);
    void onLineEditYLineChanged(QString text);
    void waterMarkColorChoose(int index);
    void onLineEditTextChanged(QString text);
    void slotDisableCenterWidget();
    void slotEnableCenterWidget();
    void slotDisableImageWidget();
    void slotEnableImageWidget();
    void slotUpdateImageUI();

private:
    void InitImageSetUI();
    QWidget *waterMarkPage();
    QWidget *bookPage();
    void buildColorList();
    void setColorFromName(const QString &name);
    void selectFormat(int code);
    void clampCoordinate(QLineEdit *edit, const QString &text);

    Ui::ImageSet *ui;
    TitleBar *imageSetTitlebar = nullptr;
    CToolHelper m_toolhelper;
    QTabWidget *maintabwidget = nullptr;
    QButtonGroup *watermarkgroup = nullptr;
    QRadioButton *withoutwatermarkbtn = nullptr;
    QRadioButton *Imagewatermarkbtn = nullptr;
    QRadioButton *watermarkbtn = nullptr;
    QLabel *ImageTip = nullptr;
    QLineEdit *ImageWaterPath = nullptr;
    QPushButton *pathChoose = nullptr;
    QLabel *pointX = nullptr;
    QLabel *pointY = nullptr;
    QLineEdit *Xline = nullptr;
    QLineEdit *Yline = nullptr;
    QLineEdit *textLineEdit = nullptr;
    QComboBox *sizecomboBox = nullptr;
    QComboBox *watermarkcolorcomboBox = nullptr;
    QComboBox *transparentcomboBox = nullptr;
    QPushButton *topformat = nullptr;
    QPushButton *centerformat = nullptr;
    QPushButton *totalformat = nullptr;
    QPushButton *bottomformat = nullptr;
    // Per placement: normal, selected and disabled looks.
    QString topstyle, centerstyle, totalstyle, bottomstyle;
    QString tophovorstyle, centerhovorstyle, totalhovorstyle, bottomhovorstyle;
    QString topdisablestyle, centerdisablestyle, totaldisablestyle, bottomdisablestyle;
    int formatCode = 0;
    QButtonGroup *bookgroup = nullptr;
    QRadioButton *lefttorightbtn = nullptr;
    QRadioButton *righttoleftbtn = nullptr;
    QRadioButton *merginbtn = nullptr;
    QRadioButton *onlyleftbtn = nullptr;
    QRadioButton *onlyrightbtn = nullptr;
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;
    WATERPARAM waterparam;
    SETPARAM setinfo;
    QString strImagePath;
    int bookexportindex;
    int cred = 0, cgreen = 0, cblue = 0, calpha = 255;
};

#endif // IMAGESET_H

#include "imageset.h"
#include "ui_imageset.h"

#include "titlebar.h"
#include "windowstyle.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
const QSize kWindowSize(400, 600);
const int kTextMax = 30;
const int kImagePathMax = 100;
const int kCoordinateMax = 65535;
const QString kCustomColor = "自定义";
const QStringList kFontSizes = {"自动", "12", "16", "20", "24", "28", "32", "36", "40", "54"};

struct NamedColor {
    const char *name;
    QColor color;
};
const NamedColor kColors[] = {{"黑色", QColor(0, 0, 0)},
                              {"白色", QColor(255, 255, 255)},
                              {"红色", QColor(255, 0, 0)},
                              {"蓝色", QColor(0, 0, 255)},
                              {"绿色", QColor(0, 255, 0)}};

QIcon swatch(const QColor &color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    QPainter painter(&pixmap);
    painter.setPen(QColor(148, 163, 184));
    painter.drawRect(0, 0, 15, 15);
    return QIcon(pixmap);
}

// A placement button drawn by its image; hover and press show `active`.
QString placementStyle(const QString &image, const QString &active)
{
    auto state = [](const char *selector, const QString &url) {
        return QString("QPushButton%1{border-image: url(%2);border-radius:0px;outline:none;}")
            .arg(selector, url);
    };
    return QString("%1\n%2\n%3").arg(state("", image), state(":hover", active), state(":pressed", active));
}
} // namespace

ImageSet::ImageSet(tagWATERPARAM waterparam, tagSETPARAM setinfo, int bookexportindex, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::ImageSet), waterparam(waterparam), setinfo(setinfo),
      bookexportindex(bookexportindex)
{
    ui->setupUi(this);
    m_toolhelper.SettingAllSets();
    cred = waterparam.nFontR;
    cgreen = waterparam.nFontG;
    cblue = waterparam.nFontB;
    calpha = 255;
    qWarning("ImageSet::ImageSet() __ bookexportindex is %d", bookexportindex);

    InitImageSetUI();
    slotDisableCenterWidget();
    slotDisableImageWidget();

    connect(this, SIGNAL(signalDisableCenterWidget()), this, SLOT(slotDisableCenterWidget()));
    connect(this, SIGNAL(signalEnableCenterWidget()), this, SLOT(slotEnableCenterWidget()));
    connect(this, SIGNAL(signalDisableImageWidget()), this, SLOT(slotDisableImageWidget()));
    connect(this, SIGNAL(signalEnableImageWidget()), this, SLOT(slotEnableImageWidget()));
    connect(this, SIGNAL(signalUpdateImageUI()), this, SLOT(slotUpdateImageUI()));
    connect(imageSetTitlebar, SIGNAL(signalButtonCloseClicked()), this, SLOT(onButtonCloseClicked()));
    for (QRadioButton *r : {withoutwatermarkbtn, Imagewatermarkbtn, watermarkbtn})
        connect(r, SIGNAL(clicked()), this, SLOT(onButtonWaterMarkGroupClicked()));
    connect(topformat, SIGNAL(clicked()), this, SLOT(onButtontopformatClicked()));
    connect(centerformat, SIGNAL(clicked()), this, SLOT(onButtoncenterformatClicked()));
    connect(totalformat, SIGNAL(clicked()), this, SLOT(onButtontotalformatClicked()));
    connect(bottomformat, SIGNAL(clicked()), this, SLOT(onButtonbottomformatClicked()));
    connect(okButton, SIGNAL(clicked()), this, SLOT(onButtonMakeSureClicked()));
    connect(cancelButton, SIGNAL(clicked()), this, SLOT(onButtonCancelClicked()));
    connect(pathChoose, SIGNAL(clicked()), this, SLOT(onButtonFileChooseClicked()));
    connect(Xline, SIGNAL(textChanged(QString)), this, SLOT(onLineEditXLineChanged(QString)));
    connect(Yline, SIGNAL(textChanged(QString)), this, SLOT(onLineEditYLineChanged(QString)));
    connect(watermarkcolorcomboBox, SIGNAL(activated(int)), this, SLOT(waterMarkColorChoose(int)));
    buildColorList();
    emit signalUpdateImageUI();
    connect(textLineEdit, SIGNAL(textChanged(QString)), this, SLOT(onLineEditTextChanged(QString)));
}

ImageSet::~ImageSet()
{
    delete ui;
}

void ImageSet::InitImageSetUI()
{
    const CToolHelper &t = m_toolhelper;
    WindowStyle::frameWindow(this, t, kWindowSize, t.imageuicolor);
    setMinimumSize(0, 0);
    imageSetTitlebar = WindowStyle::closeOnlyTitleBar(this, t, "图像设置", 13, t.closetip);
    imageSetTitlebar->setTitleIcon(t.uiiconpath, QSize(16, 16));

    maintabwidget = new QTabWidget;
    maintabwidget->setStyleSheet(WindowStyle::tabBar(t));
    maintabwidget->addTab(waterMarkPage(), "水印设置");
    maintabwidget->addTab(bookPage(), "拍书导出设置");

    okButton = new QPushButton("确定");
    cancelButton = new QPushButton("取消");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {okButton, cancelButton}) {
        b->setFixedSize(70, 28);
        b->setStyleSheet(WindowStyle::textButton(t, 10));
        buttons->addWidget(b);
    }

    const QList<QPair<QWidget *, const char *>> named = {{withoutwatermarkbtn, "withoutwatermarkbtn"},
                                                         {Imagewatermarkbtn, "Imagewatermarkbtn"},
                                                         {watermarkbtn, "watermarkbtn"},
                                                         {ImageWaterPath, "ImageWaterPath"},
                                                         {pathChoose, "pathChoose"},
                                                         {Xline, "Xline"},
                                                         {Yline, "Yline"},
                                                         {textLineEdit, "textLineEdit"},
                                                         {sizecomboBox, "sizecomboBox"},
                                                         {watermarkcolorcomboBox, "watermarkcolorcomboBox"},
                                                         {transparentcomboBox, "transparentcomboBox"},
                                                         {topformat, "topformat"},
                                                         {centerformat, "centerformat"},
                                                         {totalformat, "totalformat"},
                                                         {bottomformat, "bottomformat"},
                                                         {lefttorightbtn, "lefttorightbtn"},
                                                         {righttoleftbtn, "righttoleftbtn"},
                                                         {merginbtn, "merginbtn"},
                                                         {onlyleftbtn, "onlyleftbtn"},
                                                         {onlyrightbtn, "onlyrightbtn"},
                                                         {okButton, "okButton"},
                                                         {cancelButton, "cancelButton"},
                                                         {maintabwidget, "maintabwidget"}};
    for (const auto &n : named)
        n.first->setObjectName(n.second);

    auto *layout = new QVBoxLayout(ui->centralwidget);
    layout->setContentsMargins(16, 40 + 12, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(maintabwidget);
    layout->addLayout(buttons);
}

QWidget *ImageSet::waterMarkPage()
{
    const CToolHelper &t = m_toolhelper;
    const QString edits = WindowStyle::lineEdit(t), radios = WindowStyle::radioButton(t),
                  combos = WindowStyle::comboBox(t);
    auto *page = new QWidget;

    withoutwatermarkbtn = new QRadioButton("无水印");
    Imagewatermarkbtn = new QRadioButton("图片水印");
    watermarkbtn = new QRadioButton("添加水印");
    watermarkgroup = new QButtonGroup(this);
    watermarkgroup->addButton(withoutwatermarkbtn, 0);
    watermarkgroup->addButton(Imagewatermarkbtn, 1);
    watermarkgroup->addButton(watermarkbtn, 2);
    auto *modes = new QHBoxLayout;
    for (QRadioButton *r : {withoutwatermarkbtn, Imagewatermarkbtn, watermarkbtn}) {
        r->setStyleSheet(radios);
        modes->addWidget(r);
    }
    modes->addStretch();

    auto makeEdit = [&edits]() {
        auto *edit = new QLineEdit;
        edit->setFixedHeight(25);
        edit->setTextMargins(4, 0, 4, 0);
        edit->setStyleSheet(edits);
        return edit;
    };
    auto *imageBox = new QGroupBox("图片水印");
    ImageTip = new QLabel("图片路径");
    ImageWaterPath = makeEdit();
    pathChoose = new QPushButton("选择");
    pathChoose->setFixedSize(60, 25);
    pathChoose->setStyleSheet(WindowStyle::textButton(t, 6));
    pointX = new QLabel("坐标X:");
    pointY = new QLabel("坐标Y:");
    Xline = makeEdit();
    Yline = makeEdit();
    for (QLineEdit *edit : {Xline, Yline}) {
        edit->setText("0");
        edit->setValidator(new QIntValidator(edit));
    }
    auto *image = new QGridLayout(imageBox);
    image->setContentsMargins(12, 18, 12, 12);
    image->addWidget(ImageTip, 0, 0);
    image->addWidget(ImageWaterPath, 0, 1, 1, 3);
    image->addWidget(pathChoose, 0, 4);
    image->addWidget(pointX, 1, 0);
    image->addWidget(Xline, 1, 1);
    image->addWidget(pointY, 1, 2, Qt::AlignRight);
    image->addWidget(Yline, 1, 3);

    auto *textBox = new QGroupBox("文字水印");
    textLineEdit = makeEdit();
    textLineEdit->setMaxLength(kTextMax);
    auto makeCombo = [&combos](const QStringList &items) {
        auto *box = new QComboBox;
        box->addItems(items);
        box->setFixedHeight(25);
        box->setStyleSheet(combos);
        return box;
    };
    sizecomboBox = makeCombo(kFontSizes);
    watermarkcolorcomboBox = makeCombo({});
    transparentcomboBox = makeCombo({"半透明", "不透明"});

    const QString top = t.watermarkTopSelectpath, center = t.watermarkCenterSelectpath,
                  oblique = t.watermarkObliqueSelectpath, bottom = t.watermarkBottomSelectpath;
    topstyle = placementStyle(t.watermarkTopNormalpath, top);
    centerstyle = placementStyle(t.watermarkCenterNormalpath, center);
    totalstyle = placementStyle(t.watermarkObliqueNormalpath, oblique);
    bottomstyle = placementStyle(t.watermarkBottomNormalpath, bottom);
    tophovorstyle = placementStyle(top, top);
    centerhovorstyle = placementStyle(center, center);
    totalhovorstyle = placementStyle(oblique, oblique);
    bottomhovorstyle = placementStyle(bottom, bottom);
    topdisablestyle = placementStyle(t.watermarkTopDisablepath, t.watermarkTopDisablepath);
    centerdisablestyle = placementStyle(t.watermarkCenterDisablepath, t.watermarkCenterDisablepath);
    totaldisablestyle = placementStyle(t.watermarkObliqueDisablepath, t.watermarkObliqueDisablepath);
    bottomdisablestyle = placementStyle(t.watermarkBottomDisablepath, t.watermarkBottomDisablepath);
    topformat = new QPushButton;
    centerformat = new QPushButton;
    totalformat = new QPushButton;
    bottomformat = new QPushButton;
    auto *formats = new QHBoxLayout;
    const QStringList tips = {"顶部", "居中", "倾斜", "底部"};
    int i = 0;
    for (QPushButton *b : {topformat, centerformat, totalformat, bottomformat}) {
        b->setFixedSize(48, 48);
        b->setToolTip(tips.at(i++));
        formats->addWidget(b);
    }
    formats->addStretch();

    auto *text = new QGridLayout(textBox);
    text->setContentsMargins(12, 18, 12, 12);
    text->setVerticalSpacing(8);
    text->setColumnStretch(1, 1);
    const QList<QPair<QString, QWidget *>> rows = {{"文字", textLineEdit},
                                                   {"字号", sizecomboBox},
                                                   {"颜色", watermarkcolorcomboBox},
                                                   {"透明度", transparentcomboBox}};
    for (int r = 0; r < rows.size(); ++r) {
        text->addWidget(new QLabel(rows.at(r).first), r, 0);
        text->addWidget(rows.at(r).second, r, 1);
    }
    text->addWidget(new QLabel("版式"), rows.size(), 0);
    text->addLayout(formats, rows.size(), 1);

    auto *tip = new QLabel(t.imagesetWaterTip);
    tip->setWordWrap(true);
    tip->setStyleSheet("QLabel{color: rgb(100,116,139);}");

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    layout->addLayout(modes);
    layout->addWidget(imageBox);
    layout->addWidget(textBox);
    layout->addWidget(tip);
    layout->addStretch();
    return page;
}

QWidget *ImageSet::bookPage()
{
    const CToolHelper &t = m_toolhelper;
    auto *page = new QWidget;
    lefttorightbtn = new QRadioButton("左右页分开导出(翻右页)");
    righttoleftbtn = new QRadioButton("左右页分开导出(翻左页)");
    merginbtn = new QRadioButton("左右页拼接后一起导出");
    onlyleftbtn = new QRadioButton("只导出左页");
    onlyrightbtn = new QRadioButton("只导出右页");
    bookgroup = new QButtonGroup(this);
    const QList<QPair<QRadioButton *, QString>> radios = {{lefttorightbtn, t.bookLefttoRightpath},
                                                          {righttoleftbtn, t.bookRighttoLeftpath},
                                                          {merginbtn, t.bookMergepath},
                                                          {onlyleftbtn, t.bookOnlyLeftpath},
                                                          {onlyrightbtn, t.bookOnlyRightpath}};
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(14);
    for (int i = 0; i < radios.size(); ++i) {
        QRadioButton *r = radios.at(i).first;
        bookgroup->addButton(r, i);
        r->setIcon(QIcon(radios.at(i).second));
        r->setIconSize(QSize(44, 32));
        r->setStyleSheet(WindowStyle::radioButton(t));
        layout->addWidget(r);
    }
    layout->addStretch();
    return page;
}

void ImageSet::buildColorList()
{
    watermarkcolorcomboBox->clear();
    for (const NamedColor &c : kColors)
        watermarkcolorcomboBox->addItem(swatch(c.color), c.name, c.color);
    if (m_toolhelper.bIsSupportOtherColors) {
        const QColor custom(cred, cgreen, cblue, calpha);
        watermarkcolorcomboBox->addItem(swatch(custom), kCustomColor, custom);
    }
}

void ImageSet::UpdateBook(bool supported)
{
    if (supported) {
        qWarning("ImageSet::UpdateBook() -- 含拍书功能");
    } else {
        qWarning("ImageSet::UpdateBook() -- 不含拍书功能");
        maintabwidget->removeTab(1);
    }
}

void ImageSet::UpdateWaterMark(bool supported)
{
    if (supported) {
        qWarning("ImageSet::UpdateWaterMark() -- 含水印设置功能");
    } else {
        qWarning("ImageSet::UpdateWaterMark() -- 不含水印设置功能");
        maintabwidget->removeTab(0);
    }
}

void ImageSet::slotUpdateImageUI()
{
    formatCode = waterparam.nPositionCode;
    if (!waterparam.bIsWater) {
        withoutwatermarkbtn->setChecked(true);
    } else if (waterparam.bIsWaterImage) {
        slotEnableImageWidget();
        Imagewatermarkbtn->setChecked(true);
    } else {
        slotEnableCenterWidget();
        watermarkbtn->setChecked(true);
        selectFormat(formatCode);
    }
    const int size = kFontSizes.indexOf(QString::number(waterparam.nFontSize));
    sizecomboBox->setCurrentIndex(size > 0 ? size : 0);
    ImageWaterPath->setText(QString::fromUtf8(waterparam.szWaterImagePath));
    textLineEdit->setText(QString::fromUtf8(waterparam.szWaterContent));
    Xline->setText(QString::number(waterparam.nWaterPointX));
    Yline->setText(QString::number(waterparam.nWaterPointY));
    // A damaged settings file must not leave a list or the book choice empty.
    const bool opacityKnown = waterparam.nOpacity >= 0 && waterparam.nOpacity < transparentcomboBox->count();
    transparentcomboBox->setCurrentIndex(opacityKnown ? waterparam.nOpacity : 0);
    QAbstractButton *book = bookgroup->button(bookexportindex);
    (book ? book : lefttorightbtn)->setChecked(true);
    const int color = watermarkcolorcomboBox->findText(QString::fromUtf8(waterparam.nColor));
    watermarkcolorcomboBox->setCurrentIndex(color >= 0 ? color : 0);
}

void ImageSet::slotDisableCenterWidget()
{
    for (QWidget *w : std::initializer_list<QWidget *>{textLineEdit, sizecomboBox, watermarkcolorcomboBox,
                                                       transparentcomboBox, topformat, centerformat,
                                                       totalformat, bottomformat})
        w->setEnabled(false);
    topformat->setStyleSheet(topdisablestyle);
    centerformat->setStyleSheet(centerdisablestyle);
    totalformat->setStyleSheet(totaldisablestyle);
    bottomformat->setStyleSheet(bottomdisablestyle);
}

// The selected look follows the placement that OK would send.
void ImageSet::slotEnableCenterWidget()
{
    for (QWidget *w : std::initializer_list<QWidget *>{textLineEdit, sizecomboBox, watermarkcolorcomboBox,
                                                       transparentcomboBox, topformat, centerformat,
                                                       totalformat, bottomformat})
        w->setEnabled(true);
    selectFormat(formatCode);
}

void ImageSet::slotDisableImageWidget()
{
    for (QWidget *w : std::initializer_list<QWidget *>{ImageWaterPath, pathChoose, Xline, Yline})
        w->setEnabled(false);
}

void ImageSet::slotEnableImageWidget()
{
    for (QWidget *w : std::initializer_list<QWidget *>{ImageWaterPath, pathChoose, Xline, Yline})
        w->setEnabled(true);
}

void ImageSet::onButtonWaterMarkGroupClicked()
{
    switch (watermarkgroup->checkedId()) {
    case 0:
        emit signalDisableCenterWidget();
        emit signalDisableImageWidget();
        break;
    case 1:
        emit signalEnableImageWidget();
        emit signalDisableCenterWidget();
        break;
    case 2:
        emit signalEnableCenterWidget();
        emit signalDisableImageWidget();
        break;
    default:
        break;
    }
}

void ImageSet::selectFormat(int code)
{
    formatCode = code;
    topformat->setStyleSheet(code == 0 ? tophovorstyle : topstyle);
    centerformat->setStyleSheet(code == 1 ? centerhovorstyle : centerstyle);
    totalformat->setStyleSheet(code == 2 ? totalhovorstyle : totalstyle);
    bottomformat->setStyleSheet(code == 3 ? bottomhovorstyle : bottomstyle);
}

void ImageSet::onButtontopformatClicked()
{
    selectFormat(0);
}

void ImageSet::onButtoncenterformatClicked()
{
    selectFormat(1);
}

void ImageSet::onButtontotalformatClicked()
{
    selectFormat(2);
}

void ImageSet::onButtonbottomformatClicked()
{
    selectFormat(3);
}

void ImageSet::onLineEditTextChanged(QString text)
{
    if (text.length() >= kTextMax && watermarkgroup->checkedId() == 2) {
        qWarning("文字水印输入长度将超出30,请注意检验!");
        if (setinfo.IsErrorTip)
            QMessageBox::warning(nullptr, m_toolhelper.warningTitle, m_toolhelper.waterMarkLengthOverFlow,
                                 QMessageBox::Ok);
    }
}

void ImageSet::clampCoordinate(QLineEdit *edit, const QString &text)
{
    const int n = text.toInt(nullptr, 10);
    QString fixed;
    if (text.isEmpty() || n <= 0)
        fixed = "0";
    else if (n >= kCoordinateMax)
        fixed = QString::number(kCoordinateMax);
    if (!fixed.isEmpty() && fixed != text)
        edit->setText(fixed);
}

void ImageSet::onLineEditXLineChanged(QString text)
{
    clampCoordinate(Xline, text);
}

void ImageSet::onLineEditYLineChanged(QString text)
{
    clampCoordinate(Yline, text);
}

void ImageSet::setColorFromName(const QString &name)
{
    for (const NamedColor &c : kColors) {
        if (name == c.name) {
            cred = c.color.red();
            cgreen = c.color.green();
            cblue = c.color.blue();
            calpha = c.color.alpha();
        }
    }
}

void ImageSet::waterMarkColorChoose(int)
{
    const QString name = watermarkcolorcomboBox->currentText();
    if (name != kCustomColor) {
        setColorFromName(name);
        return;
    }
    QColorDialog dialog(QColor(cred, cgreen, cblue, calpha), m_toolhelper.dialogHasParent ? this : nullptr);
    dialog.setWindowFlags(dialog.windowFlags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    const QColor chosen = dialog.exec() == QDialog::Accepted ? dialog.selectedColor() : QColor();
    if (!chosen.isValid()) {
        qWarning("QColor Not  valid !!!!!!!!");
        return;
    }
    cred = chosen.red();
    cgreen = chosen.green();
    cblue = chosen.blue();
    calpha = chosen.alpha();
    watermarkcolorcomboBox->setItemIcon(5, swatch(chosen));
    watermarkcolorcomboBox->setItemData(5, chosen);
}

void ImageSet::onButtonFileChooseClicked()
{
    const QFileInfo current(ImageWaterPath->text());
    const QString start = current.isFile()
                              ? current.absolutePath()
                              : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QFileDialog dialog(m_toolhelper.dialogHasParent ? this : nullptr, "打开图片", start);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter("图像(*.bmp *.jpg *.png *.tiff)");
    dialog.setViewMode(QFileDialog::Detail);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        strImagePath = dialog.selectedFiles().first();
    ImageWaterPath->setText(strImagePath);
    qWarning("ImageSet::onButtonFileChooseClicked() __ 图片水印的路径为:%s", qUtf8Printable(strImagePath));
}

void ImageSet::onButtonMakeSureClicked()
{
    if (watermarkcolorcomboBox->currentText() != kCustomColor)
        setColorFromName(watermarkcolorcomboBox->currentText());
    // The record keeps the flags it was opened with until the checks pass:
    // a refused OK followed by Cancel reports them unchanged.
    const int mode = watermarkgroup->checkedId();
    const bool isWater = mode == 1 || mode == 2;
    const bool isWaterImage = mode == 1;
    QString text = textLineEdit->text();
    const QString imagePath = ImageWaterPath->text();

    if (mode == 1) {
        if (imagePath.isEmpty() || !QFileInfo(imagePath).isFile()) {
            if (setinfo.IsErrorTip)
                QMessageBox::warning(this, m_toolhelper.warningTitle, m_toolhelper.waterImagePathIsNotExist,
                                     QMessageBox::Yes);
            return;
        }
        if (imagePath.length() > kImagePathMax) {
            qWarning("图片水印路径过长,设置失败");
            if (setinfo.IsErrorTip)
                QMessageBox::warning(this, m_toolhelper.warningTitle, m_toolhelper.waterImagePathOverFlow,
                                     QMessageBox::Yes);
            return;
        }
    } else if (mode == 2 && text.isEmpty()) {
        if (setinfo.IsErrorTip) {
            if (QMessageBox::question(this, m_toolhelper.tipTitle, m_toolhelper.waterMarkLengthIsNull,
                                      QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
                return;
            qWarning("将使用默认水印文字！！！");
            text = "WATERMARK";
            textLineEdit->setText(text);
        } else {
            qWarning("无文字水印，无错误提示，无法正确设置");
            text = "WATERMARK";
        }
    }

    // These buffers are the record's texts only while the signal is delivered.
    QByteArray imagePathText = imagePath.toUtf8();
    QByteArray content = text.toUtf8();
    QByteArray colorName = watermarkcolorcomboBox->currentText().toUtf8();
    waterparam.bIsWater = isWater;
    waterparam.bIsWaterImage = isWaterImage;
    waterparam.szWaterImagePath = imagePathText.data();
    waterparam.nWaterPointX = Xline->text().toInt(nullptr, 10);
    waterparam.nWaterPointY = Yline->text().toInt(nullptr, 10);
    waterparam.szWaterContent = content.data();
    waterparam.nColor = colorName.data();
    waterparam.nFontSize = sizecomboBox->currentIndex() == 0 ? 0 : sizecomboBox->currentText().toInt();
    waterparam.nFontR = cred;
    waterparam.nFontG = cgreen;
    waterparam.nFontB = cblue;
    waterparam.nOpacity = transparentcomboBox->currentIndex();
    waterparam.nPositionCode = formatCode;
    emit signalIsWaterMark(waterparam.bIsWater, waterparam.bIsWaterImage);
    emit signalUpdateWaterMarkParam(waterparam);
    waterparam.szWaterImagePath = waterparam.szWaterContent = waterparam.nColor = nullptr;

    bookexportindex = bookgroup->checkedId();
    emit signalUpdateBookExportParam(bookexportindex);
    onButtonCloseClicked();
}

void ImageSet::onButtonCancelClicked()
{
    emit signalUpdateImageUI();
    emit signalIsWaterMark(waterparam.bIsWater, waterparam.bIsWaterImage);
    onButtonCloseClicked();
}

void ImageSet::onButtonCloseClicked()
{
    emit signalChangeStatus();
    close();
}

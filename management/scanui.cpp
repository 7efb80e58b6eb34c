#include "scanui.h"
#include "ui_scanui.h"

#include "titlebar.h"
#include "windowstyle.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyleOption>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
const QSize kWindowSize(900, 480);

// The scanner's own choices, in order, without the empty entries.
QStringList offered(const QStringList &entries)
{
    QStringList items;
    for (const QString &e : entries)
        if (!e.isEmpty())
            items << e;
    return items;
}
} // namespace

ScanUI::ScanUI(tagDEVPARAM devparam, tagSETPARAM setparam, tagSCANNERSET scannerset, tagIMAGESET imageset,
               QWidget *parent)
    : QMainWindow(parent), ui(new Ui::ScanUI)
{
    ui->setupUi(this);
    m_toolhelper.SettingAllSets();
    devindex = devparam.nCurrentIndex;
    labelname = devparam.scannerParam.scannerName;
    labelstate = "空闲";
    savePath = setparam.savepath;
    qWarning("ScanUI()_______path : %s", qUtf8Printable(savePath));
    ScannerSetInfo = scannerset;
    ImageSetInfo = imageset;

    initScanUI(devparam);
    initConnectin();

    scanmodeComboBox->setCurrentIndex(ScannerSetInfo.scanmode);
    colormodeComboBox->setCurrentIndex(ScannerSetInfo.colormode);
    fileformatComboBox->setCurrentIndex(ScannerSetInfo.fileformat);
    resolutionComboBox->setCurrentIndex(ScannerSetInfo.resolution);
    scansizeComboBox->setCurrentIndex(ScannerSetInfo.size);
    cutmethodComboBox->setCurrentIndex(ImageSetInfo.cropmode);
    filterComboBox->setCurrentIndex(ImageSetInfo.filter);
    edgemendingComboBox->setCurrentIndex(ImageSetInfo.edgemending);
    rotationComboBox->setCurrentIndex(ImageSetInfo.rotation);
}

ScanUI::~ScanUI()
{
    delete ui;
}

// The theme's preview and scan images are pictograms: drawn beside the text
// rather than stretched under it.
QPushButton *ScanUI::imageButton(const QString &text, const QString &image)
{
    auto *button = new QPushButton(QIcon(image), text);
    button->setFixedSize(96, 34);
    button->setIconSize(QSize(20, 20));
    button->setStyleSheet(WindowStyle::textButton(m_toolhelper, 8));
    return button;
}

void ScanUI::initScanUI(const tagDEVPARAM &devparam)
{
    const CToolHelper &t = m_toolhelper;
    resize(kWindowSize);
    setMinimumWidth(kWindowSize.width());
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setWindowTitle(t.titlename);
    setWindowIcon(QIcon(t.uiiconpath));
    setStyleSheet(QString("ScanUI{background: rgb(%1);}").arg(WindowStyle::rgb(t.uibackcolor)));

    scantitle = new TitleBar(this);
    scantitle->setTitleIcon(t.uiiconpath, QSize(16, 16));
    scantitle->setTitleContent(t.titlename, 9);
    scantitle->setTitleWidth(width());
    scantitle->setBackgroundColor(t.title_background_R, t.title_background_G, t.title_background_B, false);
    scantitle->setButtonType(MIN_MAX_BUTTON);
    for (QWidget *w : std::initializer_list<QWidget *>{scantitle->m_pButtonSet, scantitle->m_pButtonfunction,
                                                       scantitle->m_comboSelect, scantitle->m_list,
                                                       scantitle->m_capture, scantitle->m_scan})
        w->hide();
    auto styleTitleButton = [&t](QPushButton *b, const QString &normal, const QString &pressed) {
        b->setFixedSize(36, 30);
        b->setStyleSheet(WindowStyle::titleButton(t, normal, normal, pressed));
    };
    styleTitleButton(scantitle->m_pButtonMin, t.miniconpath, t.minpressiconpath);
    styleTitleButton(scantitle->m_pButtonMax, t.maxiconpath, t.maxpressiconpath);
    styleTitleButton(scantitle->m_pButtonRestore, t.restoreiconpath, t.restorepressiconpath);
    styleTitleButton(scantitle->m_pButtonClose, t.closeiconpath, t.closepressiconpath);

    scanlabel = new QLabel(QString("型号：%1\n状态: %2").arg(labelname, labelstate));
    scanlabel->setStyleSheet("QLabel{font: 12px;}");

    auto makeList = [&t](const QStringList &items) {
        auto *box = new QComboBox;
        box->addItems(items);
        box->setFixedHeight(28);
        box->setMinimumWidth(200);
        box->setStyleSheet(WindowStyle::comboBox(t));
        return box;
    };
    const SCANNERPARAM &scanner = devparam.scannerParam;
    scanmodeComboBox = makeList(offered(scanner.scannerScanSource));
    colormodeComboBox = makeList(offered(scanner.scannerScanMode));
    fileformatComboBox = makeList({"jpg", "tiff", "png", "pdf"});
    resolutionComboBox = makeList(offered(scanner.scannerScanResolution));
    scansizeComboBox = makeList(offered(scanner.scannerScanPaperSize));
    cutmethodComboBox = makeList({"不裁切", "单图裁切", "多图裁切"});
    filterComboBox = makeList(
        {"原始图片", "灰度图片", "黑白文档", "彩色文档", "红印文档", "蓝印文档", "彩色照片", "票据增强"});
    edgemendingComboBox = makeList({"不填充", "自动填充白色", "自动填充周边色"});
    rotationComboBox = makeList({"0", "90", "180", "270", "水平镜像", "垂直镜像"});

    const QList<QPair<QWidget *, const char *>> named = {
        {scanmodeComboBox, "scanmodeComboBox"},     {colormodeComboBox, "colormodeComboBox"},
        {fileformatComboBox, "fileformatComboBox"}, {resolutionComboBox, "resolutionComboBox"},
        {scansizeComboBox, "scansizeComboBox"},     {cutmethodComboBox, "cutmethodComboBox"},
        {filterComboBox, "filterComboBox"},         {edgemendingComboBox, "edgemendingComboBox"},
        {rotationComboBox, "rotationComboBox"}};
    for (const auto &n : named)
        n.first->setObjectName(n.second);

    auto page = [](const QList<QPair<QString, QWidget *>> &rows) {
        auto *widget = new QWidget;
        auto *form = new QFormLayout(widget);
        form->setContentsMargins(16, 16, 16, 16);
        form->setVerticalSpacing(12);
        form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
        for (const auto &row : rows)
            form->addRow(row.first, row.second);
        return widget;
    };
    auto *watermark = new QLineEdit;
    watermark->setFixedHeight(28);
    watermark->setStyleSheet(WindowStyle::lineEdit(t));
    auto *tabs = new QTabWidget;
    tabs->setStyleSheet("QTabWidget::pane{border: 0px; left: 0px; right: 0px;}" + WindowStyle::tabBar(t));
    tabs->addTab(page({{"扫描模式:", scanmodeComboBox},
                       {"色彩模式:", colormodeComboBox},
                       {"文件格式:", fileformatComboBox},
                       {"分辨率:", resolutionComboBox},
                       {"扫描尺寸:", scansizeComboBox}}),
                 "扫描设置");
    tabs->addTab(page({{"裁切方式:", cutmethodComboBox},
                       {"文档滤镜:", filterComboBox},
                       {"补边:", edgemendingComboBox},
                       {"旋转角度:", rotationComboBox},
                       {"文本水印:", watermark}}),
                 "图像处理");

    previewbtn = imageButton("预览", t.previewiconpath);
    scanbtn = imageButton("扫描", t.scanimage);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(previewbtn);
    buttons->addWidget(scanbtn);

    auto *settings = new QVBoxLayout;
    settings->addWidget(scanlabel);
    settings->addWidget(tabs, 1);
    settings->addLayout(buttons);

    auto *preview = new QLabel("预览区域");
    preview->setMinimumSize(200, 200);
    preview->setAlignment(Qt::AlignCenter);
    preview->setStyleSheet(
        QString("QLabel{background: rgb(%1);border:1px solid rgb(%2);color: rgb(148,163,184);}")
            .arg(WindowStyle::rgb(t.mainlistviewcolor), WindowStyle::rgb(t.tabBordercolor)));

    auto *layout = new QHBoxLayout(ui->centralwidget);
    layout->setContentsMargins(16, 40 + 12, 16, 16);
    layout->setSpacing(16);
    layout->addLayout(settings, 2);
    layout->addWidget(preview, 3);
}

void ScanUI::initConnectin()
{
    connect(scantitle, SIGNAL(signalButtonMinClicked()), this, SLOT(onBtnMinClicked()));
    connect(scantitle, SIGNAL(signalButtonMaxClicked()), this, SLOT(onBtnMaxClicked()));
    connect(scantitle, SIGNAL(signalButtonRestoreClicked()), this, SLOT(onBtnRestoreClicked()));
    connect(scantitle, SIGNAL(signalButtonCloseClicked()), this, SLOT(onBtnCloseClicked()));
    connect(previewbtn, SIGNAL(clicked(bool)), this, SLOT(onBtnPreviewClicked()));
    connect(scanbtn, SIGNAL(clicked(bool)), this, SLOT(onBtnScanClicked()));
    connect(scanmodeComboBox, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedScanMode(int)));
    connect(colormodeComboBox, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedColorMode(int)));
    connect(fileformatComboBox, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedFileFormat(int)));
    connect(resolutionComboBox, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedResolution(int)));
    connect(scansizeComboBox, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedScanSize(int)));
    connect(cutmethodComboBox, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedCutMethod(int)));
    connect(filterComboBox, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedFilter(int)));
    connect(edgemendingComboBox, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedEdgeMending(int)));
    connect(rotationComboBox, SIGNAL(currentIndexChanged(int)), this,
            SLOT(comboboxCurrentIndexChangedRotation(int)));
}

void ScanUI::comboboxCurrentIndexChangedScanMode(int index)
{
    ScannerSetInfo.scanmode = index;
    emit signalScanModeChanged(index);
}

void ScanUI::comboboxCurrentIndexChangedColorMode(int index)
{
    ScannerSetInfo.colormode = index;
    emit signalColorModeChanged(index);
}

void ScanUI::comboboxCurrentIndexChangedFileFormat(int index)
{
    ScannerSetInfo.fileformat = index;
    emit signalFileFormatChanged(index);
}

void ScanUI::comboboxCurrentIndexChangedResolution(int index)
{
    ScannerSetInfo.resolution = index;
    emit signalResolutionChanged(index);
}

void ScanUI::comboboxCurrentIndexChangedScanSize(int index)
{
    ScannerSetInfo.size = index;
    emit signalScanSizeChanged(index);
}

void ScanUI::comboboxCurrentIndexChangedCutMethod(int index)
{
    ImageSetInfo.cropmode = index;
    emit signalCutMethodChanged(index);
}

void ScanUI::comboboxCurrentIndexChangedFilter(int index)
{
    ImageSetInfo.filter = index;
    emit signalFilterChanged(index);
}

void ScanUI::comboboxCurrentIndexChangedEdgeMending(int index)
{
    ImageSetInfo.edgemending = index;
    emit signalEdgeMendingChanged(index);
}

void ScanUI::comboboxCurrentIndexChangedRotation(int index)
{
    ImageSetInfo.rotation = index;
    emit signalRotationChanged(index);
}

void ScanUI::onBtnMinClicked()
{
    showMinimized();
}

void ScanUI::onBtnMaxClicked()
{
    scantitle->saveRestoreInfo(pos(), size());
    QRect area;
    if (QScreen *screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    setGeometry(area.x() - 3, area.y() - 3, area.width() + 6, area.height() + 6);
}

void ScanUI::onBtnRestoreClicked()
{
    QPoint pos;
    QSize size;
    scantitle->getRestoreInfo(pos, size);
    setGeometry(QRect(pos, size));
}

// The scanner is driven by the home window; these buttons have nothing to do here.
void ScanUI::onBtnCloseClicked() {}
void ScanUI::onBtnPreviewClicked() {}
void ScanUI::onBtnScanClicked() {}

// The title bar's close button does nothing; a close by the window system
// hands the screen back to the home window.
void ScanUI::closeEvent(QCloseEvent *event)
{
    emit signalScanUIClosed();
    QMainWindow::closeEvent(event);
}

void ScanUI::paintEvent(QPaintEvent *event)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    QMainWindow::paintEvent(event);
}

#include "set.h"
#include "ui_set.h"

#include "nameformat.h"
#include "titlebar.h"
#include "windowstyle.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {
// Longer folders do not fit the capture's path buffer with a name appended.
const int kSavePathMax = 70;
const QSize kWindowSize(440, 500);

QString hex4(int id)
{
    return QString("%1").arg(id, 4, 16, QChar('0'));
}
} // namespace

Set::Set(tagSETPARAM setparam, tagDEVPARAM devparam, int pid, int vid, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::Set), m_parent(parent)
{
    ui->setupUi(this);
    m_toolhelper.SettingAllSets();

    setParam = setparam;
    m_originalPath = setparam.savepath;

    initSetUI();
    fillDeviceBlock(devparam, pid, vid);

    connect(setTitlebar, SIGNAL(signalButtonCloseClicked()), this, SLOT(onButtonCloseClicked()));
    connect(selectbtn, SIGNAL(clicked()), this, SLOT(onButtonFileClicked()));
    connect(scanvoice, SIGNAL(stateChanged(int)), this, SLOT(scanvoiceStateChangedSlot(int)));
    connect(error, SIGNAL(stateChanged(int)), this, SLOT(errortipStateChangedSlot(int)));
    connect(setFileNamebtn, SIGNAL(clicked()), this, SLOT(onButtonNameFormatSetSlot()));
}

Set::~Set()
{
    qDebug("this is ~Set().");
    delete ui;
}

void Set::initSetUI()
{
    const CToolHelper &t = m_toolhelper;
    WindowStyle::frameWindow(this, t, kWindowSize, t.setuicolor);
    setTitlebar = WindowStyle::closeOnlyTitleBar(this, t, "设置", 12, "关闭");
    setTitlebar->m_pIcon->setFixedSize(30, 30);
    setTitlebar->setTitleIcon(t.seticonpath, QSize(30, 30));

    tabWidget = new QTabWidget;
    tabWidget->setStyleSheet(WindowStyle::tabBar(t));
    tabWidget->addTab(basicPage(), "基础设置");
    tabWidget->addTab(aboutPage(), "关于");

    auto *layout = new QVBoxLayout(ui->centralwidget);
    layout->setContentsMargins(16, 40 + 12, 16, 16);
    layout->addWidget(tabWidget);
    qWarning("设置界面初始化完成");
}

QWidget *Set::basicPage()
{
    const CToolHelper &t = m_toolhelper;
    auto *page = new QWidget;
    const QString edits = WindowStyle::lineEdit(t);
    const QString buttons = WindowStyle::textButton(t, 6);

    pathline = new QLineEdit(setParam.savepath);
    selectbtn = new QPushButton("选择");
    fileNameEdit = new QLineEdit(setParam.nameformatType == 0
                                     ? currentTimeName()
                                     : QString("%1%2%3").arg(setParam.nameFormat.nameBase,
                                                             setParam.nameFormat.strSeparator,
                                                             QString::number(setParam.nameFormat.startNum)));
    setFileNamebtn = new QPushButton("文件命名设置");
    for (QLineEdit *edit : {pathline, fileNameEdit}) {
        edit->setReadOnly(true);
        edit->setFixedHeight(25);
        edit->setStyleSheet(edits);
        edit->setTextMargins(4, 0, 4, 0);
        edit->setCursorPosition(0);
    }
    pathline->setToolTip(setParam.savepath);
    for (QPushButton *b : {selectbtn, setFileNamebtn}) {
        b->setFixedSize(100, 25);
        b->setStyleSheet(buttons);
    }

    auto *storage = new QGridLayout;
    storage->setHorizontalSpacing(8);
    storage->setVerticalSpacing(6);
    storage->addWidget(new QLabel("存储路径"), 0, 0, 1, 2);
    storage->addWidget(pathline, 1, 0);
    storage->addWidget(selectbtn, 1, 1);
    storage->addWidget(new QLabel("存储名称"), 2, 0, 1, 2);
    storage->addWidget(fileNameEdit, 3, 0);
    storage->addWidget(setFileNamebtn, 3, 1);

    auto checkRow = [](const QString &caption, QCheckBox *box) {
        auto *row = new QWidget;
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *label = new QLabel(caption);
        label->setFixedSize(100, 20);
        box->setFixedSize(50, 20);
        layout->addWidget(label);
        layout->addWidget(box);
        layout->addStretch();
        return row;
    };
    scanvoice = new QCheckBox;
    scanvoice->setChecked(setParam.IsScanVoice);
    QWidget *voiceRow = checkRow("扫描音效", scanvoice);
    voiceRow->hide();
    error = new QCheckBox;
    error->setChecked(setParam.IsErrorTip);

    bottomwidget = new QGroupBox("设备信息");
    devName = new QLabel;
    devResolution = new QLabel;
    camNum = new QLabel;
    auto *device = new QGridLayout(bottomwidget);
    device->setContentsMargins(12, 18, 12, 12);
    device->setVerticalSpacing(8);
    device->setColumnStretch(1, 1);
    const QStringList captions = {"设备名称:", "分辨率:", "设备型号:"};
    const QList<QLabel *> values = {devName, devResolution, camNum};
    for (int i = 0; i < values.size(); ++i) {
        auto *caption = new QLabel(captions.at(i));
        caption->setFixedWidth(70);
        caption->setStyleSheet("QLabel{color: rgb(100,116,139);}");
        values.at(i)->setTextInteractionFlags(Qt::TextSelectableByMouse);
        device->addWidget(caption, i, 0);
        device->addWidget(values.at(i), i, 1);
    }

    const QList<QPair<QWidget *, const char *>> named = {
        {pathline, "pathline"},           {selectbtn, "selectbtn"},
        {fileNameEdit, "fileNameEdit"},   {setFileNamebtn, "setFileNamebtn"},
        {scanvoice, "scanvoice"},         {error, "error"},
        {bottomwidget, "bottomwidget"},   {devName, "devName"},
        {devResolution, "devResolution"}, {camNum, "camNum"}};
    for (const auto &n : named)
        n.first->setObjectName(n.second);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addLayout(storage);
    layout->addWidget(voiceRow);
    layout->addWidget(checkRow("错误提示", error));
    layout->addWidget(bottomwidget);
    layout->addStretch();
    return page;
}

QWidget *Set::aboutPage()
{
    const CToolHelper &t = m_toolhelper;
    auto *page = new QWidget;
    auto *icon = new QLabel;
    icon->setPixmap(QIcon(t.uiiconpath).pixmap(64, 64));
    icon->setAlignment(Qt::AlignCenter);
    auto *name = new QLabel(t.softwareName);
    name->setAlignment(Qt::AlignCenter);
    name->setStyleSheet("QLabel{font: bold 16px;}");
    auto *version = new QLabel(QString("版本 %1").arg(t.versionNumber));
    version->setAlignment(Qt::AlignCenter);
    auto *about = new QLabel(t.aboutTip);
    about->setWordWrap(true);
    about->setAlignment(Qt::AlignCenter);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 32, 24, 24);
    layout->setSpacing(10);
    layout->addWidget(icon);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addSpacing(10);
    layout->addWidget(about);
    layout->addStretch();
    return page;
}

void Set::clearDeviceBlock()
{
    devName->setText("");
    devResolution->setText("");
    camNum->setText("");
    bottomwidget->hide();
}

void Set::fillDeviceBlock(const tagDEVPARAM &devparam, int pid, int vid)
{
    const QString pid16 = hex4(pid), vid16 = hex4(vid);
    qWarning("set::set() -- 16 -- pid16 = %s, vid16 = %s", qUtf8Printable(pid16), qUtf8Printable(vid16));
    if (pid == 0 || vid == 0) {
        qWarning("Set::Set() 当前无设备 -- 显示清空");
        clearDeviceBlock();
        return;
    }
    qWarning("Set::Set() 当前有设备 -- 显示更新");
    QString name;
    if (!m_toolhelper.readCameraModel("deviceName", "name", name)) {
        qWarning("Set::Set() 无配置文件或读取失败，清空");
        clearDeviceBlock();
        return;
    }
    qWarning("1111 devname is %s", qUtf8Printable(name));
    const QString resolution = devparam.cameraParam.cameraRelease.value(0);
    const QStringList size = resolution.split("x");
    const double pixels = double(size.value(0).toInt(nullptr, 10)) * size.value(1).toInt(nullptr, 10);
    const int megapixels = int(std::ceil(float(pixels / 1048576.0)));
    devResolution->setText(QString("%1(%2MP)").arg(resolution).arg(megapixels));
    devName->setText(name);

    CamModelList = m_toolhelper.readCameraModels(&tagCamModel::devType);
    if (CamModelList.isEmpty()) {
        qWarning("222 未成功找到设备信息");
        clearDeviceBlock();
        return;
    }
    QString model;
    for (const tagCamModel &row : CamModelList) {
        if (row.pid.compare(pid16, Qt::CaseInsensitive) == 0 &&
            row.vid.compare(vid16, Qt::CaseInsensitive) == 0) {
            model = row.devType;
            break;
        }
    }
    if (!model.isEmpty())
        camNum->setText(model);
    else
        qWarning("333 未成功找到设备型号");
}

// The checks a storage folder must pass, each reported as a warning when error
// tips are on and only logged otherwise. True when the folder is refused.
bool Set::pathRefused(const QString &path, bool checkExists)
{
    const char *log = nullptr;
    QString tip;
    if (path.length() > kSavePathMax) {
        log = "路径选择过长，无错误提示，需重新选择路径";
        tip = m_toolhelper.saveImagePathIsOverFlow;
    } else if (checkExists && !QFileInfo::exists(path)) {
        log = "该存储路径不存在，无错误提示，请重新选择路径";
        tip = m_toolhelper.saveImagePathIsNotExist;
    } else if (!QFileInfo(path).isWritable()) {
        log = "用户权限不够，无错误提示，需重新选择路径";
        tip = m_toolhelper.saveIamgePathIsNoWrite;
    } else {
        return false;
    }
    if (setParam.IsErrorTip)
        QMessageBox::warning(this, m_toolhelper.warningTitle, tip, QMessageBox::Ok);
    else
        qWarning("%s", log);
    return true;
}

void Set::onButtonFileClicked()
{
    QString start = setParam.savepath;
    if (!BaseFilePath.isEmpty() && QFileInfo::exists(BaseFilePath)) {
        start = BaseFilePath;
        qWarning("1111111111 m_toolhelper.dialogHasParent = %d", m_toolhelper.dialogHasParent ? 1 : 0);
    }
    BaseFilePath = QFileDialog::getExistingDirectory(m_toolhelper.dialogHasParent ? this : nullptr,
                                                     "打开文件", start, QFileDialog::ShowDirsOnly);
    if (BaseFilePath.isEmpty()) {
        BaseFilePath = setParam.savepath;
    } else if (pathRefused(BaseFilePath, false)) {
        return; // BaseFilePath keeps the refused folder: the next dialog starts there
    }
    pathline->setText(BaseFilePath);
    pathline->setToolTip(BaseFilePath);
    pathline->setCursorPosition(0);
    setParam.savepath = BaseFilePath;
    qWarning("Set::onButtonFileClicked() __ 保存文件的路径为:%s", qUtf8Printable(BaseFilePath));
}

void Set::scanvoiceStateChangedSlot(int state)
{
    if (state != Qt::PartiallyChecked)
        setParam.IsScanVoice = state == Qt::Checked;
    qWarning("Set::scanvoiceStateChangedSlot() __ 是否有扫描音效 : %d\n", setParam.IsScanVoice ? 1 : 0);
}

void Set::errortipStateChangedSlot(int state)
{
    if (state != Qt::PartiallyChecked)
        setParam.IsErrorTip = state == Qt::Checked;
    qWarning("Set::errortipStateChangedSlot() __ 是否有错误提示 : %d\n", setParam.IsErrorTip ? 1 : 0);
}

void Set::onButtonNameFormatSetSlot()
{
    if (m_bIsNameFormatUI)
        return;
    qWarning("Set::onButtonNameFormatSetSlot() __ nameformatType is %d, saveType is %d, startNum is %d\n",
             setParam.nameformatType, setParam.saveType, setParam.nameFormat.startNum);
    nameformatui = new NameFormat(setParam.nameFormat, setParam.nameformatType, setParam.saveType,
                                  setParam.IsErrorTip, m_parent);
    nameformatui->setAttribute(Qt::WA_DeleteOnClose);
    nameformatui->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    connect(nameformatui, SIGNAL(signalUpdateSaveParam(SAVENAMEPARAM, int, int)), this,
            SLOT(slotUpdateSaveParam(SAVENAMEPARAM, int, int)));
    connect(nameformatui, SIGNAL(signalUpdateSetUINameLabel(QString)), this,
            SLOT(slotUpdateSetUINameLabel(QString)));
    connect(nameformatui, SIGNAL(signalChangedNameFormatStatus()), this, SLOT(slotChangedNameFormatStatus()));
    hide();
    nameformatui->show();
    m_bIsNameFormatUI = true;
}

void Set::slotUpdateSaveParam(SAVENAMEPARAM param, int nameformatType, int saveType)
{
    setParam.nameFormat.nameBase = param.nameBase;
    setParam.nameFormat.startNum = param.startNum;
    setParam.nameFormat.strSeparator = param.strSeparator;
    setParam.nameformatType = nameformatType;
    setParam.saveType = saveType;
}

void Set::slotUpdateSetUINameLabel(QString name)
{
    qWarning("Set::slotUpdateSetUINameLabel() __ 开始更新设置界面文件名称label内容.");
    fileNameEdit->setText(name);
    qWarning("Set::slotUpdateSetUINameLabel() __ strname : %s\n", qUtf8Printable(name));
}

void Set::slotChangedNameFormatStatus()
{
    m_bIsNameFormatUI = false;
    show();
}

void Set::onButtonCloseClicked()
{
    if (pathRefused(setParam.savepath, true))
        return;
    const bool pathChanged = setParam.savepath != m_originalPath;
    emit updateSetParam(setParam, pathChanged);
    qWarning("Set::onButtonCloseClicked() __ 已发送更新设置参数信号");
    emit singleEnableSetBtnUI();
    close();
}

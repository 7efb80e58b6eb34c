#include "nameformat.h"
#include "ui_nameformat.h"

#include "titlebar.h"
#include "windowstyle.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
const int kNameBaseMax = 30;
const int kStartNumMax = 10000;
const QSize kWindowSize(350, 450);
} // namespace

QString currentTimeName()
{
    return QDateTime::currentDateTime().toString("yyyyMMddhhmmss");
}

NameFormat::NameFormat(tagSAVENAMEPARAM saveparam, int nameSetType, int saveType, bool isErrorTip,
                       QWidget *parent)
    : QMainWindow(parent), ui(new Ui::NameFormat), nameSetType(nameSetType), saveType(saveType),
      m_bIsErrorTip(isErrorTip)
{
    ui->setupUi(this);
    m_toolhelper.SettingAllSets();
    this->saveparam.nameBase = saveparam.nameBase;
    this->saveparam.startNum = saveparam.startNum;
    this->saveparam.strSeparator = saveparam.strSeparator;

    initNameFormatUI();
    connect(nameFormatTitlebar->m_pButtonClose, SIGNAL(clicked()), this, SLOT(onButtonCloseSlot()));
    connect(timeNameRadio, SIGNAL(clicked()), this, SLOT(onButtonNameSetGroupClicked()));
    connect(customRadio, SIGNAL(clicked()), this, SLOT(onButtonNameSetGroupClicked()));
    connect(makesureButton, SIGNAL(clicked()), this, SLOT(onButtonMakeSureSlot()));
    connect(cancelButton, SIGNAL(clicked()), this, SLOT(onButtonCancelSlot()));
    connect(nameBaseLine, SIGNAL(textChanged(QString)), this, SLOT(onLineEditNameBaseChanged(QString)));
    connect(startNum, SIGNAL(textChanged(QString)), this, SLOT(onLineEditStartNumChanged(QString)));

    const bool custom = nameSetType != 0;
    (custom ? customRadio : timeNameRadio)->setChecked(true);
    nameBaseLine->setEnabled(custom);
    startNum->setEnabled(custom);
    setExample(custom ? storedName() : currentTimeName());
    (saveType == 1 ? coverRadio : addRadio)->setChecked(true);
}

NameFormat::~NameFormat()
{
    delete ui;
}

void NameFormat::initNameFormatUI()
{
    const CToolHelper &t = m_toolhelper;
    WindowStyle::frameWindow(this, t, kWindowSize, t.nameformatuicolor);
    nameFormatTitlebar = WindowStyle::closeOnlyTitleBar(this, t, "文件命名设置", 13, t.closetip);
    nameFormatTitlebar->setTitleIcon(t.uiiconpath, QSize(16, 16));

    auto *nameGroup = new QGroupBox("名称设置");
    nameGroup->setStyleSheet("QGroupBox::title{subcontrol-origin:margin;subcontrol-position:top "
                             "left;left: 15px;top:12px;padding:0;}");
    timeNameRadio = new QRadioButton("时间日期");
    customRadio = new QRadioButton("自定义");
    nameSetRadioGroup = new QButtonGroup(this);
    nameSetRadioGroup->addButton(timeNameRadio, 0);
    nameSetRadioGroup->addButton(customRadio, 1);
    auto *timeTip = new QLabel(t.nameformatTimeTip);
    timeTip->setWordWrap(true);
    timeTip->setContentsMargins(22, 0, 0, 0);
    timeTip->setStyleSheet("QLabel{color: rgb(100,116,139);}");

    nameBaseLine = new QLineEdit(saveparam.nameBase);
    nameBaseLine->setMaxLength(kNameBaseMax);
    startNum = new QLineEdit(QString::number(saveparam.startNum));
    startNum->setValidator(new QIntValidator(startNum));
    auto fieldRow = [](const QString &caption, QLineEdit *edit) {
        auto *row = new QHBoxLayout;
        auto *label = new QLabel(caption);
        label->setFixedWidth(60);
        edit->setFixedSize(130, 25);
        row->addSpacing(22);
        row->addWidget(label);
        row->addWidget(edit);
        row->addStretch();
        return row;
    };
    expLabel = new QLabel;
    expLabel->setFixedHeight(30);
    expLabel->setStyleSheet("QLabel{border: 1px solid;}");
    expLabel->setIndent(6);

    auto *nameLayout = new QVBoxLayout(nameGroup);
    nameLayout->setContentsMargins(15, 30, 15, 12);
    nameLayout->setSpacing(8);
    nameLayout->addWidget(timeNameRadio);
    nameLayout->addWidget(timeTip);
    nameLayout->addWidget(customRadio);
    nameLayout->addLayout(fieldRow("前缀", nameBaseLine));
    nameLayout->addLayout(fieldRow("起始位", startNum));
    nameLayout->addWidget(expLabel);

    auto *saveGroup = new QGroupBox("同名文件");
    saveGroup->setStyleSheet(nameGroup->styleSheet());
    coverRadio = new QRadioButton("覆盖同名文件");
    addRadio = new QRadioButton("同名文件追加编号");
    saveTypeRadioGroup = new QButtonGroup(this);
    saveTypeRadioGroup->addButton(coverRadio, 1);
    saveTypeRadioGroup->addButton(addRadio, 0);
    auto *saveLayout = new QVBoxLayout(saveGroup);
    saveLayout->setContentsMargins(15, 30, 15, 12);
    saveLayout->addWidget(addRadio);
    saveLayout->addWidget(coverRadio);

    makesureButton = new QPushButton("确定");
    cancelButton = new QPushButton("取消");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {makesureButton, cancelButton}) {
        b->setFixedSize(70, 28);
        b->setStyleSheet(WindowStyle::textButton(t, 10));
        buttons->addWidget(b);
    }

    const QString edits = WindowStyle::lineEdit(t);
    nameBaseLine->setStyleSheet(edits);
    startNum->setStyleSheet(edits);
    for (QRadioButton *r : {timeNameRadio, customRadio, coverRadio, addRadio})
        r->setStyleSheet(WindowStyle::radioButton(t));

    const QList<QPair<QWidget *, const char *>> named = {{makesureButton, "makesureButton"},
                                                         {cancelButton, "cancelButton"},
                                                         {nameBaseLine, "nameBaseLine"},
                                                         {startNum, "startNum"},
                                                         {expLabel, "expLabel"},
                                                         {timeNameRadio, "timeNameRadio"},
                                                         {customRadio, "customRadio"},
                                                         {coverRadio, "coverRadio"},
                                                         {addRadio, "addRadio"}};
    for (const auto &n : named)
        n.first->setObjectName(n.second);

    auto *layout = new QVBoxLayout(ui->centralwidget);
    layout->setContentsMargins(16, 40 + 12, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(nameGroup);
    layout->addWidget(saveGroup);
    layout->addStretch();
    layout->addLayout(buttons);
}

void NameFormat::setExample(const QString &name)
{
    expLabel->setText(QString("例:%1").arg(name));
}

QString NameFormat::customName(const QString &base, const QString &number) const
{
    return QString("%1%2%3").arg(base, saveparam.strSeparator, number);
}

QString NameFormat::storedName() const
{
    return customName(saveparam.nameBase, QString::number(saveparam.startNum));
}

void NameFormat::onButtonNameSetGroupClicked()
{
    switch (nameSetRadioGroup->checkedId()) {
    case 0:
        nameBaseLine->setEnabled(false);
        startNum->setEnabled(false);
        setExample(currentTimeName());
        break;
    case 1:
        // The stored record, not what was typed before switching.
        nameBaseLine->setEnabled(true);
        startNum->setEnabled(true);
        setExample(storedName());
        break;
    default:
        break;
    }
}

void NameFormat::onLineEditNameBaseChanged(QString text)
{
    setExample(customName(text, startNum->text()));
    if (nameBaseLine->text().length() >= kNameBaseMax && nameSetRadioGroup->checkedId() == 1) {
        qWarning("命名前缀输入长度将超出30,请注意检验!");
        if (m_bIsErrorTip)
            QMessageBox::warning(this, m_toolhelper.warningTitle, m_toolhelper.nameLengthOverFlow,
                                 QMessageBox::Ok);
    }
}

void NameFormat::onLineEditStartNumChanged(QString text)
{
    int n = text.toInt(nullptr, 10);
    if (n <= 0) {
        n = 1;
        startNum->setText("1");
    } else if (n >= kStartNumMax) {
        n = kStartNumMax;
        startNum->setText(QString::number(kStartNumMax));
    }
    setExample(customName(nameBaseLine->text(), QString::number(n)));
}

void NameFormat::onButtonMakeSureSlot()
{
    if (nameBaseLine->text().isEmpty()) {
        if (m_bIsErrorTip)
            QMessageBox::warning(this, m_toolhelper.warningTitle, m_toolhelper.nameformatnulltip,
                                 QMessageBox::Yes, QMessageBox::NoButton);
        return;
    }
    saveparam.nameBase = nameBaseLine->text();
    saveparam.startNum = startNum->text().toInt(nullptr, 10);
    if (timeNameRadio->isChecked()) {
        nameSetType = 0;
        emit signalUpdateSetUINameLabel(currentTimeName());
    } else {
        nameSetType = 1;
        emit signalUpdateSetUINameLabel(storedName());
    }
    saveType = coverRadio->isChecked() ? 1 : 0;
    emit signalUpdateSaveParam(saveparam, nameSetType, saveType);
    emit signalChangedNameFormatStatus();
    close();
}

void NameFormat::onButtonCancelSlot()
{
    qWarning("NameFormat::onButtonCancelSlot() __ 还原至初始设置.");
    (nameSetType == 0 ? timeNameRadio : customRadio)->setChecked(true);
    (saveType == 0 ? addRadio : coverRadio)->setChecked(true);
    nameBaseLine->setText(saveparam.nameBase);
    startNum->setText(QString::number(saveparam.startNum));
    onButtonCloseSlot();
}

void NameFormat::onButtonCloseSlot()
{
    if (timeNameRadio->isChecked())
        emit signalUpdateSetUINameLabel(currentTimeName());
    else
        emit signalUpdateSetUINameLabel(storedName());
    emit signalChangedNameFormatStatus();
    close();
}

// The general settings window: storage folder, file naming (through the naming
// window), error tips, what is known about the connected camera and an about
// page. It edits a copy of the general settings and hands it back on closing.
#ifndef SET_H
#define SET_H

#include "commondatatype.h"
#include "ctoolhelper.h"

#include <QMainWindow>
#include <QPointer>
#include <QVector>

class NameFormat;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class TitleBar;

namespace Ui {
class Set;
}

class Set : public QMainWindow
{
    Q_OBJECT

public:
    Set(tagSETPARAM setparam, tagDEVPARAM devparam, int pid, int vid, QWidget *parent = nullptr);
    ~Set() override;

    // The naming window while it is open; the home window closes both on exit.
    bool m_bIsNameFormatUI = false;
    QPointer<NameFormat> nameformatui;

signals:
    void updateSetParam(SETPARAM setParam, bool pathChanged);
    void singleEnableSetBtnUI();

public slots:
    void onButtonCloseClicked();
    void onButtonFileClicked();
    void scanvoiceStateChangedSlot(int state);
    void errortipStateChangedSlot(int state);
    void onButtonNameFormatSetSlot();
    void slotUpdateSaveParam(SAVENAMEPARAM param, int nameformatType, int saveType);
    void slotUpdateSetUINameLabel(QString name);
    void slotChangedNameFormatStatus();

private:
    void initSetUI();
    QWidget *basicPage();
    QWidget *aboutPage();
    void fillDeviceBlock(const tagDEVPARAM &devparam, int pid, int vid);
    void clearDeviceBlock();
    bool pathRefused(const QString &path, bool checkExists);

    Ui::Set *ui;
    TitleBar *setTitlebar = nullptr;
    QTabWidget *tabWidget = nullptr;
    QLineEdit *pathline = nullptr;
    QPushButton *selectbtn = nullptr;
    QString BaseFilePath;
    QLineEdit *fileNameEdit = nullptr;
    QPushButton *setFileNamebtn = nullptr;
    QCheckBox *scanvoice = nullptr;
    QCheckBox *error = nullptr;
    QWidget *bottomwidget = nullptr;
    QLabel *devName = nullptr;
    QLabel *devResolution = nullptr;
    QLabel *camNum = nullptr;
    CToolHelper m_toolhelper;
    SETPARAM setParam;
    QVector<tagCamModel> CamModelList;
    QWidget *m_parent;
    QString m_originalPath;
};

#endif // SET_H
